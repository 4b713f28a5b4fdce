// Typed, checked access to the host services the plug-in uses, over the bound host table.
//
// Texts the host writes into plug-in memory go into 512-byte buffers. The wrappers never read
// past a buffer's end, and refuse a text that reaches its last byte (511 bytes, or 512 without a
// terminator) with a std::runtime_error: it may be the cut beginning of a longer path.
#pragma once

#include "HostFunctionTable.h"

#include <string>

namespace qm {

std::string hostStringParameter(const char* name);
int hostIntParameter(const char* name);
float hostFloatParameter(const char* name);
void setHostStringParameter(const char* name, const std::string& value);

void showMessageBox(const std::string& text);

// The host's file dialog: the chosen path, or an empty string when the user cancelled.
std::string chooseFileInHost(const std::string& title, const std::string& directory,
                             const std::string& filter);

FmrDocumentHeader currentFmrHeader();

// Turns the host's busy cursor on for the lifetime of the object.
class BusyCursorGuard {
public:
    BusyCursorGuard();
    ~BusyCursorGuard();
    BusyCursorGuard(const BusyCursorGuard&) = delete;
    BusyCursorGuard& operator=(const BusyCursorGuard&) = delete;
};

} // namespace qm
