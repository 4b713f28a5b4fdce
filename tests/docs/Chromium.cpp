#include "Chromium.h"

#include "TempDir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace qm::test {

std::string chromiumExecutable() {
    return QUELMAR_CHROMIUM_EXECUTABLE;
}

ChromiumRun runChromium(const std::string& url, const std::vector<std::string>& arguments) {
    if (chromiumExecutable().empty()) {
        throw std::runtime_error(
            "Chromium was not found when the build was configured; install it with "
            "scripts/install-deps.sh and configure again");
    }
    TempDir scratch;
    const std::string outPath = scratch.file("stdout");
    const std::string errPath = scratch.file("stderr");
    // A hung browser must not hang the test run.
    std::vector<std::string> argv = {"/usr/bin/timeout",
                                     "180",
                                     chromiumExecutable(),
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--hide-scrollbars",
                                     "--user-data-dir=" + scratch.file("profile")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(url);
    std::vector<char*> argvPointers;
    for (auto& argument : argv) {
        argvPointers.push_back(argument.data());
    }
    argvPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, argv[0].c_str(), &actions, nullptr, argvPointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    int status = 0;
    waitpid(child, &status, 0);

    ChromiumRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

std::string resultText(const std::string& dom) {
    const std::string open = "<pre id=\"result\">";
    const auto begin = dom.find(open);
    if (begin == std::string::npos) {
        return {};
    }
    const auto start = begin + open.size();
    const std::string escaped = dom.substr(start, dom.find("</pre>", start) - start);
    std::string text;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        bool replaced = false;
        for (const auto& [entity, character] : {std::pair<std::string, char>{"&amp;", '&'},
                                                {"&lt;", '<'},
                                                {"&gt;", '>'},
                                                {"&quot;", '"'}}) {
            if (escaped.compare(i, entity.size(), entity) == 0) {
                text += character;
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            text += escaped[i];
        }
    }
    return text;
}

} // namespace qm::test
