// The motion half of a synthetic run: the six rigid-body parameters per volume and the SDM the
// host's 3D motion correction writes them to.
#include "SyntheticRun.h"

#include "DeterministicRandom.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <locale>
#include <numeric>
#include <stdexcept>

namespace qm::tools {
namespace {

constexpr const char* kCrLf = "\r\n";
// Keeps every value inside the SDM format's safe range for later columns (above -10, below 100).
constexpr float kLimit = 8.0F;

constexpr const char* kPredictorNames[6] = {"Translation X [mm]", "Translation Y [mm]",
                                            "Translation Z [mm]", "Rotation X [deg]",
                                            "Rotation Y [deg]",   "Rotation Z [deg]"};
constexpr int kColours[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                {255, 255, 0}, {255, 0, 255}, {0, 255, 255}};

// The header field as the host writes it: "Key:" padded to 24 columns, then the value.
void writeHeaderLine(std::ostream& out, const std::string& key, std::int64_t value, int lineEnds) {
    std::string text = key + ":";
    if (text.size() < 24) {
        text.append(24 - text.size(), ' ');
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out << text << std::string(digits, result.ptr);
    for (int i = 0; i < lineEnds; ++i) {
        out << kCrLf;
    }
}

// Volumes at which the head jumps: `count` distinct volumes from 1 on, in ascending order.
std::vector<std::int32_t> jumpVolumes(std::int32_t volumes, std::int32_t count,
                                      DeterministicRandom& random) {
    std::vector<std::int32_t> candidates(static_cast<std::size_t>(std::max(volumes - 1, 0)));
    std::iota(candidates.begin(), candidates.end(), 1);
    const std::size_t wanted =
        std::min(static_cast<std::size_t>(std::max(count, 0)), candidates.size());
    for (std::size_t i = 0; i < wanted; ++i) {
        const std::size_t pick = i + static_cast<std::size_t>(random.below(candidates.size() - i));
        std::swap(candidates[i], candidates[pick]);
    }
    candidates.resize(wanted);
    std::sort(candidates.begin(), candidates.end());
    return candidates;
}

} // namespace

std::vector<MotionParameters> syntheticMotion(const RunSpec& spec) {
    const auto volumes = static_cast<std::size_t>(std::max(spec.volumes, 0));
    if (spec.constantMotion) {
        return std::vector<MotionParameters>(volumes, *spec.constantMotion);
    }
    DeterministicRandom random(spec.seed);
    std::vector<MotionParameters> rows(volumes, MotionParameters{});
    const std::vector<std::int32_t> jumps = jumpVolumes(spec.volumes, spec.jumps, random);
    const double span = static_cast<double>(std::max<std::size_t>(volumes, 2) - 1);
    for (std::size_t p = 0; p < 6; ++p) {
        // Rotations in degrees move the head about as much as translations of twice as many mm.
        const double scale = p < 3 ? 1.0 : 0.5;
        const double drift = random.uniform(-0.8, 0.8) * scale;
        const double waveAmplitude = random.uniform(0.05, 0.3) * scale;
        const double waveCycles = random.uniform(0.5, 2.5);
        const double wavePhase = random.uniform(0.0, 6.283185307179586);
        std::vector<double> steps(jumps.size());
        for (auto& step : steps) {
            const double size = random.uniform(0.3, 1.2) * scale;
            step = random.uniform() < 0.5 ? -size : size;
        }
        double walk = 0.0;
        double offset = 0.0;
        std::size_t nextJump = 0;
        double first = 0.0;
        for (std::size_t v = 0; v < volumes; ++v) {
            while (nextJump < jumps.size() && static_cast<std::size_t>(jumps[nextJump]) == v) {
                offset += steps[nextJump++];
            }
            walk = 0.97 * walk + 0.01 * scale * random.normal();
            const double s = static_cast<double>(v) / span;
            const double value =
                drift * s +
                waveAmplitude * std::sin(6.283185307179586 * waveCycles * s + wavePhase) + walk +
                offset + 0.005 * scale * random.normal();
            if (v == 0) {
                first = value; // the host aligns every volume to the first one
            }
            rows[v][p] =
                static_cast<float>(std::clamp(value - first, -double{kLimit}, double{kLimit}));
        }
    }
    return rows;
}

void writeMotionSdm(const std::string& path, const std::vector<MotionParameters>& rows) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot create " + path);
    }
    out.imbue(std::locale::classic());
    writeHeaderLine(out, "FileVersion", 1, 2);
    writeHeaderLine(out, "NrOfPredictors", 6, 1);
    writeHeaderLine(out, "NrOfDataPoints", static_cast<std::int64_t>(rows.size()), 1);
    writeHeaderLine(out, "IncludesConstant", 0, 1);
    writeHeaderLine(out, "FirstConfoundPredictor", 1, 2);
    for (std::size_t p = 0; p < 6; ++p) {
        out << (p == 0 ? "" : "   ") << kColours[p][0] << ' ' << kColours[p][1] << ' '
            << kColours[p][2];
    }
    out << kCrLf;
    for (std::size_t p = 0; p < 6; ++p) {
        out << (p == 0 ? "\"" : " \"") << kPredictorNames[p] << '"';
    }
    out << kCrLf;
    for (const auto& row : rows) {
        for (std::size_t p = 0; p < 6; ++p) {
            out << (p == 0 ? " " : "  ");
            if (row[p] >= 0.0F) {
                out << ' ';
            }
            char digits[64];
            const auto result =
                std::to_chars(digits, digits + sizeof digits, static_cast<double>(row[p]),
                              std::chars_format::fixed, 6);
            out.write(digits, result.ptr - digits);
        }
        out << kCrLf;
    }
    out.close();
    if (!out) {
        throw std::runtime_error("failed writing " + path);
    }
}

} // namespace qm::tools
