// The host functions that Halvorn.exe exports to the plug-in, by name from the executable.
// Each records itself in the transcript and then does what the real host would do: log text
// goes to stdout, message boxes to stderr, parameters to and from the parameter store.
#include "HostExports.h"

#include "HostFunctionSignature.h"
#include "HostSession.h"
#include "HostTextBuffer.h"
#include "ParameterValues.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

using json = nlohmann::ordered_json;
using halvorn_host::session;

namespace {

// True when HALVORN_FULL_TEXT_BUFFERS=1 is in the environment.
bool fillsWholeTextBuffers() {
    static const bool fills = [] {
        const char* setting = std::getenv("HALVORN_FULL_TEXT_BUFFERS");
        return setting != nullptr && std::strcmp(setting, "1") == 0;
    }();
    return fills;
}

// Copies `text` into a host-to-plug-in buffer of kHostTextBufferSize bytes, cut to fit and
// terminated. With HALVORN_FULL_TEXT_BUFFERS=1 a text of kHostTextBufferSize bytes or more fills
// the whole buffer without a terminator instead, as a careless host might, to show that the
// plug-in never reads past its buffers.
void copyToPluginBuffer(const std::string& text, char* buffer) {
    if (fillsWholeTextBuffers() && text.size() >= kHostTextBufferSize) {
        std::memcpy(buffer, text.data(), kHostTextBufferSize);
        return;
    }
    halvorn_host::copyToHostTextBuffer(text, buffer);
}

// The parameter's text when it was given (or stored by the plug-in); marks it as read.
std::optional<std::string> givenText(const char* name) {
    auto& host = session();
    host.parametersRead.insert(name);
    const auto found = host.parameters.find(name);
    if (found == host.parameters.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string parameterText(const char* name) {
    return givenText(name).value_or(std::string());
}

// A value the getter cannot read would reach the plug-in as 0 and change what the task does
// without a word, so the run stops at this call, before the task has written anything.
[[noreturn]] void stopAtUnreadableValue(const char* call, const char* name, const std::string& text,
                                        const char* kind) {
    auto& host = session();
    const std::string message =
        std::string("parameter ") + name + "=\"" + text + "\" is not " + kind;
    host.transcript.record(
        {{"call", call}, {"name", name}, {"text", text}, {"value", nullptr}, {"error", message}});
    std::cerr << "Halvorn.exe: error: " << message << '\n' << std::flush;
    halvorn_host::stopRun(host, halvorn_host::kExitCannotStart);
}

// The transcript entry of a numeric getter: the value the plug-in got, and the text as given.
json numberCall(const char* call, const char* name, const json& value,
                const std::optional<std::string>& text) {
    json entry = {{"call", call}, {"name", name}, {"value", value}};
    if (text) {
        entry["text"] = *text;
    }
    return entry;
}

} // namespace

extern "C" {

void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    const auto& version = session().version;
    *major = version.major;
    *minor = version.minor;
    *patch = version.patch;
    session().transcript.record({{"call", "ztGetVersionOfHalvornZT"},
                                 {"major", version.major},
                                 {"minor", version.minor},
                                 {"patch", version.patch}});
}

void ztShowLogTab() {
    session().transcript.record({{"call", "ztShowLogTab"}});
}

void ztShowBusyCursor() {
    ++session().busyCursorDepth;
    session().transcript.record({{"call", "ztShowBusyCursor"}});
}

void ztStopBusyCursor() {
    --session().busyCursorDepth;
    session().transcript.record({{"call", "ztStopBusyCursor"}});
}

void ztLogText(const char* text) {
    session().transcript.record({{"call", "ztLogText"}, {"text", text}});
    // The log pane shows each entry on a line of its own; an empty entry adds nothing.
    if (text[0] != '\0') {
        std::cout << text << '\n' << std::flush;
    }
}

void ztMessageBox(const char* text) {
    auto& host = session();
    host.transcript.record({{"call", "ztMessageBox"}, {"text", text}});
    std::cerr << text << '\n' << std::flush;
    if (host.insideTask && std::strncmp(text, "Error: ", 7) == 0) {
        host.errorShownDuringTask = true;
    }
}

int ztGetIDOfCurrentDocument() {
    const auto& document = session().document;
    const int id = document ? document->id : -1;
    session().transcript.record({{"call", "ztGetIDOfCurrentDocument"}, {"result", id}});
    return id;
}

int ztGetDocumentType(int documentId) {
    const auto& document = session().document;
    const int type = document && document->id == documentId ? document->type : -1;
    session().transcript.record(
        {{"call", "ztGetDocumentType"}, {"id", documentId}, {"result", type}});
    return type;
}

void ztGetStringParameter(const char* name, char* buffer512) {
    const std::string value = parameterText(name);
    copyToPluginBuffer(value, buffer512);
    session().transcript.record(
        {{"call", "ztGetStringParameter"}, {"name", name}, {"value", value}});
}

int ztGetIntParameter(const char* name) {
    const auto text = givenText(name);
    int value = 0;
    if (text) {
        const auto parsed = halvorn_host::parseIntParameter(*text);
        if (!parsed) {
            stopAtUnreadableValue("ztGetIntParameter", name, *text, "an integer");
        }
        value = *parsed;
    }
    session().transcript.record(numberCall("ztGetIntParameter", name, value, text));
    return value;
}

float ztGetFloatParameter(const char* name) {
    const auto text = givenText(name);
    float value = 0.0F;
    if (text) {
        const auto parsed = halvorn_host::parseFloatParameter(*text);
        if (!parsed) {
            stopAtUnreadableValue("ztGetFloatParameter", name, *text, "a number");
        }
        value = *parsed;
    }
    session().transcript.record(numberCall("ztGetFloatParameter", name, value, text));
    return value;
}

void ztSetStringParameter(const char* name, const char* value) {
    session().parameters[name] = value;
    session().transcript.record(
        {{"call", "ztSetStringParameter"}, {"name", name}, {"value", value}});
}

int ztGetOpenFileName(const char* title, const char* directory, const char* filter,
                      char* buffer512) {
    auto& host = session();
    json entry = {{"call", "ztGetOpenFileName"},
                  {"title", title},
                  {"directory", directory},
                  {"filter", filter}};
    if (host.fileDialogAnswers.empty()) {
        entry["result"] = 0;
        host.transcript.record(entry);
        return 0;
    }
    const std::string chosen = host.fileDialogAnswers.front();
    host.fileDialogAnswers.pop_front();
    copyToPluginBuffer(chosen, buffer512);
    entry["result"] = 1;
    entry["path"] = chosen;
    host.transcript.record(entry);
    return 1;
}

void ztGetHeaderOfCurrentFMR(FmrDocumentHeader* header) {
    const auto& document = session().document;
    FmrDocumentHeader filled{};
    if (document && document->fmrHeader) {
        filled = *document->fmrHeader;
    }
    std::memcpy(header, &filled, sizeof filled);
    session().transcript.record({{"call", "ztGetHeaderOfCurrentFMR"},
                                 {"fmrPath", filled.fmrPath},
                                 {"nrOfVolumes", filled.nrOfVolumes},
                                 {"dimX", filled.dimX},
                                 {"dimY", filled.dimY},
                                 {"dimZ", filled.dimZ},
                                 {"voxelSizeX", filled.voxelSizeX},
                                 {"voxelSizeY", filled.voxelSizeY},
                                 {"voxelSizeZ", filled.voxelSizeZ}});
}

} // extern "C"

// The exported functions must have exactly the signatures of the protocol header.
HALVORN_CHECK_SIGNATURE(ztGetVersionOfHalvornZT)
HALVORN_CHECK_SIGNATURE(ztShowLogTab)
HALVORN_CHECK_SIGNATURE(ztShowBusyCursor)
HALVORN_CHECK_SIGNATURE(ztStopBusyCursor)
HALVORN_CHECK_SIGNATURE(ztLogText)
HALVORN_CHECK_SIGNATURE(ztMessageBox)
HALVORN_CHECK_SIGNATURE(ztGetIDOfCurrentDocument)
HALVORN_CHECK_SIGNATURE(ztGetDocumentType)
HALVORN_CHECK_SIGNATURE(ztGetStringParameter)
HALVORN_CHECK_SIGNATURE(ztGetIntParameter)
HALVORN_CHECK_SIGNATURE(ztGetFloatParameter)
HALVORN_CHECK_SIGNATURE(ztSetStringParameter)
HALVORN_CHECK_SIGNATURE(ztGetOpenFileName)
HALVORN_CHECK_SIGNATURE(ztGetHeaderOfCurrentFMR)
