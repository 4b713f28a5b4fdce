// The host function table: one slot per host function, bound by name from the host's module.
//
// Every call from the plug-in to the host goes through callHost<F>(...), which refuses an empty
// slot with HostFunctionUnavailable ("Host function ztPlotLine is not available") instead of
// jumping through a null pointer. The slots are shared by every plug-in object of the library.
#pragma once

#include "HostFunctionList.h"
#include "HostModule.h"

#include <halvorn/HalvornPluginApi.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qm {

enum class HostFunction : int {
#define QM_HOST_ENUMERATOR(name) name,
    HALVORN_HOST_FUNCTIONS(QM_HOST_ENUMERATOR)
#undef QM_HOST_ENUMERATOR
};

inline constexpr std::size_t kHostFunctionCount = 190;

inline constexpr std::array<std::string_view, kHostFunctionCount> kHostFunctionNames = {
#define QM_HOST_NAME(name) #name,
    HALVORN_HOST_FUNCTIONS(QM_HOST_NAME)
#undef QM_HOST_NAME
};

constexpr std::string_view hostFunctionName(HostFunction function) {
    return kHostFunctionNames[static_cast<std::size_t>(function)];
}

struct HostFunctionTable {
    std::array<AnyHostFunction, kHostFunctionCount> slots{};

    AnyHostFunction slot(HostFunction function) const {
        return slots[static_cast<std::size_t>(function)];
    }
    bool has(HostFunction function) const { return slot(function) != nullptr; }
};

// The library's one table.
HostFunctionTable& hostFunctions();

// Fills the table from the loaded module named "Halvorn.exe". True when that module and its
// version function were found; other missing names leave their slots empty.
bool bindHostFunctions();
// The same, against a module found by the caller (tests bind against stand-ins).
bool bindHostFunctions(const HostModule* hostModule, HostFunctionTable& table);

class HostFunctionUnavailable : public std::runtime_error {
public:
    explicit HostFunctionUnavailable(HostFunction function)
        : std::runtime_error("Host function " + std::string(hostFunctionName(function)) +
                             " is not available") {}
};

// The signature of each host function that the plug-in calls.
template <HostFunction F> struct HostSignature;
#define QM_HOST_SIGNATURE(name)                                                                    \
    template <> struct HostSignature<HostFunction::name> { using type = halvorn::name##_t; };
QM_HOST_SIGNATURE(ztGetVersionOfHalvornZT)
QM_HOST_SIGNATURE(ztShowLogTab)
QM_HOST_SIGNATURE(ztShowBusyCursor)
QM_HOST_SIGNATURE(ztStopBusyCursor)
QM_HOST_SIGNATURE(ztLogText)
QM_HOST_SIGNATURE(ztMessageBox)
QM_HOST_SIGNATURE(ztGetIDOfCurrentDocument)
QM_HOST_SIGNATURE(ztGetDocumentType)
QM_HOST_SIGNATURE(ztGetStringParameter)
QM_HOST_SIGNATURE(ztGetIntParameter)
QM_HOST_SIGNATURE(ztGetFloatParameter)
QM_HOST_SIGNATURE(ztSetStringParameter)
QM_HOST_SIGNATURE(ztGetOpenFileName)
QM_HOST_SIGNATURE(ztGetHeaderOfCurrentFMR)
QM_HOST_SIGNATURE(ztCreateMAPForCurrentFMR)
QM_HOST_SIGNATURE(ztGetMAPOfCurrentFMR)
QM_HOST_SIGNATURE(ztSetMAPParametersOfCurrentFMR)
QM_HOST_SIGNATURE(ztSaveMAPsOfCurrentFMR)
QM_HOST_SIGNATURE(ztPlotLine)
QM_HOST_SIGNATURE(ztAddLineToPlot)
QM_HOST_SIGNATURE(ztSetPlotColorTheme)
QM_HOST_SIGNATURE(ztSetPlotLineSizeAndColor)
QM_HOST_SIGNATURE(ztShowPlotLegend)
QM_HOST_SIGNATURE(ztSetPlotTitle)
QM_HOST_SIGNATURE(ztResizePlot)
QM_HOST_SIGNATURE(ztSetPlotYAxisRange)
QM_HOST_SIGNATURE(ztShowPlotAtPosition)
#undef QM_HOST_SIGNATURE

// The bound function F of `table`, typed; throws HostFunctionUnavailable for an empty slot.
template <HostFunction F>
typename HostSignature<F>::type boundHostFunction(const HostFunctionTable& table) {
    const AnyHostFunction function = table.slot(F);
    if (function == nullptr) {
        throw HostFunctionUnavailable(F);
    }
    return reinterpret_cast<typename HostSignature<F>::type>(function);
}

// Calls host function F through the library's table.
template <HostFunction F, typename... Args> decltype(auto) callHost(Args&&... args) {
    return boundHostFunction<F>(hostFunctions())(std::forward<Args>(args)...);
}

} // namespace qm
