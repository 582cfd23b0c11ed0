// Single pixels, addressed by memory row and column (the view perspective is not applied).
#include <algorithm>
#include <cstring>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/PixelColor.h"

namespace {

template <class Handle, class View>
int Locate(Handle* bitmap, int row, int col, View* view) {
    if (const int status = engine::AccessPixels(bitmap, view); status != SUCCESS) return status;
    if (row < 0 || row >= view->height || col < 0 || col >= view->width) return ERROR_INV_RANGE;
    return SUCCESS;
}

// Bytes one pixel's data takes in a caller's buffer: the index byte for palette depths.
int PixelDataBytes(int bits) { return bits <= 8 ? 1 : (bits == 12 ? 2 : bits / 8); }

}  // namespace

// There is no status channel: a pixel that cannot be read (no image, out of range) reads as 0.
std::uint32_t L_GetPixelColor(const BITMAPHANDLE* bitmap, int row, int col) {
    engine::ConstPixelView view;
    if (Locate(bitmap, row, col, &view) != SUCCESS) return 0;
    return engine::DecodeColor(*bitmap, view.format, engine::ReadStored(view, row, col));
}

int L_PutPixelColor(BITMAPHANDLE* bitmap, int row, int col, std::uint32_t color) {
    engine::PixelView view;
    if (const int status = Locate(bitmap, row, col, &view); status != SUCCESS) return status;
    engine::WriteStored(view, row, col, engine::EncodeColor(*bitmap, view.format, color));
    return SUCCESS;
}

int L_GetPixelData(const BITMAPHANDLE* bitmap, void* buffer, int row, int col, int bufferSize) {
    engine::ConstPixelView view;
    if (const int status = Locate(bitmap, row, col, &view); status != SUCCESS) return status;
    if (buffer == nullptr) return ERROR_INV_PARAMETER;
    const int bytes = PixelDataBytes(view.bits);
    if (bufferSize < bytes) return ERROR_BUFFER_TOO_SMALL;
    const std::uint8_t* rowBytes = view.RowBytes(row);
    if (engine::IsPaletteFormat(view.format)) {
        *static_cast<std::uint8_t*>(buffer) =
            static_cast<std::uint8_t>(engine::ReadIndex(rowBytes, col, view.bits));
    } else {
        std::memcpy(buffer, rowBytes + static_cast<std::ptrdiff_t>(col) * bytes, bytes);
    }
    return SUCCESS;
}

// A 12-bit word above 4095 is clamped: the image keeps valid 12-bit samples and a bright value
// scaled for 16 bits stays bright. Palette indices keep their low bits.
int L_PutPixelData(BITMAPHANDLE* bitmap, const void* buffer, int row, int col, int bufferSize) {
    engine::PixelView view;
    if (const int status = Locate(bitmap, row, col, &view); status != SUCCESS) return status;
    if (buffer == nullptr) return ERROR_INV_PARAMETER;
    const int bytes = PixelDataBytes(view.bits);
    if (bufferSize < bytes) return ERROR_BUFFER_TOO_SMALL;
    std::uint8_t* rowBytes = view.RowBytes(row);
    if (engine::IsPaletteFormat(view.format)) {
        engine::WriteIndex(rowBytes, col, view.bits, *static_cast<const std::uint8_t*>(buffer));
    } else if (view.format == engine::PixelFormat::Gray12) {
        std::uint16_t sample;
        std::memcpy(&sample, buffer, sizeof sample);
        view.Row<std::uint16_t>(row)[col] = std::min<std::uint16_t>(sample, 4095);
    } else {
        std::memcpy(rowBytes + static_cast<std::ptrdiff_t>(col) * bytes, buffer, bytes);
    }
    return SUCCESS;
}
