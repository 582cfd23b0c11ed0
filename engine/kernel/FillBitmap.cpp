#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/Region.h"

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

// fn(row, left, right) for each run of the region's pixels inside the image. The region is cut to
// the image: it may have been set on a bitmap of the same storage but another geometry.
template <class Fn>
void ForEachRegionRun(const engine::Region& region, int width, int height, Fn&& fn) {
    for (const engine::RegionBand& band : region.Bands()) {
        const int top = std::max(band.top, 0), bottom = std::min(band.bottom, height);
        for (const engine::RegionSpan& span : band.spans) {
            const int left = std::max(span.left, 0), right = std::min(span.right, width);
            if (left >= right) continue;
            for (int y = top; y < bottom; ++y) fn(y, left, right);
        }
    }
}

}  // namespace

int L_FillBitmap(BITMAPHANDLE* bitmap, std::uint32_t color) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    const std::uint32_t stored = engine::EncodeColor(*bitmap, view.format, color);
    // A region set on the bitmap limits the fill to its pixels.
    const std::shared_ptr<const engine::Region> region = engine::RegionOf(*bitmap);
    if (engine::IsPackedFormat(view.format)) {
        if (!region) {
            FillPackedRows(view, stored);
            return SUCCESS;
        }
        ForEachRegionRun(*region, view.width, view.height, [&](int y, int left, int right) {
            std::uint8_t* row = view.RowBytes(y);
            for (int x = left; x < right; ++x) engine::WriteIndex(row, x, view.bits, stored);
        });
        return SUCCESS;
    }
    engine::VisitPixelUnit(view, [&](auto unit) {
        using Unit = typename decltype(unit)::type;
        const Unit value = engine::UnitFromStored<Unit>(stored);
        if (!region) {
            for (int y = 0; y < view.height; ++y) std::fill_n(view.Row<Unit>(y), view.width, value);
            return;
        }
        ForEachRegionRun(*region, view.width, view.height, [&](int y, int left, int right) {
            std::fill_n(view.Row<Unit>(y) + left, right - left, value);
        });
    });
    return SUCCESS;
}
