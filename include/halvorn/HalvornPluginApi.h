// The whole contract between the HalvornZT host and a plug-in library, in one header.
//
// Both sides include it: the plug-in (Quelmar.so / Quelmar.dll) and every program that plays
// the host (Halvorn.exe). It holds
//   - the export macro and calling convention,
//   - the records the host fills for the plug-in (FmrDocumentHeader, MapHeader),
//   - the signatures of the host functions the plug-in calls,
//   - the seven entry points the host reads from the library, and
//   - HNZTPluginInterface, the abstract plug-in class the host drives.
//
// What may be missing: the host exports its functions by name from its executable module
// ("Halvorn.exe"). A host that lacks one of them still loads the plug-in; the plug-in then
// refuses to call that function and reports it by name (see HostFunctionTable.h). A host
// without "ztGetVersionOfHalvornZT" is not a HalvornZT host at all: initPlugin returns false.
//
// Version check: initPlugin accepts hosts that report version 2.8.0 or later.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define HALVORN_EXPORT __declspec(dllexport)
#define HALVORN_IMPORT __declspec(dllimport)
#define HALVORN_HIDDEN
#else
#define HALVORN_EXPORT __attribute__((visibility("default")))
#define HALVORN_IMPORT __attribute__((visibility("default")))
// Members of an exported class that are not part of the protocol.
#define HALVORN_HIDDEN __attribute__((visibility("hidden")))
#endif

// Symbols the plug-in library exports: the seven entry points and the two protocol classes.
#if defined(QUELMAR_BUILDING_PLUGIN)
#define QUELMAR_API HALVORN_EXPORT
#else
#define QUELMAR_API HALVORN_IMPORT
#endif

// Every text that the host writes into plug-in memory goes into a buffer of this size.
inline constexpr std::size_t kHostTextBufferSize = 512;

// Host version that the plug-in requires at least.
inline constexpr int kRequiredHostMajor = 2;
inline constexpr int kRequiredHostMinor = 8;
inline constexpr int kRequiredHostPatch = 0;

// True when the plug-in runs in a host that reports version major.minor.patch: the required
// version or any later one.
constexpr bool isAcceptedHostVersion(int major, int minor, int patch) {
    if (major != kRequiredHostMajor) {
        return major > kRequiredHostMajor;
    }
    if (minor != kRequiredHostMinor) {
        return minor > kRequiredHostMinor;
    }
    return patch >= kRequiredHostPatch;
}

// Document type reported by ztGetDocumentType for a functional (FMR) document.
inline constexpr int kDocumentTypeFmr = 1;

// The host's header record of the current FMR document: 1168 bytes, of which the plug-in reads
// the path, the volume count, the grid dimensions and the voxel sizes.
struct FmrDocumentHeader {
    char fmrPath[304]; // NUL-terminated path of the FMR project file
    std::int32_t nrOfVolumes;
    std::int32_t dimX; // columns
    std::int32_t dimY; // rows
    std::int32_t dimZ; // slices
    float voxelSizeX;  // millimetres
    float voxelSizeY;  // millimetres
    float voxelSizeZ;  // millimetres, distance between slice centres
    unsigned char hostOnly[1168 - 332];
};
static_assert(sizeof(FmrDocumentHeader) == 1168);
static_assert(offsetof(FmrDocumentHeader, nrOfVolumes) == 304);
static_assert(offsetof(FmrDocumentHeader, dimX) == 308);
static_assert(offsetof(FmrDocumentHeader, voxelSizeX) == 320);
static_assert(offsetof(FmrDocumentHeader, voxelSizeZ) == 328);

// The host's record of one map of the current FMR document: 64 bytes. The host fills it in
// ztGetMAPOfCurrentFMR; the plug-in sets four fields and hands it back with
// ztSetMAPParametersOfCurrentFMR. The meaning of the fields from offset 12 on is the host's.
struct MapHeader {
    std::int32_t DimX;
    std::int32_t DimY;
    std::int32_t DimZ;
    std::int32_t mapKind; // the plug-in sets 1
    float lowerValue;     // lower end of the map's display range
    float upperValue;     // upper end of the map's display range
    unsigned char hostField24[4];
    std::int32_t field28; // the plug-in sets 0
    unsigned char hostOnly[32];
};
static_assert(sizeof(MapHeader) == 64);
static_assert(offsetof(MapHeader, mapKind) == 12);
static_assert(offsetof(MapHeader, lowerValue) == 16);
static_assert(offsetof(MapHeader, upperValue) == 20);
static_assert(offsetof(MapHeader, field28) == 28);

// An opaque handle of one plot window.
using PlotHandle = void*;

