#include "AtomicFileWriter.h"

#include "SystemError.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace qm {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr int kBinary = O_BINARY;
constexpr int kCloseOnExec = O_NOINHERIT;
#else
constexpr int kBinary = 0;
constexpr int kCloseOnExec = O_CLOEXEC;
#endif

// The temporary files' names: a prefix, the target name's hash, the slot, a suffix. Writers of
// the same target share the slots, so a file that a killed write left behind is found again.
constexpr std::string_view kTemporaryPrefix = ".quelmar-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr int kTemporarySlots = 8;
constexpr std::size_t kHashDigits = 16;
constexpr std::size_t kTemporaryNameLength =
    kTemporaryPrefix.size() + kHashDigits + 2 + kTemporarySuffix.size();

AtomicWriteFaultHook& faultHook() {
    static AtomicWriteFaultHook hook;
    return hook;
}

// A step that failed, and why, in the words the user reads after the path.
struct WriteFailed {
    std::string reason;
};

[[noreturn]] void fail(int errorNumber) {
    throw WriteFailed{systemErrorReason(errorNumber)};
}

void failOnInjectedFault(std::size_t bytesWritten) {
    const auto& hook = faultHook();
    if (hook && hook(bytesWritten)) {
        fail(ENOSPC);
    }
}

// One open file descriptor, closed when the object goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Closes the file; a write that the file system refuses only at closing fails here.
    void closeChecked() {
        const int fd = std::exchange(fd_, -1);
        if (fd >= 0 && ::close(fd) != 0) {
            fail(errno);
        }
    }

private:
    int fd_ = -1;
};

void writeAll(const Descriptor& file, std::span<const std::string_view> pieces) {
    std::size_t written = 0;
    for (const std::string_view piece : pieces) {
        for (std::size_t done = 0; done < piece.size();) {
            failOnInjectedFault(written);
            const std::size_t chunk = std::min(kAtomicWriteChunkSize, piece.size() - done);
#if defined(_WIN32)
            const int result =
                ::write(file.get(), piece.data() + done, static_cast<unsigned>(chunk));
#else
            const ssize_t result = ::write(file.get(), piece.data() + done, chunk);
#endif
            if (result < 0) {
                if (errno == EINTR) {
                    continue;
                }
                fail(errno);
            }
            if (result == 0) {
                fail(ENOSPC);
            }
            done += static_cast<std::size_t>(result);
            written += static_cast<std::size_t>(result);
        }
    }
    failOnInjectedFault(written);
}

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

