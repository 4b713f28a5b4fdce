// Dialog parameters for Halvorn.exe from a parameter file (--params FILE) and from --set.
//
// A parameter file holds one NAME=VALUE per line. Blank lines and lines whose first non-blank
// character is "#" are comments. Blanks around the name and the value are dropped, so a value
// cannot begin or end with a blank; everything between them, "#" and "=" included, belongs to
// the value. A name may appear only once per file: a second line for it is more likely a slip
// than an intended override.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvorn_host {

struct ParameterAssignment {
    std::string name;
    std::string value;
    std::string origin; // where it was given, for messages: "FILE line N" or "--set"
};

// A parameter file that cannot be read or has a malformed line; the message names the file and
// the line.
class ParameterFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A parameter file larger than this is refused: the shipped defaults, comments and all, take a
// few kilobytes.
inline constexpr std::size_t kLargestParameterFile = 1024 * 1024;

// Reads the file at `path`; throws ParameterFileError, also for a folder, a file that holds a
// NUL byte (no text) and one larger than kLargestParameterFile.
std::vector<ParameterAssignment> readParameterFile(const std::string& path);

// The lines of `text`, read as the parameter file `fileName`; throws ParameterFileError.
std::vector<ParameterAssignment> parseParameterText(const std::string& text,
                                                    const std::string& fileName);

// One --set NAME=VALUE, taken as written (the value may be empty or hold blanks); throws
// std::invalid_argument.
ParameterAssignment parseSetAssignment(const std::string& text);

} // namespace halvorn_host
