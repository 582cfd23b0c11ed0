// The pixels that cross between NumPy and the control travel as PNG files: lossless for 8-bit
// grey, 16-bit grey (with the significant bits recorded) and 24-bit colour, which are exactly
// the depths a current image can have in an array. Rows are in the order they are stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace axpy {

struct RasterImage {
    int width = 0;
    int height = 0;
    int channels = 1;         // 1 grey, 3 RGB
    int bitsPerSample = 8;    // 8 or 16
    int significantBits = 8;  // for 16-bit grey: the bits the samples use (values < 2^bits)
    std::vector<std::uint8_t>
        samples;  // rows of width × channels samples, 16-bit ones native-endian

    std::size_t RowBytes() const {
        return static_cast<std::size_t>(width) * channels * (bitsPerSample / 8);
    }
};

// Encodes `image` as PNG (zlib level 1: the file only carries pixels from one call to the next).
// 16-bit grey of fewer significant bits is stored shifted up with an sBIT chunk. Throws
// std::runtime_error on failure.
std::vector<std::uint8_t> EncodePng(const RasterImage& image);

// Decodes a PNG written by the control: grey (8 or 16 bits, sBIT shifted back) or RGB; palette
// and low-depth grey are expanded, alpha is dropped. Throws std::runtime_error on a bad file.
RasterImage DecodePng(const std::uint8_t* data, std::size_t size);

}  // namespace axpy
