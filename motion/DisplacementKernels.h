// The inner loop of the voxel displacement statistics, compiled once per instruction set.
//
// This header is included by translation units built with different instruction-set options,
// so it holds only plain data and declarations. An inline function here would be compiled into
// each of them, and the linker could keep the copy built for a wider instruction set than the
// processor running it has.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::kernels {

// The coefficients of one volume's transform in the order the kernels read them: those of x'
// (M00, M10, M20, M03), of y' (M01, M11, M21, M13) and of z' (M02, M12, M22, M23).
inline constexpr std::size_t kCoefficientsPerVolume = 12;

// Position arrays hold this many entries beyond their last voxel, so that every kernel can load
// whole groups of lanes; it is a multiple of every kernel's group size.
inline constexpr std::size_t kPositionPadding = 32;

// Masked voxels of one row of the grid, consecutive in the batch. They share their y and z, so
// the products of y and z with each volume's coefficients are the same for all of them.
struct DisplacementRow {
    float y = 0.0F;
    float z = 0.0F;
    std::size_t first = 0; // index of its first voxel in the batch
    std::size_t count = 0;
};

// A run of masked voxels and the motion of every volume.
struct DisplacementBatch {
    const float* coefficients = nullptr; // kCoefficientsPerVolume per volume, in volume order
    std::size_t volumes = 0;
    // Reference x of each voxel: `count` entries and kPositionPadding more.
    const float* x = nullptr;
    // Every voxel of the batch belongs to exactly one row; rows in voxel order.
    const DisplacementRow* rows = nullptr;
    std::size_t rowCount = 0;
    std::size_t count = 0;
};

// Where the statistics of the batch's voxels go: entry i of each array is voxel i of the batch.
struct DisplacementTargets {
    float* meanAbsolute = nullptr;
    float* maxAbsolute = nullptr;
    float* meanRelative = nullptr;
    float* maxRelative = nullptr;
    float* maxAbsoluteX = nullptr;
    float* maxAbsoluteY = nullptr;
    float* maxAbsoluteZ = nullptr;
};

// Memory a kernel works in, owned by its caller so that a thread allocates it once for all its
// batches: kCoefficientsPerVolume floats per volume for `rowTerms`, and the batch's count plus
// kPositionPadding entries for each of the other four.
struct DisplacementScratch {
    float* rowTerms = nullptr;
    float* x = nullptr;
    float* y = nullptr;
    float* z = nullptr;
    std::size_t* voxel = nullptr;
};

using DisplacementKernel = void (*)(const DisplacementBatch&, const DisplacementTargets&,
                                    const DisplacementScratch&);

// One lane at a time, in standard C++: runs on any processor.
void accumulatePortable(const DisplacementBatch& batch, const DisplacementTargets& targets,
                        const DisplacementScratch& scratch);

#if defined(__x86_64__) || defined(_M_X64)
#define QUELMAR_X86_64_KERNELS 1
// 4 lanes; SSE2 is part of every x86-64 processor.
void accumulateSse2(const DisplacementBatch& batch, const DisplacementTargets& targets,
                    const DisplacementScratch& scratch);
#endif

// Defined by the build where it compiles the wide kernels (GCC or Clang on x86-64).
#if defined(QUELMAR_WIDE_KERNELS)
// 8 lanes; only to be called when the processor and the system support AVX.
void accumulateAvx(const DisplacementBatch& batch, const DisplacementTargets& targets,
                   const DisplacementScratch& scratch);
// 16 lanes; only to be called when the processor and the system support AVX-512F.
void accumulateAvx512(const DisplacementBatch& batch, const DisplacementTargets& targets,
                      const DisplacementScratch& scratch);
#endif

} // namespace qm::kernels
