#include "OutputFiles.h"

#include "AtomicFileWriter.h"
#include "HostSession.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace halvorn_host {

void writeOutputFile(const std::string& path, std::string_view content) {
    writeOutputFile(path, std::span<const std::string_view>(&content, 1));
}

void writeOutputFile(const std::string& path, std::span<const std::string_view> pieces) {
    try {
        qm::writeFileAtomically(path, pieces);
    } catch (const std::runtime_error& error) {
        throw OutputFileError(path, writeFailureReason(error.what(), path));
    }
}

std::string writeFailureReason(const std::string& message, const std::string& path) {
    const std::string naming = "Cannot Create file: " + path;
    if (!message.starts_with(naming)) {
        return message;
    }
    std::string rest = message.substr(naming.size());
    // "Cannot Create file: PATH (REASON)"
    if (rest.size() > 3 && rest.starts_with(" (") && rest.ends_with(")")) {
        return rest.substr(2, rest.size() - 3);
    }
    if (rest.empty()) {
        const std::string problem = obviousWriteProblem(path);
        return problem.empty() ? "the file could not be written completely" : problem;
    }
    return message;
}

std::string obviousWriteProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target(path);
    if (fs::is_directory(target, error)) {
        return "a folder of that name is in the way";
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, error)) {
        return "the folder " + folder.string() + " does not exist";
    }
    return {};
}

void reportOutputFailure(HostSession& host, const std::string& what, const OutputFileError& error) {
    if (!host.failedOutputFiles.insert(error.path()).second) {
        return;
    }
    std::cerr << "Halvorn.exe: error: cannot write " << what << ' ' << error.path() << ": "
              << error.reason() << '\n'
              << std::flush;
}

} // namespace halvorn_host
