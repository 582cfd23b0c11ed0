// Shared steps of the raw-frame loaders: replacing the current bitmap by a fresh one of the
// frame's size, and the flag fields they read.
#pragma once

#include <cstdint>
#include <string>

#include "control/cvaxLumoraMain.h"

namespace raw_frame {

// Bits 16–19 of a loader's flag word: the conversion method.
constexpr unsigned Method(std::uint32_t flags) { return (flags >> 16) & 0xF; }

// Frees the current bitmap and re-initialises it (status of the initialisation).
int FreeAndInitialise(BITMAPHANDLE& bitmap);

// Creates the current bitmap width × height (range errors for negative sizes); 16-bit grey or
// 24-bit RGB, top row first. The creation's status is not examined: a size the engine refuses
// leaves the bitmap without pixel memory, which the converters check before writing.
void CreateFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height, bool colour);

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

// Row y of a 16-bit bitmap's pixel memory.
inline std::uint16_t* Row16(const BITMAPHANDLE& bitmap, std::int64_t y) {
    return reinterpret_cast<std::uint16_t*>(bitmap.Addr + y * bitmap.BytesPerLine);
}

}  // namespace raw_frame
