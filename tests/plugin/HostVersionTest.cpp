// Which host versions the plug-in runs in: 2.8.0 and every later one.
#include <halvorn/HalvornPluginApi.h>

#include <gtest/gtest.h>

#include <array>

namespace {

static_assert(isAcceptedHostVersion(2, 8, 0));
static_assert(!isAcceptedHostVersion(2, 7, 99));

struct VersionCase {
    int major;
    int minor;
    int patch;
    bool accepted;
};

TEST(HostVersion, TheOldestAcceptedIs280) {
    constexpr std::array<VersionCase, 12> cases = {{
        {2, 8, 0, true},
        {2, 8, 1, true},
        {2, 9, 0, true},
        {2, 10, 0, true},
        {3, 0, 0, true},
        {3, 7, 0, true},
        {2, 7, 0, false},
        {2, 7, 99, false},
        {2, 0, 0, false},
        {1, 99, 99, false},
        {0, 0, 0, false},
        {-2, 8, 0, false},
    }};
    for (const auto& version : cases) {
        EXPECT_EQ(isAcceptedHostVersion(version.major, version.minor, version.patch),
                  version.accepted)
            << version.major << '.' << version.minor << '.' << version.patch;
    }
}

} // namespace
