// The built-in NIfTI-1 writer of the Windows Halvorn.exe against the NIfTI library's writer,
// which the Linux Halvorn.exe uses: the same image must give the same file, byte for byte.
#include "Nifti1File.h"
#include "NiftiWriter.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

using halvorn_host::nifti1SingleFile;
using halvorn_host::NiftiMapImage;
using qm::test::readFile;
using qm::test::TempDir;

struct ImageCase {
    const char* name;
    std::array<std::int32_t, 3> dimensions;
    std::array<float, 3> voxelSize;
    int volumes;
    float displayMin;
    float displayMax;
    std::string description;
    bool placed = false; // in scanner space from position information, or unknown
};

// Slices turned and tilted away from the scanner's axes, and stacked against their normal.
halvorn_host::FmrPosition obliquePosition() {
    halvorn_host::FmrPosition position;
    position.rowDirection = {0.866025, 0.5, 0.0};
    position.columnDirection = {-0.469846, 0.813798, 0.34202};
    position.slice1Center = {12.5, -30.25, 7.0};
    position.sliceNCenter = {11.3, -28.2, -1.3};
    return position;
}

// Values of every kind a map can hold, the awkward ones included.
std::vector<float> volumeValues(std::size_t size, int volume) {
    std::vector<float> values(size);
    for (std::size_t i = 0; i < size; ++i) {
        values[i] = static_cast<float>(i) * 0.37F - static_cast<float>(volume) * 11.5F;
    }
    values[0] = -0.0F;
    if (size > 2) {
        values[1] = std::numeric_limits<float>::denorm_min();
        values[2] = std::numeric_limits<float>::quiet_NaN();
    }
    return values;
}

class Nifti1File : public ::testing::TestWithParam<ImageCase> {};

TEST_P(Nifti1File, IsTheFileTheNiftiLibraryWrites) {
    const ImageCase& given = GetParam();
    const std::size_t size = static_cast<std::size_t>(given.dimensions[0]) *
                             static_cast<std::size_t>(given.dimensions[1]) *
                             static_cast<std::size_t>(given.dimensions[2]);
    std::vector<std::vector<float>> volumes;
    for (int v = 0; v < given.volumes; ++v) {
        volumes.push_back(volumeValues(size, v));
    }
    NiftiMapImage image;
    image.dimensions = given.dimensions;
    image.voxelSize = given.voxelSize;
    if (given.placed) {
        image.placement =
            halvorn_host::niftiPlacement(obliquePosition(), given.dimensions, given.voxelSize);
        ASSERT_EQ(image.placement.sformCode, 1);
    }
    for (const auto& volume : volumes) {
        image.volumes.push_back(volume);
    }
    image.displayMin = given.displayMin;
    image.displayMax = given.displayMax;
    image.description = given.description;

    TempDir dir;
    halvorn_host::writeNiftiMaps(dir.file("library.nii"), image);
    const std::string expected = readFile(dir.file("library.nii"));
    const std::string written = nifti1SingleFile(image);

    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(static_cast<int>(static_cast<unsigned char>(written[i])),
                  static_cast<int>(static_cast<unsigned char>(expected[i])))
            << "first difference at byte " << i
            << (i < halvorn_host::kNifti1DataOffset ? " (header)" : " (data)");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, Nifti1File,
    ::testing::Values(ImageCase{"one_map", {3, 4, 5}, {2.5F, 3.0F, 3.5F}, 1, -1.0F, 4.0F, "x.map"},
                      ImageCase{"two_maps",
                                {3, 4, 5},
                                {2.5F, 3.0F, 3.5F},
                                2,
                                -59.0F,
                                29.5F,
                                "run_3DMC_MaxAbsolute.map (2 maps)"},
                      ImageCase{"seven_maps_of_a_run",
                                {64, 64, 30},
                                {3.0F, 3.0F, 3.0F},
                                7,
                                0.0F,
                                12.75F,
                                "run1_3DMC_MaxAbsolute.map (7 maps)"},
                      ImageCase{"single_voxel", {1, 1, 1}, {1.0F, 1.0F, 1.0F}, 1, 0.0F, 0.0F, ""},
                      ImageCase{"thin_slices_of_odd_sizes",
                                {7, 1, 2},
                                {0.1F, 1.0F / 3.0F, 2.2F},
                                3,
                                1e-30F,
                                3e38F,
                                "odd"},
                      ImageCase{"description_cut_to_79_characters",
                                {2, 2, 2},
                                {1.0F, 1.0F, 1.0F},
                                1,
                                0.0F,
                                1.0F,
                                std::string(100, 'd')},
                      ImageCase{"placed_in_scanner_space",
                                {64, 64, 30},
                                {3.0F, 3.0F, 3.5F},
                                1,
                                0.01F,
                                2.5F,
                                "run1_3DMC_MaxAbsolute.nii",
                                true},
                      ImageCase{"one_slice_placed_in_scanner_space",
                                {5, 3, 1},
                                {2.0F, 2.0F, 4.0F},
                                2,
                                0.01F,
                                2.5F,
                                "run1_3DMC_MaxAbsolute.nii (2 maps)",
                                true}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

TEST(Nifti1FileRefuses, NothingToWriteAndMapsOfDifferentSizes) {
    const std::vector<float> eight(8, 1.0F);
    const std::vector<float> seven(7, 1.0F);
    NiftiMapImage image;
    image.dimensions = {2, 2, 2};
    image.voxelSize = {1.0F, 1.0F, 1.0F};
    EXPECT_THROW(nifti1SingleFile(image), std::invalid_argument) << "no volume";
    image.volumes = {eight, seven};
    EXPECT_THROW(nifti1SingleFile(image), std::invalid_argument) << "sizes differ";
    image.volumes = {eight};
    image.dimensions = {2, 0, 4};
    EXPECT_THROW(nifti1SingleFile(image), std::invalid_argument) << "empty dimension";
}

} // namespace
