// computeVoxelDisplacement on the size of today's runs: every kernel this processor can run
// against the plain reference that transforms the whole grid once per volume.
#include "BenchmarkInputs.h"
#include "VoxelDisplacementReference.h"

#include <benchmark/benchmark.h>

#include <string>

namespace qm::bench {
namespace {

// Time per masked voxel and volume (seconds, printed with an SI prefix such as "ns").
void countVoxelVolumes(benchmark::State& state) {
    const double voxelVolumes = static_cast<double>(halfGridMask().size()) * kRunVolumes;
    state.SetItemsProcessed(static_cast<std::int64_t>(voxelVolumes) *
                            static_cast<std::int64_t>(state.iterations()));
    state.counters["per_voxel_volume"] = benchmark::Counter(
        voxelVolumes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["masked_voxels"] = static_cast<double>(halfGridMask().size());
    state.counters["volumes"] = kRunVolumes;
}

void referenceKernel(benchmark::State& state) {
    for (auto _ : state) {
        DisplacementMaps maps = test::computeVoxelDisplacementReference(
            kRunSize, kRunVoxelSize, halfGridMask(), runMotion());
        benchmark::DoNotOptimize(maps.meanAbsolute.data.data());
    }
    countVoxelVolumes(state);
}

void fastKernel(benchmark::State& state, DisplacementInstructionSet instructionSet) {
    for (auto _ : state) {
        DisplacementMaps maps = computeVoxelDisplacement(kRunSize, kRunVoxelSize, halfGridMask(),
                                                         runMotion(), instructionSet);
        benchmark::DoNotOptimize(maps.meanAbsolute.data.data());
    }
    countVoxelVolumes(state);
}

} // namespace

void registerKernelBenchmarks() {
    benchmark::RegisterBenchmark("VoxelDisplacement/reference", referenceKernel)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const DisplacementInstructionSet set : supportedDisplacementInstructionSets()) {
        const std::string name =
            "VoxelDisplacement/fast/" + std::string(displacementInstructionSetName(set));
        benchmark::RegisterBenchmark(name.c_str(), fastKernel, set)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

} // namespace qm::bench
