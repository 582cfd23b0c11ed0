#include "io/RawFrame.h"

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
// The loaders are the one place outside the engine that renews an image in place.
#include "engine/kernel/BitmapStorage.h"
#include "platform/handles/MemoryRegions.h"

namespace raw_frame {

int FreeAndInitialise(BITMAPHANDLE& bitmap) {
    L_FreeBitmap(&bitmap);
    return L_InitBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
}

void CreateFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height, bool colour) {
    L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, CheckedUnsigned(width),
                   CheckedUnsigned(height), colour ? 24 : 16, colour ? ORDER_RGB : ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
}

void ReplaceFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height,
                        bool colour) {
    if (width > 0 && height > 0) {
        engine::ImageSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bits = colour ? 24 : 16;
        spec.order = colour ? ORDER_RGB : ORDER_GRAY;
        spec.viewPerspective = TOP_LEFT;
        if (engine::RenewImage(spec, &bitmap)) {
            // What L_CreateBitmap records besides: the significant bits of grey data and the
            // value range.
            if (!colour) {
                bitmap.LowBit = 0;
                bitmap.HighBit = 15;
            }
            bitmap.MinVal = 0;
            bitmap.MaxVal = colour ? 255 : 65535;
            return;
        }
    }
    FreeAndInitialise(bitmap);
    CreateFrameBitmap(bitmap, width, height, colour);
}

std::uint64_t FrameBytes(std::int64_t rows, std::int64_t rowBytes) {
    if (rows <= 0 || rowBytes <= 0) return 0;
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(rows),
                               static_cast<std::uint64_t>(rowBytes), &bytes))
        return UINT64_MAX;
    return bytes;
}

bool FrameFitsKnownRegion(const std::string& logPrefix, const char* frameName,
                          std::uint64_t address, std::uint64_t bytes) {
    std::uint64_t start = 0;
    std::size_t size = 0;
    if (bytes == 0 || !KnownRegion(address, &start, &size)) return true;
    const std::uint64_t available = size - (address - start);
    if (bytes <= available) return true;
    WriteLog(logPrefix + ", " + frameName + " needs " + std::to_string(bytes) +
             " bytes, but its buffer holds only " + std::to_string(available) + " from $" +
             HexUpper(address, 8));
    return false;
}

}  // namespace raw_frame
