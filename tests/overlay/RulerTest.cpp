// RenderRuler: refusals that leave the image alone, the exact pixels of a tick and of whole
// rulers against a plain re-drawing from the ruler's rules, and the view-perspective handling.
#include <cmath>

#include "tests/overlay/OverlayFixture.h"

namespace {

using overlaytest::ControlWithImage;
using overlaytest::ControlWithRandomImage;
using overlaytest::Snapshot;

// ---- a plain re-drawing of the ruler ------------------------------------------------------------

// Nearest integer, halves to the even neighbour, written out rather than left to the FPU mode.
int RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1;
    return static_cast<int>(result);
}

class ReferenceCanvas {
public:
    ReferenceCanvas(const Snapshot& image, std::uint32_t light) : image_(image), light_(light) {}

    void Put(int row, int col, bool light) {
        if (row < 0 || row >= image_.height || col < 0 || col >= image_.width) return;
        image_.pixels[static_cast<std::size_t>(row) * image_.width + col] = light ? light_ : 0;
    }

    void Tick(int x, int y, int length) {
        for (int c = x; c <= x + length - 1; ++c) {
            Put(y - 2, c, true);
            Put(y + 2, c, true);
        }
        for (int r = y - 2; r <= y + 2; ++r) {
            Put(r, x - 1, true);
            Put(r, x + length + 1, true);
        }
        for (int c = x; c <= x + length / 2; ++c) {
            Put(y - 1, c, true);
            Put(y + 1, c, true);
        }
        for (int c = x; c <= x + length; ++c) Put(y, c, false);
        for (int c = x + length / 2; c <= x + length; ++c) {
            Put(y - 1, c, false);
            Put(y + 1, c, false);
        }
    }

    void Ruler(int pixPerMeter, int cm) {
        const int width = image_.width;
        double pos = 25.0;
        for (long long i = 1; i <= cm + 1LL; ++i) {
            Tick(width - 62, RoundHalfEven(pos), 60);
            const double next = pos + pixPerMeter / 100.0;
            if (pos > image_.height) break;
            if (i <= cm) {
                for (int r = RoundHalfEven(pos); r <= RoundHalfEven(next); ++r)
                    Put(r, width - 1, true);
                double sub = pos + pixPerMeter / 1000.0;
                for (int k = 1; k <= 9; ++k) {
                    if (k == 5) Tick(width - 42, RoundHalfEven(sub), 40);
                    else Tick(width - 22, RoundHalfEven(sub), 20);
                    sub = sub + pixPerMeter / 1000.0;
                }
                for (int r = RoundHalfEven(pos); r <= RoundHalfEven(next); ++r)
                    Put(r, width - 2, false);
            }
            pos = next;
        }
    }

    const Snapshot& image() const { return image_; }

private:
    Snapshot image_;
    std::uint32_t light_;
};

// Reports the first few differing pixels rather than a million-element vector.
void ExpectSameImage(const Snapshot& actual, const Snapshot& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    int reported = 0;
    for (int y = 0; y < actual.height && reported < 5; ++y)
        for (int x = 0; x < actual.width && reported < 5; ++x)
            if (actual.at(x, y) != expected.at(x, y)) {
                ADD_FAILURE() << "pixel (" << x << "," << y << "): " << std::hex << actual.at(x, y)
                              << " expected " << expected.at(x, y);
                ++reported;
            }
}

LONG Render(const ComPtr<IaxLumora>& control, LONG pixPerMeter, LONG cm) {
    LONG value = 99;
    EXPECT_EQ(control->RenderRuler(pixPerMeter, cm, &value), S_OK);
    return value;
}

}  // namespace

// ---- refusals ---------------------------------------------------------------------------------

TEST(RenderRulerRefusal, TooSmallTooLongOrNoScaleLeavesTheImage) {
    struct Refused {
        int width, height, pixPerMeter, cm;
    };
    const Refused cases[] = {
        {499, 800, 10000, 1},   // one column short
        {800, 499, 10000, 1},   // one row short
        {600, 500, 10000, 5},   // 500 rows at 100 pixels per centimetre hold at most 4
        {600, 700, 0, 1},       // no scale: nothing to divide by
        {600, 700, -10000, 1},  // a negative scale
        {600, 700, 10000, 2147483647},
    };
    for (const Refused& c : cases) {
        auto control = ControlWithRandomImage(c.width, c.height, 16, ORDER_GRAY);
        const Snapshot before(Impl(control).CurrentBitmap);
        CapturedLog log;
        EXPECT_EQ(Render(control, c.pixPerMeter, c.cm), -1) << c.width << "x" << c.height;
        EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);
        EXPECT_TRUE(log.lines().empty());
    }
}

TEST(RenderRulerRefusal, OneCentimetreLessThanTheLimitDraws) {
    auto control = ControlWithRandomImage(600, 500, 16, ORDER_GRAY);
    const Snapshot before(Impl(control).CurrentBitmap);
    EXPECT_EQ(Render(control, 10000, 4), 0);
    EXPECT_FALSE(Snapshot(Impl(control).CurrentBitmap) == before);
}

// No image is refused; a negative length draws nothing and counts as done.
TEST(RenderRulerRefusal, EmptyControlAndNegativeLength) {
    EXPECT_EQ(Render(NewControl(), 10000, 1), -1);
    auto control = ControlWithRandomImage(600, 600, 16, ORDER_GRAY);
    const Snapshot before(Impl(control).CurrentBitmap);
    EXPECT_EQ(Render(control, 10000, -1), 0);
    EXPECT_EQ(Render(control, 10000, -2147483647 - 1), 0);
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);
}

// ---- exact pixels -----------------------------------------------------------------------------

