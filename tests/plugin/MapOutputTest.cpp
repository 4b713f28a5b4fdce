// Handing a volume to the host as a map: the slice copy, the map record the plug-in sets, the
// order of the host calls, and the checks that refuse a map of other dimensions.
#include "MapOutput.h"
#include "HostFunctionTable.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

// A host with one map whose dimensions the test chooses.
struct FakeMapHost {
    MapHeader reported{};
    bool returnsSlices = true;
    std::vector<float> values;
    std::vector<float*> slices;
    std::vector<std::string> calls;
    MapHeader setHeader{};
    std::string savedPath;
};
FakeMapHost* host = nullptr;

int createMap() {
    host->calls.push_back("create");
    return 0;
}
float** getMap(MapHeader* header) {
    host->calls.push_back("get");
    std::memcpy(header, &host->reported, sizeof(MapHeader));
    return host->returnsSlices ? host->slices.data() : nullptr;
}
void setParameters(MapHeader* header) {
    host->calls.push_back("set");
    std::memcpy(&host->setHeader, header, sizeof(MapHeader));
}
int saveMaps(const char* path) {
    host->calls.push_back("save");
    host->savedPath = path;
    return 1;
}

class MapOutput : public ::testing::Test {
protected:
    void SetUp() override {
        host = &fake;
        auto& slots = hostFunctions().slots;
        const auto slot = [&slots](HostFunction function) -> AnyHostFunction& {
            return slots[static_cast<std::size_t>(function)];
        };
        slot(HostFunction::ztCreateMAPForCurrentFMR) =
            reinterpret_cast<AnyHostFunction>(&createMap);
        slot(HostFunction::ztGetMAPOfCurrentFMR) = reinterpret_cast<AnyHostFunction>(&getMap);
        slot(HostFunction::ztSetMAPParametersOfCurrentFMR) =
            reinterpret_cast<AnyHostFunction>(&setParameters);
        slot(HostFunction::ztSaveMAPsOfCurrentFMR) = reinterpret_cast<AnyHostFunction>(&saveMaps);
    }
    void TearDown() override {
        hostFunctions() = HostFunctionTable{};
        host = nullptr;
    }

    void hostMapOf(std::int32_t x, std::int32_t y, std::int32_t z) {
        fake.reported.DimX = x;
        fake.reported.DimY = y;
        fake.reported.DimZ = z;
        fake.values.assign(static_cast<std::size_t>(x * y * z), -1.0F);
        fake.slices.clear();
        for (std::int32_t s = 0; s < z; ++s) {
            fake.slices.push_back(fake.values.data() + static_cast<std::size_t>(x * y * s));
        }
    }

    FakeMapHost fake;
};

Volume numberedVolume(std::int32_t x, std::int32_t y, std::int32_t z) {
    Volume volume(VolumeDimensions{x, y, z});
    for (std::size_t i = 0; i < volume.data.size(); ++i) {
        volume.data[i] = 0.5F * static_cast<float>(i);
    }
    return volume;
}

TEST_F(MapOutput, CopiesEachSliceIntoTheHostsMapAndSetsTheDisplayRange) {
    hostMapOf(3, 2, 4);
    std::memset(fake.reported.hostField24, 0x5A, sizeof fake.reported.hostField24);
    std::memset(fake.reported.hostOnly, 0xA5, sizeof fake.reported.hostOnly);
    fake.reported.mapKind = 7;
    fake.reported.field28 = 9;
    const Volume volume = numberedVolume(3, 2, 4);

    saveVolumeAsMap(volume, 0.01F, 11.5F, "dir/run_3DMC_MaxAbsolute.map");

    EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "get", "set", "save"}));
    for (std::size_t z = 0; z < 4; ++z) {
        const std::vector<float> slice(fake.slices[z], fake.slices[z] + 6);
        const std::vector<float> block(volume.data.begin() + static_cast<std::ptrdiff_t>(6 * z),
                                       volume.data.begin() +
                                           static_cast<std::ptrdiff_t>(6 * z + 6));
        EXPECT_EQ(slice, block) << "slice " << z;
    }
    const MapHeader& set = fake.setHeader;
    EXPECT_EQ(set.DimX, 3);
    EXPECT_EQ(set.DimY, 2);
    EXPECT_EQ(set.DimZ, 4);
    EXPECT_EQ(set.mapKind, 1);
    EXPECT_EQ(set.lowerValue, 0.01F);
    EXPECT_EQ(set.upperValue, 11.5F);
    EXPECT_EQ(set.field28, 0);
    EXPECT_EQ(std::memcmp(set.hostField24, fake.reported.hostField24, 4), 0) << "left as filled";
    EXPECT_EQ(std::memcmp(set.hostOnly, fake.reported.hostOnly, 32), 0) << "left as filled";
    EXPECT_EQ(fake.savedPath, "dir/run_3DMC_MaxAbsolute.map");
}

