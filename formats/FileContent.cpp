#include "FileContent.h"

#include "FileErrors.h"

#include <filesystem>
#include <fstream>
#include <locale>
#include <string_view>

namespace qm {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Why the existing `path` is not to be read as a file; empty for a regular file, and for a path
// that does not exist or cannot be examined, whose opening then fails by itself.
std::string notRegularFileReason(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status) || fs::is_regular_file(status)) {
        return "";
    }
    switch (status.type()) {
    case fs::file_type::directory:
        return "a folder, not a regular file";
    case fs::file_type::fifo:
        return "a named pipe, not a regular file";
    case fs::file_type::character:
    case fs::file_type::block:
        return "a device, not a regular file";
    case fs::file_type::socket:
        return "a socket, not a regular file";
    default:
        return "not a regular file";
    }
}

} // namespace

std::ifstream openFileForReading(const std::string& path, std::ios::openmode mode,
                                 const std::string& failurePrefix) {
    const std::string reason = notRegularFileReason(path);
    if (!reason.empty()) {
        throw OpenFileError(failurePrefix + path + " (" + reason + ")");
    }
    std::ifstream in(path, mode | std::ios::in);
    if (!in) {
        throw OpenFileError(failurePrefix + path);
    }
    return in;
}

void skipByteOrderMark(std::istream& in) {
    const std::istream::pos_type start = in.tellg();
    char bytes[kByteOrderMark.size()] = {};
    if (in.read(bytes, sizeof bytes) && std::string_view(bytes, sizeof bytes) == kByteOrderMark) {
        return;
    }
    in.clear();
    in.seekg(start);
}

std::string readFileContent(const std::string& path) {
    const std::string failurePrefix = "Failed opening for reading: ";
    std::ifstream in = openFileForReading(path, std::ios::binary, failurePrefix);
    std::error_code error;
    std::string content;
    const auto size = std::filesystem::file_size(path, error);
    if (!error) {
        content.reserve(static_cast<std::size_t>(size));
    }
    char chunk[64 * 1024];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        throw OpenFileError(failurePrefix + path);
    }
    if (content.starts_with(kByteOrderMark)) {
        content.erase(0, kByteOrderMark.size());
    }
    return content;
}

MemoryInputStream::MemoryInputStream(std::string_view text)
    : detail::ViewStreamBufferHolder(text), std::istream(&buffer) {
    imbue(std::locale::classic());
}

} // namespace qm
