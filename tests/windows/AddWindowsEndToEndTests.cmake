# Run by CTest when it starts (a TEST_INCLUDE_FILES script, see CMakeLists.txt): registers every
# test case of the Linux end-to-end programs as "windows.<Suite>.<Test>", run against the Windows
# Halvorn.exe. Listing the cases here rather than at configure time lets the Linux build be
# built after this one is configured.
#
# Given: programs (paths under program_dir), program_dir, excluded (Suite.Test names),
# environment.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)
foreach(relative_path IN LISTS programs)
    set(path "${program_dir}/${relative_path}")
    get_filename_component(program "${relative_path}" NAME)
    if(NOT EXISTS "${path}")
        # Registered anyway, so that the missing program shows as a failed test named after it.
        add_test("windows.${program}" "${path}")
        set_tests_properties("windows.${program}" PROPERTIES LABELS windows)
        continue()
    endif()
    execute_process(COMMAND "${path}" --gtest_list_tests
        OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 60)
    if(NOT result EQUAL 0)
        add_test("windows.${program}" "${path}" --gtest_list_tests)
        set_tests_properties("windows.${program}" PROPERTIES LABELS windows)
        continue()
    endif()
    # "Suite." lines, then "  Test" lines; parameterised tests add "  # GetParam() = ...".
    string(REPLACE "\n" ";" lines "${listing}")
    set(suite "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE " *#.*$" "" line "${line}")
        if(line MATCHES "^([^ ]+\\.)$")
            set(suite "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^  +([^ ]+)$" AND suite)
            set(name "${suite}${CMAKE_MATCH_1}")
            if(name IN_LIST excluded)
                continue()
            endif()
            add_test("windows.${name}" "${path}" "--gtest_filter=${name}")
            set_tests_properties("windows.${name}" PROPERTIES
                ENVIRONMENT "${environment}"
                LABELS windows
                TIMEOUT 300)
        endif()
    endforeach()
endforeach()
cmake_policy(POP)
