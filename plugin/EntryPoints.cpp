// The seven entry points the host reads from the library.
#include "PluginTexts.h"
#include "quelmar.h"

#include <halvorn/HalvornPluginApi.h>

HNZTPluginInterface::~HNZTPluginInterface() = default;

extern "C" {

// Only allocates: no host function is called before initPlugin.
HNZTPluginInterface* createPlugin() {
    return new quelmar();
}

const char* getPluginName() {
    return qm::kPluginName;
}
const char* getPluginDescription() {
    return qm::kPluginDescription;
}
const char* getAuthor() {
    return qm::kPluginAuthor;
}
const char* getPluginVersion() {
    return qm::kPluginVersion;
}
const char* getHelpFile() {
    return qm::kHelpFile;
}
const char* getGUIScript() {
    return qm::kGuiScript;
}
}
