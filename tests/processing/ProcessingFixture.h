// Helpers of the processing tests: controls holding a 16-bit grey image, random images with odd
// sizes and padded rows, and an owned copy of a view to compare two kernels on.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "tests/control/ControlFixture.h"
#include "tests/control/RecordingSink.h"

namespace proctest {

// Replaces the control's image by a width × height bitmap filled by value(x, y).
template <class Fn>
void SetImage16(TaxLumora& control, int width, int height, Fn&& value) {
    L_FreeBitmap(&control.CurrentBitmap);
    ASSERT_EQ(L_CreateBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width,
                             height, 16, ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    engine::PixelView image;
    ASSERT_TRUE(engine::AccessPixels16(&control.CurrentBitmap, &image));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.Row16(y)[x] = static_cast<std::uint16_t>(value(x, y));
}

inline std::uint16_t Pixel(const TaxLumora& control, int x, int y) {
    engine::ConstPixelView image;
    EXPECT_EQ(engine::AccessPixels(&control.CurrentBitmap, &image), SUCCESS);
    return image.Row16(y)[x];
}

// An image in its own memory, rows padded by `padding` samples that hold a marker value.
class OwnedImage {
public:
    static constexpr std::uint16_t kPadMarker = 0xBEEF;
    OwnedImage(int width, int height, int padding = 3)
        : width_(width),
          height_(height),
          stride_(width + padding),
          memory_(static_cast<std::size_t>(stride_) * height, kPadMarker) {}

    engine::PixelView view() {
        return engine::Gray16Pixels(memory_.data(), width_, height_,
                                    static_cast<std::ptrdiff_t>(stride_) * 2);
    }
    std::uint16_t& at(int x, int y) { return memory_[static_cast<std::size_t>(y) * stride_ + x]; }
    const std::vector<std::uint16_t>& memory() const { return memory_; }

    template <class Fn>
    void Fill(Fn&& value) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) at(x, y) = static_cast<std::uint16_t>(value(x, y));
    }
    bool PaddingIntact() const {
        for (int y = 0; y < height_; ++y)
            for (int x = width_; x < stride_; ++x)
                if (memory_[static_cast<std::size_t>(y) * stride_ + x] != kPadMarker) return false;
        return true;
    }

private:
    int width_, height_, stride_;
    std::vector<std::uint16_t> memory_;
};

struct Size {
    int width, height;
};
inline const std::vector<Size>& OddSizes() {
    static const std::vector<Size> sizes = {{1, 1},  {3, 1},   {1, 3},  {2, 2}, {5, 7},
                                            {17, 9}, {33, 21}, {61, 5}, {7, 64}};
    return sizes;
}

}  // namespace proctest
