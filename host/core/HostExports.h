// Declarations of the host functions Halvorn.exe exports, with the protocol's signatures.
#pragma once

#include <halvorn/HalvornPluginApi.h>

extern "C" {
HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch);
HALVORN_EXPORT void ztShowLogTab();
HALVORN_EXPORT void ztShowBusyCursor();
HALVORN_EXPORT void ztStopBusyCursor();
HALVORN_EXPORT void ztLogText(const char* text);
HALVORN_EXPORT void ztMessageBox(const char* text);
HALVORN_EXPORT int ztGetIDOfCurrentDocument();
HALVORN_EXPORT int ztGetDocumentType(int documentId);
HALVORN_EXPORT void ztGetStringParameter(const char* name, char* buffer512);
HALVORN_EXPORT int ztGetIntParameter(const char* name);
HALVORN_EXPORT float ztGetFloatParameter(const char* name);
HALVORN_EXPORT void ztSetStringParameter(const char* name, const char* value);
HALVORN_EXPORT int ztGetOpenFileName(const char* title, const char* directory, const char* filter,
                                     char* buffer512);
HALVORN_EXPORT void ztGetHeaderOfCurrentFMR(FmrDocumentHeader* header);
}
