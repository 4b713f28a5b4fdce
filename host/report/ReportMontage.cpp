// Drawn with cairo: each slice becomes a small image surface of one pixel per voxel, painted
// enlarged with nearest-neighbour filtering so that voxels stay sharp squares.
#include "ReportMontage.h"

#include "AxisTicks.h"
#include "CairoPicture.h"
#include "NumberText.h"
#include "PictureText.h"
#include "ReportColorScale.h"

#include <cairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace halvorn_host {
namespace {

// The longer side of a slice, in pixels: large enough to see the pattern over the brain, small
// enough that thirty slices take three rows of a page.
constexpr double kTileSide = 80.0;
constexpr int kMaxContentWidth = 840;
constexpr int kMaxSlicesShown = 40;
constexpr int kGap = 4;
constexpr int kMargin = 16;
constexpr int kHeadingHeight = 30;
constexpr int kBarGap = 26;
constexpr int kBarWidth = 18;
constexpr int kBarLabelsWidth = 64;
constexpr int kMinBarHeight = 160;
constexpr int kMaxBarHeight = 320;

constexpr TextStyle kHeadingFont{15.0, true};
constexpr TextStyle kSliceFont{10.0, false};
constexpr TextStyle kUnitFont{12.0, true};
constexpr TextStyle kMaximumFont{10.0, false};
constexpr TextStyle kTickFont{11.0, false};

void setGrey(cairo_t* cr, double level) {
    cairo_set_source_rgb(cr, level, level, level);
}

double sanitizedVoxelSide(float side) {
    return std::isfinite(side) && side > 0.0F ? static_cast<double>(side) : 1.0;
}

bool hasValue(std::span<const float> values, std::size_t sliceSize, std::int32_t z) {
    const auto slice = values.subspan(sliceSize * static_cast<std::size_t>(z), sliceSize);
    return std::any_of(slice.begin(), slice.end(),
                       [](float value) { return std::isfinite(value) && value > 0.0F; });
}

// One slice as an image of one pixel per voxel, row y of the map as row y of the image.
CairoSurface sliceImage(const MapGrid& map, std::int32_t z, double scaleMaximum) {
    const auto [dimX, dimY, dimZ] = map.dimensions;
    CairoSurface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, dimX, dimY),
                       cairo_surface_destroy);
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("a map slice of " + std::to_string(dimX) + " x " +
                                 std::to_string(dimY) + " voxels is too large to draw");
    }
    cairo_surface_flush(image.get());
    unsigned char* pixels = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    const std::size_t sliceStart = static_cast<std::size_t>(dimX) * static_cast<std::size_t>(dimY) *
                                   static_cast<std::size_t>(z);
    for (std::int32_t y = 0; y < dimY; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        for (std::int32_t x = 0; x < dimX; ++x) {
            const float value = map.values[sliceStart + static_cast<std::size_t>(y) * dimX + x];
            if (!std::isfinite(value) || value <= 0.0F) {
                row[x] = 0; // transparent: the tile's background shows
                continue;
            }
            const Rgb8 color = viridisColor(value / scaleMaximum);
            row[x] = 0xFF000000U | (std::uint32_t{color.red} << 16) |
                     (std::uint32_t{color.green} << 8) | std::uint32_t{color.blue};
        }
    }
    cairo_surface_mark_dirty(image.get());
    return image;
}

void drawColorBar(cairo_t* cr, double left, double top, double height, double scaleMaximum) {
    const int steps = static_cast<int>(height);
    for (int i = 0; i < steps; ++i) {
        const Rgb8 color = viridisColor(1.0 - (i + 0.5) / steps);
        cairo_set_source_rgb(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
        cairo_rectangle(cr, left, top + i, kBarWidth, 1.0);
        cairo_fill(cr);
    }
    setGrey(cr, 0.35);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left + 0.5, top + 0.5, kBarWidth - 1.0, height - 1.0);
    cairo_stroke(cr);

    setGrey(cr, 0.13);
    PictureTextLine(cr, "mm", kUnitFont).draw(cr, left, top - 10.0, 0.0);
    setGrey(cr, 0.35);
    PictureTextLine(cr, "max " + millimetreText(scaleMaximum), kMaximumFont)
        .draw(cr, left, top + height + 16.0, 0.0);
    // At most seven ticks from 0 up to the maximum.
    const double step = tickStep(scaleMaximum, 6.0);
    for (const double value : tickValues(0.0, scaleMaximum, step)) {
        const double y = std::round(top + height - value / scaleMaximum * height) + 0.5;
        setGrey(cr, 0.35);
        cairo_move_to(cr, left + kBarWidth, y);
        cairo_line_to(cr, left + kBarWidth + 5.0, y);
        cairo_stroke(cr);
        setGrey(cr, 0.13);
        PictureTextLine(cr, fixedTickLabel(value, step), kTickFont)
            .draw(cr, left + kBarWidth + 8.0, y + 4.0, 0.0);
    }
}

} // namespace

