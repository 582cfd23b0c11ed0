// Shared steps of the raw-frame loaders: replacing the current bitmap by a fresh one of the
// frame's size, the flag fields they read, and the row loop that fills the new bitmap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/PixelView.h"

namespace raw_frame {

// A loader's flag word: only its low 32 bits are read, and each loader reads only its own fields.
class FlagWord {
public:
    constexpr explicit FlagWord(std::uint64_t word) : bits_(static_cast<std::uint32_t>(word)) {}
    // Bits 16–19, every loader: the conversion method.
    constexpr unsigned Method() const { return (bits_ >> 16) & 0xF; }
    // Bits 4–7, LoadBuffer: the frame's element width code.
    constexpr unsigned ElementWidth() const { return (bits_ >> 4) & 0xF; }
    // Bit 8, LoadBuffer: a 24-bit colour bitmap instead of 16-bit grey.
    constexpr bool Colour() const { return (bits_ & 0x100) != 0; }
    // Bit 0, LoadBuffer_Crop: turn the finished bitmap upside down.
    constexpr bool Flip() const { return (bits_ & 0x1) != 0; }
    // Bits 0–7, LoadFnRAW: the raw file's layout.
    constexpr unsigned FileLayout() const { return bits_ & 0xFF; }

private:
    std::uint32_t bits_;
};

// Frees the current bitmap and re-initialises it (status of the initialisation).
int FreeAndInitialise(BITMAPHANDLE& bitmap);

// Creates the current bitmap width × height (range errors for negative sizes); 16-bit grey or
// 24-bit RGB, top row first. The creation's status is not examined: a size the engine refuses
// leaves the bitmap without pixel memory, which the converters check before writing.
void CreateFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height, bool colour);

// For a converter that writes every byte of the new image: replaces the current bitmap as
// FreeAndInitialise and CreateFrameBitmap do, except that when the old image has exactly the new
// one's pixel size its memory is kept as it is. A fresh image of a sensor frame's size costs its
// zeroing and page faults on every exposure.
void ReplaceFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height, bool colour);

// Bytes of rows × rowBytes, saturating: a size too large to count reads past any region.
std::uint64_t FrameBytes(std::int64_t rows, std::int64_t rowBytes);

// False, after logging "<logPrefix>, ..." (the member's own prefix), when `bytes` read from
// `address` would run past the end of the known memory region the address lies in (a host's
// buffer, a global memory block). An address in no known region is the caller's promise.
bool FrameFitsKnownRegion(const std::string& logPrefix, const char* frameName,
                          std::uint64_t address, std::uint64_t bytes);

// A host address handed as a 64-bit integer, used whole.
template <class T>
const T* FrameAt(std::uint64_t address) {
    return reinterpret_cast<const T*>(static_cast<std::uintptr_t>(address));
}

// The bitmap's pixels; a view without rows when the record holds no image.
inline engine::PixelView Pixels(BITMAPHANDLE& bitmap) {
    engine::PixelView view;
    if (engine::AccessPixels(&bitmap, &view) != SUCCESS) return engine::PixelView{};
    return view;
}

// The converters' one row loop: fill(row, y) writes the first usedBytes of row y (rows 0 …
// height − 1), and the rest of the row up to the stride is set to 0, so every byte of those rows
// is written.
template <class FillRow>
void WriteRows(BITMAPHANDLE& bitmap, std::size_t usedBytes, std::int64_t height, FillRow fill) {
    const engine::PixelView pixels = Pixels(bitmap);
    const auto stride = static_cast<std::size_t>(pixels.stride);
    for (std::int64_t y = 0; y < std::min<std::int64_t>(height, pixels.height); ++y) {
        std::uint8_t* row = pixels.RowBytes(static_cast<int>(y));
        fill(row, y);
        std::memset(row + usedBytes, 0, stride - usedBytes);
    }
}

// The same for 16-bit grey rows of `width` pixels: fill(row, y) writes row[0 … width − 1].
template <class FillRow>
void WriteGreyRows(BITMAPHANDLE& bitmap, std::int64_t width, std::int64_t height, FillRow fill) {
    WriteRows(
        bitmap, 2 * static_cast<std::size_t>(width), height,
        [&](std::uint8_t* row, std::int64_t y) { fill(reinterpret_cast<std::uint16_t*>(row), y); });
}

}  // namespace raw_frame
