// Replacing a file so that it is either the old file or the complete new one, never a part, and
// never replacing a file that the user could not have written.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace qm {

// Writes `content` byte for byte to `targetPath`:
// - Normally through a temporary file in the target's folder that is renamed over the target,
//   so a full disk, a failing write or a killed process leave the old target untouched.
// - An existing target that the user cannot open for writing (read-only, or another user's
//   file without write permission) is refused and stays untouched; so is anything that is not a
//   regular file.
// - A replaced file keeps its owner and permission bits. When the temporary file cannot be given
//   the old owner, or the folder cannot take a temporary file although the target is writable,
//   the target is rewritten in place, as a plain open-for-writing would do.
// - A target that is a symbolic link is replaced where the link points, so the link stays.
// Failures throw std::runtime_error "Cannot Create file: " + targetPath + " (" + reason + ")",
// the reason as the system gives it ("permission denied", "no space left on device").
//
// The temporary file has a name made from the target's name and one of a few slots: a write that
// was killed half way leaves it behind, and the next write of the same target finds it, reuses or
// removes it. Its name is short enough whenever the target's name fits the file system.
void writeFileAtomically(const std::string& targetPath, std::string_view content);
// The same for content that lies in several pieces, written one after the other.
void writeFileAtomically(const std::string& targetPath, std::span<const std::string_view> pieces);

// True for the names of the writer's temporary files (the file-name part only).
bool isAtomicWriteTemporaryName(std::string_view fileName);

// Test seam. When set, the writer calls the hook before every chunk it writes (with the number of
// bytes already written, over all pieces) and once more before the rename (with all bytes
// written); a hook that returns true makes the write fail at that point as a full disk would
// ("no space left on device"). Pass an empty hook to remove it. Not for use outside tests.
using AtomicWriteFaultHook = std::function<bool(std::size_t bytesWritten)>;
void setAtomicWriteFaultHookForTesting(AtomicWriteFaultHook hook);

// Size of the pieces the writer hands to the file, so tests can place a fault between them.
inline constexpr std::size_t kAtomicWriteChunkSize = 64 * 1024;

} // namespace qm
