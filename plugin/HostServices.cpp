#include "HostServices.h"

#include <array>
#include <cstring>

namespace qm {
namespace {

using TextBuffer = std::array<char, kHostTextBufferSize>;

std::string terminatedText(TextBuffer& buffer) {
    buffer.back() = '\0';
    return std::string(buffer.data());
}

} // namespace

std::string hostStringParameter(const char* name) {
    TextBuffer buffer{};
    callHost<HostFunction::ztGetStringParameter>(name, buffer.data());
    return terminatedText(buffer);
}

int hostIntParameter(const char* name) { return callHost<HostFunction::ztGetIntParameter>(name); }

float hostFloatParameter(const char* name) {
    return callHost<HostFunction::ztGetFloatParameter>(name);
}

void setHostStringParameter(const char* name, const std::string& value) {
    callHost<HostFunction::ztSetStringParameter>(name, value.c_str());
}

void showMessageBox(const std::string& text) {
    callHost<HostFunction::ztMessageBox>(text.c_str());
}

std::string chooseFileInHost(const std::string& title, const std::string& directory,
                             const std::string& filter) {
    TextBuffer buffer{};
    const int chosen = callHost<HostFunction::ztGetOpenFileName>(title.c_str(), directory.c_str(),
                                                                 filter.c_str(), buffer.data());
    if (chosen == 0) {
        return std::string();
    }
    return terminatedText(buffer);
}

FmrDocumentHeader currentFmrHeader() {
    FmrDocumentHeader header{};
    callHost<HostFunction::ztGetHeaderOfCurrentFMR>(&header);
    header.fmrPath[sizeof(header.fmrPath) - 1] = '\0';
    return header;
}

BusyCursorGuard::BusyCursorGuard() { callHost<HostFunction::ztShowBusyCursor>(); }

BusyCursorGuard::~BusyCursorGuard() {
    // A destructor must not throw; a host without the function simply shows no cursor change.
    if (hostFunctions().has(HostFunction::ztStopBusyCursor)) {
        callHost<HostFunction::ztStopBusyCursor>();
    }
}

} // namespace qm
