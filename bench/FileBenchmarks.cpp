// Reading the run's STC slice data, and reading and writing SDM text.
#include "BenchmarkInputs.h"
#include "FmrProject.h"
#include "MotionMatrices.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace qm::bench {
namespace {

// Throughput in MB/s (10^6 bytes) of `bytes` handled per iteration.
void countBytes(benchmark::State& state, std::uint64_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) *
                            static_cast<std::int64_t>(state.iterations()));
    state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(bytes) * 1e-6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// The displacement task's read: the header and volume 0 alone.
void stcReadFirstVolume(benchmark::State& state) {
    const RunOnDisk& run = runOnDisk();
    std::uint64_t volumeBytes = 0;
    for (auto _ : state) {
        const FmrProject project(run.fmr, false);
        const StcVolume first = project.readVolume(0);
        volumeBytes = first.volume.data.size() * (project.dataType.value == 2 ? 4 : 2);
        benchmark::DoNotOptimize(first.volume.data.data());
    }
    countBytes(state, volumeBytes);
}

// Every volume of the run into memory, as reading the whole FMR project does.
void stcReadAllVolumes(benchmark::State& state) {
    const RunOnDisk& run = runOnDisk();
    for (auto _ : state) {
        const FmrProject project(run.fmr, true);
        benchmark::DoNotOptimize(project.volumes.data());
    }
    countBytes(state, run.stcBytes);
}

// 2000 volumes of the six motion parameters.
DesignMatrix longMotion() {
    DesignMatrix motion = test::realisticMotion(2000);
    motion.path = (std::filesystem::path(scratchFolder()) / "long_3DMC.sdm").string();
    return motion;
}

void sdmWrite(benchmark::State& state) {
    const DesignMatrix motion = longMotion();
    for (auto _ : state) {
        motion.save();
    }
    countBytes(state, std::filesystem::file_size(motion.path));
}

// The text alone, as save() builds it before writing: formatting numbers, no file.
void sdmText(benchmark::State& state) {
    const DesignMatrix motion = longMotion();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = motion.fileContent();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    countBytes(state, bytes);
}

void sdmRead(benchmark::State& state) {
    const DesignMatrix motion = longMotion();
    motion.save();
    for (auto _ : state) {
        const DesignMatrix read(motion.path);
        benchmark::DoNotOptimize(read.columns.data());
    }
    countBytes(state, std::filesystem::file_size(motion.path));
}

} // namespace

void registerFileBenchmarks() {
    benchmark::RegisterBenchmark("StcRead/firstVolume", stcReadFirstVolume)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("StcRead/allVolumes", stcReadAllVolumes)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sdm/read", sdmRead)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("Sdm/write", sdmWrite)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sdm/text", sdmText)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace qm::bench
