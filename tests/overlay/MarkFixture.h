// Helpers of the overlay tests: images of any depth in a control, their stored samples, and the
// box that a mark changed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

namespace marktest {

// The pixel's stored bytes as L_GetPixelData gives them, little-endian.
inline std::uint32_t Sample(const BITMAPHANDLE& b, int x, int y) {
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(L_GetPixelData(&b, buffer, y, x, 4), SUCCESS) << x << "," << y;
    return buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) | (std::uint32_t{buffer[3]} << 24);
}

// Replaces the control's image by a top-left image whose stored values come from value(x, y).
template <class Fn>
void SetImage(TaxLumora& c, int width, int height, int bits, int order, Fn&& value) {
    L_FreeBitmap(&c.CurrentBitmap);
    ASSERT_EQ(L_CreateBitmap(&c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height,
                             bits, order, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = static_cast<std::uint32_t>(value(x, y));
            const std::uint8_t buffer[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
            ASSERT_EQ(L_PutPixelData(&c.CurrentBitmap, buffer, y, x, 4), SUCCESS);
        }
    }
    c.UpdatePaintRects(true, true, true);
}

inline std::vector<std::uint32_t> Samples(const BITMAPHANDLE& b) {
    std::vector<std::uint32_t> values;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) values.push_back(Sample(b, x, y));
    return values;
}

inline std::uint32_t MaxSample(const BITMAPHANDLE& b) {
    const auto values = Samples(b);
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    bool Empty() const { return right <= left; }
    void Add(int x, int y) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + 1);
        bottom = std::max(bottom, y + 1);
    }
};

// Pixels in [x0, x1) × [y0, y1) whose stored value is not `value`.
inline Box ChangedBox(const BITMAPHANDLE& b, std::uint32_t value, int x0 = 0, int x1 = INT_MAX,
                      int y0 = 0, int y1 = INT_MAX) {
    Box box;
    for (int y = y0; y < std::min(y1, b.Height); ++y)
        for (int x = x0; x < std::min(x1, b.Width); ++x)
            if (Sample(b, x, y) != value) box.Add(x, y);
    return box;
}

inline Box DifferenceBox(const std::vector<std::uint32_t>& before,
                         const std::vector<std::uint32_t>& after, int width) {
    Box box;
    EXPECT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i)
        if (before[i] != after[i]) box.Add(static_cast<int>(i % width), static_cast<int>(i / width));
    return box;
}

}  // namespace marktest
