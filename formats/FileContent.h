// Reading a text file in one piece and parsing it in memory, which is both fast and independent
// of the process's locale.
#pragma once

#include <cstddef>
#include <fstream>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

namespace qm {

// The bytes of the text file at `path`, line ends as they are on disk, without a leading UTF-8
// byte-order mark. Throws OpenFileError "Failed opening for reading: " + path when it cannot be
// opened or read (with the reason when it is no regular file, see openFileForReading).
std::string readFileContent(const std::string& path);

// `path` opened for reading in binary or text mode. Only a regular file (or a link to one) is
// opened: a folder reads as nothing on some systems, a named pipe blocks until a writer comes and
// a device such as /dev/zero never ends. Throws OpenFileError `failurePrefix` + path when the
// file cannot be opened, with the reason in parentheses when it is no regular file.
std::ifstream openFileForReading(const std::string& path, std::ios::openmode mode,
                                 const std::string& failurePrefix);

// Passes over a UTF-8 byte-order mark at the stream's position, which some editors put at the
// start of a text file; other bytes are left to be read.
void skipByteOrderMark(std::istream& in);

namespace detail {

// Hands out a piece of memory as stream input, and tells how far the reading has come.
class ViewStreamBuffer : public std::streambuf {
public:
    explicit ViewStreamBuffer(std::string_view text) {
        char* begin = const_cast<char*>(text.data()); // only ever read
        setg(begin, begin, begin + text.size());
    }
    std::size_t position() const { return static_cast<std::size_t>(gptr() - eback()); }
};

// Holds the buffer so that it exists before the stream that uses it.
struct ViewStreamBufferHolder {
    explicit ViewStreamBufferHolder(std::string_view text) : buffer(text) {}
    ViewStreamBuffer buffer;
};

} // namespace detail

// An input stream over `text` (which must outlive it) using the classic "C" locale, so numbers
// always have a decimal point and no digit grouping, whatever the process locale is.
class MemoryInputStream : private detail::ViewStreamBufferHolder, public std::istream {
public:
    explicit MemoryInputStream(std::string_view text);
    // Offset in `text` of the next character the stream would read.
    std::size_t position() const { return buffer.position(); }
};

} // namespace qm