// The status of an existing target, after checking that the user may replace it: it must be a
// regular file that opens for writing. Nothing when there is no target yet.
std::optional<struct stat> replaceableTarget(const fs::path& target) {
    struct stat status {};
    if (::stat(target.string().c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        fail(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        fail(EISDIR);
    }
    if (!S_ISREG(status.st_mode)) {
        throw WriteFailed{"not a regular file"};
    }
    // Opening without truncating changes nothing; it asks the system whether this user may
    // write the file, with every rule it applies (mode, owner, read-only file systems, ACLs).
    Descriptor probe(::open(target.string().c_str(), O_WRONLY | kBinary | kCloseOnExec));
    if (!probe.valid()) {
        fail(errno);
    }
    return status;
}

void writeInPlace(const fs::path& target, std::span<const std::string_view> pieces) {
    Descriptor file(::open(target.string().c_str(), O_WRONLY | O_TRUNC | kBinary | kCloseOnExec));
    if (!file.valid()) {
        fail(errno);
    }
    writeAll(file, pieces);
    file.closeChecked();
}

std::uint64_t nameHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a: stable across runs and platforms
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

fs::path temporaryPath(const fs::path& target, int slot) {
    char hash[kHashDigits + 1];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(nameHash(target.filename().string())));
    fs::path path = target;
    path.replace_filename(std::string(kTemporaryPrefix) + hash + "-" + std::to_string(slot) +
                          std::string(kTemporarySuffix));
    return path;
}

// Errors of creating a file that mean this folder takes no new file from this user.
bool isFolderRefusal(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS;
}

// Taking one slot: an open, empty, exclusively held file at `path`. Nothing when another writer
// holds the slot; throws WriteFailed when the folder refuses the file (the refusal's errno is
// kept in `refusal` when it is one of isFolderRefusal's).
#if defined(_WIN32)

Descriptor takeSlot(const fs::path& path, int& refusal) {
    int fd = -1;
    // A file that another writer has open cannot be opened without sharing; one that a killed
    // write left behind opens and is emptied.
    const errno_t error = ::_sopen_s(&fd, path.string().c_str(),
                                     _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                                     _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (error == 0) {
        return Descriptor(fd);
    }
    std::error_code ignored;
    if (error == EACCES && fs::exists(path, ignored)) {
        return {};
    }
    if (isFolderRefusal(error)) {
        refusal = error;
    }
    fail(error);
}

void removeLeftBehindSlots(const fs::path& target, int ownSlot) {
    for (int slot = 0; slot < kTemporarySlots; ++slot) {
        if (slot != ownSlot) {
            ::_unlink(temporaryPath(target, slot).string().c_str()); // fails while a writer has it
        }
    }
}

#else

// True when `path` still names the file open as `file`: a writer that held the slot may have
// renamed it over its target in the meantime.
bool namesOpenFile(const fs::path& path, const Descriptor& file) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(file.get(), &opened) == 0 && ::lstat(path.string().c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// A file of the slot that no live writer holds, locked by this process; nothing when there is
// none or a writer holds it.
Descriptor lockLeftBehind(const fs::path& path) {
    Descriptor file(::open(path.string().c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 ||
        !namesOpenFile(path, file)) {
        return {};
    }
    return file;
}

Descriptor takeSlot(const fs::path& path, int& refusal) {
    // Every round either takes a new file or removes one that a killed write left behind.
    for (int round = 0; round < 4; ++round) {
        Descriptor file(::open(path.string().c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.valid()) {
            // Another writer may have opened the new file already and locked it first.
            if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0 || !namesOpenFile(path, file)) {
                return {};
            }
            return file;
        }
        if (errno != EEXIST) {
            if (isFolderRefusal(errno)) {
                refusal = errno;
            }
            fail(errno);
        }
        const Descriptor leftBehind = lockLeftBehind(path);
        if (!leftBehind.valid()) {
            return {}; // a live writer's file, or gone again: try another slot
        }
        ::unlink(path.string().c_str()); // start afresh, with the mode a new file gets
    }
    return {};
}

void removeLeftBehindSlots(const fs::path& target, int ownSlot) {
    for (int slot = 0; slot < kTemporarySlots; ++slot) {
        const fs::path path = temporaryPath(target, slot);
        struct stat status {};
        if (slot == ownSlot || ::lstat(path.string().c_str(), &status) != 0) {
            continue;
        }
        // Held across the unlink: a writer that has just created this slot must not lock it in
        // between and then lose its temporary file before its rename.
        const Descriptor leftBehind = lockLeftBehind(path);
        if (leftBehind.valid()) {
            ::unlink(path.string().c_str());
        }
    }
}

#endif

// The temporary file beside the target, removed again unless it was renamed over the target.
class TemporaryFile {
public:
    // The first free slot beside `target`. Nothing when the folder takes no new file from this
    // user (`refusal` then holds the reason); throws WriteFailed for other failures.
    static std::optional<TemporaryFile> beside(const fs::path& target, int& refusal) {
        for (int slot = 0; slot < kTemporarySlots; ++slot) {
            const fs::path path = temporaryPath(target, slot);
            try {
                Descriptor file = takeSlot(path, refusal);
                if (file.valid()) {
                    return TemporaryFile(path, slot, std::move(file));
                }
            } catch (const WriteFailed&) {
                if (refusal != 0) {
                    return std::nullopt;
                }
                throw;
            }
        }
        throw WriteFailed{"other writers hold every temporary file of this target"};
    }

    ~TemporaryFile() {
        if (path_.empty() || renamed_) {
            return;
        }
#if defined(_WIN32)
        file_.reset(); // Windows removes no file that is open
#endif
        ::remove(path_.string().c_str()); // on POSIX still locked: no other writer uses it
    }
    TemporaryFile(TemporaryFile&& other) noexcept
        : path_(std::exchange(other.path_, {})), slot_(other.slot_), file_(std::move(other.file_)),
          renamed_(other.renamed_) {}
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int slot() const {
        return slot_;
    }

    // Gives the file the owner and permission bits of the file it will replace; false when the
    // system does not let this user give it that owner.
    bool takeOwnerAndMode([[maybe_unused]] const struct stat& replaced) {
#if defined(_WIN32)
        return true; // no owners; a writable file has no read-only attribute to carry over
#else
        struct stat own {};
        if (::fstat(file_.get(), &own) != 0) {
            fail(errno);
        }
        if ((own.st_uid != replaced.st_uid || own.st_gid != replaced.st_gid) &&
            ::fchown(file_.get(), replaced.st_uid, replaced.st_gid) != 0) {
            return false;
        }
        // After the owner: changing the owner clears the set-user-ID and set-group-ID bits.
        return ::fchmod(file_.get(), replaced.st_mode & 07777) == 0;
#endif
    }

    void write(std::span<const std::string_view> pieces) {
        writeAll(file_, pieces);
    }

    void renameOver(const fs::path& target) {
#if defined(_WIN32)
        file_.closeChecked(); // Windows renames no file that is open
#endif
        std::error_code error;
        fs::rename(path_, target, error);
        if (error) {
            throw WriteFailed{systemErrorReason(error.value())};
        }
        renamed_ = true;
#if !defined(_WIN32)
        file_.closeChecked(); // held until here, so no other writer takes the slot before
#endif
    }

private:
    TemporaryFile(fs::path path, int slot, Descriptor file)
        : path_(std::move(path)), slot_(slot), file_(std::move(file)) {}

    fs::path path_;
    int slot_ = 0;
    Descriptor file_;
    bool renamed_ = false;
};

void writeReplacing(const fs::path& target, std::span<const std::string_view> pieces) {
    const std::optional<struct stat> replaced = replaceableTarget(target);
    int refusal = 0;
    std::optional<TemporaryFile> temporary = TemporaryFile::beside(target, refusal);
    if (!temporary) {
        if (!replaced) {
            fail(refusal);
        }
        // The folder takes no new file, but the file itself may be written.
        writeInPlace(target, pieces);
        removeLeftBehindSlots(target, -1);
        return;
    }
    if (replaced && !temporary->takeOwnerAndMode(*replaced)) {
        // Renaming would hand another user's file to this one: write it in place instead.
        temporary.reset();
        writeInPlace(target, pieces);
        removeLeftBehindSlots(target, -1);
        return;
    }
    temporary->write(pieces);
    temporary->renameOver(target);
    removeLeftBehindSlots(target, temporary->slot());
}

} // namespace

void writeFileAtomically(const std::string& targetPath, std::string_view content) {
    writeFileAtomically(targetPath, std::span<const std::string_view>(&content, 1));
}

void writeFileAtomically(const std::string& targetPath, std::span<const std::string_view> pieces) {
    try {
        writeReplacing(resolvedTarget(targetPath), pieces);
    } catch (const WriteFailed& failure) {
        throw std::runtime_error("Cannot Create file: " + targetPath + " (" + failure.reason + ")");
    } catch (const std::exception& error) {
        // Allocation and path conversion failures: still the writer's one message.
        throw std::runtime_error("Cannot Create file: " + targetPath + " (" + error.what() + ")");
    }
}

bool isAtomicWriteTemporaryName(std::string_view fileName) {
    return fileName.size() == kTemporaryNameLength && fileName.starts_with(kTemporaryPrefix) &&
           fileName.ends_with(kTemporarySuffix);
}

void setAtomicWriteFaultHookForTesting(AtomicWriteFaultHook hook) {
    faultHook() = std::move(hook);
}

} // namespace qm
