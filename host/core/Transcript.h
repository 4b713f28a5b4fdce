// The record of every call the plug-in makes into the host, in call order, as JSON Lines: one
// object per call with "call" naming the host function and its arguments and result by name.
// Events of the host itself (loading, execute, ...) are objects with "host" instead of "call".
//
// The lines are kept in memory and written to their file in one piece when the run ends, so that
// the file is the whole transcript or, when it cannot be written, no file at all.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace halvorn_host {

class Transcript {
public:
    // Starts recording, to be written to `path`.
    void open(const std::string& path);
    bool isOpen() const { return path_.has_value(); }
    const std::optional<std::string>& path() const { return path_; }

    void record(const nlohmann::ordered_json& entry);

    // Every line recorded so far.
    const std::string& text() const { return text_; }

    // Writes the lines to the file given to open (nothing without one); throws OutputFileError.
    void write() const;

private:
    std::optional<std::string> path_;
    std::string text_;
};

} // namespace halvorn_host
