#include <algorithm>
#include <cstring>

#include "engine/Kernel.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelView.h"

namespace {

// Whole bytes take a replicated index; the bits of a last, partly used byte are merged so the
// row's padding bits keep their value.
void FillPackedRows(const engine::PixelView& view, unsigned index) {
    const std::uint8_t pattern =
        view.bits == 1 ? (index ? 0xFF : 0x00) : static_cast<std::uint8_t>((index & 0xF) * 0x11);
    const std::int64_t usedBits = static_cast<std::int64_t>(view.width) * view.bits;
    const auto fullBytes = static_cast<std::size_t>(usedBits / 8);
    const int restBits = static_cast<int>(usedBits % 8);
    const auto restMask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.RowBytes(y);
        std::memset(row, pattern, fullBytes);
        if (restBits != 0) {
            row[fullBytes] =
                static_cast<std::uint8_t>((row[fullBytes] & ~restMask) | (pattern & restMask));
        }
    }
}

}  // namespace

int L_FillBitmap(BITMAPHANDLE* bitmap, std::uint32_t color) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    const std::uint32_t stored = engine::EncodeColor(*bitmap, view.format, color);
    if (engine::IsPackedFormat(view.format)) {
        FillPackedRows(view, stored);
        return SUCCESS;
    }
    engine::VisitPixelUnit(view, [&](auto unit) {
        using Unit = typename decltype(unit)::type;
        const Unit value = engine::UnitFromStored<Unit>(stored);
        for (int y = 0; y < view.height; ++y) std::fill_n(view.Row<Unit>(y), view.width, value);
    });
    return SUCCESS;
}
