// The engine's bitmap handle: a plain record the control holds by value. Its pixel memory and
// tables are owned by the engine (see BitmapStorage) and released by L_FreeBitmap; code outside
// the engine that keeps a temporary bitmap uses ScopedBitmap.
#pragma once

#include <cstddef>
#include <cstdint>

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

// The structure size the control passes to every call that takes one.
constexpr unsigned BITMAPHANDLE_STRUCT_SIZE = 164;

// Byte orders (also the values of the type library's ORDER enumeration).
constexpr int ORDER_RGB = 0;   // colour samples R, G, B in memory
constexpr int ORDER_BGR = 1;   // colour samples B, G, R in memory (the DIB order)
constexpr int ORDER_GRAY = 2;  // grey samples
constexpr int ORDER_RGBORGRAY = 3;
constexpr int ORDER_BGRORGRAY = 4;
constexpr int ORDER_ROMM = 5;
constexpr int ORDER_BGRORGRAYORROMM = 6;

// View perspectives, with the TIFF orientation meanings (row 0 / column 0 of memory).
constexpr int TOP_LEFT = 1;
constexpr int TOP_RIGHT = 2;
constexpr int BOTTOM_RIGHT = 3;
constexpr int BOTTOM_LEFT = 4;
constexpr int LEFT_TOP = 5;
constexpr int RIGHT_TOP = 6;
constexpr int RIGHT_BOTTOM = 7;
constexpr int LEFT_BOTTOM = 8;

// Memory types of L_CreateBitmap.
constexpr unsigned TYPE_CONV = 1;  // conventional memory

// L_IsGrayScaleBitmap answers (also the type library's GRAY enumeration).
constexpr int GRAY_NO = 0;
constexpr int GRAY_ORDEREDNORMAL = 1;
constexpr int GRAY_ORDEREDINVERSE = 2;
constexpr int GRAY_NOTORDERED = 3;

// Marks a colour value handed to the single-pixel writes as a 16-bit grey level.
constexpr std::uint32_t COLOR_GRAY16_MARKER = 0x04000000u;

struct BitmapStorage;  // engine-private

struct BITMAPHANDLE {
    std::uint32_t uStructSize;
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t BitsPerPixel;     // 1, 4, 8, 12, 16, 24 or 32; 12-bit samples use 16-bit words
    std::int32_t BytesPerLine;     // row stride, a multiple of 4
    std::int32_t Order;            // ORDER_RGB, ORDER_BGR or ORDER_GRAY
    std::int32_t ViewPerspective;  // 1 … 8
    std::int32_t XResolution;      // dots per inch
    std::int32_t YResolution;
    std::int32_t LowBit;  // significant bits of grey data; HighBit -1: none recorded
    std::int32_t HighBit;
    std::int32_t MinVal;  // minimum and maximum sample value as last recorded
    std::int32_t MaxVal;
    std::int32_t PaintLowBit;  // paint window of 12/16-bit grey data (L_WindowLevel)
    std::int32_t PaintHighBit;
    std::uint32_t LUTLength;  // the bitmap's own lookup table for painting, or none
    RGBQUAD* pLUT;
    std::uint32_t nColors;  // palette of 1/4/8-bit images
    RGBQUAD* pPalette;
    std::uint32_t MemoryType;
    std::uint32_t Flags;     // BITMAP_FLAG_*
    std::uint64_t Size;      // BytesPerLine × Height
    std::uint8_t* Addr;      // pixel memory; null while no image is held
    BitmapStorage* Storage;  // owner of Addr, pLUT and pPalette (engine-private)
};

constexpr std::uint32_t BITMAP_FLAG_INITIALIZED = 0x1;
constexpr std::uint32_t BITMAP_FLAG_ALLOCATED = 0x2;
// The paint window and table were taken from the file's own window when it was loaded.
constexpr std::uint32_t BITMAP_FLAG_FILE_WINDOW = 0x4;

// Width and height as displayed: swapped for view perspectives 5 to 8.
inline bool IsTransposedView(const BITMAPHANDLE& b) { return b.ViewPerspective >= 5; }
inline std::int32_t ViewWidth(const BITMAPHANDLE& b) {
    return IsTransposedView(b) ? b.Height : b.Width;
}
inline std::int32_t ViewHeight(const BITMAPHANDLE& b) {
    return IsTransposedView(b) ? b.Width : b.Height;
}
