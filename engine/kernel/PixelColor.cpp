#include "engine/kernel/PixelColor.h"

#include <algorithm>

#include "engine/kernel/GreyRamp.h"

namespace engine {
namespace {

bool IsGrey(const RGBQUAD& entry) {
    return entry.rgbRed == entry.rgbGreen && entry.rgbGreen == entry.rgbBlue;
}

unsigned RampLevel(unsigned index, int bits) { return GreyRampLevel(index, 1u << bits); }

unsigned NearestPaletteIndex(const BITMAPHANDLE& bitmap, int bits, std::uint32_t color) {
    const unsigned count = 1u << bits;
    std::uint32_t target = color;
    bool greyPalette = true;
    for (unsigned i = 0; i < count && greyPalette; ++i) {
        greyPalette = IsGrey(PaletteEntry(bitmap, bits, i));
    }
    if (greyPalette) {
        const std::uint32_t level = GrayLevelOf(color);
        target = MakeColor(level, level, level);
    }
    unsigned best = 0;
    std::uint32_t bestDistance = UINT32_MAX;
    for (unsigned i = 0; i < count; ++i) {
        const RGBQUAD entry = PaletteEntry(bitmap, bits, i);
        const int dr = static_cast<int>(entry.rgbRed) - static_cast<int>(RedOf(target));
        const int dg = static_cast<int>(entry.rgbGreen) - static_cast<int>(GreenOf(target));
        const int db = static_cast<int>(entry.rgbBlue) - static_cast<int>(BlueOf(target));
        const auto distance = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) break;
        }
    }
    return best;
}

}  // namespace

int ClassifyPalette(const RGBQUAD* palette, std::uint32_t count, int bits) {
    if (palette == nullptr || count == 0) return GRAY_NO;
    bool ascending = count == (1u << bits);
    bool descending = ascending;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!IsGrey(palette[i])) return GRAY_NO;
        if (ascending || descending) {
            ascending = ascending && palette[i].rgbRed == RampLevel(i, bits);
            descending = descending && palette[i].rgbRed == RampLevel(count - 1 - i, bits);
        }
    }
    if (ascending) return GRAY_ORDEREDNORMAL;
    if (descending) return GRAY_ORDEREDINVERSE;
    return GRAY_NOTORDERED;
}

RGBQUAD PaletteEntry(const BITMAPHANDLE& bitmap, int bits, unsigned index) {
    if (bitmap.pPalette != nullptr && index < bitmap.nColors) return bitmap.pPalette[index];
    const auto level =
        static_cast<std::uint8_t>(RampLevel(std::min(index, (1u << bits) - 1), bits));
    return RGBQUAD{level, level, level, 0};
}

std::uint32_t EncodeColor(const BITMAPHANDLE& bitmap, PixelFormat format, std::uint32_t color) {
    const bool marked = (color & COLOR_GRAY16_MARKER) != 0;
    const std::uint32_t level16 = color & 0xFFFFu;
    if (marked && !IsGrayFormat(format)) {
        const std::uint32_t level = Level8From16(level16);
        color = MakeColor(level, level, level);
    }
    const std::uint32_t red = RedOf(color), green = GreenOf(color), blue = BlueOf(color);
    switch (format) {
        case PixelFormat::Gray16: return marked ? level16 : GrayLevelOf(color) * 257;
        case PixelFormat::Gray12:
            return marked ? std::min<std::uint32_t>(level16, 4095)
                          : (GrayLevelOf(color) * 4095 + 127) / 255;
        case PixelFormat::Index8: {
            // Grey ramps, by far the common case, map a grey level straight to its index.
            const std::uint32_t level = GrayLevelOf(color);
            const RGBQUAD direct = PaletteEntry(bitmap, 8, level);
            if (red == green && green == blue && IsGrey(direct) && direct.rgbRed == level) {
                return level;
            }
            return NearestPaletteIndex(bitmap, 8, color);
        }
        case PixelFormat::Index4: return NearestPaletteIndex(bitmap, 4, color);
        case PixelFormat::Index1: return NearestPaletteIndex(bitmap, 1, color);
        case PixelFormat::Rgb555:
            return (Reduce8To5(red) << 10) | (Reduce8To5(green) << 5) | Reduce8To5(blue);
        case PixelFormat::Rgb24:
        case PixelFormat::Rgb32: return red | (green << 8) | (blue << 16);
        case PixelFormat::Bgr24:
        case PixelFormat::Bgr32: return blue | (green << 8) | (red << 16);
    }
    return 0;
}

std::uint32_t DecodeColor(const BITMAPHANDLE& bitmap, PixelFormat format, std::uint32_t stored) {
    switch (format) {
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8: {
            const int bits = format == PixelFormat::Index1   ? 1
                             : format == PixelFormat::Index4 ? 4
                                                             : 8;
            const RGBQUAD entry = PaletteEntry(bitmap, bits, stored);
            return MakeColor(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
        }
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: return (stored & 0xFFFFu) | COLOR_GRAY16_MARKER;
        case PixelFormat::Rgb555:
            return MakeColor(Expand5To8((stored >> 10) & 31), Expand5To8((stored >> 5) & 31),
                             Expand5To8(stored & 31));
        case PixelFormat::Rgb24:
        case PixelFormat::Rgb32: return stored & 0xFFFFFFu;
        case PixelFormat::Bgr24:
        case PixelFormat::Bgr32:
            return MakeColor((stored >> 16) & 0xFF, (stored >> 8) & 0xFF, stored & 0xFF);
    }
    return 0;
}

}  // namespace engine
