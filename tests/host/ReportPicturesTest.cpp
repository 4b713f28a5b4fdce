// The report's pictures: the colour scale, the map montage drawn with it, and the motion panels.
#include "OutputFiles.h"
#include "ReportColorScale.h"
#include "ReportMontage.h"
#include "ReportMotionPanels.h"
#include "TempDir.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <set>
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

// The colours of the opaque pixels of a PNG, as 0xRRGGBB.
std::set<std::uint32_t> pngColors(const std::string& png) {
    struct Reader {
        const std::string* bytes;
        std::size_t at = 0;
    } reader{&png};
    const auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* self = static_cast<Reader*>(closure);
        if (self->at + length > self->bytes->size()) {
            return CAIRO_STATUS_READ_ERROR;
        }
        std::copy_n(self->bytes->data() + self->at, length, data);
        self->at += length;
        return CAIRO_STATUS_SUCCESS;
    };
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create_from_png_stream(read, &reader), cairo_surface_destroy);
    std::set<std::uint32_t> colors;
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return colors;
    }
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < cairo_image_surface_get_height(surface.get()); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < cairo_image_surface_get_width(surface.get()); ++x) {
            colors.insert(row[x] & 0xFFFFFFU);
        }
    }
    return colors;
}

std::uint32_t packed(const Rgb8& color) {
    return (std::uint32_t{color.red} << 16) | (std::uint32_t{color.green} << 8) | color.blue;
}

SeriesPanel displacementPanel() {
    SeriesPanel panel{"Displacement from the previous volume", "", "mm", {}, 0.5, {2, 7}};
    std::vector<double> rms = {std::numeric_limits<double>::quiet_NaN()};
    for (int volume = 1; volume < 20; ++volume) {
        rms.push_back(volume == 7 ? 1.4 : 0.05 * (volume % 4));
    }
    panel.series.push_back({"relative RMS displacement", rms, okabe_ito::kBlue});
    panel.series.push_back({"framewise displacement", rms, okabe_ito::kOrange});
    return panel;
}

TEST(ReportMotionPanels, ThePngHasTwiceThePixelsOfItsShownSize) {
    qm::test::TempDir folder;
    const PanelPicture picture = drawSeriesPanel(displacementPanel());
    const std::string path = folder.file("panel.png");
    writeOutputFile(path, picture.png);
    const PngHeader header = readPngHeader(path);
    EXPECT_TRUE(header.isPng);
    EXPECT_EQ(header.width, 2 * picture.width);
    EXPECT_EQ(header.height, 2 * picture.height);
    EXPECT_GE(picture.width, 600);
}

TEST(ReportMotionPanels, SeriesAreDrawnInTheirOkabeItoColours) {
    const auto colors = pngColors(drawSeriesPanel(displacementPanel()).png);
    ASSERT_FALSE(colors.empty());
    EXPECT_TRUE(colors.contains(packed(okabe_ito::kBlue)));
    EXPECT_TRUE(colors.contains(packed(okabe_ito::kOrange)));
    EXPECT_TRUE(colors.contains(0x000000U)) << "the threshold line";
    // The bands of flagged volumes: vermillion at a quarter over white.
    EXPECT_TRUE(std::any_of(colors.begin(), colors.end(), [](std::uint32_t color) {
        return (color >> 16) >= 0xF0 && ((color >> 8) & 0xFF) >= 0xD0 &&
               ((color >> 8) & 0xFF) <= 0xDC && (color & 0xFF) >= 0xBC && (color & 0xFF) <= 0xC4;
    }));
}

TEST(ReportMotionPanels, APanelWithoutValuesStillGivesAPicture) {
    const std::vector<SeriesPanel> panels = {
        {"Empty", "", "mm", {}, {}, {}},
        {"Undefined",
         "",
         "degrees",
         {{"x", {std::numeric_limits<double>::quiet_NaN()}, okabe_ito::kBlue}},
         {},
         {0}},
        {"Flat", "", "mm", {{"x", {0.0, 0.0, 0.0}, okabe_ito::kBlue}}, 0.0, {}},
    };
    for (const auto& panel : panels) {
        const PanelPicture picture = drawSeriesPanel(panel);
        EXPECT_FALSE(pngColors(picture.png).empty()) << panel.title;
    }
}

} // namespace
} // namespace halvorn_host
