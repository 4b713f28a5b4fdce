// Synthetic functional runs for tests, demos and benchmarks: an FMR project with its STC slice
// data (a head-shaped bright ellipsoid over a dark noisy background) and the 3D motion
// correction SDM that the host would leave beside it (six rigid-body parameters per volume with
// a slow drift and a few sudden jumps). Everything is fixed by the seed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::tools {

enum class SampleType { Int16, Float32 };

// Translations x, y, z in millimetres, then rotations about x, y, z in degrees.
using MotionParameters = std::array<float, 6>;

struct RunSpec {
    std::string directory = ".";
    std::string name = "run"; // run.fmr, run.stc, run_3DMC.sdm
    std::int32_t sizeX = 64;  // columns
    std::int32_t sizeY = 64;  // rows
    std::int32_t sizeZ = 30;  // slices
    std::int32_t volumes = 100;
    float voxelX = 3.0F; // millimetres
    float voxelY = 3.0F;
    float voxelZ = 3.0F; // slice thickness; the slice gap is 0
    SampleType sampleType = SampleType::Int16;
    std::uint64_t seed = 1;
    std::int32_t jumps = 3; // sudden head movements in the motion series
    // When set, every volume gets these motion parameters instead of drift and jumps.
    std::optional<MotionParameters> constantMotion;
};

struct RunFiles {
    std::string fmr;
    std::string stc;
    std::string sdm;
};

// Writes the three files of `spec` into its directory (which must exist) and returns their
// paths. Throws std::invalid_argument for an impossible spec and std::runtime_error naming the
// file when one cannot be written.
RunFiles writeSyntheticRun(const RunSpec& spec);

// The motion parameters of every volume: a slow drift, small noise and `spec.jumps` sudden
// steps (or `spec.constantMotion` for every volume). Values stay within +-8 so that every value
// survives the SDM format's fixed columns.
std::vector<MotionParameters> syntheticMotion(const RunSpec& spec);

// Writes a 3D motion correction SDM in the host's layout: six predictors named
// "Translation X [mm]" ... "Rotation Z [deg]", one line per volume, CR LF line ends.
void writeMotionSdm(const std::string& path, const std::vector<MotionParameters>& rows);

// Intensity of the noiseless head image at column x, row y, slice z.
float headIntensity(const RunSpec& spec, std::int32_t x, std::int32_t y, std::int32_t z);

// Intensities above this lie inside the head, below it the background.
inline constexpr float kBrainThreshold = 150.0F;

} // namespace qm::tools
