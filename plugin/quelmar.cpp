#include "quelmar.h"

#include "HostFunctionTable.h"
#include "HostServices.h"
#include "PluginTexts.h"

#include <exception>
#include <string>

namespace {

// Stands in for a host that has no log pane function: log text then goes nowhere, which is
// better than calling an empty slot from inside a stream flush.
void discardLogText(const char*) {}

// Shows an error to the user. A host without a message box has no way to be told; the error
// must still never leave execute.
void showErrorSafely(const std::string& text) {
    try {
        qm::showMessageBox(text);
    } catch (...) {
    }
}

} // namespace

quelmar::quelmar() = default;

quelmar::~quelmar() {
    if (!logStream) {
        return; // initPlugin never got past binding: there is no log to close.
    }
    *logStream << "\n" << qm::kPluginName << ">  Plugin finished!\n" << std::flush;
    logStream.reset();
}

#if defined(HALVORN_DESTROY_SLOT)
void* quelmar::destroy(unsigned flags) {
    if ((flags & 1U) != 0) {
        delete this;
    } else {
        this->~quelmar();
    }
    return this;
}
#endif

void quelmar::log(const std::string& message) {
    *logStream << qm::kPluginName << message << std::flush;
}

bool quelmar::initPlugin() {
    using qm::HostFunction;
    if (!qm::bindHostFunctions()) {
        return false;
    }
    try {
        const auto& table = qm::hostFunctions();
        const HNZTLog::LogFunction logFunction =
            table.has(HostFunction::ztLogText)
                ? qm::boundHostFunction<HostFunction::ztLogText>(table)
                : discardLogText;
        logStream.reset(); // the earlier stream hands its pending text over first
        logStream = std::make_unique<HNZTLog>(logFunction);

        int major = 0;
        int minor = 0;
        int patch = 0;
        qm::callHost<HostFunction::ztGetVersionOfHalvornZT>(&major, &minor, &patch);
        if (!isAcceptedHostVersion(major, minor, patch)) {
            qm::showMessageBox(
                "Can not execute this plugin - HalvornZT version 2.8 or higher required.");
            return false;
        }

        qm::callHost<HostFunction::ztShowLogTab>();
        *logStream << "\n" << qm::kPluginName << ">  Running..." << std::flush;

        const int documentId = qm::callHost<HostFunction::ztGetIDOfCurrentDocument>();
        if (documentId < 0) {
            qm::showMessageBox("No current document available.");
            return false;
        }
        if (qm::callHost<HostFunction::ztGetDocumentType>(documentId) != kDocumentTypeFmr) {
            qm::showMessageBox("The currently active document is not a FMR document.");
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        // A host that lacks one of the start-up functions cannot run the plug-in.
        showErrorSafely(std::string("Error: ") + error.what());
        return false;
    }
}

bool quelmar::execute() {
    try {
        const std::string task = qm::hostStringParameter("task");
        if (task == "select_3dmcsdm") {
            runSelectSdmTask(); // opens a file dialog: no busy cursor
        } else {
            const qm::BusyCursorGuard busyCursor;
            if (task == "displacement") {
                runDisplacementTask();
            } else if (task == "confound") {
                runConfoundTask();
            }
        }
    } catch (const std::exception& error) {
        showErrorSafely(std::string("Error: ") + error.what());
    } catch (...) {
        // Nothing may cross back into the host's code as an exception.
        showErrorSafely("Error: unexpected failure inside the plug-in");
    }
    return true;
}
