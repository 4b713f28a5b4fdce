// One line of text in the stand-in host's pictures (plots, map montages), laid out by Pango in
// DejaVu Sans and drawn with cairo. Text from the plug-in may be in any encoding and of any
// length: it is made valid UTF-8 first, and a text wider than its room ends in an ellipsis.
#pragma once

#include <cairo.h>
#include <pango/pango-layout.h>

#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace halvorn_host {

struct TextStyle {
    double size = 12.0; // font size in pixels
    bool bold = false;
};

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);

// Texts are cut to this many bytes, with an ellipsis, before Pango lays them out: no picture is
// wide enough to show more, Pango's time grows faster than the text, and a line of some hundred
// thousand characters it draws as nothing at all.
inline constexpr std::size_t kLongestPictureText = 4096;

class PictureTextLine {
public:
    // `text` (any bytes) laid out for `cr` in `style`; when it is wider than `maxWidth` pixels it
    // is cut to end in an ellipsis within that width.
    PictureTextLine(cairo_t* cr, std::string_view text, TextStyle style,
                    double maxWidth = std::numeric_limits<double>::infinity());

    double width() const { return width_; }
    // Whether an ellipsis stands for text left out.
    bool isCut() const;

    // Draws the line with its left end at x (align 0), centred on x (0.5) or its right end at x
    // (1), and its baseline at y, in the source colour and transformation `cr` has now.
    void draw(cairo_t* cr, double x, double y, double align) const;

private:
    struct LayoutRelease {
        void operator()(PangoLayout* layout) const;
    };
    std::unique_ptr<PangoLayout, LayoutRelease> layout_;
    bool cutBeforeLayout_ = false;
    double left_ = 0.0; // of the text within the layout
    double width_ = 0.0;
    double baseline_ = 0.0; // from the top of the layout
};

} // namespace halvorn_host
