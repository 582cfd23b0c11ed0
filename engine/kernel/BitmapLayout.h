// Geometry rules of engine bitmaps: supported depths, padded row stride and size limits.
#pragma once

#include <cstdint>

#include "engine/Status.h"

namespace engine {

// Larger images are refused before any arithmetic can overflow; 4 GiB keeps every byte offset
// inside 64-bit arithmetic with room to spare and rows inside the 32-bit BytesPerLine field.
constexpr std::int64_t kMaxDimension = std::int64_t{1} << 20;
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{4} << 30;

inline bool IsSupportedDepth(std::int64_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 12 || bits == 16 || bits == 24 ||
           bits == 32;
}

// Bits one pixel occupies in memory: 12-bit samples live in 16-bit words.
inline int StoredBitsPerPixel(int bits) { return bits == 12 ? 16 : bits; }

// Row stride padded to a multiple of 4 bytes, as in a DIB. Arguments must already be in range.
inline std::int64_t PaddedStride(std::int64_t width, int bits) {
    return ((width * StoredBitsPerPixel(bits) + 31) / 32) * 4;
}

// Bytes of a row that hold pixels (the last byte of a packed row may be partly padding).
inline std::int64_t UsedRowBytes(std::int64_t width, int bits) {
    return (width * StoredBitsPerPixel(bits) + 7) / 8;
}

// SUCCESS with stride and total size filled in, ERROR_BITPERPIXEL or ERROR_INV_SIZE.
inline int CheckGeometry(std::int64_t width, std::int64_t height, std::int64_t bits,
                         std::int64_t* stride, std::uint64_t* size) {
    if (!IsSupportedDepth(bits)) return ERROR_BITPERPIXEL;
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        return ERROR_INV_SIZE;
    }
    const std::int64_t rowStride = PaddedStride(width, static_cast<int>(bits));
    const std::uint64_t total =
        static_cast<std::uint64_t>(rowStride) * static_cast<std::uint64_t>(height);
    if (total > kMaxImageBytes) return ERROR_INV_SIZE;
    *stride = rowStride;
    *size = total;
    return SUCCESS;
}

}  // namespace engine
