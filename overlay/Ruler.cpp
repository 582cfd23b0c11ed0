// RenderRuler: a vertical centimetre ruler burned into the right edge of the image, pixel by
// pixel through the engine, with centimetre, half-centimetre and millimetre ticks.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

namespace {

// The smallest image the ruler is drawn on, in both directions.
constexpr int kMinSide = 500;
// First centimetre tick, in rows from the top.
constexpr double kFirstTickRow = 25.0;
constexpr int kSubTicksPerCm = 9;
constexpr int kHalfCmSubTick = 5;

// Tick geometry: start column counted from the right edge and length. Each tick's frame ends in
// the last column.
struct TickShape {
    int fromRight;
    int length;
};
constexpr TickShape kCentimetreTick{62, 60};
constexpr TickShape kHalfCentimetreTick{42, 40};
constexpr TickShape kMillimetreTick{22, 20};

using PixelBuffer = std::array<std::uint8_t, 4>;

constexpr PixelBuffer BufferOf(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// The highest sample at every depth: the engine takes two bytes of the marked grey level for
// 12/16 bits and one or three bytes of white otherwise.
PixelBuffer LightColour(int bitsPerPixel) {
    return BufferOf(bitsPerPixel == 12 || bitsPerPixel == 16 ? COLOR_GRAY16_MARKER | 0xFFFFu
                                                             : 0x00FFFFFFu);
}

// Single-pixel writes through the engine. The engine refuses pixels outside the image, which is
// what keeps ticks near the bottom edge inside the bitmap; runs are cut to the image rows only to
// skip calls that would be refused anyway.
class RulerPainter {
public:
    RulerPainter(BITMAPHANDLE& bitmap, const PixelBuffer& light) : bitmap_(bitmap), light_(light) {}

    void Row(int row, int fromCol, int toCol, bool light) {
        if (row < 0 || row >= bitmap_.Height) return;
        for (int col = fromCol; col <= toCol; ++col) Put(row, col, light);
    }
    void Column(int col, int fromRow, int toRow, bool light) {
        const int first = std::max(fromRow, 0);
        const int last = std::min(toRow, bitmap_.Height - 1);
        for (int row = first; row <= last; ++row) Put(row, col, light);
    }

    // One tick of the given length centred on row y and starting at column x: a dark bar, one
    // row high up to the middle and three rows from there, framed in light. Later writes win.
    void Tick(int x, int y, int length) {
        const int half = length / 2;
        Row(y - 2, x, x + length - 1, true);
        Row(y + 2, x, x + length - 1, true);
        Column(x - 1, y - 2, y + 2, true);
        Column(x + length + 1, y - 2, y + 2, true);
        Row(y - 1, x, x + half, true);
        Row(y + 1, x, x + half, true);
        Row(y, x, x + length, false);
        Row(y - 1, x + half, x + length, false);
        Row(y + 1, x + half, x + length, false);
    }

    void Tick(const TickShape& shape, int y) {
        Tick(bitmap_.Width - shape.fromRight, y, shape.length);
    }

private:
    void Put(int row, int col, bool light) {
        L_PutPixelData(&bitmap_, light ? light_.data() : dark_.data(), row, col, 4);
    }

    BITMAPHANDLE& bitmap_;
    PixelBuffer light_;
    PixelBuffer dark_{};
};

int RowOf(double position) { return CheckedTrunc<int>(std::nearbyint(position)); }

// The rows one pass of the loop draws at; two passes with equal rows draw the same pixels.
struct PassRows {
    int centimetre = 0;
    bool full = false;  // spine and sub-ticks follow the centimetre tick
    int next = 0;
    std::array<int, kSubTicksPerCm> sub{};
    bool operator==(const PassRows&) const = default;
};

// Draws Cm + 1 centimetre ticks from row 25 down, with the spine and the nine smaller ticks
// between each pair, on a bitmap in the top-left view. Positions accumulate in double and are
// rounded ties-to-even only when a row is chosen.
void DrawRuler(BITMAPHANDLE& bitmap, std::int32_t pixPerMeter, std::int32_t cm) {
    RulerPainter painter(bitmap, LightColour(bitmap.BitsPerPixel));
    const double pixPerCm = pixPerMeter / 100.0;
    const double pixPerMm = pixPerMeter / 1000.0;
    const int spineLight = bitmap.Width - 1;
    const int spineDark = bitmap.Width - 2;

    // With fewer than a pixel or so per centimetre, many passes land on the same rows. Repeating
    // the pass just drawn changes no pixel, so it is skipped: the work follows the rows the ruler
    // covers rather than the centimetres asked for.
    PassRows previous;
    bool havePrevious = false;
    double pos = kFirstTickRow;
    for (std::int64_t i = 1; i <= std::int64_t{cm} + 1; ++i) {
        PassRows rows;
        rows.centimetre = RowOf(pos);
        const double next = pos + pixPerCm;
        const bool last = pos > bitmap.Height;
        rows.full = !last && i <= cm;
        if (rows.full) {
            rows.next = RowOf(next);
            double sub = pos + pixPerMm;
            for (int& subRow : rows.sub) {
                subRow = RowOf(sub);
                sub += pixPerMm;
            }
        }
        if (!havePrevious || !(rows == previous)) {
            painter.Tick(kCentimetreTick, rows.centimetre);
            if (rows.full) {
                painter.Column(spineLight, rows.centimetre, rows.next, true);
                for (int k = 1; k <= kSubTicksPerCm; ++k) {
                    painter.Tick(k == kHalfCmSubTick ? kHalfCentimetreTick : kMillimetreTick,
                                 rows.sub[k - 1]);
                }
                painter.Column(spineDark, rows.centimetre, rows.next, false);
            }
            previous = rows;
            havePrevious = true;
        }
        if (last) break;
        pos = next;
    }
}

}  // namespace

// Value: 0 drawn (also for a negative Cm, which draws nothing), -1 refused before anything was
// touched, -2 an error while drawing.
HRESULT TaxLumora::RenderRuler(LONG PixPerMeter, LONG Cm, LONG* Value) {
    return SafeCall([&] {
        // The fit is judged on the image as displayed, which is what the ruler is drawn on once
        // the view is brought to top-left. A scale of zero or less fits nothing.
        const int width = ViewWidth(CurrentBitmap);
        const int height = ViewHeight(CurrentBitmap);
        if (!ImagePresent() || PixPerMeter <= 0 || width < kMinSide || height < kMinSide ||
            Cm >= height / (PixPerMeter / 100.0)) {
            *Value = -1;
            return;
        }
        try {
            if (CurrentBitmap.ViewPerspective != TOP_LEFT) {
                WriteLog("axLumora.RenderRuler, Perspective is wrong: " +
                         std::to_string(CurrentBitmap.ViewPerspective));
                L_ChangeBitmapViewPerspective(nullptr, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE,
                                              TOP_LEFT);
            }
            *Value = 0;
            DrawRuler(CurrentBitmap, PixPerMeter, Cm);
        } catch (...) {
            *Value = -2;
        }
    });
}
