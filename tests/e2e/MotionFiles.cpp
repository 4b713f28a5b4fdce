#include "MotionFiles.h"

#include "TempDir.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace qm::test {

const std::array<std::string, 6> kMotionNames = {"Translation X [mm]", "Translation Y [mm]",
                                                 "Translation Z [mm]", "Rotation X [deg]",
                                                 "Rotation Y [deg]",   "Rotation Z [deg]"};

const std::array<std::array<int, 3>, 6> kMotionColours = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {255, 0, 255}, {0, 255, 255}}};

namespace {

constexpr const char* kCrLf = "\r\n";

std::string padded(const std::string& key, std::size_t width) {
    std::string text = key + ":";
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string fixed6(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> tokensOf(const std::string& line) {
    std::vector<std::string> tokens;
    std::istringstream in(line);
    std::string token;
    while (in >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

std::int64_t parseInteger(const std::string& text) {
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        throw std::runtime_error("not an integer: \"" + text + "\"");
    }
    return value;
}

double parseDouble(const std::string& text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        throw std::runtime_error("not a number: \"" + text + "\"");
    }
    return value;
}

} // namespace

std::vector<MotionRow> driftingMotion(int volumes, const std::vector<MotionJump>& jumps) {
    // Drift per volume and wobble amplitude for each parameter: a subject slowly sinking into
    // the pillow and nodding a little, about 1 mm and half a degree over a run.
    constexpr float kDrift[6] = {0.004F, -0.006F, 0.009F, 0.003F, -0.002F, 0.0015F};
    constexpr float kWobble[6] = {0.012F, 0.010F, 0.015F, 0.02F, 0.015F, 0.01F};
    std::vector<MotionRow> rows(static_cast<std::size_t>(volumes));
    for (int t = 0; t < volumes; ++t) {
        for (int p = 0; p < 6; ++p) {
            float value = kDrift[p] * static_cast<float>(t) +
                          kWobble[p] * std::sin(0.7F * static_cast<float>(t) + p) +
                          0.5F * kWobble[p] * std::cos(1.9F * static_cast<float>(t * (p + 1)));
            for (const MotionJump& jump : jumps) {
                if (t >= jump.volume && p == jump.column) {
                    value += jump.size;
                }
            }
            rows[static_cast<std::size_t>(t)][static_cast<std::size_t>(p)] = value;
        }
    }
    return rows;
}

std::string sdmHeaderText(int predictors, int dataPoints) {
    std::string text;
    text += padded("FileVersion", 24) + "1" + kCrLf + kCrLf;
    text += padded("NrOfPredictors", 24) + std::to_string(predictors) + kCrLf;
    text += padded("NrOfDataPoints", 24) + std::to_string(dataPoints) + kCrLf;
    text += padded("IncludesConstant", 24) + "0" + kCrLf;
    text += padded("FirstConfoundPredictor", 24) + "1" + kCrLf + kCrLf;
    return text;
}

std::string motionSdmText(const std::vector<MotionRow>& rows) {
    std::string text = sdmHeaderText(6, static_cast<int>(rows.size()));
    for (std::size_t p = 0; p < 6; ++p) {
        if (p > 0) {
            text += "   ";
        }
        text += std::to_string(kMotionColours[p][0]) + " " + std::to_string(kMotionColours[p][1]) +
                " " + std::to_string(kMotionColours[p][2]);
    }
    text += kCrLf;
    for (std::size_t p = 0; p < 6; ++p) {
        text += (p > 0 ? " \"" : "\"") + kMotionNames[p] + "\"";
    }
    text += kCrLf;
    for (const MotionRow& row : rows) {
        for (std::size_t p = 0; p < 6; ++p) {
            text += p == 0 ? " " : "  ";
            if (row[p] >= 0.0F) {
                text += ' ';
            }
            text += fixed6(row[p]);
        }
        text += kCrLf;
    }
    return text;
}

std::string mdmText(const std::vector<std::string>& sdmPaths) {
    std::string text = kCrLf;
    text += padded("FileVersion", 22) + "3" + kCrLf;
    text += padded("TypeOfFunctionalData", 22) + "VTC" + kCrLf + kCrLf;
    text += padded("RFX-GLM", 22) + "0" + kCrLf + kCrLf;
    text += padded("PSCTransformation", 22) + "1" + kCrLf;
    text += padded("zTransformation", 22) + "0" + kCrLf;
    text += padded("SeparatePredictors", 22) + "0" + kCrLf + kCrLf;
    text += padded("NrOfStudies", 22) + std::to_string(sdmPaths.size()) + kCrLf;
    for (const std::string& sdm : sdmPaths) {
        text += "\"" + sdm.substr(0, sdm.rfind('.')) + ".vtc\"  \"" + sdm + "\"" + kCrLf;
    }
    return text;
}

SdmContent readSdm(const std::string& path) {
    const std::vector<std::string> lines = linesOf(readFile(path));
    SdmContent content;
    std::size_t i = 0;
    for (; i < lines.size(); ++i) {
        const auto tokens = tokensOf(lines[i]);
        if (tokens.size() == 2 && tokens[0].back() == ':') {
            const std::string key = tokens[0].substr(0, tokens[0].size() - 1);
            content.header[key] = parseInteger(tokens[1]);
            if (key == "FirstConfoundPredictor") {
                ++i;
                break;
            }
        }
    }
    while (i < lines.size() && tokensOf(lines[i]).empty()) {
        ++i;
    }
    if (i + 1 >= lines.size()) {
        throw std::runtime_error(path + " has no colour and name lines");
    }
    const auto colourTokens = tokensOf(lines[i++]);
    for (std::size_t c = 0; c + 2 < colourTokens.size(); c += 3) {
        content.colours.push_back({static_cast<int>(parseInteger(colourTokens[c])),
                                   static_cast<int>(parseInteger(colourTokens[c + 1])),
                                   static_cast<int>(parseInteger(colourTokens[c + 2]))});
    }
    const std::string& names = lines[i++];
    for (std::size_t open = names.find('"'); open != std::string::npos;) {
        const std::size_t close = names.find('"', open + 1);
        content.names.push_back(names.substr(open + 1, close - open - 1));
        open = names.find('"', close + 1);
    }
    content.columns.resize(content.names.size());
    for (; i < lines.size(); ++i) {
        const auto values = tokensOf(lines[i]);
        if (values.empty()) {
            continue;
        }
        if (values.size() != content.columns.size()) {
            throw std::runtime_error(path + ": a data line with " + std::to_string(values.size()) +
                                     " values");
        }
        for (std::size_t p = 0; p < values.size(); ++p) {
            content.columns[p].push_back(parseDouble(values[p]));
        }
    }
    return content;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.front() != '.') {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

float parseFloat(const std::string& text) {
    float value = 0.0F;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) {
        throw std::runtime_error("not a number: \"" + text + "\"");
    }
    return value;
}

} // namespace qm::test
