// Module lookup on Windows: GetModuleHandleA finds a module that is already loaded (it never
// loads one), GetProcAddress resolves an exported function of it by name.
#if defined(_WIN32)

#include "HostModule.h"

#include <windows.h>

namespace qm {
namespace {

class WindowsHostModule final : public HostModule {
public:
    explicit WindowsHostModule(HMODULE module) : module_(module) {}

    AnyHostFunction resolve(const char* name) const override {
        return reinterpret_cast<AnyHostFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_; // not owned: GetModuleHandleA takes no reference
};

} // namespace

std::unique_ptr<HostModule> findLoadedModule(const std::string& fileName) {
    HMODULE module = GetModuleHandleA(fileName.c_str());
    if (module == nullptr) {
        return nullptr;
    }
    return std::make_unique<WindowsHostModule>(module);
}

} // namespace qm

#endif
