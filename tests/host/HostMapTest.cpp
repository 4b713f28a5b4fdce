// The stand-in's maps: a save takes the maps created since the previous save attempt, and a
// saved map gives its values back, so that a run holds at most the maps not yet saved.
#include "HostMap.h"

#include <gtest/gtest.h>

namespace halvorn_host {
namespace {

constexpr MapDimensions kDimensions = {16, 12, 8};
constexpr std::size_t kMapBytes = 16 * 12 * 8 * sizeof(float) + 8 * sizeof(float*);

TEST(HostMap, AReleasedMapHoldsNoValuesAndHandsOutNoSlices) {
    HostMap map(kDimensions);
    ASSERT_NE(map.slicePointers(), nullptr);
    map.slicePointers()[7][16 * 12 - 1] = 2.5F;
    EXPECT_EQ(map.values().back(), 2.5F);
    EXPECT_EQ(map.bytesHeld(), kMapBytes);
    map.release();
    EXPECT_TRUE(map.released());
    EXPECT_EQ(map.slicePointers(), nullptr);
    EXPECT_EQ(map.bytesHeld(), 0U);
    EXPECT_EQ(map.dimensions(), kDimensions) << "the record stays";
}

TEST(DocumentMaps, EachSaveTakesTheMapsSinceThePreviousAttempt) {
    DocumentMaps maps;
    maps.add(kDimensions);
    maps.add(kDimensions);
    const auto first = maps.takeForSaving();
    EXPECT_EQ(first.first, 0U);
    EXPECT_EQ(first.maps.size(), 2U);
    // Whether that save wrote its file or not, its maps are not offered again.
    maps.add(kDimensions);
    const auto second = maps.takeForSaving();
    EXPECT_EQ(second.first, 2U);
    EXPECT_EQ(second.maps.size(), 1U);
    EXPECT_TRUE(maps.takeForSaving().maps.empty()) << "nothing new";
}

// As Halvorn.exe does after every save: what a long run holds does not grow with its maps.
TEST(DocumentMaps, ReleasingEverySavedMapKeepsTheHeldBytesToOneMap) {
    DocumentMaps maps;
    for (int saved = 0; saved < 40 * 7; ++saved) {
        maps.add(kDimensions);
        EXPECT_EQ(maps.bytesHeld(), kMapBytes) << saved;
        for (HostMap& map : maps.takeForSaving().maps) {
            map.release();
        }
    }
    EXPECT_EQ(maps.bytesHeld(), 0U);
    EXPECT_EQ(maps.size(), 280U) << "every map keeps its record";
}

} // namespace
} // namespace halvorn_host
