#include "DisplacementInstructionSet.h"

#include "DisplacementKernels.h"

namespace qm {

std::vector<DisplacementInstructionSet> supportedDisplacementInstructionSets() {
    std::vector<DisplacementInstructionSet> supported = {DisplacementInstructionSet::portable};
#if defined(QUELMAR_X86_64_KERNELS)
    supported.push_back(DisplacementInstructionSet::sse2);
#endif
#if defined(QUELMAR_WIDE_KERNELS)
    // Beyond the processor's feature bits these ask whether the operating system has enabled
    // the wide register state (XGETBV); without that the instructions fault.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx")) {
        supported.push_back(DisplacementInstructionSet::avx);
    }
    if (__builtin_cpu_supports("avx512f")) {
        supported.push_back(DisplacementInstructionSet::avx512);
    }
#endif
    return supported;
}

DisplacementInstructionSet bestDisplacementInstructionSet() {
    return supportedDisplacementInstructionSets().back();
}

std::string_view displacementInstructionSetName(DisplacementInstructionSet instructionSet) {
    switch (instructionSet) {
    case DisplacementInstructionSet::portable:
        return "portable";
    case DisplacementInstructionSet::sse2:
        return "SSE2";
    case DisplacementInstructionSet::avx:
        return "AVX";
    case DisplacementInstructionSet::avx512:
        return "AVX-512";
    }
    return "unknown";
}

} // namespace qm
