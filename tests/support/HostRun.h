// Running Halvorn.exe as a user would, and reading what it left: exit status, stdout (the log
// pane), stderr (message boxes) and the transcript of host calls.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

struct HostRun {
    int exitCode = -1;
    std::string out; // log pane
    std::string err; // message boxes and host warnings
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

// The command that starts Halvorn.exe: a program (an absolute path) and the arguments before
// Halvorn's own. Normally the Halvorn.exe built beside the tests. With QUELMAR_HALVORN_EXE set in
// the environment, that program instead, started through QUELMAR_HALVORN_LAUNCHER when that is
// set too: so the Windows build's tests run these tests against the Windows Halvorn.exe under
// Wine.
std::vector<std::string> halvornCommand();
// True when Halvorn.exe is started through QUELMAR_HALVORN_LAUNCHER: the Windows build under
// Wine, which cannot reach Linux devices such as /dev/zero and has no NIfTI library.
bool runsUnderLauncher();
// The Halvorn.exe built beside the tests, whatever the environment says.
std::vector<std::string> builtHalvornCommand();

// Runs Halvorn.exe (halvornCommand) with `arguments` in `workingDirectory`, adding --transcript
// to a file there. `environment` entries (NAME=VALUE) are added to the child's environment.
HostRun runHalvorn(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                   const std::vector<std::string>& environment = {});
// The same with the Halvorn.exe that `command` starts.
HostRun runHalvornCommand(const std::vector<std::string>& command,
                          const std::vector<std::string>& arguments,
                          const std::string& workingDirectory);

// What the machine does to Halvorn.exe beyond its arguments, to meet the failures a user's
// machine can have.
struct ChildConditions {
    std::vector<std::string> environment; // NAME=VALUE entries added to the child's environment
    // RLIMIT_FSIZE of the child in bytes, as a full disk or quota would impose it. SIGXFSZ is
    // ignored, so a write past the limit fails with EFBIG instead of ending the process. The
    // limit holds for every file the child writes, its stdout, stderr and transcript included.
    std::optional<std::uint64_t> fileSizeLimit;
    // The child runs without CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH, so that permission bits
    // bind it as they bind any user, even when the tests run as root. runHalvornUnder throws
    // when the capabilities cannot be dropped.
    bool obeyPermissionBits = false;
    // The child runs as this user and group (numeric ids), without supplementary groups, as an
    // ordinary user would. Only root can start it so: check canRunAsAnotherUser() first.
    std::optional<std::pair<unsigned, unsigned>> user;
};

// True when the tests may start Halvorn.exe as another user (they run as root).
bool canRunAsAnotherUser();

// Conditions with one thing set.
ChildConditions withEnvironment(std::vector<std::string> environment);
ChildConditions withFileSizeLimit(std::uint64_t bytes);
ChildConditions obeyingPermissionBits();
ChildConditions asUser(unsigned user, unsigned group);

HostRun runHalvornUnder(const ChildConditions& conditions,
                        const std::vector<std::string>& arguments,
                        const std::string& workingDirectory);

} // namespace qm::test
