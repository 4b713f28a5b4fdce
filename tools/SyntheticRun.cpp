#include "SyntheticRun.h"

#include "DeterministicRandom.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace qm::tools {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr float kBackground = 30.0F;
constexpr float kNoiseSd = 8.0F;

std::string numberText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string numberText(std::int64_t value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void requireSpec(bool condition, const std::string& problem) {
    if (!condition) {
        throw std::invalid_argument(problem);
    }
}

void checkSpec(const RunSpec& spec) {
    requireSpec(spec.sizeX > 0 && spec.sizeY > 0 && spec.sizeZ > 0,
                "every size must be at least 1");
    requireSpec(static_cast<std::int64_t>(spec.sizeX) * spec.sizeY * spec.sizeZ <=
                    std::numeric_limits<std::int32_t>::max(),
                "a volume may hold at most 2147483647 voxels");
    requireSpec(spec.volumes >= 0, "the number of volumes must not be negative");
    requireSpec(spec.voxelX > 0.0F && spec.voxelY > 0.0F && spec.voxelZ > 0.0F,
                "voxel sizes must be positive");
    requireSpec(spec.jumps >= 0, "the number of jumps must not be negative");
    requireSpec(!spec.name.empty() && spec.name.find_first_of("/\\\"") == std::string::npos,
                "the run name must be a plain file name");
}

std::ofstream openForWriting(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot create " + path);
    }
    return out;
}

void finish(std::ofstream& out, const std::string& path) {
    out.close();
    if (!out) {
        throw std::runtime_error("failed writing " + path);
    }
}

// "Key:" padded to a common value column, then the value.
class FmrWriter {
public:
    explicit FmrWriter(std::ostream& out) : out_(out) {}

    void entry(const std::string& key, const std::string& value) {
        std::string line = key + ":";
        line.append(line.size() < kValueColumn ? kValueColumn - line.size() : 1, ' ');
        out_ << line << value << kCrLf;
    }
    void entry(const std::string& key, std::int64_t value) { entry(key, numberText(value)); }
    void decimal(const std::string& key, float value) { entry(key, numberText(value)); }
    void text(const std::string& line) { out_ << line << kCrLf; }

private:
    static constexpr std::size_t kValueColumn = 34;
    std::ostream& out_;
};

