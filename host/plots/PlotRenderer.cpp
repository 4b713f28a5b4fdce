// Draws a plot window the way a user would want to read it: title on top, the data lines in their
// colours and widths inside a framed, lightly shaded area with a grid, the value axis on the left
// with its range as the plug-in set it, the volume number along the bottom, and a legend of the
// line names on the right. One routine draws into any cairo context; the PNG and the SVG come
// from the same drawing.
#include "PlotRenderer.h"

#include "AxisTicks.h"
#include "CairoPicture.h"
#include "NumberText.h"
#include "PictureText.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <utility>
#include <vector>

namespace halvorn_host {
namespace {

// Sizes outside this range leave no room for title, axes and legend, or would make pictures of
// hundreds of megabytes.
constexpr int kMinWidth = 240;
constexpr int kMaxWidth = 4096;
constexpr int kMinHeight = 160;
constexpr int kMaxHeight = 4096;
// A title is cut to this many bytes in a file name.
constexpr std::size_t kMaxTitleInFileName = 120;

constexpr TextStyle kTitleFont{15.0, true};
constexpr TextStyle kLabelFont{12.0, false};
constexpr TextStyle kTickFont{11.0, false};
constexpr TextStyle kLegendFont{11.0, false};

struct Rgb {
    double red;
    double green;
    double blue;
};

constexpr Rgb kBackground{1.0, 1.0, 1.0};
// The plot area is a light grey rather than white so that near-white lines (the plug-in draws
// its displacement series in 250, 250, 250) stand out from it; such lines also get a dark casing.
constexpr Rgb kPlotArea{0.955, 0.955, 0.955};
constexpr Rgb kGrid{0.85, 0.85, 0.85};
constexpr Rgb kZeroLine{0.62, 0.62, 0.62};
constexpr Rgb kFrame{0.40, 0.40, 0.40};
constexpr Rgb kText{0.13, 0.13, 0.13};
constexpr Rgb kMutedText{0.30, 0.30, 0.30};
constexpr Rgb kLineCasing{0.28, 0.28, 0.28};
constexpr Rgb kLegendBorder{0.78, 0.78, 0.78};

// Lines whose every colour component is at least this are near-white: on a light background
// they would vanish without a casing. (Saturated bright colours such as yellow keep their look.)
constexpr int kCasingComponent = 200;

// Colours of lines whose colour the plug-in never set.
constexpr PlotColor kPalette[] = {{31, 119, 180},  {255, 127, 14}, {44, 160, 44},   {214, 39, 40},
                                  {148, 103, 189}, {140, 86, 75},  {227, 119, 194}, {127, 127, 127},
                                  {188, 189, 34},  {23, 190, 207}};

struct Rect {
    double left;
    double top;
    double right;
    double bottom;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
};

struct Range {
    double lower;
    double upper;
    double span() const { return upper - lower; }
};

void setColor(cairo_t* cr, const Rgb& color) {
    cairo_set_source_rgb(cr, color.red, color.green, color.blue);
}

// A tick value in the shortest general notation, without regard to any locale.
std::string tickLabel(double value) {
    return numberText(value, std::chars_format::general, 6);
}

bool hasValue(float value) {
    return std::isfinite(value);
}

Range xRangeOf(const PlotWindow& plot) {
    double lower = std::numeric_limits<double>::infinity();
    double upper = -std::numeric_limits<double>::infinity();
    for (const auto& line : plot.lines) {
        for (const float x : line.x) {
            if (hasValue(x)) {
                lower = std::min(lower, static_cast<double>(x));
                upper = std::max(upper, static_cast<double>(x));
            }
        }
    }
    if (lower > upper) {
        return {0.0, 1.0};
    }
    if (lower == upper) {
        return {lower - 1.0, upper + 1.0};
    }
    return {lower, upper};
}

// The range the plug-in set; without one (or with an empty one), the data's range with a margin.
Range yRangeOf(const PlotWindow& plot) {
    if (plot.yRange && hasValue(plot.yRange->lower) && hasValue(plot.yRange->upper) &&
        plot.yRange->lower != plot.yRange->upper) {
        const double a = plot.yRange->lower;
        const double b = plot.yRange->upper;
        return {std::min(a, b), std::max(a, b)};
    }
    double lower = std::numeric_limits<double>::infinity();
    double upper = -std::numeric_limits<double>::infinity();
    for (const auto& line : plot.lines) {
        for (std::size_t i = 0; i < line.y.size() && i < line.x.size(); ++i) {
            if (hasValue(line.y[i])) {
                lower = std::min(lower, static_cast<double>(line.y[i]));
                upper = std::max(upper, static_cast<double>(line.y[i]));
            }
        }
    }
    if (lower > upper) {
        return {-1.0, 1.0};
    }
    if (lower == upper) {
        return {lower - 1.0, upper + 1.0};
    }
    const double margin = (upper - lower) * 0.05;
    return {lower - margin, upper + margin};
}

PlotColor lineColor(const PlotLine& line, std::size_t index) {
    return line.color ? *line.color : kPalette[index % std::size(kPalette)];
}

Rgb toRgb(const PlotColor& color) {
    const auto component = [](int value) { return std::clamp(value, 0, 255) / 255.0; };
    return {component(color.red), component(color.green), component(color.blue)};
}

bool needsCasing(const PlotColor& color) {
    return std::min({color.red, color.green, color.blue}) >= kCasingComponent;
}

double lineWidth(const PlotLine& line) {
    return std::clamp(line.size, 1, 20);
}

void applyLineStyle(cairo_t* cr, const PlotLine& line) {
    const double width = lineWidth(line);
    const double dash[] = {4.0 * width, 3.0 * width};
    const double dot[] = {0.0, 2.5 * width};
    const double dashDot[] = {4.0 * width, 2.5 * width, 0.0, 2.5 * width};
    switch (line.style) {
    case 1:
        cairo_set_dash(cr, dash, 2, 0.0);
        break;
    case 2:
        cairo_set_dash(cr, dot, 2, 0.0);
        break;
    case 3:
        cairo_set_dash(cr, dashDot, 4, 0.0);
        break;
    default:
        cairo_set_dash(cr, nullptr, 0, 0.0);
        break;
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
}

// Strokes the current path as line `index`: a dark casing first for near-white lines, then the
// line in its colour and width.
void strokeLinePath(cairo_t* cr, const PlotLine& line, std::size_t index) {
    const PlotColor color = lineColor(line, index);
    applyLineStyle(cr, line);
    if (needsCasing(color)) {
        setColor(cr, kLineCasing);
        cairo_set_line_width(cr, lineWidth(line) + 2.0);
        cairo_stroke_preserve(cr);
    }
    setColor(cr, toRgb(color));
    cairo_set_line_width(cr, lineWidth(line));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
}

struct Legend {
    std::vector<PictureTextLine> entries; // cut to the legend's width
    std::size_t linesShown = 0;           // entries beyond these summarise the lines left out
    double width = 0.0;
    double rowHeight = 17.0;
    double padding = 7.0;
    double swatchLength = 24.0;
    double height() const { return padding * 2.0 + rowHeight * entries.size(); }
};

Legend layOutLegend(cairo_t* cr, const PlotWindow& plot, double maxWidth, double maxHeight) {
    Legend legend;
    if (!plot.legendShown || plot.lines.empty()) {
        return legend;
    }
    const double textRoom = maxWidth - legend.padding * 2.0 - legend.swatchLength - 6.0;
    const auto rowsThatFit = static_cast<std::size_t>(
        std::max(1.0, std::floor((maxHeight - legend.padding * 2.0) / legend.rowHeight)));
    const bool allFit = plot.lines.size() <= rowsThatFit;
    const std::size_t shown = allFit ? plot.lines.size() : rowsThatFit - 1;
    legend.linesShown = shown;
    double widest = 0.0;
    for (std::size_t i = 0; i < shown; ++i) {
        const std::string& name = plot.lines[i].name;
        legend.entries.emplace_back(cr, name.empty() ? "line " + std::to_string(i + 1) : name,
                                    kLegendFont, textRoom);
        widest = std::max(widest, legend.entries.back().width());
    }
    if (!allFit) {
        legend.entries.emplace_back(
            cr, "\xE2\x80\xA6 " + std::to_string(plot.lines.size() - shown) + " more", kLegendFont);
        widest = std::max(widest, legend.entries.back().width());
    }
    legend.width = legend.padding * 2.0 + legend.swatchLength + 6.0 + widest;
    return legend;
}

void drawLegend(cairo_t* cr, const PlotWindow& plot, const Legend& legend, double left,
                double top) {
    cairo_rectangle(cr, left + 0.5, top + 0.5, std::round(legend.width),
                    std::round(legend.height()));
    setColor(cr, kBackground);
    cairo_fill_preserve(cr);
    setColor(cr, kLegendBorder);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    for (std::size_t i = 0; i < legend.entries.size(); ++i) {
        const double middle = top + legend.padding + legend.rowHeight * (i + 0.5);
        const double swatchLeft = left + legend.padding;
        if (i < legend.linesShown) {
            cairo_move_to(cr, swatchLeft + 3.0, middle);
            cairo_line_to(cr, swatchLeft + legend.swatchLength - 3.0, middle);
            strokeLinePath(cr, plot.lines[i], i);
        }
        setColor(cr, kText);
        legend.entries[i].draw(cr, swatchLeft + legend.swatchLength + 6.0, middle + 4.0, 0.0);
    }
}

void drawDataLines(cairo_t* cr, const PlotWindow& plot, const Rect& area, const Range& xRange,
                   const Range& yRange) {
    // Values far outside the range would overflow cairo's fixed-point coordinates; they are
    // clipped away anyway.
    const double farAbove = area.top - 10000.0;
    const double farBelow = area.bottom + 10000.0;
    const auto toX = [&](float x) {
        return area.left + (x - xRange.lower) / xRange.span() * area.width();
    };
    const auto toY = [&](float y) {
        return std::clamp(area.bottom - (y - yRange.lower) / yRange.span() * area.height(),
                          farAbove, farBelow);
    };

    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
    for (std::size_t index = 0; index < plot.lines.size(); ++index) {
        const PlotLine& line = plot.lines[index];
        const std::size_t count = std::min(line.x.size(), line.y.size());
        bool penDown = false;
        for (std::size_t i = 0; i < count; ++i) {
            // A value that is not a number leaves a gap in the line.
            if (!hasValue(line.x[i]) || !hasValue(line.y[i])) {
                penDown = false;
                continue;
            }
            const double px = toX(line.x[i]);
            const double py = toY(line.y[i]);
            if (!penDown) {
                cairo_move_to(cr, px, py);
                penDown = true;
            }
            // A lone point becomes a dot: a segment of zero length with round caps.
            cairo_line_to(cr, px, py);
        }
        strokeLinePath(cr, line, index);
    }
    cairo_restore(cr);
}

void drawPlot(cairo_t* cr, const PlotWindow& plot, double width, double height) {
    setColor(cr, kBackground);
    cairo_paint(cr);

    const Range xRange = xRangeOf(plot);
    const Range yRange = yRangeOf(plot);

    // Title.
    const PictureTextLine title(cr, plot.title, kTitleFont, width - 24.0);
    const double titleBaseline = 24.0;
    const double top = plot.title.empty() ? 16.0 : 40.0;

    // Room for the bottom tick labels and the x axis label.
    const double bottom = height - 44.0;

    // The y ticks decide the left margin.
    const double yStep = tickStep(yRange.span(), std::max(2.0, (bottom - top) / 42.0));
    std::vector<std::pair<double, PictureTextLine>> yTicks;
    double widestYLabel = 0.0;
    for (const double value : tickValues(yRange.lower, yRange.upper, yStep)) {
        yTicks.emplace_back(value, PictureTextLine(cr, tickLabel(value), kTickFont));
        widestYLabel = std::max(widestYLabel, yTicks.back().second.width());
    }
    const double left = std::round(22.0 + 8.0 + widestYLabel + 6.0);

    // The legend takes the right side, never more than 40 % of the width.
    const Legend legend = layOutLegend(cr, plot, width * 0.4, bottom - top);
    const double right = std::round(width - (legend.entries.empty() ? 20.0 : legend.width + 26.0));
    const Rect area{left, std::round(top), right, std::round(bottom)};

    // Plot area and grid.
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    setColor(cr, kPlotArea);
    cairo_fill(cr);

    const double xStep = std::max(tickStep(xRange.span(), std::max(2.0, area.width() / 80.0)),
                                  xRange.span() >= 4.0 ? 1.0 : 0.0);
    const std::vector<double> xTicks = tickValues(xRange.lower, xRange.upper, xStep);
    const auto toX = [&](double x) {
        return std::round(area.left + (x - xRange.lower) / xRange.span() * area.width()) + 0.5;
    };
    const auto toY = [&](double y) {
        return std::round(area.bottom - (y - yRange.lower) / yRange.span() * area.height()) + 0.5;
    };

    cairo_set_line_width(cr, 1.0);
    setColor(cr, kGrid);
    for (const auto& [value, label] : yTicks) {
        cairo_move_to(cr, area.left, toY(value));
        cairo_line_to(cr, area.right, toY(value));
    }
    for (const double value : xTicks) {
        cairo_move_to(cr, toX(value), area.top);
        cairo_line_to(cr, toX(value), area.bottom);
    }
    cairo_stroke(cr);
    if (yRange.lower < 0.0 && yRange.upper > 0.0) {
        setColor(cr, kZeroLine);
        cairo_move_to(cr, area.left, toY(0.0));
        cairo_line_to(cr, area.right, toY(0.0));
        cairo_stroke(cr);
    }

    drawDataLines(cr, plot, area, xRange, yRange);

    // Frame and tick marks.
    setColor(cr, kFrame);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, area.left + 0.5, area.top + 0.5, area.width() - 1.0, area.height() - 1.0);
    cairo_stroke(cr);
    for (const auto& [value, label] : yTicks) {
        cairo_move_to(cr, area.left, toY(value));
        cairo_line_to(cr, area.left - 4.0, toY(value));
    }
    for (const double value : xTicks) {
        cairo_move_to(cr, toX(value), area.bottom);
        cairo_line_to(cr, toX(value), area.bottom + 4.0);
    }
    cairo_stroke(cr);

    // Tick labels.
    setColor(cr, kMutedText);
    for (const auto& [value, label] : yTicks) {
        label.draw(cr, area.left - 7.0, toY(value) + 4.0, 1.0);
    }
    for (const double value : xTicks) {
        PictureTextLine(cr, tickLabel(value), kTickFont)
            .draw(cr, toX(value), area.bottom + 17.0, 0.5);
    }

    // Axis labels.
    setColor(cr, kText);
    PictureTextLine(cr, "volume", kLabelFont)
        .draw(cr, (area.left + area.right) / 2.0, height - 9.0, 0.5);
    cairo_save(cr);
    cairo_translate(cr, 17.0, (area.top + area.bottom) / 2.0);
    cairo_rotate(cr, -std::numbers::pi / 2.0);
    PictureTextLine(cr, "mm / degrees", kLabelFont).draw(cr, 0.0, 0.0, 0.5);
    cairo_restore(cr);

    // Title, centred over the whole picture.
    if (!plot.title.empty()) {
        setColor(cr, kText);
        title.draw(cr, width / 2.0, titleBaseline, 0.5);
    }

    if (!legend.entries.empty()) {
        drawLegend(cr, plot, legend, area.right + 14.0, area.top);
    }
}

void checkStatus(cairo_status_t status, const char* format) {
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cannot draw the plot as ") + format + ": " +
                                 cairo_status_to_string(status));
    }
}

