# Cross-building the Windows plug-in (Quelmar.dll) and Halvorn.exe on Linux with Debian's
# MinGW-w64 compilers (package g++-mingw-w64-x86-64-posix). The "-posix" compilers use the
# POSIX thread model, which libstdc++ needs for std::thread, std::mutex and friends.
#
#   cmake --preset windows-cross        (or: cmake -DCMAKE_TOOLCHAIN_FILE=this-file ...)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELMAR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUELMAR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELMAR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUELMAR_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only, never from the build machine's
# /usr/include or /usr/lib; programs (code generators, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUELMAR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
