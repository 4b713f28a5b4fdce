// Text in the stand-in host's pictures: whatever bytes the plug-in sends become valid UTF-8, and
// a line is cut to its room with an ellipsis, drawn where it was asked to be.
#include "PictureText.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>

namespace halvorn_host {
namespace {

struct Utf8Case {
    const char* name;
    std::string given;
    std::string expected;
};

const std::string kReplacement = "\xEF\xBF\xBD"; // U+FFFD

class ValidUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ValidUtf8, ReplacesWhatIsNotUtf8AndKeepsTheRest) {
    EXPECT_EQ(validUtf8(GetParam().given), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValidUtf8,
    ::testing::Values(
        Utf8Case{"Ascii", "run1_3DMC.sdm", "run1_3DMC.sdm"},
        Utf8Case{"Accents",
                 "Gr\xC3\xBC\xC3\x9F"
                 "e \xE2\x82\xAC",
                 "Gr\xC3\xBC\xC3\x9F"
                 "e \xE2\x82\xAC"},
        Utf8Case{"Latin1Byte",
                 "Gr\xFC"
                 "n",
                 "Gr" + kReplacement + "n"},
        Utf8Case{"LoneContinuation",
                 "a\x80"
                 "b",
                 "a" + kReplacement + "b"},
        Utf8Case{"CutSequenceAtTheEnd", "ab\xE2\x82", "ab" + kReplacement + kReplacement},
        Utf8Case{"Overlong", "\xC0\xAF", kReplacement + kReplacement},
        Utf8Case{"Surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
        Utf8Case{"AboveUnicode",
                 "\xF4\x90\x80\x80"
                 "x",
                 kReplacement + kReplacement + kReplacement + kReplacement + "x"},
        Utf8Case{"EmbeddedNul", std::string("a\0b", 3), "a" + kReplacement + "b"},
        Utf8Case{"Empty", "", ""}),
    [](const auto& info) { return info.param.name; });

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// A white picture to draw black text on, and where the ink went.
class Canvas {
public:
    Canvas()
        : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight),
                   &cairo_surface_destroy),
          context_(cairo_create(surface_.get()), &cairo_destroy) {
        cairo_set_source_rgb(cr(), 1.0, 1.0, 1.0);
        cairo_paint(cr());
        cairo_set_source_rgb(cr(), 0.0, 0.0, 0.0);
    }

    cairo_t* cr() const { return context_.get(); }

    struct Ink {
        int left = kWidth;
        int right = -1; // one past
        int top = kHeight;
        int bottom = -1; // one past
        bool any() const { return right > left; }
    };

    Ink ink() const {
        cairo_surface_flush(surface_.get());
        const unsigned char* pixels = cairo_image_surface_get_data(surface_.get());
        const int stride = cairo_image_surface_get_stride(surface_.get());
        Ink found;
        for (int y = 0; y < kHeight; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + y * stride);
            for (int x = 0; x < kWidth; ++x) {
                if ((row[x] & 0xFFFFFFU) != 0xFFFFFFU) {
                    found.left = std::min(found.left, x);
                    found.right = std::max(found.right, x + 1);
                    found.top = std::min(found.top, y);
                    found.bottom = std::max(found.bottom, y + 1);
                }
            }
        }
        return found;
    }

    static constexpr int kWidth = 400;
    static constexpr int kHeight = 60;

private:
    Surface surface_;
    Context context_;
};

TEST(PictureTextLine, AShortTextIsShownWhole) {
    const Canvas canvas;
    const PictureTextLine line(canvas.cr(), "run1_3DMC.sdm", {12.0, false}, 300.0);
    EXPECT_FALSE(line.isCut());
    EXPECT_GT(line.width(), 40.0);
    EXPECT_LT(line.width(), 150.0);
    const PictureTextLine bold(canvas.cr(), "run1_3DMC.sdm", {12.0, true}, 300.0);
    EXPECT_GT(bold.width(), line.width());
}

TEST(PictureTextLine, AnEmptyTextTakesNoRoom) {
    const Canvas canvas;
    const PictureTextLine line(canvas.cr(), "", {12.0, false}, 300.0);
    EXPECT_FALSE(line.isCut());
    EXPECT_EQ(line.width(), 0.0);
}

struct CutCase {
    const char* name;
    std::string text;
    double room;
};

class PictureTextCut : public ::testing::TestWithParam<CutCase> {};

