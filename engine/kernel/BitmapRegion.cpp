// Rectangular regions of a bitmap, kept with its storage in memory coordinates so that the
// region stays on the same pixels whatever view perspective the bitmap is shown in later.
#include <algorithm>
#include <memory>
#include <new>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/DisplayTransform.h"
#include "engine/kernel/Region.h"
#include "platform/gdi/Gdi.h"

namespace engine {
namespace {

bool Holds(RegionOp op, bool inThis, bool inOther) {
    switch (op) {
        case RegionOp::And: return inThis && inOther;
        case RegionOp::Or: return inThis || inOther;
        case RegionOp::Xor: return inThis != inOther;
        case RegionOp::Minus: return inThis && !inOther;
    }
    return false;
}

// Spans where op holds, from two sorted span lists: a sweep over every edge of both.
std::vector<RegionSpan> CombineSpans(const std::vector<RegionSpan>& a,
                                     const std::vector<RegionSpan>& b, RegionOp op) {
    std::vector<std::int32_t> edges;
    edges.reserve(2 * (a.size() + b.size()));
    for (const RegionSpan& span : a) edges.insert(edges.end(), {span.left, span.right});
    for (const RegionSpan& span : b) edges.insert(edges.end(), {span.left, span.right});
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    std::vector<RegionSpan> result;
    std::size_t ia = 0, ib = 0;
    for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
        const std::int32_t left = edges[e], right = edges[e + 1];
        while (ia < a.size() && a[ia].right <= left) ++ia;
        while (ib < b.size() && b[ib].right <= left) ++ib;
        const bool inA = ia < a.size() && a[ia].left <= left;
        const bool inB = ib < b.size() && b[ib].left <= left;
        if (!Holds(op, inA, inB)) continue;
        if (!result.empty() && result.back().right == left) {
            result.back().right = right;
        } else {
            result.push_back({left, right});
        }
    }
    return result;
}

const std::vector<RegionSpan>* SpansAt(const std::vector<RegionBand>& bands, std::size_t& cursor,
                                       std::int32_t row) {
    while (cursor < bands.size() && bands[cursor].bottom <= row) ++cursor;
    if (cursor < bands.size() && bands[cursor].top <= row) return &bands[cursor].spans;
    return nullptr;
}

}  // namespace

Region Region::Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                         std::int32_t bottom) {
    Region region;
    if (left < right && top < bottom) region.bands_.push_back({top, bottom, {{left, right}}});
    return region;
}

Region Region::Combine(const Region& other, RegionOp op) const {
    std::vector<std::int32_t> rows;
    for (const auto* bands : {&bands_, &other.bands_}) {
        for (const RegionBand& band : *bands) rows.insert(rows.end(), {band.top, band.bottom});
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    static const std::vector<RegionSpan> kNone;
    Region result;
    std::size_t cursorThis = 0, cursorOther = 0;
    for (std::size_t r = 0; r + 1 < rows.size(); ++r) {
        const std::vector<RegionSpan>* mine = SpansAt(bands_, cursorThis, rows[r]);
        const std::vector<RegionSpan>* theirs = SpansAt(other.bands_, cursorOther, rows[r]);
        std::vector<RegionSpan> spans =
            CombineSpans(mine ? *mine : kNone, theirs ? *theirs : kNone, op);
        if (spans.empty()) continue;
        std::vector<RegionBand>& out = result.bands_;
        if (!out.empty() && out.back().bottom == rows[r] && out.back().spans == spans) {
            out.back().bottom = rows[r + 1];
        } else {
            out.push_back({rows[r], rows[r + 1], std::move(spans)});
        }
    }
    return result;
}

bool Region::Contains(std::int32_t row, std::int32_t col) const {
    for (const RegionBand& band : bands_) {
        if (row < band.top || row >= band.bottom) continue;
        for (const RegionSpan& span : band.spans) {
            if (col >= span.left && col < span.right) return true;
        }
    }
    return false;
}

}  // namespace engine

namespace {

// The displayed rectangle cut to the displayed image, as a rectangle of memory pixels.
engine::Region MemoryRectangle(const BITMAPHANDLE& bitmap, const RECT& rect) {
    const std::int64_t shownWidth = ViewWidth(bitmap), shownHeight = ViewHeight(bitmap);
    const std::int64_t left = std::max<std::int64_t>(rect.left, 0);
    const std::int64_t top = std::max<std::int64_t>(rect.top, 0);
    const std::int64_t right = std::min<std::int64_t>(rect.right, shownWidth);
    const std::int64_t bottom = std::min<std::int64_t>(rect.bottom, shownHeight);
    if (left >= right || top >= bottom) return {};
    const engine::GridMap toMemory =
        engine::DisplayToMemory(bitmap.ViewPerspective, bitmap.Width, bitmap.Height);
    const auto [row0, col0] = toMemory(left, top);
    const auto [row1, col1] = toMemory(right - 1, bottom - 1);
    return engine::Region::Rectangle(static_cast<std::int32_t>(std::min(col0, col1)),
                                     static_cast<std::int32_t>(std::min(row0, row1)),
                                     static_cast<std::int32_t>(std::max(col0, col1) + 1),
                                     static_cast<std::int32_t>(std::max(row0, row1) + 1));
}

}  // namespace

int L_SetBitmapRgnRect(BITMAPHANDLE* bitmap, const void* transform, const RECT* rect,
                       unsigned mode) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (rect == nullptr || mode > L_RGN_SETNOT) return ERROR_INV_PARAMETER;
    // Only the identity is known here; a transform we ignored would put the region elsewhere.
    if (transform != nullptr) return ERROR_FEATURE_NOT_SUPPORTED;
    if (!engine::IsValidViewPerspective(bitmap->ViewPerspective)) {
        return ERROR_INV_VIEW_PERSPECTIVE;
    }

    try {
        const engine::Region shape = MemoryRectangle(*bitmap, *rect);
        const std::shared_ptr<const engine::Region> held = engine::RegionOf(*bitmap);
        // A bitmap without a region combines as an empty one.
        const engine::Region current = held ? *held : engine::Region{};
        engine::Region next;
        switch (mode) {
            case L_RGN_AND: next = current.Combine(shape, engine::RegionOp::And); break;
            case L_RGN_SET: next = shape; break;
            case L_RGN_ANDNOTBITMAP: next = shape.Combine(current, engine::RegionOp::Minus); break;
            case L_RGN_ANDNOTRGN: next = current.Combine(shape, engine::RegionOp::Minus); break;
            case L_RGN_OR: next = current.Combine(shape, engine::RegionOp::Or); break;
            case L_RGN_XOR: next = current.Combine(shape, engine::RegionOp::Xor); break;
            default:  // L_RGN_SETNOT
                next = engine::Region::Rectangle(0, 0, view.width, view.height)
                           .Combine(shape, engine::RegionOp::Minus);
                break;
        }
        if (!engine::SetRegion(*bitmap, std::make_shared<const engine::Region>(std::move(next)))) {
            return ERROR_NO_BITMAP;
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}

int L_FreeBitmapRgn(BITMAPHANDLE* bitmap) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (!engine::SetRegion(*bitmap, nullptr)) return ERROR_NO_BITMAP;
    return SUCCESS;
}

int L_BitmapHasRgn(const BITMAPHANDLE* bitmap) {
    return bitmap != nullptr && engine::RegionOf(*bitmap) != nullptr ? 1 : 0;
}
