// Every file Halvorn.exe writes (the transcript, plot pictures, maps, the report page and its
// pictures) goes through the project's atomic writer: it is there complete or not at all, and
// the writer's rules about which files may be replaced hold for the stand-in too. A file that
// cannot be written is reported on stderr and makes the run's exit status nonzero.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvorn_host {

struct HostSession;

// A file that could not be written: what() is "PATH: REASON".
class OutputFileError : public std::runtime_error {
public:
    OutputFileError(const std::string& path, const std::string& reason)
        : std::runtime_error(path + ": " + reason), path_(path), reason_(reason) {}
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// Writes `content` (or the pieces one after the other) to `path`; throws OutputFileError.
void writeOutputFile(const std::string& path, std::string_view content);
void writeOutputFile(const std::string& path, std::span<const std::string_view> pieces);

// Why the writer's message `message` says `path` could not be written: the reason it gives after
// the path, or the whole message when it does not name the path as expected.
std::string writeFailureReason(const std::string& message, const std::string& path);

// Reasons a path cannot take a file that are plain before anything is written: a folder stands
// there, or its folder does not exist. Empty when none is seen.
std::string obviousWriteProblem(const std::string& path);

// "Halvorn.exe: error: cannot write THE_FILE PATH: REASON" on stderr, once per path; the run then
// ends with status 1 (unless it has a higher one). `what` says what the file is ("the plot
// picture").
void reportOutputFailure(HostSession& host, const std::string& what, const OutputFileError& error);

} // namespace halvorn_host
