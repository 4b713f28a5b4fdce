# Windows builds with MinGW-w64, usually cross-compiled on Linux (cmake --preset windows-cross)
# and run under Wine.

# Only system DLLs beside Quelmar.dll and Halvorn.exe: the C++ runtime, libgcc and winpthread
# are linked into each of them.
if(MINGW)
    add_link_options(-static)
endif()

if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()

# Windows programs built here (the dialog file writer at build time, test programs under CTest)
# run through a small launcher that gives Wine one prefix of the build folder's own and silences
# Wine's diagnostics, which would otherwise mix into what the programs print.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(QUELMAR_WINE wine REQUIRED)
    set(QUELMAR_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
        "Wine prefix in which the build's Windows programs run")
    file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/wine-run" @ONLY CONTENT [[
#!/bin/sh
# Runs a Windows program of this build under Wine, in the build's own prefix.
export WINEPREFIX="@QUELMAR_WINEPREFIX@"
export WINEDEBUG=-all
# No installer dialogs for Wine's .NET and HTML engines, which these programs never use.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's background services, started by the first program of a prefix, keep the standard
# output and error they were started with for as long as the Wine server lives. Handed the
# caller's pipes they would hold them open after the program has ended, and a caller that
# waits for its pipe to close (CTest, Ninja) would wait with them. So the program writes into
# files, which are passed on when it is done.
output=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$output" "$errors"' EXIT
status=0
"@QUELMAR_WINE@" "$@" >"$output" 2>"$errors" || status=$?
cat "$output"
cat "$errors" >&2
exit $status
]])
    file(CHMOD "${CMAKE_BINARY_DIR}/wine-run"
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                    WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
endif()

# The header-only libraries of the build machine (CLI11, nlohmann-json, mustache) serve the Windows
# programs too. Their packages' CMake files would add all of /usr/include, whose Linux system
# headers must not shadow MinGW's, so the cross build gets a folder that holds only links to
# the libraries' own header folders, and find_package finds small package files for it (the
# report's mustache header is only included: host/CMakeLists.txt takes the folder as it is).
set(QUELMAR_BUILD_MACHINE_INCLUDE_DIR "/usr/include" CACHE PATH
    "Folder holding the build machine's CLI/, nlohmann/ and nifti/ header folders")
set(header_dir "${CMAKE_BINARY_DIR}/header-only-libraries/include")
set(package_dir "${CMAKE_BINARY_DIR}/header-only-libraries/cmake")
file(MAKE_DIRECTORY "${header_dir}" "${package_dir}")
foreach(folder CLI nlohmann kainjow)
    if(NOT EXISTS "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/${folder}")
        message(FATAL_ERROR "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/${folder} is missing: "
            "install libcli11-dev, nlohmann-json3-dev and libkainjow-mustache-dev")
    endif()
    file(CREATE_LINK "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/${folder}" "${header_dir}/${folder}"
        SYMBOLIC)
endforeach()
# The versions the headers declare, for find_package's version checks.
file(STRINGS "${header_dir}/CLI/Version.hpp" cli11_version REGEX "define CLI11_VERSION ")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" cli11_version "${cli11_version}")
file(STRINGS "${header_dir}/nlohmann/json.hpp" json_version_parts
    REGEX "define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) ")
if(NOT json_version_parts)
    file(STRINGS "${header_dir}/nlohmann/detail/abi_macros.hpp" json_version_parts
        REGEX "define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) ")
endif()
string(REGEX MATCHALL "VERSION_[A-Z]+ +[0-9]+" json_version_parts "${json_version_parts}")
string(REGEX REPLACE "VERSION_[A-Z]+ +" "" json_version "${json_version_parts}")
string(REPLACE ";" "." json_version "${json_version}")

foreach(package IN ITEMS CLI11 nlohmann_json)
    if(package STREQUAL "CLI11")
        set(target CLI11::CLI11)
        set(version ${cli11_version})
        string(REGEX MATCH "^[0-9]+" version_major "${version}")
        # CLI11 reads the wide command line on Windows.
        set(link_libraries shell32)
    else()
        set(target nlohmann_json::nlohmann_json)
        set(version ${json_version})
        string(REGEX MATCH "^[0-9]+" version_major "${version}")
        set(link_libraries "")
    endif()
    file(CONFIGURE OUTPUT "${package_dir}/${package}Config.cmake" @ONLY CONTENT [[
if(NOT TARGET @target@)
    add_library(@target@ INTERFACE IMPORTED)
    set_target_properties(@target@ PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "@header_dir@"
        INTERFACE_LINK_LIBRARIES "@link_libraries@")
endif()
]])
    file(CONFIGURE OUTPUT "${package_dir}/${package}ConfigVersion.cmake" @ONLY CONTENT [[
set(PACKAGE_VERSION "@version@")
if(PACKAGE_FIND_VERSION_MAJOR AND NOT PACKAGE_FIND_VERSION_MAJOR STREQUAL "@version_major@")
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
elseif(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
]])
    set(${package}_DIR "${package_dir}" CACHE PATH "" FORCE)
endforeach()

# The NIfTI-1 header struct of the build machine's nifti1.h (libnifti2-dev) serves the built-in
# map writer of Halvorn.exe: plain C, the same layout on every platform. Its folder holds only
# the NIfTI headers, none that could shadow MinGW's.
if(NOT EXISTS "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/nifti/nifti1.h")
    message(FATAL_ERROR "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/nifti/nifti1.h is missing: "
        "install libnifti2-dev")
endif()
set(NIFTI1_INCLUDE_DIR "${QUELMAR_BUILD_MACHINE_INCLUDE_DIR}/nifti" CACHE PATH
    "Folder holding nifti1.h")

# The report page's template engine: a header, included from the same folder.
set(QUELMAR_MUSTACHE_INCLUDE_DIR "${header_dir}")
