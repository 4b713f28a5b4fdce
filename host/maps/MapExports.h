// The map functions Halvorn.exe exports to the plug-in: maps of the current FMR document,
// created, filled by the plug-in through per-slice pointers, and saved as NIfTI files.
#pragma once

#include <halvorn/HalvornPluginApi.h>

extern "C" {
HALVORN_EXPORT int ztCreateMAPForCurrentFMR();
HALVORN_EXPORT float** ztGetMAPOfCurrentFMR(MapHeader* header);
HALVORN_EXPORT void ztSetMAPParametersOfCurrentFMR(MapHeader* header);
HALVORN_EXPORT int ztSaveMAPsOfCurrentFMR(const char* path);
}