TEST_F(MapOutput, AMapOfOtherDimensionsIsRefusedNamingTheFirstAxisInTheOrderZYX) {
    struct Case {
        std::int32_t x, y, z;
        const char* message;
    };
    const Case cases[] = {
        {3, 2, 5, "assertion failure (quelmar:53): dim.z == header.DimZ"},
        {9, 9, 5, "assertion failure (quelmar:53): dim.z == header.DimZ"},
        {3, 1, 4, "assertion failure (quelmar:54): dim.y == header.DimY"},
        {4, 1, 4, "assertion failure (quelmar:54): dim.y == header.DimY"},
        {2, 2, 4, "assertion failure (quelmar:55): dim.x == header.DimX"},
    };
    for (const Case& c : cases) {
        hostMapOf(c.x, c.y, c.z);
        fake.calls.clear();
        try {
            saveVolumeAsMap(numberedVolume(3, 2, 4), 0.01F, 1.0F, "m.map");
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "get"}))
            << "nothing set or saved after " << c.message;
        EXPECT_EQ(fake.values, std::vector<float>(fake.values.size(), -1.0F)) << "map not filled";
    }
}

TEST_F(MapOutput, AHostWithoutAMapIsRefusedFirst) {
    hostMapOf(1, 1, 1);
    fake.returnsSlices = false;
    try {
        saveVolumeAsMap(numberedVolume(3, 2, 4), 0.01F, 1.0F, "m.map");
        FAIL() << "no error";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "assertion failure (quelmar:52): slices != nullptr");
    }
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "get"}));
}

TEST_F(MapOutput, MaskedValuesFillTheHostsSlicesWithZerosBetween) {
    // Slices of 3 x 2; indices in the first and last slice, none in slice 1, a whole slice 2.
    const std::vector<std::int32_t> mask = {0, 4, 5, 12, 13, 14, 15, 16, 17, 23};
    const std::vector<float> values = {1.5F, -0.0F, 2.0F, 3.0F, 4.0F, 5.0F, 6.0F, 7.0F, 8.0F, 9.0F};
    hostMapOf(3, 2, 4); // every host value starts as -1
    fake.reported.mapKind = 7;

    saveMaskedValuesAsMap({3, 2, 4}, mask, values, 0.01F, 9.0F, "run_3DMC_MeanAbsolute.map");

    EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "get", "set", "save"}));
    std::vector<float> expected(24, 0.0F);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        expected[static_cast<std::size_t>(mask[i])] = values[i];
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(fake.values[i]),
                  std::bit_cast<std::uint32_t>(expected[i]))
            << "element " << i;
    }
    EXPECT_EQ(fake.setHeader.mapKind, 1);
    EXPECT_EQ(fake.setHeader.lowerValue, 0.01F);
    EXPECT_EQ(fake.setHeader.upperValue, 9.0F);
    EXPECT_EQ(fake.setHeader.field28, 0);
    EXPECT_EQ(fake.savedPath, "run_3DMC_MeanAbsolute.map");
}

TEST_F(MapOutput, MaskedValuesGiveTheMapOfTheVolumeTheyDescribe) {
    const VolumeDimensions dim{5, 3, 4};
    const Volume whole = numberedVolume(5, 3, 4);
    for (const std::vector<std::int32_t>& mask :
         {std::vector<std::int32_t>{}, std::vector<std::int32_t>{59}, {0, 1, 2, 30, 44, 58}}) {
        std::vector<float> values;
        Volume volume(dim, 0.0F);
        for (const std::int32_t index : mask) {
            values.push_back(whole.data[static_cast<std::size_t>(index)]);
            volume.data[static_cast<std::size_t>(index)] = values.back();
        }
        hostMapOf(5, 3, 4);
        saveVolumeAsMap(volume, 0.01F, 1.0F, "volume.map");
        const std::vector<float> fromVolume = fake.values;
        hostMapOf(5, 3, 4);
        saveMaskedValuesAsMap(dim, mask, values, 0.01F, 1.0F, "masked.map");
        EXPECT_EQ(fake.values, fromVolume) << mask.size() << " masked voxels";
    }
}

TEST_F(MapOutput, MaskedValuesAreRefusedLikeAVolumeForAMapOfOtherDimensions) {
    struct Case {
        std::int32_t x, y, z;
        const char* message;
    };
    const Case cases[] = {
        {3, 2, 5, "assertion failure (quelmar:53): dim.z == header.DimZ"},
        {3, 1, 4, "assertion failure (quelmar:54): dim.y == header.DimY"},
        {2, 2, 4, "assertion failure (quelmar:55): dim.x == header.DimX"},
    };
    for (const Case& c : cases) {
        hostMapOf(c.x, c.y, c.z);
        fake.calls.clear();
        try {
            saveMaskedValuesAsMap({3, 2, 4}, {0, 7}, {1.0F, 2.0F}, 0.01F, 2.0F, "m.map");
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(fake.calls, (std::vector<std::string>{"create", "get"}));
        EXPECT_EQ(fake.values, std::vector<float>(fake.values.size(), -1.0F)) << "map not filled";
    }
    hostMapOf(1, 1, 1);
    fake.returnsSlices = false;
    EXPECT_THROW(saveMaskedValuesAsMap({3, 2, 4}, {}, {}, 0.01F, 0.0F, "m.map"), std::logic_error);
}

} // namespace
} // namespace qm
