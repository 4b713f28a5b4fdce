// A program that exports the host's version function but is not named "Halvorn.exe" is no host.
#include "HostFunctionTable.h"

#include <gtest/gtest.h>

extern "C" HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    *major = 3;
    *minor = 0;
    *patch = 0;
}

namespace {

TEST(OtherNameBinding, FailsAndLeavesTheTableUntouched) {
    qm::HostFunctionTable& table = qm::hostFunctions();
    const auto before = table.slots;
    EXPECT_FALSE(qm::bindHostFunctions());
    EXPECT_EQ(table.slots, before);
}

TEST(OtherNameBinding, AModuleWithoutTheVersionFunctionFailsEvenWhenFound) {
    class EmptyModule : public qm::HostModule {
    public:
        qm::AnyHostFunction resolve(const char*) const override { return nullptr; }
    } emptyModule;
    qm::HostFunctionTable table;
    EXPECT_FALSE(qm::bindHostFunctions(&emptyModule, table));
    EXPECT_FALSE(qm::bindHostFunctions(nullptr, table));
}

} // namespace
