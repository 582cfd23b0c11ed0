// Helpers shared by the engine tests: bitmaps of every format filled with known pixels, and
// plain per-pixel references to check kernels against.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"

namespace enginetest {

struct Format {
    int bits;
    int order;
    const char* name;
};

inline const std::vector<Format>& AllFormats() {
    static const std::vector<Format> formats = {
        {1, ORDER_GRAY, "1"},     {4, ORDER_GRAY, "4"},       {8, ORDER_GRAY, "8"},
        {12, ORDER_GRAY, "12"},   {16, ORDER_GRAY, "16grey"}, {16, ORDER_BGR, "16colour"},
        {24, ORDER_BGR, "24bgr"}, {24, ORDER_RGB, "24rgb"},   {32, ORDER_BGR, "32bgr"},
        {32, ORDER_RGB, "32rgb"},
    };
    return formats;
}

struct Size {
    int width;
    int height;
};
// Odd widths so row padding matters, single rows and columns, one pixel.
inline const std::vector<Size>& OddSizes() {
    static const std::vector<Size> sizes = {{1, 1}, {3, 1}, {1, 3}, {2, 2}, {5, 7}, {7, 5}, {9, 4}};
    return sizes;
}

inline std::string Describe(const Format& format, int width, int height) {
    return std::string(format.name) + " " + std::to_string(width) + "x" + std::to_string(height);
}

// Largest stored value of one pixel (an index for palette depths).
inline std::uint32_t MaxStored(int bits) {
    switch (bits) {
        case 12: return 4095;
        case 32: return 0xFFFFFFFFu;
        default: return static_cast<std::uint32_t>((std::uint64_t{1} << bits) - 1);
    }
}

// The pixel's bytes as L_GetPixelData gives them, little-endian.
inline std::uint32_t Stored(const BITMAPHANDLE& bitmap, int row, int col) {
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(L_GetPixelData(&bitmap, buffer, row, col, 4), SUCCESS);
    return buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) | (std::uint32_t{buffer[3]} << 24);
}

inline void Store(BITMAPHANDLE& bitmap, int row, int col, std::uint32_t value) {
    const std::uint8_t buffer[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    ASSERT_EQ(L_PutPixelData(&bitmap, buffer, row, col, 4), SUCCESS);
}

// Holds one created image and frees it; fills it with random stored values.
class TestImage {
public:
    TestImage(const Format& format, int width, int height, std::uint32_t seed = 1,
              const RGBQUAD* palette = nullptr) {
        status_ = L_CreateBitmap(bitmap_.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height,
                                 format.bits, format.order, palette, TOP_LEFT, nullptr, 0);
        EXPECT_EQ(status_, SUCCESS) << Describe(format, width, height);
        std::mt19937 random(seed);
        for (int row = 0; row < height && status_ == SUCCESS; ++row) {
            for (int col = 0; col < width; ++col) {
                Store(*bitmap_, row, col, random() & MaxStored(format.bits));
            }
        }
    }
    BITMAPHANDLE& operator*() { return *bitmap_; }
    BITMAPHANDLE* operator->() { return bitmap_.get(); }
    BITMAPHANDLE* get() { return bitmap_.get(); }
    bool ok() const { return status_ == SUCCESS; }

private:
    ScopedBitmap bitmap_;
    int status_ = FAILURE;
};

// Stored values in memory order, row by row.
inline std::vector<std::uint32_t> Snapshot(const BITMAPHANDLE& bitmap) {
    std::vector<std::uint32_t> values;
    for (int row = 0; row < bitmap.Height; ++row) {
        for (int col = 0; col < bitmap.Width; ++col) values.push_back(Stored(bitmap, row, col));
    }
    return values;
}

// Displayed size and pixel, written from the TIFF 6.0 Orientation table: where memory row 0 and
// column 0 appear on screen.
inline int DisplayedWidth(const BITMAPHANDLE& b) {
    return b.ViewPerspective >= 5 ? b.Height : b.Width;
}
inline int DisplayedHeight(const BITMAPHANDLE& b) {
    return b.ViewPerspective >= 5 ? b.Width : b.Height;
}
inline std::uint32_t Displayed(const BITMAPHANDLE& b, int x, int y) {
    const int lastRow = b.Height - 1, lastCol = b.Width - 1;
    switch (b.ViewPerspective) {
        case TOP_LEFT: return Stored(b, y, x);
        case TOP_RIGHT: return Stored(b, y, lastCol - x);
        case BOTTOM_RIGHT: return Stored(b, lastRow - y, lastCol - x);
        case BOTTOM_LEFT: return Stored(b, lastRow - y, x);
        case LEFT_TOP: return Stored(b, x, y);             // row 0 is the left column
        case RIGHT_TOP: return Stored(b, lastRow - x, y);  // row 0 is the right column
        case RIGHT_BOTTOM: return Stored(b, lastRow - x, lastCol - y);
        case LEFT_BOTTOM: return Stored(b, x, lastCol - y);
    }
    ADD_FAILURE() << "view perspective " << b.ViewPerspective;
    return 0;
}

inline std::vector<std::uint32_t> DisplayedImage(const BITMAPHANDLE& b) {
    std::vector<std::uint32_t> values;
    for (int y = 0; y < DisplayedHeight(b); ++y) {
        for (int x = 0; x < DisplayedWidth(b); ++x) values.push_back(Displayed(b, x, y));
    }
    return values;
}

// Every bit of a row beyond its last pixel is still zero (created images start zeroed).
inline bool PaddingIsZero(const BITMAPHANDLE& b) {
    engine::ConstPixelView view;
    if (engine::AccessPixels(&b, &view) != SUCCESS) return false;
    const int pixelBits = view.bits == 12 ? 16 : view.bits;
    const std::int64_t usedBits = static_cast<std::int64_t>(view.width) * pixelBits;
    for (int row = 0; row < view.height; ++row) {
        const std::uint8_t* bytes = view.RowBytes(row);
        for (std::int64_t bit = usedBits; bit < std::int64_t{view.stride} * 8; ++bit) {
            if (bytes[bit / 8] & (0x80 >> (bit % 8))) return false;
        }
    }
    return true;
}

// A new zeroed image, top-left, no data.
inline int Create(ScopedBitmap& bitmap, unsigned width, unsigned height, unsigned bits,
                  unsigned order, const RGBQUAD* palette = nullptr) {
    return L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, bits,
                          order, palette, TOP_LEFT, nullptr, 0);
}

inline std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

}  // namespace enginetest
