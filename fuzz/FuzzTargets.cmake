# The fuzz harnesses, one per reader, and the tasks' harness that loads the plug-in. Each is
# built by quelmar_fuzz_target, which the including CMakeLists defines: as a libFuzzer program
# (fuzz/CMakeLists.txt) or as a program that replays the corpus (tests/fuzz/CMakeLists.txt).
#
# quelmar_fuzz_target(NAME SOURCE LIBRARIES libs... [PLUGIN_HOST])
#   NAME is also the folder of its seed corpus (corpus/NAME) and of the inputs that once found a
#   fault (regressions/NAME). PLUGIN_HOST: the program plays the host, so it is named
#   Halvorn.exe, exports its host functions and loads Quelmar.so.

# The folders of inputs that replay as a test for harness NAME: its seed corpus, and its
# regressions once there are any.
function(quelmar_fuzz_inputs name result)
    set(folders ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/corpus/${name})
    if(EXISTS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/regressions/${name})
        list(APPEND folders ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/regressions/${name})
    endif()
    set(${result} ${folders} PARENT_SCOPE)
endfunction()

add_library(quelmar_fuzz_support STATIC ${CMAKE_CURRENT_LIST_DIR}/FuzzSupport.cpp)
target_include_directories(quelmar_fuzz_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quelmar_fuzz_support PUBLIC quelmar_formats
    PRIVATE quelmar_compiler_settings)

quelmar_fuzz_target(sdm ${CMAKE_CURRENT_LIST_DIR}/SdmFuzzer.cpp LIBRARIES quelmar_formats)
quelmar_fuzz_target(mdm ${CMAKE_CURRENT_LIST_DIR}/MdmFuzzer.cpp LIBRARIES quelmar_formats)
quelmar_fuzz_target(fmr ${CMAKE_CURRENT_LIST_DIR}/FmrHeaderFuzzer.cpp LIBRARIES quelmar_formats)
quelmar_fuzz_target(fmr_stc ${CMAKE_CURRENT_LIST_DIR}/FmrStcFuzzer.cpp
    LIBRARIES quelmar_formats)
quelmar_fuzz_target(tasks ${CMAKE_CURRENT_LIST_DIR}/TaskFuzzHost.cpp
    LIBRARIES quelmar_formats halvorn_standin halvorn_api PLUGIN_HOST)
