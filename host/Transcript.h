// The record of every call the plug-in makes into the host, in call order, as JSON Lines: one
// object per call with "call" naming the host function and its arguments and result by name.
// Events of the host itself (loading, execute, ...) are objects with "host" instead of "call".
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>
#include <string>

namespace halvorn_host {

class Transcript {
public:
    // Starts writing to `path`; without a call to open the transcript records nothing.
    void open(const std::string& path);
    bool isOpen() const { return out_ != nullptr; }

    void record(const nlohmann::ordered_json& entry);

private:
    std::unique_ptr<std::ofstream> out_;
};

} // namespace halvorn_host