// Cm 0 is a single centimetre tick at row 25, spelled out pixel by pixel: a dark bar one row high
// up to the middle and three rows from there, framed in light up to the last column.
TEST(RenderRulerPixels, ZeroLengthIsOneFramedTickAtRow25) {
    constexpr int kWidth = 640, kGrey = 1000;
    auto control = ControlWithImage(kWidth, 600, 16, ORDER_GRAY, [](int, int) { return kGrey; });
    EXPECT_EQ(Render(control, 10000, 0), 0);
    const Snapshot after(Impl(control).CurrentBitmap);

    const int x = kWidth - 62;  // the bar runs from x to x + 60; its frame from x - 1 to x + 61
    auto expected = [&](int col, int row) -> std::uint32_t {
        const bool frameRow = (row == 23 || row == 27) && col >= x && col <= x + 59;
        const bool frameEnd = row >= 23 && row <= 27 && (col == x - 1 || col == x + 61);
        const bool thinLight = (row == 24 || row == 26) && col >= x && col < x + 30;
        const bool thickDark = (row >= 24 && row <= 26) && col >= x + 30 && col <= x + 60;
        const bool thinDark = row == 25 && col >= x && col <= x + 60;
        if (frameRow || frameEnd || thinLight) return 65535;
        if (thickDark || thinDark) return 0;
        return kGrey;
    };
    int changed = 0;
    for (int row = 0; row < after.height; ++row)
        for (int col = 0; col < kWidth; ++col) {
            ASSERT_EQ(after.at(col, row), expected(col, row)) << "col " << col << " row " << row;
            changed += after.at(col, row) != kGrey;
        }
    EXPECT_EQ(changed, 2 * 60 + 2 * 5 + 2 * 61 + 61);  // the corners at x + 60 stay untouched
}

// Whole rulers at every depth against the plain re-drawing: half-pixel positions that must round
// to even, a ruler whose last ticks run off the bottom edge, and scales under a pixel per
// centimetre where thousands of passes land on the same rows.
TEST(RenderRulerPixels, WholeRulerMatchesPlainRedrawing) {
    const struct {
        const char* name;
        int width, height, bits, order, pixPerMeter, cm;
    } cases[] = {
        {"16-bit", 640, 900, 16, ORDER_GRAY, 10000, 8},
        {"16-bit ties", 700, 620, 16, ORDER_GRAY, 2500, 24},
        {"12-bit", 512, 512, 12, ORDER_GRAY, 4321, 11},
        {"24-bit", 517, 733, 24, ORDER_BGR, 12345, 5},
        {"24-bit rgb", 501, 650, 24, ORDER_RGB, 2500, 20},
        {"8-bit off the bottom", 500, 500, 8, ORDER_GRAY, 3000, 16},
        {"8-bit 1.5 px/cm", 503, 600, 8, ORDER_GRAY, 150, 399},
        {"16-bit 0.07 px/cm", 500, 600, 16, ORDER_GRAY, 7, 8571},
        {"8-bit 0.01 px/cm", 500, 520, 8, ORDER_GRAY, 1, 51999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto control =
            ControlWithRandomImage(c.width, c.height, c.bits, c.order, c.width * 31 + c.cm);
        ReferenceCanvas reference(Snapshot(Impl(control).CurrentBitmap),
                                  overlaytest::MaxStored(c.bits));
        reference.Ruler(c.pixPerMeter, c.cm);
        EXPECT_EQ(Render(control, c.pixPerMeter, c.cm), 0);
        ExpectSameImage(Snapshot(Impl(control).CurrentBitmap), reference.image());
    }
}

// ---- view perspective -------------------------------------------------------------------------

TEST(RenderRulerPerspective, ImageIsTurnedToTopLeftFirst) {
    auto control = ControlWithRandomImage(560, 610, 16, ORDER_GRAY);
    BITMAPHANDLE& bitmap = Impl(control).CurrentBitmap;
    bitmap.ViewPerspective = BOTTOM_LEFT;
    // What the ruler is drawn on: the same picture held top-left.
    ScopedBitmap upright;
    ASSERT_EQ(
        L_ChangeBitmapViewPerspective(upright.get(), &bitmap, BITMAPHANDLE_STRUCT_SIZE, TOP_LEFT),
        SUCCESS);
    ReferenceCanvas reference(Snapshot(*upright), 65535);
    reference.Ruler(10000, 5);

    CapturedLog log;
    EXPECT_EQ(Render(control, 10000, 5), 0);
    EXPECT_EQ(overlaytest::Lines(log),
              std::vector<std::string>{"axLumora.RenderRuler, Perspective is wrong: 4"});
    EXPECT_EQ(bitmap.ViewPerspective, TOP_LEFT);
    ExpectSameImage(Snapshot(bitmap), reference.image());
}

// A transposed view is judged by the size it is drawn at: 600 stored columns become 600 rows.
TEST(RenderRulerPerspective, TransposedViewFitsByDisplayedHeight) {
    auto control = ControlWithRandomImage(600, 2000, 8, ORDER_GRAY);
    BITMAPHANDLE& bitmap = Impl(control).CurrentBitmap;
    bitmap.ViewPerspective = LEFT_TOP;
    const Snapshot before(bitmap);
    {
        CapturedLog log;
        EXPECT_EQ(Render(control, 10000, 10), -1);
        EXPECT_TRUE(log.lines().empty());
        EXPECT_TRUE(Snapshot(bitmap) == before);
    }
    EXPECT_EQ(Render(control, 10000, 5), 0);
    EXPECT_EQ(bitmap.ViewPerspective, TOP_LEFT);
    EXPECT_EQ(bitmap.Width, 2000);
    EXPECT_EQ(bitmap.Height, 600);
    EXPECT_EQ(overlaytest::Stored(bitmap, 525, 2000 - 62), 0u);  // the sixth centimetre tick
}
