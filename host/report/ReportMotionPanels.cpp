// Drawn with cairo onto a surface of twice the panel's size under a scale of 2, so that every
// coordinate below is in the page's pixels.
#include "ReportMotionPanels.h"

#include "AxisTicks.h"
#include "CairoPicture.h"
#include "NumberText.h"
#include "PictureText.h"
#include "ReportMotionQc.h"

#include <cairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>

namespace halvorn_host {
namespace {

constexpr int kPixelDensity = 2;
constexpr int kWidth = 840;
constexpr int kHeight = 250;
constexpr double kLeft = 62.0;
constexpr double kRight = 16.0;
constexpr double kTop = 46.0;
constexpr double kBottom = 40.0;

void setColor(cairo_t* cr, const Rgb8& color, double alpha = 1.0) {
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0, alpha);
}

void setGrey(cairo_t* cr, double level) {
    cairo_set_source_rgb(cr, level, level, level);
}

// Panel texts are laid out by Pango, as every text of the host's pictures.
double textWidth(cairo_t* cr, const TextStyle& style, const std::string& text) {
    return PictureTextLine(cr, text, style).width();
}

// `align` 0 left, 0.5 centred, 1 right of x; y is the baseline.
void drawText(cairo_t* cr, const TextStyle& style, double x, double y, const std::string& text,
              double align = 0.0) {
    PictureTextLine(cr, text, style).draw(cr, x, y, align);
}

struct Range {
    double lower = 0.0;
    double upper = 1.0;
};

// From 0 or the smallest value, whichever is lower, to the largest value or a little above the
// threshold, so that the threshold line always shows.
Range valueRange(const SeriesPanel& panel) {
    Range range{0.0, 0.0};
    for (const auto& series : panel.series) {
        for (const double value : series.values) {
            if (std::isfinite(value)) {
                range.lower = std::min(range.lower, value);
                range.upper = std::max(range.upper, value);
            }
        }
    }
    if (panel.threshold && std::isfinite(*panel.threshold)) {
        range.upper = std::max(range.upper, *panel.threshold * 1.1);
        range.lower = std::min(range.lower, *panel.threshold);
    }
    if (!(range.upper > range.lower)) {
        range.upper = range.lower + 1.0;
    }
    const double pad = (range.upper - range.lower) * 0.04;
    return {range.lower < 0.0 ? range.lower - pad : range.lower, range.upper + pad};
}

std::size_t volumeCount(const SeriesPanel& panel) {
    std::size_t count = 0;
    for (const auto& series : panel.series) {
        count = std::max(count, series.values.size());
    }
    return count;
}

void drawLegend(cairo_t* cr, const SeriesPanel& panel) {
    const TextStyle style{11.0, false};
    double x = kLeft;
    const double y = 34.0;
    const auto entry = [&](const std::string& text) {
        setGrey(cr, 0.2);
        drawText(cr, style, x + 22.0, y + 4.0, text);
        x += 22.0 + textWidth(cr, style, text) + 18.0;
    };
    for (const auto& series : panel.series) {
        setColor(cr, series.color);
        cairo_set_line_width(cr, 2.0);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + 16.0, y);
        cairo_stroke(cr);
        entry(series.name);
    }
    if (panel.threshold) {
        setColor(cr, okabe_ito::kBlack);
        const double dashes[] = {5.0, 3.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + 16.0, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
        entry("threshold " + numberText(*panel.threshold, std::chars_format::general, 6) + " " +
              panel.unit);
    }
    if (!panel.flagged.empty()) {
        setColor(cr, okabe_ito::kVermillion, 0.25);
        cairo_rectangle(cr, x + 4.0, y - 6.0, 8.0, 12.0);
        cairo_fill(cr);
        entry("flagged volume (" + std::to_string(panel.flagged.size()) + ")");
    }
}

} // namespace

