#include "BenchmarkInputs.h"

#include "MotionMatrices.h"
#include "SyntheticRun.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace qm::bench {
namespace {

namespace fs = std::filesystem;

// Folders created here are removed when the program ends.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "quelmar-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder for the benchmarks");
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::unique_ptr<RunOnDisk>& givenRun() {
    static std::unique_ptr<RunOnDisk> run;
    return run;
}

RunOnDisk describeRun(const std::string& fmr) {
    const fs::path fmrPath(fmr);
    RunOnDisk run;
    run.fmr = fmr;
    run.sdm = (fmrPath.parent_path() / (fmrPath.stem().string() + "_3DMC.sdm")).string();
    const fs::path stc = fmrPath.parent_path() / (fmrPath.stem().string() + ".stc");
    run.stcBytes = fs::file_size(stc);
    return run;
}

} // namespace

const std::vector<std::int32_t>& halfGridMask() {
    static const std::vector<std::int32_t> mask = [] {
        // An ellipsoid inscribed in the grid holds pi/6 of it; scaling its semi-axes by
        // cbrt(3/pi) makes that one half.
        const double scale = std::cbrt(3.0 / 3.14159265358979);
        const auto axis = [scale](std::int32_t i, std::int32_t n) {
            return (i + 0.5 - n / 2.0) / (scale * n / 2.0);
        };
        std::vector<std::int32_t> indices;
        std::int32_t index = 0;
        for (std::int32_t z = 0; z < kRunSize.z; ++z) {
            for (std::int32_t y = 0; y < kRunSize.y; ++y) {
                for (std::int32_t x = 0; x < kRunSize.x; ++x, ++index) {
                    const double dx = axis(x, kRunSize.x);
                    const double dy = axis(y, kRunSize.y);
                    const double dz = axis(z, kRunSize.z);
                    if (dx * dx + dy * dy + dz * dz <= 1.0) {
                        indices.push_back(index);
                    }
                }
            }
        }
        return indices;
    }();
    return mask;
}

const DesignMatrix& runMotion() {
    static const DesignMatrix motion = test::realisticMotion(kRunVolumes);
    return motion;
}

const DesignMatrix& longRunMotion() {
    static const DesignMatrix motion = test::realisticMotion(kLongRunVolumes);
    return motion;
}

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path();
}

void useRunOnDisk(const std::string& fmrPath) {
    givenRun() = std::make_unique<RunOnDisk>(describeRun(fmrPath));
}

const RunOnDisk& runOnDisk() {
    std::unique_ptr<RunOnDisk>& run = givenRun();
    if (!run) {
        tools::RunSpec spec;
        spec.directory = scratchFolder();
        spec.name = "bench";
        spec.sizeX = kRunSize.x;
        spec.sizeY = kRunSize.y;
        spec.sizeZ = kRunSize.z;
        spec.volumes = kRunVolumes;
        spec.voxelX = kRunVoxelSize.x;
        spec.voxelY = kRunVoxelSize.y;
        spec.voxelZ = kRunVoxelSize.z;
        std::cerr << "Writing a run of 128 x 128 x 64 voxels and 300 volumes into "
                  << spec.directory << " ...\n";
        run = std::make_unique<RunOnDisk>(describeRun(tools::writeSyntheticRun(spec).fmr));
    }
    return *run;
}

std::vector<std::int32_t> maskAbove(const std::vector<float>& volume, float threshold) {
    std::vector<std::int32_t> mask;
    for (std::size_t i = 0; i < volume.size(); ++i) {
        if (volume[i] > threshold) {
            mask.push_back(static_cast<std::int32_t>(i));
        }
    }
    return mask;
}

} // namespace qm::bench
