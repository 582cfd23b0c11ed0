// Conversions between colour values 0x00BBGGRR and the stored representation of a pixel, and
// the classification of palettes as grey ramps. Shared by fills and single-pixel access.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"

namespace engine {

inline std::uint32_t RedOf(std::uint32_t color) { return color & 0xFFu; }
inline std::uint32_t GreenOf(std::uint32_t color) { return (color >> 8) & 0xFFu; }
inline std::uint32_t BlueOf(std::uint32_t color) { return (color >> 16) & 0xFFu; }
inline std::uint32_t MakeColor(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

// Luma of ITU-R BT.601 rounded to an 8-bit level; exact for grey colours.
inline std::uint32_t GrayLevelOf(std::uint32_t color) {
    return (299 * RedOf(color) + 587 * GreenOf(color) + 114 * BlueOf(color) + 500) / 1000;
}

// 8-bit level of a 16-bit level, the inverse of level × 257.
inline std::uint32_t Level8From16(std::uint32_t level16) { return (level16 + 128) / 257; }

inline std::uint32_t Expand5To8(std::uint32_t v) { return (v << 3) | (v >> 2); }
inline std::uint32_t Reduce8To5(std::uint32_t v) { return (v * 31 + 127) / 255; }

// GRAY_ORDEREDNORMAL for the ascending ramp of 2^bits evenly spaced greys (0 … 255),
// GRAY_ORDEREDINVERSE for the descending one, GRAY_NOTORDERED when every entry is grey, GRAY_NO.
int ClassifyPalette(const RGBQUAD* palette, std::uint32_t count, int bits);

// Palette entry of an index; images without a palette (or a short one) read as the grey ramp.
RGBQUAD PaletteEntry(const BITMAPHANDLE& bitmap, int bits, unsigned index);

// Stored value (see UnitFromStored) that represents colour in the bitmap's format. With
// COLOR_GRAY16_MARKER the low 16 bits are a 16-bit grey level: the sample itself for 12/16-bit
// grey (clamped to 4095 for 12 bits), scaled to 8 bits for every other format.
std::uint32_t EncodeColor(const BITMAPHANDLE& bitmap, PixelFormat format, std::uint32_t color);

// Colour 0x00BBGGRR of a stored value; 12/16-bit grey samples come back with the marker.
std::uint32_t DecodeColor(const BITMAPHANDLE& bitmap, PixelFormat format, std::uint32_t stored);

// Stored value of the pixel at (row, col), coordinates already checked.
template <class View>
std::uint32_t ReadStored(const View& view, int row, int col) {
    const auto* bytes = view.RowBytes(row);
    if (IsPaletteFormat(view.format)) return ReadIndex(bytes, col, view.bits);
    return VisitPixelUnit(view, [&](auto unit) -> std::uint32_t {
        using Unit = typename decltype(unit)::type;
        return StoredFromUnit(view.template Row<Unit>(row)[col]);
    });
}

inline void WriteStored(const PixelView& view, int row, int col, std::uint32_t value) {
    if (IsPaletteFormat(view.format)) {
        WriteIndex(view.RowBytes(row), col, view.bits, value);
        return;
    }
    VisitPixelUnit(view, [&](auto unit) {
        using Unit = typename decltype(unit)::type;
        view.template Row<Unit>(row)[col] = UnitFromStored<Unit>(value);
    });
}

}  // namespace engine
