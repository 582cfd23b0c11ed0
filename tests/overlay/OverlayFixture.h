// Helpers of the overlay tests: controls holding images of any depth, stored pixel values,
// whole-image snapshots, log lines, and the box that a mark changed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"
#include "tests/engine/TestBitmaps.h"

namespace overlaytest {

// Stored values and their range, as the engine tests read and write them.
using enginetest::MaxStored;
using enginetest::Store;
using enginetest::Stored;

// A control holding a top-left image whose stored values come from value(x, y).
template <class Fn>
ComPtr<IaxLumora> ControlWithImage(int width, int height, int bits, int order, Fn&& value) {
    auto control = NewControl();
    BITMAPHANDLE& bitmap = Impl(control).CurrentBitmap;
    L_FreeBitmap(&bitmap);
    EXPECT_EQ(L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, bits,
                             order, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            Store(bitmap, y, x, static_cast<std::uint32_t>(value(x, y)));
    return control;
}

inline ComPtr<IaxLumora> ControlWithRandomImage(int width, int height, int bits, int order,
                                                std::uint32_t seed = 1) {
    std::mt19937 random(seed);
    const std::uint32_t max = MaxStored(bits);
    return ControlWithImage(width, height, bits, order, [&](int, int) { return random() & max; });
}

// Every stored value of an image, row by row.
struct Snapshot {
    explicit Snapshot(const BITMAPHANDLE& bitmap) : width(bitmap.Width), height(bitmap.Height) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels.push_back(Stored(bitmap, y, x));
    }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Snapshot& other) const {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Captured log lines without their line ends.
inline std::vector<std::string> Lines(const CapturedLog& log) {
    std::vector<std::string> lines;
    for (std::string line : log.lines()) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Stored value of the pixel in column x, row y.
inline std::uint32_t Sample(const BITMAPHANDLE& b, int x, int y) { return Stored(b, y, x); }

// Replaces the control's image by a top-left image whose stored values come from value(x, y).
template <class Fn>
void SetImage(TaxLumora& c, int width, int height, int bits, int order, Fn&& value) {
    L_FreeBitmap(&c.CurrentBitmap);
    ASSERT_EQ(L_CreateBitmap(&c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height,
                             bits, order, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            Store(c.CurrentBitmap, y, x, static_cast<std::uint32_t>(value(x, y)));
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
        if (before[i] != after[i])
            box.Add(static_cast<int>(i % width), static_cast<int>(i / width));
    return box;
}

}  // namespace overlaytest
