# cmake -DOBJDUMP=... -DLIBRARY=Quelmar.dll -P CheckImports.cmake
cmake_policy(VERSION 3.25)
# The host's machines have nothing beside the plug-in but Windows itself: the C++ runtime,
# libgcc and winpthread (the threads of the displacement task) are linked into the DLL, so it
# may import from KERNEL32.dll and msvcrt.dll only.
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
    OUTPUT_VARIABLE dump RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed: ${error}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
if(NOT entries)
    message(FATAL_ERROR "${LIBRARY} has no import table entries in:\n${dump}")
endif()
set(unexpected)
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^DLL Name: " "" name "${entry}")
    string(TOLOWER "${name}" lower)
    if(lower STREQUAL "kernel32.dll" OR lower STREQUAL "msvcrt.dll")
        message(STATUS "imports: ${name}")
    else()
        list(APPEND unexpected "${name}")
    endif()
endforeach()
if(unexpected)
    message(FATAL_ERROR "${LIBRARY} imports from DLLs a Windows machine may not have: "
        "${unexpected}")
endif()
