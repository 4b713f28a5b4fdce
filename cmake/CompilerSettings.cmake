# Warnings and floating-point rules shared by every target of the project.
#
# Results are single precision in a fixed evaluation order and must match an
# independent computation bit for bit, so no flag may let the compiler contract
# a*b+c into a fused multiply-add or reassociate sums.

add_library(quelmar_compiler_settings INTERFACE)
target_compile_options(quelmar_compiler_settings INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -ffp-contract=off>
    $<$<AND:$<CXX_COMPILER_ID:GNU,Clang>,$<BOOL:${QUELMAR_WERROR}>>:-Werror>
    $<$<CXX_COMPILER_ID:MSVC>:/W4 /fp:precise>
)
