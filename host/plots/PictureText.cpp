#include "PictureText.h"

#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace halvorn_host {
namespace {

constexpr const char* kFontFamily = "DejaVu Sans";
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

struct GlibFree {
    void operator()(gchar* text) const { g_free(text); }
};

struct FontDescriptionFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};

double pixels(int pangoUnits) {
    return static_cast<double>(pangoUnits) / PANGO_SCALE;
}

} // namespace

std::string validUtf8(std::string_view text) {
    const std::unique_ptr<gchar, GlibFree> valid(
        g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    return valid.get();
}

PictureTextLine::PictureTextLine(cairo_t* cr, std::string_view text, TextStyle style,
                                 double maxWidth)
    : layout_(pango_cairo_create_layout(cr)) {
    const std::unique_ptr<PangoFontDescription, FontDescriptionFree> font(
        pango_font_description_new());
    pango_font_description_set_family_static(font.get(), kFontFamily);
    pango_font_description_set_weight(font.get(),
                                      style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font.get(), style.size * PANGO_SCALE);
    pango_layout_set_font_description(layout_.get(), font.get());
    // A line break in a name shows as a symbol rather than starting a second line, for which the
    // picture has no room.
    pango_layout_set_single_paragraph_mode(layout_.get(), TRUE);

    std::string shown = validUtf8(text);
    if (shown.size() > kLongestPictureText) {
        // Back to the first byte of the character that the limit falls into.
        std::size_t end = kLongestPictureText;
        while ((static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) {
            --end;
        }
        shown.resize(end);
        shown += kEllipsis;
        cutBeforeLayout_ = true;
    }
    pango_layout_set_text(layout_.get(), shown.c_str(), static_cast<int>(shown.size()));
    if (std::isfinite(maxWidth)) {
        pango_layout_set_width(layout_.get(),
                               static_cast<int>(std::floor(std::max(maxWidth, 0.0) * PANGO_SCALE)));
        pango_layout_set_ellipsize(layout_.get(), PANGO_ELLIPSIZE_END);
    }

    PangoRectangle logical;
    pango_layout_get_extents(layout_.get(), nullptr, &logical);
    left_ = pixels(logical.x);
    width_ = pixels(logical.width);
    baseline_ = pixels(pango_layout_get_baseline(layout_.get()));
}

void PictureTextLine::LayoutRelease::operator()(PangoLayout* layout) const {
    g_object_unref(layout);
}

bool PictureTextLine::isCut() const {
    return cutBeforeLayout_ || pango_layout_is_ellipsized(layout_.get());
}

void PictureTextLine::draw(cairo_t* cr, double x, double y, double align) const {
    // A right-to-left text narrower than its room lies at the room's right end within the layout.
    cairo_move_to(cr, x - align * width_ - left_, y - baseline_);
    // The layout follows the transformation `cr` has now (the value axis label is drawn turned).
    pango_cairo_update_layout(cr, layout_.get());
    pango_cairo_show_layout(cr, layout_.get());
}

} // namespace halvorn_host
