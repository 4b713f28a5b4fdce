// Replacing a file so that it is either the old file or the complete new one, never a part.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace qm {

// Writes `content` byte for byte to a new temporary file in the folder of `targetPath`, then
// renames it over the target. A full disk, a failing write or a refused rename leaves the old
// target untouched and no temporary file behind, and throws std::runtime_error
// "Cannot Create file: " + targetPath. A target that is a symbolic link is replaced where the
// link points, so the link stays. An existing target's permissions carry over to the new file.
void writeFileAtomically(const std::string& targetPath, std::string_view content);
// The same for content that lies in several pieces, written one after the other.
void writeFileAtomically(const std::string& targetPath, std::span<const std::string_view> pieces);

// Test seam. When set, the writer calls the hook before every chunk it writes to the temporary
// file (with the number of bytes already written, over all pieces) and once more before the rename
// (with all bytes written); a hook that returns true makes the write fail at that point, as a full
// disk or a killed process would. Pass an empty hook to remove it. Not for use outside tests.
using AtomicWriteFaultHook = std::function<bool(std::size_t bytesWritten)>;
void setAtomicWriteFaultHookForTesting(AtomicWriteFaultHook hook);

// Size of the pieces the writer hands to the file, so tests can place a fault between them.
inline constexpr std::size_t kAtomicWriteChunkSize = 64 * 1024;

} // namespace qm