// Signatures of the host functions the plug-in calls, as the host exports them (extern "C",
// the platform's standard calling convention). The host's other functions are bound by name
// too but never called, so their signatures do not matter here.
namespace halvorn {
extern "C" {
using ztGetVersionOfHalvornZT_t = void (*)(int* major, int* minor, int* patch);
using ztShowLogTab_t = void (*)();
using ztShowBusyCursor_t = void (*)();
using ztStopBusyCursor_t = void (*)();
using ztLogText_t = void (*)(const char* text);
using ztMessageBox_t = void (*)(const char* text);
using ztGetIDOfCurrentDocument_t = int (*)();
using ztGetDocumentType_t = int (*)(int documentId);
using ztGetStringParameter_t = void (*)(const char* name, char* buffer512);
using ztGetIntParameter_t = int (*)(const char* name);
using ztGetFloatParameter_t = float (*)(const char* name);
using ztSetStringParameter_t = void (*)(const char* name, const char* value);
using ztGetOpenFileName_t = int (*)(const char* title, const char* directory, const char* filter,
                                    char* buffer512);
using ztGetHeaderOfCurrentFMR_t = void (*)(FmrDocumentHeader* header);
using ztCreateMAPForCurrentFMR_t = int (*)();
using ztGetMAPOfCurrentFMR_t = float** (*)(MapHeader* header);
using ztSetMAPParametersOfCurrentFMR_t = void (*)(MapHeader* header);
using ztSaveMAPsOfCurrentFMR_t = int (*)(const char* path);
using ztPlotLine_t = PlotHandle (*)(int n, const float* x, const float* y, const char* name);
using ztAddLineToPlot_t = void (*)(PlotHandle plot, int n, const float* x, const float* y,
                                   const char* name);
using ztSetPlotColorTheme_t = void (*)(PlotHandle plot, int theme);
using ztSetPlotLineSizeAndColor_t = void (*)(PlotHandle plot, int line, int size, int red,
                                             int green, int blue, int style);
using ztShowPlotLegend_t = void (*)(PlotHandle plot, int first, int second);
using ztSetPlotTitle_t = void (*)(PlotHandle plot, const char* title);
using ztResizePlot_t = void (*)(PlotHandle plot, int width, int height);
using ztSetPlotYAxisRange_t = void (*)(PlotHandle plot, float lower, float upper);
using ztShowPlotAtPosition_t = void (*)(PlotHandle plot, int x, int y);
}
} // namespace halvorn

// The abstract plug-in class of the host protocol. The host calls the virtual functions in this
// slot order: destructor, execute, initPlugin.
//
// The Windows host is built with the platform's own C++ ABI, which gives a virtual destructor one
// slot: a "scalar deleting destructor" that takes `this` and flags, destroys the object and frees
// it when bit 0 of the flags is set. GCC's ABI (MinGW) would give the destructor two slots and so
// send the host's execute call to the second one. There slot 0 is therefore the function
// `destroy`, which does what the scalar deleting destructor does, and the destructor itself is
// not virtual: the object is deleted only through `destroy(1)`.
#if defined(_WIN32) && !defined(_MSC_VER)
#define HALVORN_DESTROY_SLOT 1
#endif

class QUELMAR_API HNZTPluginInterface {
public:
    HNZTPluginInterface() = default;
    HNZTPluginInterface(const HNZTPluginInterface&) = default;
    HNZTPluginInterface& operator=(const HNZTPluginInterface&) = default;
#if defined(HALVORN_DESTROY_SLOT)
    // Runs the destructor; with bit 0 of `flags` set also frees the object. Returns `this`.
    virtual void* destroy(unsigned flags) = 0;

protected:
    ~HNZTPluginInterface();

public:
#else
    virtual ~HNZTPluginInterface();
#endif

    // Runs the job named by the host parameter "task". Returns true in every case.
    virtual bool execute() = 0;
    // Prepares the plug-in for the host's current document; false when it cannot run there.
    virtual bool initPlugin() = 0;
};

// Deletes a plug-in object as the host does: through slot 0 of its virtual table.
inline void deletePlugin(HNZTPluginInterface* plugin) {
#if defined(HALVORN_DESTROY_SLOT)
    if (plugin != nullptr) {
        plugin->destroy(1);
    }
#else
    delete plugin;
#endif
}

// The entry points the host reads from the library, exported as plain undecorated symbols.
extern "C" {
QUELMAR_API HNZTPluginInterface* createPlugin();
QUELMAR_API const char* getPluginName();
QUELMAR_API const char* getPluginDescription();
QUELMAR_API const char* getAuthor();
QUELMAR_API const char* getPluginVersion();
QUELMAR_API const char* getHelpFile();
QUELMAR_API const char* getGUIScript();
}

// Types of the entry points, for hosts that resolve them by name.
using createPlugin_t = HNZTPluginInterface* (*)();
using pluginText_t = const char* (*)();

// The file name under which the host's executable module is loaded.
inline constexpr const char* kHostModuleFileName = "Halvorn.exe";
