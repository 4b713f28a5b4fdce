// The report's map pictures: the colour scale and the montage drawn with it.
#include "OutputFiles.h"
#include "ReportColorScale.h"
#include "ReportMontage.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <vector>

namespace halvorn_host {
namespace {

// Relative luminance, enough to see that the scale grows lighter.
double luminance(const Rgb8& color) {
    return 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
}

TEST(ReportColorScale, RunsFromDarkVioletToYellow) {
    EXPECT_EQ(viridisColor(0.0), (Rgb8{0x44, 0x01, 0x54}));
    EXPECT_EQ(viridisColor(0.5), (Rgb8{0x21, 0x91, 0x8c}));
    EXPECT_EQ(viridisColor(1.0), (Rgb8{0xfd, 0xe7, 0x25}));
}

TEST(ReportColorScale, OutOfRangeAndNaNAreClamped) {
    EXPECT_EQ(viridisColor(-3.0), viridisColor(0.0));
    EXPECT_EQ(viridisColor(7.0), viridisColor(1.0));
    EXPECT_EQ(viridisColor(std::numeric_limits<double>::quiet_NaN()), viridisColor(0.0));
    EXPECT_EQ(viridisColor(std::numeric_limits<double>::infinity()), viridisColor(1.0));
}

TEST(ReportColorScale, LightnessRisesAlongTheScale) {
    // From one tenth to the next it rises; within a tenth, rounding each channel to 8 bits may
    // take back a fraction of one channel step, never more.
    for (int tenth = 0; tenth < 10; ++tenth) {
        EXPECT_LT(luminance(viridisColor(tenth / 10.0)),
                  luminance(viridisColor((tenth + 1) / 10.0)));
    }
    double highest = -1.0;
    for (int i = 0; i <= 1000; ++i) {
        const double current = luminance(viridisColor(i / 1000.0));
        EXPECT_GT(current, highest - 1.0) << "at " << i / 1000.0;
        highest = std::max(highest, current);
    }
}

struct PngHeader {
    bool isPng = false;
    int width = 0;
    int height = 0;
};

PngHeader readPngHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char bytes[24] = {};
    PngHeader header;
    if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
        return header;
    }
    header.isPng = bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G';
    header.width = (bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19];
    header.height = (bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23];
    return header;
}

TEST(ReportMontage, DrawsAPngOfTheSizeItReports) {
    qm::test::TempDir folder;
    std::vector<float> values(16 * 12 * 5, 0.0F);
    for (std::size_t i = 0; i < values.size(); i += 3) {
        values[i] = static_cast<float>(i) / 100.0F;
    }
    values[7] = std::numeric_limits<float>::quiet_NaN(); // outside the mask: left as background
    const MapGrid grid{{16, 12, 5}, {2.0F, 3.0F, 3.0F}, values};
    const std::string path = folder.file("map.png");
    const MontagePicture picture = drawMapMontage(grid, 9.57F, "Maximum absolute displacement");
    writeOutputFile(path, picture.png);
    const PngHeader header = readPngHeader(path);
    EXPECT_TRUE(header.isPng);
    EXPECT_EQ(header.width, picture.width);
    EXPECT_EQ(header.height, picture.height);
    EXPECT_GT(picture.width, 200);
    EXPECT_GT(picture.height, 160);
}

TEST(ReportMontage, AnEmptyMapStillGivesAPicture) {
    qm::test::TempDir folder;
    const std::vector<float> values(4 * 4 * 3, 0.0F);
    const std::string path = folder.file("empty.png");
    writeOutputFile(path,
                    drawMapMontage({{4, 4, 3}, {0.0F, -1.0F, 3.0F}, values}, 0.0F, "Empty").png);
    EXPECT_TRUE(readPngHeader(path).isPng);
}

TEST(ReportMontage, ValuesThatDoNotFillTheGridAreRefused) {
    const std::vector<float> values(10, 1.0F);
    EXPECT_THROW(drawMapMontage({{4, 4, 3}, {1.0F, 1.0F, 1.0F}, values}, 1.0F, "Short"),
                 std::invalid_argument);
}

TEST(ReportMontage, AnUnwritablePathIsNamed) {
    qm::test::TempDir folder;
    const std::vector<float> values(8, 1.0F);
    const std::string path = folder.file("missing/map.png");
    try {
        writeOutputFile(path,
                        drawMapMontage({{2, 2, 2}, {1.0F, 1.0F, 1.0F}, values}, 1.0F, "Map").png);
        FAIL() << "no error for " << path;
    } catch (const OutputFileError& error) {
        EXPECT_EQ(error.path(), path);
        EXPECT_FALSE(error.reason().empty());
    }
}

} // namespace
} // namespace halvorn_host
