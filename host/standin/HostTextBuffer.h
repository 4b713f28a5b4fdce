// Texts a host hands to the plug-in (a parameter's value, a chosen file) go into the plug-in's
// own buffer of kHostTextBufferSize bytes.
#pragma once

#include <string_view>

namespace halvorn_host {

// Copies `text` into `buffer`, which holds kHostTextBufferSize bytes: cut to fit, terminated.
void copyToHostTextBuffer(std::string_view text, char* buffer);

} // namespace halvorn_host
