// Motion design matrices built in memory for tests and benchmarks: from explicit rows, or a
// realistic run with slow drift, noise and a few sudden jumps, the same for every platform and
// every run.
#pragma once

#include "DesignMatrix.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qm::test {

using MotionValues = std::array<float, 6>; // x, y, z in mm; rotations about x, y, z in degrees

inline DesignMatrix motionMatrix(const std::vector<MotionValues>& rows) {
    static const char* const kNames[6] = {"Translation X [mm]", "Translation Y [mm]",
                                          "Translation Z [mm]", "Rotation X [deg]",
                                          "Rotation Y [deg]",   "Rotation Z [deg]"};
    DesignMatrix matrix;
    matrix.path = "run1_3DMC.sdm";
    matrix.nrOfPredictors.value = 6;
    matrix.nrOfDataPoints.value = static_cast<std::int32_t>(rows.size());
    for (std::size_t p = 0; p < 6; ++p) {
        matrix.predictorNames.emplace_back(kNames[p]);
        matrix.red.push_back(p < 3 ? 255 : 0);
        matrix.green.push_back(p < 3 ? 0 : 255);
        matrix.blue.push_back(0);
        std::vector<float> column;
        for (const MotionValues& row : rows) {
            column.push_back(row[p]);
        }
        matrix.columns.push_back(std::move(column));
    }
    return matrix;
}

// Uniform in [-1, 1) from a fixed linear congruential sequence (no library distribution, whose
// output may differ between standard libraries).
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}
    float next() {
        state_ = state_ * 1664525U + 1013904223U;
        return static_cast<float>(state_ >> 8) / 8388608.0F - 1.0F;
    }

private:
    std::uint32_t state_;
};

// A run of `volumes` volumes: a slow drift in every parameter, small noise, and sudden jumps of
// up to 1.5 mm or 1.2 degrees at a few volumes, as a head that twitches now and then.
inline DesignMatrix realisticMotion(int volumes, std::uint32_t seed = 7) {
    Noise noise(seed);
    const MotionValues drift = {0.004F, -0.003F, 0.006F, 0.002F, -0.0025F, 0.0015F};
    MotionValues offset{};
    std::vector<MotionValues> rows;
    for (int t = 0; t < volumes; ++t) {
        if (t == volumes / 5 || t == volumes / 2 || t == volumes - volumes / 7) {
            offset[static_cast<std::size_t>(t % 3)] += 1.5F * noise.next();
            offset[static_cast<std::size_t>(3 + t % 3)] += 1.2F * noise.next();
        }
        MotionValues row{};
        for (std::size_t p = 0; p < 6; ++p) {
            row[p] = drift[p] * static_cast<float>(t) + offset[p] + 0.02F * noise.next();
        }
        rows.push_back(row);
    }
    return motionMatrix(rows);
}

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace qm::test
