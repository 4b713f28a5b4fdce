// The displacement task's own work, stage by stage, on the run on disk: reading (the FMR project
// and volume 0 of its data, and the motion SDM), the brain mask, the kernel, and the hand-over
// of the seven maps (each map's largest value and its slices written into the host's map). The
// host's part, creating and saving the maps, is left out; run_task_benchmarks.sh finds it from
// whole runs of Halvorn.exe with and without maps.
#include "BenchmarkInputs.h"
#include "BrainMask.h"
#include "FmrProject.h"
#include "HostFunctionTable.h"
#include "MapOutput.h"

#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace qm::bench {
namespace {

constexpr std::size_t kMaps = 7;

VoxelSize voxelSizeOf(const FmrProject& project) {
    return {project.inplaneResolutionX.value, project.inplaneResolutionY.value,
            project.sliceThickness.value};
}

// What the stages pass on to each other, computed once.
struct TaskInputs {
    VolumeDimensions grid;
    VoxelSize voxelSize;
    Volume firstVolume;
    std::vector<std::int32_t> mask;
    DesignMatrix motion;
};

const TaskInputs& taskInputs() {
    static const TaskInputs inputs = [] {
        const RunOnDisk& run = runOnDisk();
        const FmrProject project(run.fmr, false);
        TaskInputs made{project.volumeDimensions(),
                        voxelSizeOf(project),
                        project.readVolume(0).volume,
                        {},
                        DesignMatrix(run.sdm)};
        made.mask = brainMaskIndices(made.firstVolume, kRunBrainThreshold);
        return made;
    }();
    return inputs;
}

// A host that hands out one map after another from its own list, as Halvorn.exe does: each
// ztCreateMAPForCurrentFMR makes the next map current. Zero-filled maps are what Halvorn.exe
// allocates today (pages already touched); untouched maps are what a host that takes fresh zero
// pages from the system gives, where the plug-in's writes are the first touch.
class BenchmarkHost {
public:
    BenchmarkHost(const VolumeDimensions& grid, bool touched) : grid_(grid), touched_(touched) {
        host_ = this;
        auto& slots = hostFunctions().slots;
        slots[static_cast<std::size_t>(HostFunction::ztCreateMAPForCurrentFMR)] =
            reinterpret_cast<AnyHostFunction>(&createMap);
        slots[static_cast<std::size_t>(HostFunction::ztGetMAPOfCurrentFMR)] =
            reinterpret_cast<AnyHostFunction>(&getMap);
        slots[static_cast<std::size_t>(HostFunction::ztSetMAPParametersOfCurrentFMR)] =
            reinterpret_cast<AnyHostFunction>(&setParameters);
        slots[static_cast<std::size_t>(HostFunction::ztSaveMAPsOfCurrentFMR)] =
            reinterpret_cast<AnyHostFunction>(&saveMaps);
        prepare();
    }
    ~BenchmarkHost() {
        hostFunctions() = HostFunctionTable{};
        host_ = nullptr;
    }
    BenchmarkHost(const BenchmarkHost&) = delete;
    BenchmarkHost& operator=(const BenchmarkHost&) = delete;

    // Fresh maps for the next round of seven: pages straight from the system (zero, not yet
    // touched), zero-filled once more when the maps are to be touched.
    void prepare() {
        const std::size_t bytes = elementCount(grid_) * sizeof(float);
        for (Map& map : maps_) {
            map.values = PageBlock(bytes);
            if (touched_) {
                std::memset(map.values.get(), 0, bytes);
            }
            map.slices.clear();
            for (std::int32_t z = 0; z < grid_.z; ++z) {
                map.slices.push_back(map.values.get() + static_cast<std::size_t>(grid_.x) *
                                                            static_cast<std::size_t>(grid_.y) *
                                                            static_cast<std::size_t>(z));
            }
        }
        next_ = 0;
    }

private:
    // Anonymous pages of their own, returned to the system when released, so that a new block
    // never reuses memory an earlier round touched.
    class PageBlock {
    public:
        PageBlock() = default;
        explicit PageBlock(std::size_t bytes)
            : bytes_(bytes), address_(mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {
            if (address_ == MAP_FAILED) {
                throw std::bad_alloc();
            }
        }
        PageBlock(PageBlock&& other) noexcept { *this = std::move(other); }
        PageBlock& operator=(PageBlock&& other) noexcept {
            release();
            bytes_ = std::exchange(other.bytes_, 0);
            address_ = std::exchange(other.address_, MAP_FAILED);
            return *this;
        }
        ~PageBlock() { release(); }
        float* get() const { return static_cast<float*>(address_); }

    private:
        void release() {
            if (address_ != MAP_FAILED) {
                munmap(address_, bytes_);
                address_ = MAP_FAILED;
            }
        }
        std::size_t bytes_ = 0;
        void* address_ = MAP_FAILED;
    };
    struct Map {
        PageBlock values;
        std::vector<float*> slices;
    };

