#include "FileContent.h"

#include "FileErrors.h"

#include <filesystem>
#include <fstream>
#include <locale>

namespace qm {

std::ifstream openFileForReading(const std::string& path, std::ios::openmode mode) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        std::ifstream notOpened;
        notOpened.setstate(std::ios::failbit);
        return notOpened;
    }
    return std::ifstream(path, mode | std::ios::in);
}

std::string readFileContent(const std::string& path) {
    const auto fail = [&path]() { return OpenFileError("Failed opening for reading: " + path); };
    std::ifstream in = openFileForReading(path, std::ios::binary);
    if (!in) {
        throw fail();
    }
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
        throw fail();
    }
    return content;
}

MemoryInputStream::MemoryInputStream(std::string_view text)
    : detail::ViewStreamBufferHolder(text), std::istream(&buffer) {
    imbue(std::locale::classic());
}

} // namespace qm
