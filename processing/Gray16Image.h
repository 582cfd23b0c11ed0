// A non-owning view of 16-bit grey pixel memory for the control's own pixel code: width ×
// height samples, rows `stride` bytes apart. Only the first `width` samples of a row are pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Bitmap.h"

struct Gray16Image {
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    std::uint16_t* Row(int y) const {
        return reinterpret_cast<std::uint16_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    }
};

// The first `width` × `height` samples of a bitmap's memory as 16-bit words, when the bitmap
// holds an image of 16 bits per pixel whose rows and memory cover that many. False otherwise;
// nothing outside the image can then be reached through the view.
inline bool Gray16View(const BITMAPHANDLE& bitmap, int width, int height, Gray16Image* view) {
    if (bitmap.Addr == nullptr || bitmap.BitsPerPixel != 16) return false;
    if (width < 0 || height < 0 || width > bitmap.Width || height > bitmap.Height) return false;
    if (bitmap.BytesPerLine < 0 ||
        static_cast<std::int64_t>(bitmap.BytesPerLine) < std::int64_t{bitmap.Width} * 2 ||
        bitmap.Size < static_cast<std::uint64_t>(bitmap.BytesPerLine) *
                          static_cast<std::uint64_t>(bitmap.Height)) {
        return false;
    }
    *view = Gray16Image{bitmap.Addr, width, height, bitmap.BytesPerLine};
    return true;
}

inline bool Gray16View(const BITMAPHANDLE& bitmap, Gray16Image* view) {
    return Gray16View(bitmap, bitmap.Width, bitmap.Height, view);
}
