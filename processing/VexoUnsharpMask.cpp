#include "processing/VexoUnsharpMask.h"

#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"

namespace vexo {

namespace {

struct Range {
    std::uint16_t lo;
    std::uint16_t hi;
};

Range ScanRange(const Gray16Image& image) {
    Range range{image.Row(0)[0], image.Row(0)[0]};
    for (int y = 0; y < image.height; ++y) {
        const std::uint16_t* row = image.Row(y);
        for (int x = 0; x < image.width; ++x) {
            if (row[x] < range.lo) range.lo = row[x];
            if (row[x] > range.hi) range.hi = row[x];
        }
    }
    return range;
}

double StretchScale(Range range) {
    return static_cast<double>(65535.0L / (static_cast<long double>(range.hi - range.lo) + 0.01L));
}

// Rounds to nearest, ties to even, in the current (default) rounding mode.
inline long double RoundEven(long double value) { return std::nearbyint(value); }

inline std::uint16_t StretchOne(std::uint16_t v, Range range, double scale) {
    return static_cast<std::uint16_t>(RoundEven(static_cast<long double>(v - range.lo) * scale));
}

inline std::uint16_t ClampToSample(long double value) {
    if (value < 0) return 0;
    if (value > 65535) return 65535;
    return static_cast<std::uint16_t>(value);
}

inline std::uint16_t SubtractOne(std::uint16_t v, std::uint16_t b, double f, double g) {
    const long double out =
        (static_cast<long double>(v) - static_cast<long double>(b) * f) / g;
    return ClampToSample(RoundEven(out));
}

}  // namespace

void StretchToFullRangeReference(const Gray16Image& image) {
    if (image.width <= 0 || image.height <= 0) return;
    const Range range = ScanRange(image);
    const double scale = StretchScale(range);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row(y);
        for (int x = 0; x < image.width; ++x) row[x] = StretchOne(row[x], range, scale);
    }
}

// Every pixel takes one of at most 65536 levels: evaluate each level once, then look up.
void StretchToFullRange(const Gray16Image& image) {
    if (image.width <= 0 || image.height <= 0) return;
    const Range range = ScanRange(image);
    const double scale = StretchScale(range);
    std::vector<std::uint16_t> table(range.hi - range.lo + 1u);
    for (unsigned v = range.lo; v <= range.hi; ++v) {
        table[v - range.lo] = StretchOne(static_cast<std::uint16_t>(v), range, scale);
    }
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row(y);
        for (int x = 0; x < image.width; ++x) row[x] = table[row[x] - range.lo];
    }
}

void SubtractBlurredReference(const Gray16Image& image, const Gray16Image& blurred, int fract) {
    const double f = fract / 10.0;
    const double g = 1.0 - f;
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row(y);
        const std::uint16_t* blur = blurred.Row(y);
        for (int x = 0; x < image.width; ++x) row[x] = SubtractOne(row[x], blur[x], f, g);
    }
}

// In double the quotient lies within a few units in the last place of the extended one; only
// where that band reaches a rounding boundary (a half) is the extended evaluation run.
void SubtractBlurred(const Gray16Image& image, const Gray16Image& blurred, int fract) {
    const double f = fract / 10.0;
    const double g = 1.0 - f;
    const double relative = 0x1p-46 / std::abs(g);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row(y);
        const std::uint16_t* blur = blurred.Row(y);
        for (int x = 0; x < image.width; ++x) {
            const double v = row[x], b = blur[x];
            const double out = (v - b * f) / g;
            const double nearest = std::nearbyint(out);
            const double margin = (v + b * std::abs(f)) * relative + 0x1p-60;
            const double fromHalf = std::abs(std::abs(out - nearest) - 0.5);
            if (fromHalf <= margin) {
                row[x] = SubtractOne(row[x], blur[x], f, g);
            } else {
                row[x] = nearest < 0 ? 0 : nearest > 65535 ? 65535 : static_cast<std::uint16_t>(nearest);
            }
        }
    }
}

bool ApplyUnsharpMask(BITMAPHANDLE* bitmap, int fract, int radius) {
    Gray16Image image;
    if (!Gray16View(*bitmap, &image) || image.width == 0 || image.height == 0) return false;
    StretchToFullRange(image);
    ScopedBitmap copy;
    L_CopyBitmap(copy.get(), bitmap, BITMAPHANDLE_STRUCT_SIZE);
    Gray16Image blurred;
    if (!Gray16View(*copy, &blurred) || blurred.width != image.width ||
        blurred.height != image.height) {
        throw std::bad_alloc();  // the copy could not be made
    }
    L_AverageFilterBitmap(copy.get(), radius);
    SubtractBlurred(image, blurred, fract);
    return true;
}

}  // namespace vexo

HRESULT TaxLumora::UnsharpMask(LONG iFract, LONG iRadius, SHORT* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (CurrentBitmap.BitsPerPixel != 16) return;
        // 10 would divide by zero (subtracting the whole blurred copy): refused like the
        // out-of-range values.
        if (iFract < 0 || iFract > 255 || iFract == 10 || iRadius < -32768 || iRadius > 32767) {
            *Value = -1;
            return;
        }
        InnerHandler(*Value, [&] {
            if (!vexo::ApplyUnsharpMask(&CurrentBitmap, iFract, iRadius)) {
                *Value = -1;
                return;
            }
            RefreshPaintPalette(false);
            *Value = 1;
        }, LogCaughtError("UnsharpMask"));
    });
}
