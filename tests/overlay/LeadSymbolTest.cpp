// PutSymbolOnLead_16Bit: placement and scale of the symbol, glyph cells as 16-bit samples,
// transparent cells, images it ignores and images too small to hold it.
#include <algorithm>

#include "overlay/LeadSymbol.h"
#include "tests/overlay/OverlayFixture.h"

namespace {

using leadsymbol::kGlyphHeight;
using leadsymbol::kGlyphWidth;
using leadsymbol::kTransparent;
using leadsymbol::LeadSymbolGlyph;
using overlaytest::ControlWithRandomImage;
using overlaytest::Snapshot;

// The image expected after drawing the symbol at scale f with its top-left corner at (left, top):
// opaque cells become cell × 256, everything else keeps the original pixel.
Snapshot WithSymbol(Snapshot image, int f, int left, int top) {
    for (int y = 0; y < kGlyphHeight * f; ++y)
        for (int x = 0; x < kGlyphWidth * f; ++x) {
            const std::uint8_t cell = LeadSymbolGlyph[y / f][x / f];
            const int col = left + x, row = top + y;
            if (cell == kTransparent || col < 0 || row < 0 || col >= image.width ||
                row >= image.height)
                continue;
            image.pixels[static_cast<std::size_t>(row) * image.width + col] = cell * 256u;
        }
    return image;
}

void ExpectSymbolAtScale(int width, int height, BYTE factor, int expectedScale) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " factor " +
                 std::to_string(factor));
    auto control = ControlWithRandomImage(width, height, 16, ORDER_GRAY, width + height);
    const Snapshot before(Impl(control).CurrentBitmap);
    CapturedLog log;
    EXPECT_EQ(control->PutSymbolOnLead_16Bit(0, 0, factor), S_OK);
    const int left = width - 24 * expectedScale;  // 21 cells and a 3-cell margin
    const int top = height - 26 * expectedScale;  // 23 cells and a 3-cell margin
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) ==
                WithSymbol(before, expectedScale, left, top));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace

TEST(LeadSymbol, AutomaticScaleFollowsTheLongerSide) {
    ExpectSymbolAtScale(600, 600, 0, 2);
    ExpectSymbolAtScale(1000, 800, 0, 2);
    ExpectSymbolAtScale(500, 400, 0, 1);
    ExpectSymbolAtScale(1200, 1600, 0, 3);
}

TEST(LeadSymbol, GivenFactorOverridesTheAutomaticScale) {
    ExpectSymbolAtScale(600, 600, 1, 1);
    ExpectSymbolAtScale(1000, 800, 3, 3);
    ExpectSymbolAtScale(400, 400, 12, 12);
}

// On 600 × 600 the symbol is 42 × 46 and ends 6 pixels before the right and bottom edges; the
// open middle shows the image, the ring carries 0xFF00 and the dark edge its small values.
TEST(LeadSymbol, SymbolOn600SquareKeepsItsMargin) {
    auto control = ControlWithRandomImage(600, 600, 16, ORDER_GRAY);
    const Snapshot before(Impl(control).CurrentBitmap);
    ASSERT_EQ(control->PutSymbolOnLead_16Bit(7, 9, 0), S_OK);
    const Snapshot after(Impl(control).CurrentBitmap);
    int left = 600, right = -1, top = 600, bottom = -1;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 600; ++x)
            if (after.at(x, y) != before.at(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_EQ(right - left + 1, 42);
    EXPECT_EQ(bottom - top + 1, 46);
    EXPECT_EQ(600 - 1 - right, 6);
    EXPECT_EQ(600 - 1 - bottom, 6);
    // Glyph row 11: cell 0 is the dark edge, cell 2 the ring, cell 10 the open middle.
    EXPECT_EQ(after.at(left, top + 22), 0x0200u);
    EXPECT_EQ(after.at(left + 5, top + 23), 0xFF00u);
    EXPECT_EQ(after.at(left + 20, top + 22), before.at(left + 20, top + 22));
}

TEST(LeadSymbol, OnlySixteenBitImagesAreMarked) {
    const struct {
        int bits, order;
    } others[] = {{8, ORDER_GRAY}, {12, ORDER_GRAY}, {24, ORDER_BGR}};
    for (const auto& format : others) {
        auto control = ControlWithRandomImage(600, 600, format.bits, format.order);
        const Snapshot before(Impl(control).CurrentBitmap);
        CapturedLog log;
        EXPECT_EQ(control->PutSymbolOnLead_16Bit(0, 0, 0), S_OK);
        EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before) << format.bits;
        EXPECT_TRUE(log.lines().empty());
    }
    auto empty = NewControl();
    CapturedLog log;
    EXPECT_EQ(empty->PutSymbolOnLead_16Bit(0, 0, 0), S_OK);
    EXPECT_TRUE(log.lines().empty());
}

// A 10 × 10 image holds only the symbol's lower right corner: every opaque cell outside costs a
// log line, the corner is drawn, and nothing is written past the image. Without logging the
// pixels come out the same.
TEST(LeadSymbol, ImageSmallerThanTheSymbolLogsEachRefusedPixel) {
    constexpr int kSide = 10;
    const int left = kSide - 24, top = kSide - 26;
    int outside = 0;
    for (int y = 0; y < kGlyphHeight; ++y)
        for (int x = 0; x < kGlyphWidth; ++x) {
            const bool inside =
                left + x >= 0 && left + x < kSide && top + y >= 0 && top + y < kSide;
            if (LeadSymbolGlyph[y][x] != kTransparent && !inside) ++outside;
        }
    for (bool logging : {true, false}) {
        SCOPED_TRACE(logging ? "logging" : "not logging");
        auto control = ControlWithRandomImage(kSide, kSide, 16, ORDER_GRAY);
        const Snapshot before(Impl(control).CurrentBitmap);
        std::vector<std::string> lines;
        {
            CapturedLog log;
            SetDebugSwitchForTesting(logging);
            EXPECT_EQ(control->PutSymbolOnLead_16Bit(0, 0, 0), S_OK);
            lines = overlaytest::Lines(log);
        }
        EXPECT_EQ(lines.size(), logging ? static_cast<std::size_t>(outside) : 0u);
        for (const std::string& line : lines)
            ASSERT_EQ(line,
                      "axLumora.PutSymbolOnLead_16Bit; Res:" + std::to_string(ERROR_INV_RANGE));
        EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == WithSymbol(before, 1, left, top));
    }
}

// Memory rows and columns, whatever the view: the symbol lands in the same stored corner.
TEST(LeadSymbol, ViewPerspectiveDoesNotMoveTheSymbol) {
    auto control = ControlWithRandomImage(640, 480, 16, ORDER_GRAY);
    Impl(control).CurrentBitmap.ViewPerspective = RIGHT_TOP;
    const Snapshot before(Impl(control).CurrentBitmap);
    EXPECT_EQ(control->PutSymbolOnLead_16Bit(0, 0, 0), S_OK);
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == WithSymbol(before, 2, 640 - 48, 480 - 52));
}