// Pango itself draws a line of a few hundred thousand characters as nothing, so very long texts
// are cut before it sees them.
TEST_P(PictureTextCut, ALongTextEndsInAnEllipsisWithinItsRoom) {
    const auto& [name, text, room] = GetParam();
    Canvas canvas;
    const PictureTextLine line(canvas.cr(), text, {11.0, false}, room);
    EXPECT_TRUE(line.isCut());
    EXPECT_LE(line.width(), room);
    EXPECT_GT(line.width(), room / 2.0) << "the room is used";
    line.draw(canvas.cr(), 10.0, 40.0, 0.0);
    EXPECT_EQ(cairo_status(canvas.cr()), CAIRO_STATUS_SUCCESS);
    const Canvas::Ink ink = canvas.ink();
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.left, 9);
    EXPECT_LE(ink.right, 10 + static_cast<int>(room) + 1);
}

const std::string kEuro = "\xE2\x82\xAC";

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PictureTextCut,
    ::testing::Values(CutCase{"Words", repeated("Translation X detrended ", 4), 150.0},
                      CutCase{"MillionLetters", std::string(1'000'000, 'x'), 200.0},
                      // 4096 falls inside a character: the cut keeps whole characters.
                      CutCase{"MillionEuroSigns", repeated(kEuro, 1'000'000), 300.0},
                      CutCase{"MillionInvalidBytes", std::string(1'000'000, '\xFF'), 300.0}),
    [](const auto& info) { return info.param.name; });

TEST(PictureTextLine, ATextBeyondTheLengthLimitIsCutEvenWithUnlimitedRoom) {
    const Canvas canvas;
    const PictureTextLine line(canvas.cr(), std::string(kLongestPictureText + 1, 'i'),
                               {11.0, false});
    EXPECT_TRUE(line.isCut());
    EXPECT_GT(line.width(), 1000.0);
    const PictureTextLine whole(canvas.cr(), std::string(kLongestPictureText, 'i'), {11.0, false});
    EXPECT_FALSE(whole.isCut());
}

class PictureTextInvalid : public ::testing::TestWithParam<Utf8Case> {};

// cairo's own text functions stop drawing altogether at text that is not UTF-8.
TEST_P(PictureTextInvalid, IsDrawnAndLeavesTheContextUsable) {
    Canvas canvas;
    PictureTextLine(canvas.cr(), GetParam().given, {12.0, false}, 300.0)
        .draw(canvas.cr(), 10.0, 40.0, 0.0);
    EXPECT_EQ(cairo_status(canvas.cr()), CAIRO_STATUS_SUCCESS);
    EXPECT_TRUE(canvas.ink().any());
}

INSTANTIATE_TEST_SUITE_P(Texts, PictureTextInvalid,
                         ::testing::Values(Utf8Case{"Latin1Byte",
                                                    "Gr\xFC"
                                                    "n",
                                                    ""},
                                           Utf8Case{"CutSequence", "ab\xE2\x82", ""},
                                           Utf8Case{"Surrogate", "\xED\xA0\x80", ""},
                                           Utf8Case{"ControlCharacters",
                                                    "a\tb\nc\x01"
                                                    "d\x7F",
                                                    ""}),
                         [](const auto& info) { return info.param.name; });

struct AlignCase {
    const char* name;
    double align;
};

class PictureTextAlign : public ::testing::TestWithParam<AlignCase> {};

TEST_P(PictureTextAlign, TheLineStandsOnItsBaselineAtItsAnchor) {
    Canvas canvas;
    const double x = 200.0;
    const double baseline = 40.0;
    // Capitals without descenders: the ink ends at the baseline.
    const PictureTextLine line(canvas.cr(), "HXH", {20.0, false});
    line.draw(canvas.cr(), x, baseline, GetParam().align);
    const Canvas::Ink ink = canvas.ink();
    ASSERT_TRUE(ink.any());
    const double left = x - GetParam().align * line.width();
    EXPECT_NEAR(ink.left, left, 3.0);
    EXPECT_NEAR(ink.right, left + line.width(), 3.0);
    EXPECT_NEAR(ink.bottom, baseline, 1.0);
    EXPECT_LT(ink.top, baseline - 10.0);
}

INSTANTIATE_TEST_SUITE_P(Anchors, PictureTextAlign,
                         ::testing::Values(AlignCase{"Left", 0.0}, AlignCase{"Centre", 0.5},
                                           AlignCase{"Right", 1.0}),
                         [](const auto& info) { return info.param.name; });

// Pango puts a right-to-left paragraph at the right end of the room it is given.
TEST(PictureTextLine, ARightToLeftTextStartsAtItsAnchorToo) {
    Canvas canvas;
    const PictureTextLine line(canvas.cr(), "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", {20.0, false},
                               300.0);
    EXPECT_FALSE(line.isCut());
    line.draw(canvas.cr(), 20.0, 40.0, 0.0);
    const Canvas::Ink ink = canvas.ink();
    ASSERT_TRUE(ink.any());
    EXPECT_NEAR(ink.left, 20.0, 3.0);
    EXPECT_NEAR(ink.right, 20.0 + line.width(), 3.0);
}

} // namespace
} // namespace halvorn_host
