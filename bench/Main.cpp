// quelmar_benchmarks [--run=RUN.fmr] [Google Benchmark options]
//
// The file benchmarks read RUN.fmr, its STC and RUN_3DMC.sdm beside it (as generate_run writes
// them); without --run they first write a run of 128 x 128 x 64 voxels and 300 volumes into a
// temporary folder.
#include "BenchmarkInputs.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace qm::bench {
void registerKernelBenchmarks();
void registerFileBenchmarks();
void registerPipelineBenchmarks();
void registerTaskBreakdownBenchmarks();
} // namespace qm::bench

namespace {

std::string cpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.rfind("--run=", 0) == 0) {
            qm::bench::useRunOnDisk(std::string(argument.substr(6)));
        } else {
            std::cerr << "quelmar_benchmarks: unknown option " << argument
                      << " (besides Google Benchmark's options there is only --run=RUN.fmr)\n";
            return 1;
        }
    }
    benchmark::AddCustomContext("cpu_model", cpuModel());
    benchmark::AddCustomContext(
        "displacement_instruction_set",
        std::string(qm::displacementInstructionSetName(qm::bestDisplacementInstructionSet())));

    qm::bench::registerKernelBenchmarks();
    qm::bench::registerFileBenchmarks();
    qm::bench::registerPipelineBenchmarks();
    qm::bench::registerTaskBreakdownBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