void writeFmr(const std::string& path, const RunSpec& spec) {
    std::ofstream out = openForWriting(path);
    FmrWriter fmr(out);
    const std::int64_t tr = 2000;
    fmr.text("");
    fmr.entry("FileVersion", 7);
    fmr.text("");
    fmr.entry("NrOfVolumes", spec.volumes);
    fmr.entry("NrOfSlices", spec.sizeZ);
    fmr.entry("NrOfSkippedVolumes", 0);
    fmr.entry("Prefix", "\"" + spec.name + "\"");
    fmr.text("");
    fmr.entry("DataStorageFormat", 1);
    fmr.entry("DataType", spec.sampleType == SampleType::Float32 ? 2 : 1);
    fmr.text("");
    fmr.entry("TR", tr);
    fmr.entry("InterSliceTime", tr / spec.sizeZ);
    fmr.entry("TimeResolutionVerified", 1);
    fmr.entry("TE", 30);
    fmr.entry("SliceAcquisitionOrder", 0);
    fmr.entry("SliceAcquisitionOrderVerified", 1);
    fmr.text("");
    fmr.entry("ResolutionX", spec.sizeX);
    fmr.entry("ResolutionY", spec.sizeY);
    fmr.text("");
    fmr.entry("LoadAMRFile", "\"\"");
    fmr.entry("ShowAMRFile", 1);
    fmr.text("");
    fmr.entry("ImageIndex", 0);
    fmr.text("");
    const auto columns = static_cast<std::int64_t>(std::ceil(std::sqrt(spec.sizeZ)));
    fmr.entry("LayoutNColumns", columns);
    fmr.entry("LayoutNRows", (spec.sizeZ + columns - 1) / columns);
    fmr.entry("LayoutZoomLevel", 1);
    fmr.entry("SegmentSize", 10);
    fmr.entry("SegmentOffset", 0);
    fmr.entry("NrOfLinkedProtocols", 0);
    fmr.text("");
    fmr.decimal("InplaneResolutionX", spec.voxelX);
    fmr.decimal("InplaneResolutionY", spec.voxelY);
    fmr.decimal("SliceThickness", spec.voxelZ);
    fmr.decimal("SliceGap", 0.0F);
    fmr.entry("VoxelResolutionVerified", 1);
    fmr.text("");
    fmr.text("");
    fmr.text("PositionInformationFromImageHeaders");
    fmr.text("");
    fmr.entry("PosInfosVerified", 1);
    fmr.entry("CoordinateSystem", 1);
    const float halfDepth = 0.5F * static_cast<float>(spec.sizeZ - 1) * spec.voxelZ;
    fmr.decimal("Slice1CenterX", 0.0F);
    fmr.decimal("Slice1CenterY", 0.0F);
    fmr.decimal("Slice1CenterZ", -halfDepth);
    fmr.decimal("SliceNCenterX", 0.0F);
    fmr.decimal("SliceNCenterY", 0.0F);
    fmr.decimal("SliceNCenterZ", halfDepth);
    fmr.decimal("RowDirX", 1.0F);
    fmr.decimal("RowDirY", 0.0F);
    fmr.decimal("RowDirZ", 0.0F);
    fmr.decimal("ColDirX", 0.0F);
    fmr.decimal("ColDirY", 1.0F);
    fmr.decimal("ColDirZ", 0.0F);
    fmr.entry("NRows", spec.sizeY);
    fmr.entry("NCols", spec.sizeX);
    fmr.decimal("FoVRows", static_cast<float>(spec.sizeY) * spec.voxelY);
    fmr.decimal("FoVCols", static_cast<float>(spec.sizeX) * spec.voxelX);
    fmr.decimal("SliceThickness", spec.voxelZ);
    fmr.decimal("GapThickness", 0.0F);
    fmr.text("");
    fmr.entry("NrOfPastSpatialTransformations", 0);
    fmr.text("");
    fmr.entry("LeftRightConvention", 1);
    fmr.entry("FirstDataSourceFile", "\"" + spec.name + "-0001.dcm\"");
    fmr.text("");
    fmr.entry("MultibandSequence", 0);
    fmr.entry("SliceTimingTableSize", spec.sizeZ);
    // Interleaved acquisition: even slices first, then odd ones.
    const std::int32_t evenSlices = (spec.sizeZ + 1) / 2;
    const float sliceTime = static_cast<float>(tr) / static_cast<float>(spec.sizeZ);
    for (std::int32_t z = 0; z < spec.sizeZ; ++z) {
        const std::int32_t order = z % 2 == 0 ? z / 2 : evenSlices + z / 2;
        fmr.text(numberText(static_cast<float>(order) * sliceTime));
    }
    fmr.entry("AcquisitionTime", "10:00:00.000");
    finish(out, path);
}

void appendSample(std::vector<unsigned char>& bytes, std::size_t index, float value,
                  SampleType type) {
    if (type == SampleType::Float32) {
        std::uint32_t bits = 0;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        for (int b = 0; b < 4; ++b) {
            bytes[index * 4 + static_cast<std::size_t>(b)] =
                static_cast<unsigned char>(bits >> (8 * b));
        }
    } else {
        const float clamped = std::clamp(std::round(value), -32768.0F, 32767.0F);
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(clamped));
        bytes[index * 2] = static_cast<unsigned char>(bits);
        bytes[index * 2 + 1] = static_cast<unsigned char>(bits >> 8);
    }
}

