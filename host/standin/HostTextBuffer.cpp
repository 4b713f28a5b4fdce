#include "HostTextBuffer.h"

#include <halvorn/HalvornPluginApi.h>

#include <algorithm>
#include <cstring>

namespace halvorn_host {

void copyToHostTextBuffer(std::string_view text, char* buffer) {
    const std::size_t length = std::min(text.size(), kHostTextBufferSize - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

} // namespace halvorn_host
