// What every fuzz harness shares: a scratch folder of its own where each input becomes a file
// (the readers open files, as they do for a user), and the line between a refusal that a user
// is shown and a fault of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace qm::fuzz {

// A folder under $TMPDIR (or /tmp) named after the harness and the process, emptied on demand
// and removed when the process ends normally.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& harnessName);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // `fileName` inside the folder.
    std::string path(const std::string& fileName) const;
    // Writes `bytes` to `fileName` inside the folder and returns its path.
    std::string write(const std::string& fileName, std::string_view bytes) const;
    // The same for a name that comes from the input: false when no such file can be made.
    bool tryWrite(const std::string& fileName, std::string_view bytes) const;
    // Removes everything inside the folder.
    void clear() const;

private:
    std::string folder_;
};

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Reports a fault of the program and aborts, which libFuzzer records as a crash with the input.
[[noreturn]] void fail(const std::string& what);

// Runs `read`. A file error (qm::IOError: the file cannot be opened or is not in its format) is
// what a user is told about and ends the input quietly; any other exception is a fault.
// Returns true when `read` finished.
template <typename Read> bool readingRefusesOnlyWithFileErrors(Read&& read);

} // namespace qm::fuzz

#include "FileErrors.h"

#include <typeinfo>

template <typename Read> bool qm::fuzz::readingRefusesOnlyWithFileErrors(Read&& read) {
    try {
        read();
        return true;
    } catch (const qm::IOError&) {
        return false;
    } catch (const std::exception& error) {
        fail(std::string("unexpected exception ") + typeid(error).name() + ": " + error.what());
    }
}
