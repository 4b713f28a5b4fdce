#include "HostServices.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace qm {
namespace {

using TextBuffer = std::array<char, kHostTextBufferSize>;

// The text the host wrote into `buffer`. A text that reaches the buffer's last byte may be the
// cut beginning of a longer one (a host that cuts and terminates leaves no other trace, a host
// that does not terminate leaves none at all), and the first bytes of a path can name another
// file or none: such a text is refused rather than used.
std::string terminatedText(const TextBuffer& buffer, const std::string& what) {
    const auto length =
        static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), '\0') - buffer.begin());
    if (length >= buffer.size() - 1) {
        constexpr std::size_t kShown = 60;
        throw std::runtime_error(what + " (" + std::string(buffer.data(), kShown) +
                                 "...) fills the host's whole " + std::to_string(buffer.size()) +
                                 "-byte text buffer, so it may have been cut short. Use a path "
                                 "shorter than " +
                                 std::to_string(buffer.size() - 1) + " bytes.");
    }
    return std::string(buffer.data(), length);
}

} // namespace

std::string hostStringParameter(const char* name) {
    TextBuffer buffer{};
    callHost<HostFunction::ztGetStringParameter>(name, buffer.data());
    return terminatedText(buffer, std::string("The value of the parameter \"") + name + "\"");
}

int hostIntParameter(const char* name) {
    return callHost<HostFunction::ztGetIntParameter>(name);
}

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
    return terminatedText(buffer, "The path chosen in the file dialog");
}

FmrDocumentHeader currentFmrHeader() {
    FmrDocumentHeader header{};
    callHost<HostFunction::ztGetHeaderOfCurrentFMR>(&header);
    header.fmrPath[sizeof(header.fmrPath) - 1] = '\0';
    return header;
}

BusyCursorGuard::BusyCursorGuard() {
    callHost<HostFunction::ztShowBusyCursor>();
}

BusyCursorGuard::~BusyCursorGuard() {
    // A destructor must not throw; a host without the function simply shows no cursor change.
    if (hostFunctions().has(HostFunction::ztStopBusyCursor)) {
        callHost<HostFunction::ztStopBusyCursor>();
    }
}

} // namespace qm
