#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qm::fuzz {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& harnessName) {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path base = tmp != nullptr && tmp[0] != '\0' ? fs::path(tmp) : fs::path("/tmp");
    folder_ = (base / ("quelmar-fuzz-" + harnessName + "-" + std::to_string(getpid()))).string();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string ScratchFolder::path(const std::string& fileName) const {
    return folder_ + "/" + fileName;
}

std::string ScratchFolder::write(const std::string& fileName, std::string_view bytes) const {
    if (!tryWrite(fileName, bytes)) {
        fail("cannot write the scratch file " + path(fileName));
    }
    return path(fileName);
}

bool ScratchFolder::tryWrite(const std::string& fileName, std::string_view bytes) const {
    std::ofstream out(path(fileName), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

void ScratchFolder::clear() const {
    for (const auto& entry : fs::directory_iterator(folder_)) {
        fs::remove_all(entry.path());
    }
}

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz harness: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace qm::fuzz
