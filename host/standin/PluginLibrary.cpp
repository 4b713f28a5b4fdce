#include "PluginLibrary.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace halvorn_host {

HNZTPluginInterface* PluginLibrary::createPlugin() const {
    return reinterpret_cast<createPlugin_t>(symbol("createPlugin"))();
}

#if defined(_WIN32)

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load the plug-in " + path + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

PluginLibrary::~PluginLibrary() {
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

void* PluginLibrary::symbol(const char* name) const {
    void* address =
        reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
    if (address == nullptr) {
        throw std::runtime_error("the plug-in " + path_ + " does not export " + name);
    }
    return address;
}

std::string executableDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string defaultPluginPath() {
    return executableDirectory() + "Quelmar.dll";
}

#else

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    // A bare file name would make dlopen search the library path instead of the given file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load the plug-in " + path + ": " +
                                 (reason != nullptr ? reason : "unknown reason"));
    }
}

PluginLibrary::~PluginLibrary() {
    dlclose(handle_);
}

void* PluginLibrary::symbol(const char* name) const {
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        throw std::runtime_error("the plug-in " + path_ + " does not export " + name);
    }
    return address;
}

std::string executableDirectory() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string path =
        length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : "";
    const auto separator = path.find_last_of('/');
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string defaultPluginPath() {
    return executableDirectory() + "Quelmar.so";
}

#endif

} // namespace halvorn_host
