#include "AtomicFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace qm {
namespace {

namespace fs = std::filesystem;

AtomicWriteFaultHook& faultHook() {
    static AtomicWriteFaultHook hook;
    return hook;
}

bool faultInjectedAt(std::size_t bytesWritten) {
    const auto& hook = faultHook();
    return hook && hook(bytesWritten);
}

// The failure every caller reports, whatever went wrong underneath.
class WriteFailed : public std::exception {};

// Where the new content finally lands: the target, or the file a symbolic link points to.
fs::path resolvedTarget(const std::string& targetPath) {
    std::error_code error;
    const fs::path target(targetPath);
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        const fs::path resolved = fs::weakly_canonical(target, error);
        if (!error) {
            return resolved;
        }
    }
    return target;
}

// A temporary file beside the target, removed again unless it was renamed over the target.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& target) {
        std::random_device entropy;
        std::mt19937_64 generator(entropy());
        const std::string stem = "." + target.filename().string() + ".tmp-";
        for (int attempt = 0; attempt < 16 && file_ == nullptr; ++attempt) {
            path_ = target;
            path_.replace_filename(stem + std::to_string(generator() % 1000000000U));
            // "x": fails instead of reusing a file that already exists under this name.
            file_ = std::fopen(path_.string().c_str(), "wbx");
        }
        if (file_ == nullptr) {
            throw WriteFailed();
        }
    }
    ~TemporaryFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        if (!renamed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(std::span<const std::string_view> pieces) {
        std::size_t written = 0;
        for (const std::string_view piece : pieces) {
            for (std::size_t done = 0; done < piece.size();) {
                if (faultInjectedAt(written)) {
                    throw WriteFailed();
                }
                const std::size_t chunk = std::min(kAtomicWriteChunkSize, piece.size() - done);
                if (std::fwrite(piece.data() + done, 1, chunk, file_) != chunk) {
                    throw WriteFailed();
                }
                done += chunk;
                written += chunk;
            }
        }
        const bool flushed = std::fflush(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed || faultInjectedAt(written)) {
            throw WriteFailed();
        }
    }

    void renameOver(const fs::path& target) {
        std::error_code error;
        const auto oldStatus = fs::status(target, error);
        if (!error && fs::exists(oldStatus)) {
            fs::permissions(path_, oldStatus.permissions(), error);
        }
        fs::rename(path_, target, error);
        if (error) {
            throw WriteFailed();
        }
        renamed_ = true;
    }

private:
    fs::path path_;
    std::FILE* file_ = nullptr;
    bool renamed_ = false;
};

} // namespace

void writeFileAtomically(const std::string& targetPath, std::string_view content) {
    writeFileAtomically(targetPath, std::span<const std::string_view>(&content, 1));
}

void writeFileAtomically(const std::string& targetPath, std::span<const std::string_view> pieces) {
    try {
        const fs::path target = resolvedTarget(targetPath);
        TemporaryFile temporary(target);
        temporary.write(pieces);
        temporary.renameOver(target);
    } catch (const std::exception&) {
        throw std::runtime_error("Cannot Create file: " + targetPath);
    }
}

void setAtomicWriteFaultHookForTesting(AtomicWriteFaultHook hook) {
    faultHook() = std::move(hook);
}

} // namespace qm
