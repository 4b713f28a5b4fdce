#include "ParameterFile.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>

namespace halvorn_host {
namespace {

constexpr const char* kBlanks = " \t";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string lineText(const std::string& fileName, int line) {
    return fileName + " line " + std::to_string(line);
}

[[noreturn]] void fail(const std::string& fileName, int line, const std::string& problem) {
    throw ParameterFileError(fileName + ":" + std::to_string(line) + ": " + problem);
}

} // namespace

std::vector<ParameterAssignment> parseParameterText(const std::string& text,
                                                    const std::string& fileName) {
    std::vector<ParameterAssignment> assignments;
    std::map<std::string, int> lineOfName;
    std::istringstream lines(text);
    std::string raw;
    int lineNumber = 0;
    while (std::getline(lines, raw)) {
        ++lineNumber;
        if (!raw.empty() && raw.back() == '\r') {
            raw.pop_back(); // files written on Windows
        }
        if (lineNumber == 1 && raw.starts_with(kUtf8ByteOrderMark)) {
            raw.erase(0, kUtf8ByteOrderMark.size()); // some Windows editors start files with it
        }
        const std::string line = trimmed(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            fail(fileName, lineNumber, "expected NAME=VALUE, got \"" + line + "\"");
        }
        const std::string name = trimmed(line.substr(0, equals));
        if (name.empty()) {
            fail(fileName, lineNumber, "the line \"" + line + "\" has no parameter name");
        }
        if (name.find_first_of(kBlanks) != std::string::npos) {
            fail(fileName, lineNumber,
                 "the parameter name \"" + name + "\" contains a blank; expected NAME=VALUE");
        }
        const auto [earlier, inserted] = lineOfName.emplace(name, lineNumber);
        if (!inserted) {
            fail(fileName, lineNumber,
                 name + " is already set on line " + std::to_string(earlier->second));
        }
        assignments.push_back(
            {name, trimmed(line.substr(equals + 1)), lineText(fileName, lineNumber)});
    }
    return assignments;
}

std::vector<ParameterAssignment> readParameterFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw ParameterFileError("the parameter file " + path + " is a folder, not a file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ParameterFileError("cannot open the parameter file " + path);
    }
    // Read in pieces, so that a device that never ends (/dev/zero) or a huge file is refused
    // after a little more than the largest parameter file, not when memory runs out.
    std::string content;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const std::string_view piece(buffer, static_cast<std::size_t>(in.gcount()));
        if (piece.find('\0') != std::string_view::npos) {
            throw ParameterFileError("the parameter file " + path +
                                     " holds a NUL byte, so it is not a text file");
        }
        content.append(piece);
        if (content.size() > kLargestParameterFile) {
            throw ParameterFileError("the parameter file " + path + " is larger than " +
                                     std::to_string(kLargestParameterFile / (1024 * 1024)) +
                                     " MiB; a parameter file holds NAME=VALUE lines");
        }
    }
    if (in.bad()) {
        throw ParameterFileError("cannot read the parameter file " + path);
    }
    return parseParameterText(content, path);
}

ParameterAssignment parseSetAssignment(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw std::invalid_argument("--set expects NAME=VALUE, got \"" + text + "\"");
    }
    return {text.substr(0, equals), text.substr(equals + 1), "--set"};
}

} // namespace halvorn_host
