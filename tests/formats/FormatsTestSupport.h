// Helpers shared by the tests of the file readers and writers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

namespace qm::test {

// Makes a decimal-comma locale the process's global one for the lifetime of the object, as a
// host running under a German locale would. `available` is false when the machine lacks it.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        try {
            const std::locale german("de_DE.UTF-8");
            previous_ = std::locale::global(german);
            available = true;
        } catch (const std::runtime_error&) {
        }
    }
    ~DecimalCommaLocale() {
        if (available) {
            std::locale::global(previous_);
        }
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool available = false;

private:
    std::locale previous_;
};

// The names of the files in `folder`, sorted, so a test sees any stray temporary file.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Replaces "\n" by "\r\n", to write a test file the way the host does.
inline std::string withCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

} // namespace qm::test

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm::test {

// Runs `write` in a child process after `setUp` (which returns false when the child cannot be
// set up as asked). Returns the message of the std::exception the child caught, a note that it
// caught none, or a note that it could not be set up or did not finish.
inline std::string messageOfWriteInChild(const std::function<bool()>& setUp,
                                         const std::function<void()>& write) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return "<no pipe>";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string message = "<not set up>";
        if (setUp()) {
            message = "<no exception>";
            try {
                write();
            } catch (const std::exception& error) {
                message = error.what();
            }
        }
        const auto written = ::write(pipeEnds[1], message.data(), message.size());
        _exit(written == static_cast<ssize_t>(message.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? "<killed>" : message;
}

// Runs `write` in a child process whose files may grow to `limitBytes` only, as on a full disk:
// writes beyond the limit fail with EFBIG (the signal that would end the process is ignored).
inline std::string messageOfWriteUnderFileSizeLimit(rlim_t limitBytes,
                                                    const std::function<void()>& write) {
    return messageOfWriteInChild(
        [limitBytes]() {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{limitBytes, limitBytes};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        write);
}

// The user and group "nobody" of Debian, which owns no file of the tests.
inline constexpr uid_t kNobodyUser = 65534;
inline constexpr gid_t kNobodyGroup = 65534;

// Runs `write` in a child process that has become the user "nobody", so that permission bits
// bind it. Only root can do that: check `runningAsRoot()` first.
inline std::string messageOfWriteAsNobody(const std::function<void()>& write) {
    return messageOfWriteInChild(
        []() {
            return setgroups(0, nullptr) == 0 && setgid(kNobodyGroup) == 0 &&
                   setuid(kNobodyUser) == 0;
        },
        write);
}

inline bool runningAsRoot() {
    return geteuid() == 0;
}

} // namespace qm::test
