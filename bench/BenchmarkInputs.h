// What the benchmarks work on: the kernel's grid, mask and motion built in memory, and a
// functional run on disk for the file benchmarks.
#pragma once

#include "DesignMatrix.h"
#include "VoxelDisplacement.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm::bench {

// The size of today's high-resolution runs: 128 x 128 x 64 voxels of 2 mm, 300 volumes.
inline constexpr VolumeDimensions kRunSize{128, 128, 64};
inline constexpr std::int32_t kRunVolumes = 300;
inline constexpr VoxelSize kRunVoxelSize{2.0F, 2.0F, 2.0F};

// Intensity threshold of the brain mask in the generated run (the head is brighter, the
// background darker).
inline constexpr float kRunBrainThreshold = 150.0F;

// Half of the grid: the voxels of the ellipsoid centred in it whose semi-axes are scaled to
// hold half the voxels, a brain-shaped mask of whole runs of rows.
const std::vector<std::int32_t>& halfGridMask();

// A motion series of kRunVolumes volumes with slow drift, noise and sudden jumps.
const DesignMatrix& runMotion();

// A long run, where a second thread pays off: kLongRunVolumes volumes of the same kind.
inline constexpr std::int32_t kLongRunVolumes = 4800;
const DesignMatrix& longRunMotion();

// A functional run on disk: NAME.fmr, its STC and NAME_3DMC.sdm beside it.
struct RunOnDisk {
    std::string fmr;
    std::string sdm;
    std::uint64_t stcBytes = 0;
};

// Use the run at `fmrPath` (written by generate_run) instead of writing one.
void useRunOnDisk(const std::string& fmrPath);

// The run given with useRunOnDisk, or else one of kRunSize and kRunVolumes volumes with 16-bit
// samples written into a temporary folder on first use and removed at exit.
const RunOnDisk& runOnDisk();

// A temporary folder of the benchmark program, removed at exit.
const std::string& scratchFolder();

// Elements of `volume` above the threshold, in index order, as the displacement task's mask.
std::vector<std::int32_t> maskAbove(const std::vector<float>& volume, float threshold);

} // namespace qm::bench
