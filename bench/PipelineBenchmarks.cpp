// The work of the displacement task without the host: read the FMR project and its data, build
// the brain mask from volume 0, read the motion SDM and compute the seven statistics. Once as the
// plain reading does it (every volume of the STC, the whole-grid reference kernel) and once as
// the plug-in does it (volume 0 alone, the fast kernel). Saving the maps is the host's work and
// is left out of both.
#include "BenchmarkInputs.h"
#include "FmrProject.h"
#include "VoxelDisplacementReference.h"

#include <benchmark/benchmark.h>

namespace qm::bench {
namespace {

VoxelSize voxelSizeOf(const FmrProject& project) {
    return {project.inplaneResolutionX.value, project.inplaneResolutionY.value,
            project.sliceThickness.value};
}

void readEveryVolumeAndReferenceKernel(benchmark::State& state) {
    const RunOnDisk& run = runOnDisk();
    for (auto _ : state) {
        FmrProject project(run.fmr, true);
        const std::vector<std::int32_t> mask =
            maskAbove(project.volumes.front().data, kRunBrainThreshold);
        project.volumes = {};
        const DesignMatrix motion(run.sdm);
        const DisplacementMaps maps = test::computeVoxelDisplacementReference(
            project.volumeDimensions(), voxelSizeOf(project), mask, motion);
        benchmark::DoNotOptimize(maps.meanAbsolute.data.data());
        state.counters["masked_voxels"] = static_cast<double>(mask.size());
    }
}

void readFirstVolumeAndFastKernel(benchmark::State& state) {
    const RunOnDisk& run = runOnDisk();
    for (auto _ : state) {
        const FmrProject project(run.fmr, false);
        const std::vector<std::int32_t> mask =
            maskAbove(project.readVolume(0).volume.data, kRunBrainThreshold);
        const DesignMatrix motion(run.sdm);
        const MaskedDisplacement maps = computeMaskedDisplacement(
            project.volumeDimensions(), voxelSizeOf(project), mask, motion);
        benchmark::DoNotOptimize(maps.meanAbsolute.data());
        state.counters["masked_voxels"] = static_cast<double>(mask.size());
    }
}

} // namespace

void registerPipelineBenchmarks() {
    benchmark::RegisterBenchmark("DisplacementWork/readEveryVolume+reference",
                                 readEveryVolumeAndReferenceKernel)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DisplacementWork/readFirstVolume+fast",
                                 readFirstVolumeAndFastKernel)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

} // namespace qm::bench