void drawInto(cairo_surface_t* surface, const PlotWindow& plot, int width, int height,
              const char* format) {
    CairoContext cr(cairo_create(surface), &cairo_destroy);
    drawPlot(cr.get(), plot, width, height);
    checkStatus(cairo_status(cr.get()), format);
}

} // namespace

std::string plotPictureBaseName(const PlotWindow& plot) {
    std::string name = "plot-";
    const std::string number = std::to_string(plot.number);
    if (number.size() < 2) {
        name += '0';
    }
    name += number;
    std::string title;
    bool lastWasReplaced = false;
    for (const char c : plot.title) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == '+';
        if (safe) {
            title += c;
            lastWasReplaced = false;
        } else if (!lastWasReplaced) {
            title += '_';
            lastWasReplaced = true;
        }
        if (title.size() >= kMaxTitleInFileName) {
            break;
        }
    }
    if (!title.empty()) {
        name += '-' + title;
    }
    return name;
}

PlotPictures renderPlotPictures(const PlotWindow& plot) {
    const int width = std::clamp(plot.width, kMinWidth, kMaxWidth);
    const int height = std::clamp(plot.height, kMinHeight, kMaxHeight);
    PlotPictures pictures;

    CairoSurface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height),
                       &cairo_surface_destroy);
    checkStatus(cairo_surface_status(image.get()), "PNG");
    drawInto(image.get(), plot, width, height, "PNG");
    checkStatus(cairo_surface_write_to_png_stream(image.get(), appendToString, &pictures.png),
                "PNG");

    CairoSurface vector(
        cairo_svg_surface_create_for_stream(appendToString, &pictures.svg, width, height),
        &cairo_surface_destroy);
    checkStatus(cairo_surface_status(vector.get()), "SVG");
    cairo_svg_surface_set_document_unit(vector.get(), CAIRO_SVG_UNIT_PX);
    drawInto(vector.get(), plot, width, height, "SVG");
    cairo_surface_finish(vector.get());
    checkStatus(cairo_surface_status(vector.get()), "SVG");
    return pictures;
}

} // namespace halvorn_host
