// The voxel displacement kernels on the size of today's runs: every kernel this processor can
// run against the plain reference that transforms the whole grid once per volume, and the
// threads option on a long run.
#include "BenchmarkInputs.h"
#include "MotionRows.h"
#include "PreviousDisplacementKernel.h"
#include "VoxelDisplacementReference.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qm::bench {
namespace {

// Time per masked voxel and volume (seconds, printed with an SI prefix such as "ns").
void countVoxelVolumes(benchmark::State& state, std::int32_t volumes) {
    const double voxelVolumes = static_cast<double>(halfGridMask().size()) * volumes;
    state.SetItemsProcessed(static_cast<std::int64_t>(voxelVolumes) *
                            static_cast<std::int64_t>(state.iterations()));
    state.counters["per_voxel_volume"] = benchmark::Counter(
        voxelVolumes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["masked_voxels"] = static_cast<double>(halfGridMask().size());
    state.counters["volumes"] = volumes;
}

void referenceKernel(benchmark::State& state) {
    for (auto _ : state) {
        DisplacementMaps maps = test::computeVoxelDisplacementReference(
            kRunSize, kRunVoxelSize, halfGridMask(), runMotion());
        benchmark::DoNotOptimize(maps.meanAbsolute.data.data());
    }
    countVoxelVolumes(state, kRunVolumes);
}

// The kernel's own time: the seven masked-voxel arrays, as the displacement task gets them.
void fastKernel(benchmark::State& state, DisplacementInstructionSet instructionSet) {
    for (auto _ : state) {
        MaskedDisplacement maps = computeMaskedDisplacement(kRunSize, kRunVoxelSize, halfGridMask(),
                                                            runMotion(), instructionSet);
        benchmark::DoNotOptimize(maps.meanAbsolute.data());
    }
    countVoxelVolumes(state, kRunVolumes);
}

#if defined(QUELMAR_BENCH_PREVIOUS_KERNELS)
// The kernel before voxels of a row shared their products, on the same voxels and motion.
void previousKernel(benchmark::State& state, PreviousKernel kernel) {
    const std::vector<std::int32_t>& mask = halfGridMask();
    const std::size_t count = mask.size();
    const DesignMatrix& motion = runMotion();
    std::vector<float> coefficients;
    for (std::size_t j = 0; j < kRunVolumes; ++j) {
        const Matrix4x4 t = transformFromMotionRow(motionRow(motion, j));
        for (const float value : {t(0, 0), t(1, 0), t(2, 0), t(0, 3), t(0, 1), t(1, 1), t(2, 1),
                                  t(1, 3), t(0, 2), t(1, 2), t(2, 2), t(2, 3)}) {
            coefficients.push_back(value);
        }
    }
    const std::vector<Point3> grid =
        buildVoxelCentreGrid(kRunSize, static_cast<float>(kRunSize.x) * kRunVoxelSize.x,
                             static_cast<float>(kRunSize.y) * kRunVoxelSize.y,
                             static_cast<float>(kRunSize.z) * kRunVoxelSize.z);
    constexpr std::size_t kBatch = 2048;
    const std::size_t padded = kBatch + kernels::kPositionPadding;
    std::vector<float> x(padded), y(padded), z(padded);
    MaskedDisplacement out{std::vector<float>(count), std::vector<float>(count),
                           std::vector<float>(count), std::vector<float>(count),
                           std::vector<float>(count), std::vector<float>(count),
                           std::vector<float>(count)};
    for (auto _ : state) {
        for (std::size_t first = 0; first < count; first += kBatch) {
            const std::size_t size = std::min(kBatch, count - first);
            for (std::size_t i = 0; i < size; ++i) {
                const Point3& p = grid[static_cast<std::size_t>(mask[first + i])];
                x[i] = p.x;
                y[i] = p.y;
                z[i] = p.z;
            }
            kernel({coefficients.data(), kRunVolumes, x.data(), y.data(), z.data(), size},
                   {out.meanAbsolute.data() + first, out.maxAbsolute.data() + first,
                    out.meanRelative.data() + first, out.maxRelative.data() + first,
                    out.maxAbsoluteX.data() + first, out.maxAbsoluteY.data() + first,
                    out.maxAbsoluteZ.data() + first});
        }
        benchmark::DoNotOptimize(out.meanAbsolute.data());
    }
    // Both kernels compute the same bits; a difference means the copy is not the old kernel.
    const MaskedDisplacement today =
        computeMaskedDisplacement(kRunSize, kRunVoxelSize, mask, motion);
    if (today.meanRelative != out.meanRelative || today.maxAbsoluteZ != out.maxAbsoluteZ) {
        state.SkipWithError("the previous kernel's results differ from today's");
    }
    countVoxelVolumes(state, kRunVolumes);
}
#endif

// A long run with the best kernel on `threads` threads; wall time is the figure here.
void threadedKernel(benchmark::State& state, std::size_t threads) {
    const DesignMatrix& motion = longRunMotion();
    for (auto _ : state) {
        MaskedDisplacement maps =
            computeMaskedDisplacement(kRunSize, kRunVoxelSize, halfGridMask(), motion, threads);
        benchmark::DoNotOptimize(maps.meanAbsolute.data());
    }
    countVoxelVolumes(state, kLongRunVolumes);
    state.counters["threads"] = static_cast<double>(threads);
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
#if defined(QUELMAR_BENCH_PREVIOUS_KERNELS)
    for (const DisplacementInstructionSet set : supportedDisplacementInstructionSets()) {
        if (set == DisplacementInstructionSet::avx || set == DisplacementInstructionSet::avx512) {
            const std::string name =
                "VoxelDisplacement/previous/" + std::string(displacementInstructionSetName(set));
            benchmark::RegisterBenchmark(name.c_str(), previousKernel,
                                         set == DisplacementInstructionSet::avx
                                             ? accumulatePreviouslyAvx
                                             : accumulatePreviouslyAvx512)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
#endif
    for (const std::size_t threads : {std::size_t{1}, std::size_t{2}}) {
        const std::string name = "VoxelDisplacement/long/threads:" + std::to_string(threads);
        benchmark::RegisterBenchmark(name.c_str(), threadedKernel, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    }
}

} // namespace qm::bench
