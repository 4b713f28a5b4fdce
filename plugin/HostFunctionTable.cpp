#include "HostFunctionTable.h"

namespace qm {

HostFunctionTable& hostFunctions() {
    static HostFunctionTable table;
    return table;
}

bool bindHostFunctions(const HostModule* hostModule, HostFunctionTable& table) {
    if (hostModule == nullptr) {
        return false;
    }
    constexpr auto version = static_cast<std::size_t>(HostFunction::ztGetVersionOfHalvornZT);
    table.slots[version] = hostModule->resolve(kHostFunctionNames[version].data());
    if (table.slots[version] == nullptr) {
        return false;
    }
    for (std::size_t slot = 0; slot < kHostFunctionCount; ++slot) {
        if (slot != version) {
            table.slots[slot] = hostModule->resolve(kHostFunctionNames[slot].data());
        }
    }
    return true;
}

bool bindHostFunctions() {
    const auto hostModule = findLoadedModule(kHostModuleFileName);
    return bindHostFunctions(hostModule.get(), hostFunctions());
}

} // namespace qm
