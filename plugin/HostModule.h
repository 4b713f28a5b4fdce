// Finding the host's executable among the modules loaded into this process, and resolving the
// functions it exports by name. The two platform implementations live in HostModuleLinux.cpp
// and HostModuleWindows.cpp; nothing else in the plug-in knows how modules are looked up.
#pragma once

#include <memory>
#include <string>

namespace qm {

using AnyHostFunction = void (*)();

class HostModule {
public:
    virtual ~HostModule() = default;
    // The address of the function this module exports under `name`, or null.
    virtual AnyHostFunction resolve(const char* name) const = 0;
};

// The loaded module whose file name (the text after the last path separator) is exactly
// `fileName`, the main program included; null when no such module is loaded. Never loads one.
std::unique_ptr<HostModule> findLoadedModule(const std::string& fileName);

} // namespace qm
