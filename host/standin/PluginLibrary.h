// A plug-in library loaded into the host process, unloaded when the object goes: how every
// program that plays the host loads the plug-in, on Linux and on Windows.
#pragma once

#include <halvorn/HalvornPluginApi.h>

#include <memory>
#include <string>

namespace halvorn_host {

class PluginLibrary {
public:
    // Loads the library; throws std::runtime_error naming the file and the loader's reason.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The exported symbol `name`; throws std::runtime_error when the library lacks it.
    void* symbol(const char* name) const;

    // A new plug-in object from the library's createPlugin, the caller's to delete
    // (deletePlugin); throws as symbol.
    HNZTPluginInterface* createPlugin() const;

private:
    std::string path_;
    void* handle_ = nullptr;
};

// Owns a plug-in object and deletes it as the host does (deletePlugin).
struct PluginDeleter {
    void operator()(HNZTPluginInterface* plugin) const { deletePlugin(plugin); }
};
using PluginObject = std::unique_ptr<HNZTPluginInterface, PluginDeleter>;

// The directory that holds the running executable, with a trailing separator.
std::string executableDirectory();

// The default plug-in file beside the executable: Quelmar.so or Quelmar.dll.
std::string defaultPluginPath();

} // namespace halvorn_host
