// WriteStamp: a reduced copy of the current bitmap, at most 56 pixels wide and 80 high, saved as an
// 8-bit bitmap file. The current bitmap is not changed.
#include <cmath>
#include <stdexcept>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "io/FileIo.h"

namespace {

constexpr int kStampWidth = 56;
constexpr int kStampHeight = 80;
// Height/width × 1000 of a 56 × 80 stamp: taller images are fitted to the height instead.
constexpr double kTallestFittedToWidth = 1429;

struct StampSize {
    int width;
    int height;
};

int RoundHalfEven(double value) { return CheckedTrunc<int>(std::nearbyint(value)); }

// Sizes of the stored pixel memory, as the resize works on it. A side that rounds to 0 becomes 1.
StampSize StampSizeOf(int width, int height) {
    if (width == 0 || height == 0) throw std::domain_error("Floating point division by zero");
    const int aspect = RoundHalfEven(CheckedMul(height, 1000) / static_cast<double>(width));
    StampSize size{};
    if (aspect <= kTallestFittedToWidth) {
        size.width = kStampWidth;
        size.height = RoundHalfEven(CheckedMul(height, kStampWidth) / static_cast<double>(width));
    } else {
        size.height = kStampHeight;
        size.width = RoundHalfEven(CheckedMul(width, kStampHeight) / static_cast<double>(height));
    }
    if (size.width == 0) size.width = 1;
    if (size.height == 0) size.height = 1;
    return size;
}

}  // namespace

// Value: the engine's result of saving (1 is success). Each failing step is logged by its number
// and the next is tried; any error, no image included (nothing to measure), gives -1.
HRESULT TaxLumora::WriteStamp(BSTR StampFn, LONG* Value) {
    return SafeCall([&] {
        *Value = 1;
        InnerHandler(
            *Value,
            [&] {
                ScopedBitmap copy;
                int result = L_CopyBitmap(copy.get(), &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE);
                if (result != SUCCESS) {
                    WriteLog("axLumora.WriteStamp, {1}Result -> :" + std::to_string(result));
                }
                const StampSize size = StampSizeOf(copy->Width, copy->Height);
                result = L_SizeBitmap(copy.get(), size.width, size.height, SIZE_FLAG_RESAMPLE);
                if (result != SUCCESS) {
                    WriteLog("axLumora.WriteStamp, {2}Result -> :" + std::to_string(result));
                }
                // All 16 bits count when the samples are reduced to 8.
                if (copy->BitsPerPixel == 16) {
                    copy->LowBit = 0;
                    copy->HighBit = 15;
                }
                const std::string name = io::EngineFileName(StampFn);
                *Value = L_SaveBitmap(name.c_str(), copy.get(), filefmt::FILE_BMP, 8, -1, nullptr);
                if (*Value != SUCCESS) {
                    WriteLog("axLumora.WriteStamp, {3}Result -> :" + std::to_string(*Value));
                }
            },
            LogCaughtError("WriteStamp"));
    });
}
