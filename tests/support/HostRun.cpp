#include "HostRun.h"

#include "TempDir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::string halvornExecutable() { return HALVORN_EXE_PATH; }

HostRun runHalvorn(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                   const std::vector<std::string>& environment) {
    const std::string outPath = workingDirectory + "/.halvorn-stdout";
    const std::string errPath = workingDirectory + "/.halvorn-stderr";
    const std::string transcriptPath = workingDirectory + "/.halvorn-transcript.jsonl";

    std::vector<std::string> argv = {halvornExecutable(), "--transcript", transcriptPath};
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
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envPointers;
    for (auto& entry : env) {
        envPointers.push_back(entry.data());
    }
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0].c_str(), &actions, nullptr,
                                    argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    int status = 0;
    waitpid(child, &status, 0);

    HostRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
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

} // namespace qm::test
