// Running Halvorn.exe as a user would, and reading what it left: exit status, stdout (the log
// pane), stderr (message boxes) and the transcript of host calls.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qm::test {

struct HostRun {
    int exitCode = -1;
    std::string out;  // log pane
    std::string err;  // message boxes and host warnings
    std::vector<nlohmann::ordered_json> transcript;

    // The transcript entries whose "call" is `call`, in order.
    std::vector<nlohmann::ordered_json> calls(const std::string& call) const;
    // The texts of all ztLogText calls, in order, without empty ones.
    std::vector<std::string> logTexts() const;
    // The texts of all message boxes, in order.
    std::vector<std::string> messageBoxes() const;
};

// Path of the built Halvorn.exe.
std::string halvornExecutable();

// Runs Halvorn.exe with `arguments` in `workingDirectory`, adding --transcript to a file there.
// `environment` entries (NAME=VALUE) are added to the child's environment.
HostRun runHalvorn(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                   const std::vector<std::string>& environment = {});

} // namespace qm::test