    static int createMap() { return static_cast<int>(host_->next_++); }
    static float** getMap(MapHeader* header) {
        *header = MapHeader{};
        header->DimX = host_->grid_.x;
        header->DimY = host_->grid_.y;
        header->DimZ = host_->grid_.z;
        return host_->maps_[host_->next_ - 1].slices.data();
    }
    static void setParameters(MapHeader* header) { benchmark::DoNotOptimize(header); }
    static int saveMaps(const char* path) {
        benchmark::DoNotOptimize(path);
        return 1;
    }

    static inline BenchmarkHost* host_ = nullptr;
    VolumeDimensions grid_;
    bool touched_;
    std::array<Map, kMaps> maps_;
    std::size_t next_ = 0;
};

void countMaskedVoxels(benchmark::State& state) {
    const TaskInputs& inputs = taskInputs();
    state.counters["masked_voxels"] = static_cast<double>(inputs.mask.size());
    state.counters["volumes"] = inputs.motion.nrOfDataPoints.value;
}

void readStage(benchmark::State& state) {
    const RunOnDisk& run = runOnDisk();
    for (auto _ : state) {
        const FmrProject project(run.fmr, false);
        const StcVolume first = project.readVolume(0);
        const DesignMatrix motion(run.sdm);
        benchmark::DoNotOptimize(first.volume.data.data());
        benchmark::DoNotOptimize(motion.columns.data());
    }
    countMaskedVoxels(state);
}

void maskStage(benchmark::State& state) {
    const TaskInputs& inputs = taskInputs();
    for (auto _ : state) {
        const std::vector<std::int32_t> mask =
            brainMaskIndices(inputs.firstVolume, kRunBrainThreshold);
        benchmark::DoNotOptimize(mask.data());
    }
    countMaskedVoxels(state);
}

void kernelStage(benchmark::State& state) {
    const TaskInputs& inputs = taskInputs();
    for (auto _ : state) {
        const MaskedDisplacement maps =
            computeMaskedDisplacement(inputs.grid, inputs.voxelSize, inputs.mask, inputs.motion);
        benchmark::DoNotOptimize(maps.meanAbsolute.data());
    }
    countMaskedVoxels(state);
}

void handOverStage(benchmark::State& state, bool touchedMaps) {
    const TaskInputs& inputs = taskInputs();
    const MaskedDisplacement maps =
        computeMaskedDisplacement(inputs.grid, inputs.voxelSize, inputs.mask, inputs.motion);
    const std::vector<float>* arrays[kMaps] = {
        &maps.maxAbsolute,  &maps.meanAbsolute, &maps.meanRelative, &maps.maxRelative,
        &maps.maxAbsoluteX, &maps.maxAbsoluteY, &maps.maxAbsoluteZ};
    const std::size_t voxels = elementCount(inputs.grid);
    BenchmarkHost host(inputs.grid, touchedMaps);
    for (auto _ : state) {
        state.PauseTiming();
        host.prepare();
        state.ResumeTiming();
        for (const std::vector<float>* values : arrays) {
            saveMaskedValuesAsMap(inputs.grid, inputs.mask, *values, 0.01F,
                                  largestMaskedElement(*values, inputs.mask, voxels), "map");
        }
    }
    countMaskedVoxels(state);
}

} // namespace

void registerTaskBreakdownBenchmarks() {
    benchmark::RegisterBenchmark("DisplacementTask/read", readStage)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DisplacementTask/mask", maskStage)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DisplacementTask/kernel", kernelStage)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DisplacementTask/handOver", handOverStage, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("DisplacementTask/handOver/untouchedMaps", handOverStage, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

} // namespace qm::bench