PanelPicture drawSeriesPanel(const SeriesPanel& panel) {
    CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth * kPixelDensity,
                                                    kHeight * kPixelDensity),
                         cairo_surface_destroy);
    CairoContext context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_scale(cr, kPixelDensity, kPixelDensity);
    setGrey(cr, 1.0);
    cairo_paint(cr);

    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const std::size_t volumes = volumeCount(panel);
    const double lastVolume = volumes > 1 ? static_cast<double>(volumes - 1) : 1.0;
    const Range range = valueRange(panel);
    const auto xOf = [&](double volume) { return kLeft + volume / lastVolume * plotWidth; };
    const auto yOf = [&](double value) {
        return kTop + (range.upper - value) / (range.upper - range.lower) * plotHeight;
    };

    setGrey(cr, 0.13);
    drawText(cr, TextStyle{13.0, true}, kLeft, 16.0, panel.title);
    drawLegend(cr, panel);

    // Flagged volumes first, so that the lines run over their bands.
    const double band = std::max(2.0, plotWidth / lastVolume);
    setColor(cr, okabe_ito::kVermillion, 0.25);
    for (const std::size_t volume : panel.flagged) {
        cairo_rectangle(cr, xOf(static_cast<double>(volume)) - band / 2.0, kTop, band, plotHeight);
        cairo_fill(cr);
    }

    // Grid and y ticks.
    const TextStyle tickStyle{10.5, false};
    cairo_set_line_width(cr, 1.0);
    const AxisTicks yTicks = axisTicks(range.lower, range.upper);
    for (const double value : yTicks.values) {
        const double y = std::round(yOf(value)) + 0.5;
        setGrey(cr, value == 0.0 ? 0.6 : 0.88);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + plotWidth, y);
        cairo_stroke(cr);
        setGrey(cr, 0.3);
        drawText(cr, tickStyle, kLeft - 6.0, y + 3.5, fixedTickLabel(value, yTicks.step), 1.0);
    }
    const AxisTicks xTicks = axisTicks(0.0, lastVolume);
    const double xStep = std::max(1.0, std::round(xTicks.step));
    for (double volume = 0.0; volume <= lastVolume + 1e-9; volume += xStep) {
        const double x = std::round(xOf(volume)) + 0.5;
        setGrey(cr, 0.6);
        cairo_move_to(cr, x, kTop + plotHeight);
        cairo_line_to(cr, x, kTop + plotHeight + 4.0);
        cairo_stroke(cr);
        setGrey(cr, 0.3);
        drawText(cr, tickStyle, x, kTop + plotHeight + 15.0, fixedTickLabel(volume, 1.0), 0.5);
    }
    drawText(cr, tickStyle, kLeft + plotWidth, kHeight - 6.0, "volume (from 0)", 1.0);
    cairo_save(cr);
    cairo_translate(cr, 14.0, kTop + plotHeight / 2.0);
    cairo_rotate(cr, -std::numbers::pi / 2.0);
    drawText(cr, tickStyle, 0.0, 0.0, panel.unit, 0.5);
    cairo_restore(cr);

    // The series, clipped to the plot area; a value that is not defined breaks its line.
    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop, plotWidth, plotHeight);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const auto& series : panel.series) {
        setColor(cr, series.color);
        cairo_set_line_width(cr, 1.6);
        bool drawing = false;
        for (std::size_t volume = 0; volume < series.values.size(); ++volume) {
            const double value = series.values[volume];
            if (!std::isfinite(value)) {
                drawing = false;
                continue;
            }
            const double x = xOf(static_cast<double>(volume));
            if (drawing) {
                cairo_line_to(cr, x, yOf(value));
            } else {
                cairo_move_to(cr, x, yOf(value));
                drawing = true;
            }
        }
        cairo_stroke(cr);
    }
    if (panel.threshold && std::isfinite(*panel.threshold)) {
        setColor(cr, okabe_ito::kBlack);
        const double dashes[] = {5.0, 3.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, kLeft, yOf(*panel.threshold));
        cairo_line_to(cr, kLeft + plotWidth, yOf(*panel.threshold));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
    cairo_restore(cr);

    setGrey(cr, 0.6);
    cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, plotWidth - 1.0, plotHeight - 1.0);
    cairo_stroke(cr);

    cairo_surface_flush(surface.get());
    PanelPicture picture{{}, kWidth, kHeight};
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), appendToString, &picture.png) !=
            CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cannot draw the panel ") + panel.title + ": " +
                                 cairo_status_to_string(cairo_status(cr)));
    }
    return picture;
}

} // namespace halvorn_host
