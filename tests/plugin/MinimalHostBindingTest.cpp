// This test program is itself named "Halvorn.exe" and exports only the host's version function:
// the smallest host that the plug-in binds to.
#include "HostFunctionTable.h"

#include <gtest/gtest.h>

extern "C" HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    *major = 2;
    *minor = 8;
    *patch = 0;
}

namespace {

using qm::HostFunction;

TEST(MinimalHostBinding, BindsWithOnlyTheVersionFunctionAndLeavesEveryOtherSlotEmpty) {
    ASSERT_TRUE(qm::bindHostFunctions());
    const auto& table = qm::hostFunctions();
    EXPECT_EQ(table.slot(HostFunction::ztGetVersionOfHalvornZT),
              reinterpret_cast<qm::AnyHostFunction>(&ztGetVersionOfHalvornZT));
    for (std::size_t slot = 1; slot < qm::kHostFunctionCount; ++slot) {
        EXPECT_EQ(table.slots[slot], nullptr) << qm::kHostFunctionNames[slot];
    }
}

TEST(MinimalHostBinding, CallingAMissingFunctionNamesIt) {
    ASSERT_TRUE(qm::bindHostFunctions());
    try {
        qm::callHost<HostFunction::ztPlotLine>(0, nullptr, nullptr, "line");
        FAIL() << "an empty slot was called";
    } catch (const qm::HostFunctionUnavailable& error) {
        EXPECT_STREQ(error.what(), "Host function ztPlotLine is not available");
    }
    int major = 0;
    int minor = 0;
    int patch = 0;
    qm::callHost<HostFunction::ztGetVersionOfHalvornZT>(&major, &minor, &patch);
    EXPECT_EQ(major * 100 + minor * 10 + patch, 280);
}

TEST(MinimalHostBinding, BindingTwiceGivesTheSameTable) {
    ASSERT_TRUE(qm::bindHostFunctions());
    const auto first = qm::hostFunctions().slots;
    ASSERT_TRUE(qm::bindHostFunctions());
    EXPECT_EQ(qm::hostFunctions().slots, first);
}

TEST(HostFunctionTable, HoldsTheHostsFunctionNamesInSlotOrder) {
    EXPECT_EQ(qm::kHostFunctionNames.size(), 190U);
    EXPECT_EQ(qm::kHostFunctionNames.front(), "ztGetVersionOfHalvornZT");
    EXPECT_EQ(qm::hostFunctionName(HostFunction::ztLogText), "ztLogText");
    EXPECT_EQ(static_cast<int>(HostFunction::ztLogText), 5);
    EXPECT_EQ(static_cast<int>(HostFunction::ztGetHeaderOfCurrentFMR), 46);
    EXPECT_EQ(qm::kHostFunctionNames.back(), "ztLaunchICADialog");
}

} // namespace