// Slice-major like the host's STC layout: for every slice, every volume's image of it. One slice
// image is alive at a time, so runs of any length are written in constant memory.
void writeStc(const std::string& path, const RunSpec& spec) {
    std::ofstream out = openForWriting(path);
    const auto sliceSize = static_cast<std::size_t>(spec.sizeX) * spec.sizeY;
    const std::size_t sampleSize = spec.sampleType == SampleType::Float32 ? 4 : 2;
    std::vector<float> head(sliceSize);
    std::vector<unsigned char> bytes(sliceSize * sampleSize);
    DeterministicRandom random(spec.seed ^ 0x5354435354435354ULL);
    const float volumes = static_cast<float>(std::max(spec.volumes, 1));
    for (std::int32_t z = 0; z < spec.sizeZ; ++z) {
        for (std::int32_t y = 0; y < spec.sizeY; ++y) {
            for (std::int32_t x = 0; x < spec.sizeX; ++x) {
                head[static_cast<std::size_t>(x) + static_cast<std::size_t>(spec.sizeX) * y] =
                    headIntensity(spec, x, y, z);
            }
        }
        for (std::int32_t v = 0; v < spec.volumes; ++v) {
            // A slow scanner drift of 2 % over the run and a faint oscillation.
            const float t = static_cast<float>(v);
            const float gain = 1.0F + 0.02F * t / volumes + 0.005F * std::sin(0.37F * t);
            for (std::size_t i = 0; i < sliceSize; ++i) {
                const float noisy = head[i] * gain + kNoiseSd * random.cheapNormal();
                appendSample(bytes, i, std::max(noisy, 0.0F), spec.sampleType);
            }
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
    }
    finish(out, path);
}

} // namespace

float headIntensity(const RunSpec& spec, std::int32_t x, std::int32_t y, std::int32_t z) {
    // Normalised coordinates inside an ellipsoid that fills most of the field of view, set a
    // little towards the front like a head in a coil.
    const auto axis = [](std::int32_t i, std::int32_t n, float fraction, float shift) {
        const float centre = 0.5F * static_cast<float>(n - 1) + shift * static_cast<float>(n);
        const float semiAxis = std::max(fraction * static_cast<float>(n), 0.75F);
        return (static_cast<float>(i) - centre) / semiAxis;
    };
    const float dx = axis(x, spec.sizeX, 0.40F, 0.0F);
    const float dy = axis(y, spec.sizeY, 0.45F, -0.02F);
    const float dz = axis(z, spec.sizeZ, 0.44F, 0.0F);
    const float r = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (r >= 1.05F) {
        return kBackground;
    }
    float tissue = r > 0.85F ? 850.0F : 650.0F; // cortex around white matter
    const float vx = (std::fabs(dx) - 0.12F) / 0.10F;
    const float vy = dy / 0.35F;
    const float vz = (dz - 0.1F) / 0.25F;
    if (vx * vx + vy * vy + vz * vz < 1.0F) {
        tissue = 1100.0F; // ventricles: CSF is bright in T2*-weighted images
    }
    tissue += 40.0F * std::sin(0.7F * static_cast<float>(x)) *
              std::cos(0.5F * static_cast<float>(y) + 0.3F * static_cast<float>(z));
    const float edgeWeight = std::clamp((1.05F - r) / 0.1F, 0.0F, 1.0F); // partial volume
    return kBackground + edgeWeight * (tissue - kBackground);
}

RunFiles writeSyntheticRun(const RunSpec& spec) {
    checkSpec(spec);
    if (!std::filesystem::is_directory(spec.directory)) {
        throw std::runtime_error("the folder " + spec.directory + " does not exist");
    }
    const std::filesystem::path directory(spec.directory);
    RunFiles files{(directory / (spec.name + ".fmr")).string(),
                   (directory / (spec.name + ".stc")).string(),
                   (directory / (spec.name + "_3DMC.sdm")).string()};
    writeFmr(files.fmr, spec);
    writeStc(files.stc, spec);
    writeMotionSdm(files.sdm, syntheticMotion(spec));
    return files;
}

} // namespace qm::tools
