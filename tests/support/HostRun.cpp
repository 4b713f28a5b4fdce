#include "HostRun.h"

#include "TempDir.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace qm::test {

std::vector<nlohmann::ordered_json> HostRun::calls(const std::string& call) const {
    std::vector<nlohmann::ordered_json> found;
    for (const auto& entry : transcript) {
        if (entry.contains("call") && entry["call"] == call) {
            found.push_back(entry);
        }
    }
    return found;
}

std::vector<std::string> HostRun::logTexts() const {
    std::vector<std::string> texts;
    for (const auto& entry : calls("ztLogText")) {
        if (!entry["text"].get<std::string>().empty()) {
            texts.push_back(entry["text"]);
        }
    }
    return texts;
}

std::vector<std::string> HostRun::messageBoxes() const {
    std::vector<std::string> texts;
    for (const auto& entry : calls("ztMessageBox")) {
        texts.push_back(entry["text"]);
    }
    return texts;
}

std::string halvornExecutable() {
    return HALVORN_EXE_PATH;
}

std::vector<std::string> builtHalvornCommand() {
    return {halvornExecutable()};
}

std::vector<std::string> halvornCommand() {
    const char* executable = std::getenv("QUELMAR_HALVORN_EXE");
    if (executable == nullptr || *executable == '\0') {
        return builtHalvornCommand();
    }
    const char* launcher = std::getenv("QUELMAR_HALVORN_LAUNCHER");
    if (launcher == nullptr || *launcher == '\0') {
        return {executable};
    }
    return {launcher, executable};
}

bool runsUnderLauncher() {
    return halvornCommand().size() > 1;
}

HostRun runHalvorn(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                   const std::vector<std::string>& environment) {
    return runHalvornUnder(withEnvironment(environment), arguments, workingDirectory);
}

bool canRunAsAnotherUser() {
    return geteuid() == 0;
}

ChildConditions withEnvironment(std::vector<std::string> environment) {
    ChildConditions conditions;
    conditions.environment = std::move(environment);
    return conditions;
}

ChildConditions withFileSizeLimit(std::uint64_t bytes) {
    ChildConditions conditions;
    conditions.fileSizeLimit = bytes;
    return conditions;
}

ChildConditions obeyingPermissionBits() {
    ChildConditions conditions;
    conditions.obeyPermissionBits = true;
    return conditions;
}

ChildConditions asUser(unsigned user, unsigned group) {
    ChildConditions conditions;
    conditions.user = std::make_pair(user, group);
    return conditions;
}

namespace {

// Exit status of a child that could not be set up; its reason is on its stderr.
constexpr int kSetupFailed = 125;

[[noreturn]] void setupFailed(const char* reason) {
    const auto ignored = write(STDERR_FILENO, reason, std::strlen(reason));
    static_cast<void>(ignored);
    _exit(kSetupFailed);
}

// In the forked child, before exec: only system calls from here on.
[[noreturn]] void execHalvorn(const ChildConditions& conditions,
                              const std::string& workingDirectory, const std::string& outPath,
                              const std::string& errPath, char* const* argv, char* const* envp) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 ||
        dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
        _exit(kSetupFailed);
    }
    if (chdir(workingDirectory.c_str()) != 0) {
        setupFailed("cannot enter the working directory\n");
    }
    if (conditions.fileSizeLimit) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{*conditions.fileSizeLimit, *conditions.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            setupFailed("cannot set RLIMIT_FSIZE\n");
        }
    }
    if (conditions.obeyPermissionBits) {
        // Dropped from the bounding set, the capabilities are gone after exec even for root.
        if (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
            prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0) {
            setupFailed("cannot drop CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH\n");
        }
    }
    if (conditions.user) {
        if (setgroups(0, nullptr) != 0 || setgid(conditions.user->second) != 0 ||
            setuid(conditions.user->first) != 0) {
            setupFailed("cannot become the user asked for\n");
        }
    }
    execve(argv[0], argv, envp);
    setupFailed("cannot start Halvorn.exe\n");
}

HostRun runHalvornStartedBy(const std::vector<std::string>& command,
                            const ChildConditions& conditions,
                            const std::vector<std::string>& arguments,
                            const std::string& workingDirectory) {
    const std::string outPath = workingDirectory + "/.halvorn-stdout";
    const std::string errPath = workingDirectory + "/.halvorn-stderr";
    const std::string transcriptPath = workingDirectory + "/.halvorn-transcript.jsonl";

    std::vector<std::string> argv = command;
    argv.insert(argv.end(), {"--transcript", transcriptPath});
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (auto& argument : argv) {
        argvPointers.push_back(argument.data());
    }
    argvPointers.push_back(nullptr);

    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    env.insert(env.end(), conditions.environment.begin(), conditions.environment.end());
    std::vector<char*> envPointers;
    for (auto& entry : env) {
        envPointers.push_back(entry.data());
    }
    envPointers.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    if (child == 0) {
        execHalvorn(conditions, workingDirectory, outPath, errPath, argvPointers.data(),
                    envPointers.data());
    }
    int status = 0;
    waitpid(child, &status, 0);

    HostRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    if (run.exitCode == kSetupFailed) {
        throw std::runtime_error("Halvorn.exe could not be started as asked: " + run.err);
    }
    std::ifstream transcript(transcriptPath);
    std::string line;
    while (std::getline(transcript, line)) {
        if (!line.empty()) {
            run.transcript.push_back(nlohmann::ordered_json::parse(line));
        }
    }
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    std::remove(transcriptPath.c_str());
    return run;
}

} // namespace

HostRun runHalvornUnder(const ChildConditions& conditions,
                        const std::vector<std::string>& arguments,
                        const std::string& workingDirectory) {
    return runHalvornStartedBy(halvornCommand(), conditions, arguments, workingDirectory);
}

HostRun runHalvornCommand(const std::vector<std::string>& command,
                          const std::vector<std::string>& arguments,
                          const std::string& workingDirectory) {
    return runHalvornStartedBy(command, ChildConditions{}, arguments, workingDirectory);
}

} // namespace qm::test
