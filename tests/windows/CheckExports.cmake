# cmake -DOBJDUMP=... -DLIBRARY=Quelmar.dll -P CheckExports.cmake
cmake_policy(VERSION 3.25)
# The host finds the plug-in's entry points by their plain names: each must be in the DLL's
# export table exactly so, without decoration (no leading underscore, no @N, no C++ mangling).
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
    OUTPUT_VARIABLE dump RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed: ${error}")
endif()

# The export name table: lines "\t[   n] name" after "[Ordinal/Name Pointer] Table".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no export name table")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
set(exported)
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
    list(APPEND exported "${name}")
endforeach()

set(missing)
foreach(name createPlugin getPluginName getPluginDescription getAuthor getPluginVersion
        getHelpFile getGUIScript)
    if(name IN_LIST exported)
        message(STATUS "exported: ${name}")
    else()
        list(APPEND missing ${name})
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "${LIBRARY} does not export, under these plain names: ${missing}\n"
        "Exported names: ${exported}")
endif()
