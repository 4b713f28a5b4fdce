#include "HNZTLog.h"

#include <locale>
#include <string>

HNZTLog::HNZTBuf::HNZTBuf(LogFunction logFunction)
    : std::stringbuf(std::ios_base::in | std::ios_base::out), logFunction(logFunction) {}

HNZTLog::HNZTBuf::~HNZTBuf() {
    sync();
}

int HNZTLog::HNZTBuf::sync() {
    const std::string text = str();
    logFunction(text.c_str());
    // Assigning a new empty string releases the old storage, not just the contents.
    str(std::string());
    return 0;
}

HNZTLog::HNZTLog(LogFunction logFunction)
    : std::ostream(nullptr), buffer(std::make_unique<HNZTBuf>(logFunction)) {
    rdbuf(buffer.get());
    // Numbers in the log read the same whatever locale the host process runs under.
    imbue(std::locale::classic());
}

HNZTLog::~HNZTLog() {
    buffer.reset();
    rdbuf(nullptr);
}
