// Non-owning views of a bitmap's pixel memory: the one way engine and member code reach pixels,
// and the typed pieces kernels are templated on. The owning record is BITMAPHANDLE; a view is only
// valid while the record holds its image. Get one with AccessPixels, which checks the record.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "engine/Bitmap.h"
#include "engine/Status.h"

namespace engine {

// Memory layout of a pixel, from BitsPerPixel and Order.
enum class PixelFormat {
    Index1,  // palette index, 8 per byte, most significant bit first
    Index4,  // palette index, 2 per byte, high nibble first
    Index8,  // palette index
    Gray12,  // grey sample 0 … 4095 in a 16-bit word
    Gray16,  // grey sample in a 16-bit word
    Rgb555,  // 16-bit DIB colour: bits 14-10 red, 9-5 green, 4-0 blue
    Rgb24,   // bytes R, G, B
    Bgr24,   // bytes B, G, R
    Rgb32,   // bytes R, G, B, unused
    Bgr32,   // bytes B, G, R, unused
};

inline bool IsPaletteFormat(PixelFormat f) {
    return f == PixelFormat::Index1 || f == PixelFormat::Index4 || f == PixelFormat::Index8;
}
inline bool IsGrayFormat(PixelFormat f) {
    return f == PixelFormat::Gray12 || f == PixelFormat::Gray16;
}
inline bool IsPackedFormat(PixelFormat f) {
    return f == PixelFormat::Index1 || f == PixelFormat::Index4;
}

// Three bytes of a 24-bit pixel, so rows can be handled as arrays of whole pixels.
struct Pixel24 {
    std::uint8_t byte[3];
};
static_assert(sizeof(Pixel24) == 3 && alignof(Pixel24) == 1);

template <class Byte>
struct BasicPixelView {
    static_assert(std::is_same_v<std::remove_const_t<Byte>, std::uint8_t>);

    int width = 0;
    int height = 0;
    int bits = 0;  // BitsPerPixel (12 for 12-bit data, stored in 16-bit words)
    PixelFormat format = PixelFormat::Index8;
    std::ptrdiff_t stride = 0;
    Byte* data = nullptr;

    Byte* RowBytes(int y) const {
        assert(y >= 0 && y < height);
        return data + static_cast<std::ptrdiff_t>(y) * stride;
    }

    // Row y as whole pixels of type Unit; the unit must match the depth.
    template <class Unit>
    auto Row(int y) const {
        assert(sizeof(Unit) * 8 == static_cast<std::size_t>(bits == 12 ? 16 : bits));
        using Target = std::conditional_t<std::is_const_v<Byte>, const Unit, Unit>;
        return reinterpret_cast<Target*>(RowBytes(y));
    }

    // Row y of a 16-bit view as words (12- and 16-bit grey, 16-bit colour).
    auto Row16(int y) const { return Row<std::uint16_t>(y); }

    // The top-left width × height pixels of this view, same rows and stride.
    BasicPixelView Corner(int cornerWidth, int cornerHeight) const {
        assert(cornerWidth >= 0 && cornerWidth <= width && cornerHeight >= 0 &&
               cornerHeight <= height);
        return BasicPixelView{cornerWidth, cornerHeight, bits, format, stride, data};
    }
};

using PixelView = BasicPixelView<std::uint8_t>;
using ConstPixelView = BasicPixelView<const std::uint8_t>;

// Views of a bitmap's image after checking that the record describes a live engine image whose
// rows all lie inside its storage. SUCCESS, ERROR_NO_BITMAP, ERROR_BITPERPIXEL, ERROR_INV_SIZE
// or ERROR_INV_ORDER.
int AccessPixels(BITMAPHANDLE* bitmap, PixelView* view);
int AccessPixels(const BITMAPHANDLE* bitmap, ConstPixelView* view);

// The same for a bitmap of 16 bits per pixel, whose rows are then read as words; false for any
// other depth or a record AccessPixels refuses.
inline bool AccessPixels16(BITMAPHANDLE* bitmap, PixelView* view) {
    return AccessPixels(bitmap, view) == SUCCESS && view->bits == 16;
}

// A 16-bit grey view over memory the caller vouches for (a host's buffer, a test frame):
// width × height words, rows stride bytes apart.
inline PixelView Gray16Pixels(void* data, int width, int height, std::ptrdiff_t stride) {
    return PixelView{
        width, height, 16, PixelFormat::Gray16, stride, static_cast<std::uint8_t*>(data)};
}

// Palette index of pixel x in a packed or 8-bit row.
inline unsigned ReadIndex(const std::uint8_t* row, int x, int bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu;
        default: return row[x];
    }
}

inline void WriteIndex(std::uint8_t* row, int x, int bits, unsigned index) {
    switch (bits) {
        case 1: {
            const unsigned shift = 7 - (x & 7);
            row[x >> 3] =
                static_cast<std::uint8_t>((row[x >> 3] & ~(1u << shift)) | ((index & 1u) << shift));
            break;
        }
        case 4: {
            const unsigned shift = (x & 1) ? 0 : 4;
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & ~(0xFu << shift)) |
                                                    ((index & 0xFu) << shift));
            break;
        }
        default: row[x] = static_cast<std::uint8_t>(index); break;
    }
}

// A pixel's stored value as one number: the index, the 16-bit word, or the pixel's bytes in
// memory order packed little-endian (first byte lowest) for 24 and 32 bits.
template <class Unit>
inline Unit UnitFromStored(std::uint32_t value) {
    if constexpr (std::is_same_v<Unit, Pixel24>) {
        return Pixel24{{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value >> 16)}};
    } else if constexpr (std::is_same_v<Unit, std::uint32_t>) {
        const std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        Unit unit;
        std::memcpy(&unit, bytes, sizeof unit);
        return unit;
    } else {
        return static_cast<Unit>(value);
    }
}

template <class Unit>
inline std::uint32_t StoredFromUnit(const Unit& unit) {
    if constexpr (std::is_same_v<Unit, Pixel24>) {
        return unit.byte[0] | (unit.byte[1] << 8) | (std::uint32_t{unit.byte[2]} << 16);
    } else if constexpr (std::is_same_v<Unit, std::uint32_t>) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, &unit, sizeof unit);
        return bytes[0] | (bytes[1] << 8) | (std::uint32_t{bytes[2]} << 16) |
               (std::uint32_t{bytes[3]} << 24);
    } else {
        return unit;
    }
}

// Calls fn(std::type_identity<Unit>{}) with the whole-pixel type of an unpacked view: uint8_t,
// uint16_t, Pixel24 or uint32_t. Packed formats must be handled before.
template <class View, class Fn>
decltype(auto) VisitPixelUnit(const View& view, Fn&& fn) {
    switch (view.bits) {
        case 8: return fn(std::type_identity<std::uint8_t>{});
        case 12:
        case 16: return fn(std::type_identity<std::uint16_t>{});
        case 24: return fn(std::type_identity<Pixel24>{});
        default: assert(view.bits == 32); return fn(std::type_identity<std::uint32_t>{});
    }
}

}  // namespace engine
