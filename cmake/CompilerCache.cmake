# ccache, when it is installed, in front of the C++ compiler: the Linux, Windows, fuzzing and
# sanitizer builds compile the same sources, and a second build folder or a fresh clone then
# takes most objects from the cache. A launcher the user chose (CMAKE_CXX_COMPILER_LAUNCHER, also
# from the environment; empty for none) is kept.
#
# Clones in other folders share objects when ccache sees paths relative to the source folder:
# scripts/build-environment.sh sets CCACHE_BASEDIR to it.

if(DEFINED CMAKE_CXX_COMPILER_LAUNCHER OR DEFINED ENV{CMAKE_CXX_COMPILER_LAUNCHER})
    return()
endif()
find_program(QUELMAR_CCACHE ccache DOC "ccache, put in front of the C++ compiler when found")
if(QUELMAR_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER "${QUELMAR_CCACHE}" CACHE STRING
        "Program in front of the C++ compiler (ccache when it was found)")
endif()
