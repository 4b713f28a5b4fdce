// Which of the voxel displacement kernels this processor can run. One build serves every
// machine: the instruction set is chosen when the statistics are computed, not when the library
// is built.
#pragma once

#include <string_view>
#include <vector>

namespace qm {

// From narrowest to widest; every one gives bit-identical results.
enum class DisplacementInstructionSet {
    portable, // one lane of standard C++
    sse2,     // 4 lanes, every x86-64 processor
    avx,      // 8 lanes
    avx512,   // 16 lanes (AVX-512F)
};

// Those this build has a kernel for and this processor and system can run, narrowest first.
std::vector<DisplacementInstructionSet> supportedDisplacementInstructionSets();

// The widest supported one: what computeVoxelDisplacement uses.
DisplacementInstructionSet bestDisplacementInstructionSet();

// "portable", "SSE2", "AVX", "AVX-512".
std::string_view displacementInstructionSetName(DisplacementInstructionSet instructionSet);

} // namespace qm
