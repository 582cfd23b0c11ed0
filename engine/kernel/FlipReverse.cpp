#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapLayout.h"

int L_FlipBitmap(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    try {
        std::vector<std::uint8_t> spare(static_cast<std::size_t>(view.stride));
        for (int top = 0, bottom = view.height - 1; top < bottom; ++top, --bottom) {
            std::uint8_t* upper = view.RowBytes(top);
            std::uint8_t* lower = view.RowBytes(bottom);
            std::memcpy(spare.data(), upper, spare.size());
            std::memcpy(upper, lower, spare.size());
            std::memcpy(lower, spare.data(), spare.size());
        }
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

namespace {

// Packed rows are rebuilt in a copy of the row so the padding bits of the last byte stay put.
int ReversePackedRows(const engine::PixelView& view) {
    try {
        const auto used = static_cast<std::size_t>(engine::UsedRowBytes(view.width, view.bits));
        std::vector<std::uint8_t> mirrored(used);
        for (int y = 0; y < view.height; ++y) {
            std::uint8_t* row = view.RowBytes(y);
            std::copy_n(row, used, mirrored.begin());
            for (int x = 0; x < view.width; ++x) {
                engine::WriteIndex(mirrored.data(), view.width - 1 - x, view.bits,
                                   engine::ReadIndex(row, x, view.bits));
            }
            std::copy(mirrored.begin(), mirrored.end(), row);
        }
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

}  // namespace

int L_ReverseBitmap(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (engine::IsPackedFormat(view.format)) return ReversePackedRows(view);
    engine::VisitPixelUnit(view, [&](auto unit) {
        using Unit = typename decltype(unit)::type;
        for (int y = 0; y < view.height; ++y) {
            Unit* row = view.Row<Unit>(y);
            std::reverse(row, row + view.width);
        }
    });
    return SUCCESS;
}
