// Exceptions for files that cannot be read or written.
#pragma once

#include <stdexcept>
#include <string>

namespace qm {

// A file error; never thrown by itself, only as one of its kinds.
class IOError : public std::runtime_error {
protected:
    explicit IOError(const std::string& message) : std::runtime_error(message) {}
};

// An input file that cannot be opened. The message names the file.
class OpenFileError : public IOError {
public:
    explicit OpenFileError(const std::string& message) : IOError(message) {}
};

// An input file that opened but does not hold what its format demands. The message names the
// file and, where there is one, the line.
class FileFormatError : public IOError {
public:
    explicit FileFormatError(const std::string& message) : IOError(message) {}
};

} // namespace qm
