// The plug-in's log: an ordinary output stream whose buffer hands everything gathered since the
// last flush to the host's log pane in one ztLogText call.
//
// Nothing reaches the host until the stream is flushed or destroyed; a newline does not flush.
// A log message is written as the plug-in name, then the text (">  ..."), then std::flush.
#pragma once

#include <memory>
#include <ostream>
#include <sstream>

class HNZTLog : public std::ostream {
public:
    using LogFunction = void (*)(const char* text);

    class HNZTBuf : public std::stringbuf {
    public:
        explicit HNZTBuf(LogFunction logFunction);
        ~HNZTBuf() override;
        HNZTBuf(const HNZTBuf&) = delete;
        HNZTBuf& operator=(const HNZTBuf&) = delete;

    protected:
        // Passes the whole gathered text, unchanged and possibly empty, to logFunction, then
        // empties the buffer. Never fails.
        int sync() override;

    private:
        LogFunction logFunction;
    };

    explicit HNZTLog(LogFunction logFunction);
    ~HNZTLog() override;
    HNZTLog(const HNZTLog&) = delete;
    HNZTLog& operator=(const HNZTLog&) = delete;

private:
    // Owned; destroyed (and so flushed) before the stream itself.
    std::unique_ptr<HNZTBuf> buffer;
};