MontagePicture drawMapMontage(const MapGrid& map, float scaleMaximum, const std::string& heading) {
    const auto [dimX, dimY, dimZ] = map.dimensions;
    if (dimX <= 0 || dimY <= 0 || dimZ <= 0 ||
        map.values.size() != static_cast<std::size_t>(dimX) * static_cast<std::size_t>(dimY) *
                                 static_cast<std::size_t>(dimZ)) {
        throw std::invalid_argument("a map picture needs " + std::to_string(dimX) + " x " +
                                    std::to_string(dimY) + " x " + std::to_string(dimZ) +
                                    " values, the map holds " + std::to_string(map.values.size()));
    }
    const double maximum = std::isfinite(scaleMaximum) && scaleMaximum > 0.0F ? scaleMaximum : 1.0;

    const double extentX = dimX * sanitizedVoxelSide(map.voxelSize[0]);
    const double extentY = dimY * sanitizedVoxelSide(map.voxelSize[1]);
    const double pixelsPerMm = kTileSide / std::max(extentX, extentY);
    const int tileWidth = std::max(1, static_cast<int>(std::lround(extentX * pixelsPerMm)));
    const int tileHeight = std::max(1, static_cast<int>(std::lround(extentY * pixelsPerMm)));

    // Slices before the first and after the last one with a value hold nothing to look at.
    const std::size_t sliceSize = static_cast<std::size_t>(dimX) * static_cast<std::size_t>(dimY);
    std::int32_t firstSlice = 0;
    std::int32_t lastSlice = dimZ - 1;
    while (firstSlice < lastSlice && !hasValue(map.values, sliceSize, firstSlice)) {
        ++firstSlice;
    }
    while (lastSlice > firstSlice && !hasValue(map.values, sliceSize, lastSlice)) {
        --lastSlice;
    }
    const std::int32_t range = lastSlice - firstSlice + 1;
    const std::int32_t sliceStep = (range + kMaxSlicesShown - 1) / kMaxSlicesShown;
    std::vector<std::int32_t> slices;
    for (std::int32_t z = firstSlice; z <= lastSlice; z += sliceStep) {
        slices.push_back(z);
    }
    const int shown = static_cast<int>(slices.size());
    const int columns = std::clamp((kMaxContentWidth + kGap) / (tileWidth + kGap), 1, shown);
    const int rows = (shown + columns - 1) / columns;
    const int tilesWidth = columns * (tileWidth + kGap) - kGap;
    const int tilesHeight = rows * (tileHeight + kGap) - kGap;
    const int tilesTop = kMargin + kHeadingHeight;
    const int barHeight = std::clamp(tilesHeight, kMinBarHeight, kMaxBarHeight);
    const int barTop = tilesTop + 14;
    const int barLeft = kMargin + tilesWidth + kBarGap;
    const int width = barLeft + kBarWidth + kBarLabelsWidth;
    const int height = std::max(tilesTop + tilesHeight, barTop + barHeight + 20) + kMargin;

    CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height),
                         cairo_surface_destroy);
    CairoContext context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    setGrey(cr, 1.0);
    cairo_paint(cr);

    setGrey(cr, 0.13);
    PictureTextLine(cr, heading, kHeadingFont, width - 2.0 * kMargin)
        .draw(cr, kMargin, kMargin + 15.0, 0.0);

    for (int i = 0; i < shown; ++i) {
        const double left = kMargin + (i % columns) * (tileWidth + kGap);
        const double top = tilesTop + (i / columns) * (tileHeight + kGap);
        cairo_set_source_rgb(cr, 0.07, 0.07, 0.10);
        cairo_rectangle(cr, left, top, tileWidth, tileHeight);
        cairo_fill(cr);

        const CairoSurface image = sliceImage(map, slices[static_cast<std::size_t>(i)], maximum);
        cairo_save(cr);
        cairo_rectangle(cr, left, top, tileWidth, tileHeight);
        cairo_clip(cr);
        cairo_translate(cr, left, top);
        cairo_scale(cr, static_cast<double>(tileWidth) / dimX,
                    static_cast<double>(tileHeight) / dimY);
        cairo_set_source_surface(cr, image.get(), 0.0, 0.0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);

        cairo_set_source_rgb(cr, 0.78, 0.78, 0.82);
        PictureTextLine(cr, "z " + std::to_string(slices[static_cast<std::size_t>(i)]), kSliceFont)
            .draw(cr, left + 4.0, top + tileHeight - 4.0, 0.0);
    }

    drawColorBar(cr, barLeft, barTop, barHeight, maximum);

    cairo_surface_flush(surface.get());
    MontagePicture picture{{}, width, height};
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), appendToString, &picture.png) !=
            CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cannot draw the map picture: ") +
                                 cairo_status_to_string(cairo_status(cr)));
    }
    return picture;
}

} // namespace halvorn_host
