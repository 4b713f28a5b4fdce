// Motion design matrices for end-to-end tests, written as the host's 3D motion correction writes
// them (CR LF, six predictors), and a plain reader of the SDM files the plug-in leaves behind.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qm::test {

using MotionRow = std::array<float, 6>; // x, y, z translation in mm; x, y, z rotation in degrees

// A step in one motion parameter from `volume` on.
struct MotionJump {
    int volume;
    int column;
    float size;
};

// A run of `volumes` volumes: slow drift and small wobble in every parameter, plus the jumps.
std::vector<MotionRow> driftingMotion(int volumes, const std::vector<MotionJump>& jumps);

// The host's predictor names and colours of a 3DMC SDM.
extern const std::array<std::string, 6> kMotionNames;
extern const std::array<std::array<int, 3>, 6> kMotionColours;

// The SDM text of `rows` in the host's layout: header fields padded to column 24, colour line,
// quoted names, one line per volume with 6 decimals; every line ends in CR LF.
std::string motionSdmText(const std::vector<MotionRow>& rows);

// The header block of an SDM with the given counts, as the host writes it (up to and including
// the empty line after "FirstConfoundPredictor").
std::string sdmHeaderText(int predictors, int dataPoints);

// An MDM listing `sdmPaths` (each with a made-up VTC beside it).
std::string mdmText(const std::vector<std::string>& sdmPaths);

struct SdmContent {
    std::map<std::string, std::int64_t> header; // key without colon -> value
    std::vector<std::array<int, 3>> colours;
    std::vector<std::string> names;
    std::vector<std::vector<double>> columns; // columns[p][t]
};

// Reads an SDM by its plain layout (the test's own reader, independent of the plug-in's).
SdmContent readSdm(const std::string& path);

// The names of the files in `folder`, sorted, without the host run's own dot files.
std::vector<std::string> filesIn(const std::string& folder);

// The float that the text of a value in an SDM stands for.
float parseFloat(const std::string& text);

} // namespace qm::test
