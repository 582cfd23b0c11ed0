#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/DisplayTransform.h"

int L_RotateBitmapViewPerspective(BITMAPHANDLE* bitmap, int angle) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (angle % 90 != 0) return ERROR_INV_PARAMETER;
    if (!engine::IsValidViewPerspective(bitmap->ViewPerspective)) return ERROR_INV_VIEW_PERSPECTIVE;

    const int quarterTurns = ((angle / 90) % 4 + 4) % 4;
    // Only the linear part decides the perspective, so the sizes used here do not matter.
    const std::int64_t width = std::max(bitmap->Width, 1), height = std::max(bitmap->Height, 1);
    engine::GridMap toMemory = engine::DisplayToMemory(bitmap->ViewPerspective, width, height);
    const bool transposed = bitmap->ViewPerspective >= LEFT_TOP;
    std::int64_t shownWidth = transposed ? height : width;
    std::int64_t shownHeight = transposed ? width : height;
    for (int turn = 0; turn < quarterTurns; ++turn) {
        // A clockwise quarter turn shows old pixel (x, y) at (H − 1 − y, x): new (x', y') comes
        // from old (y', H − 1 − x'), H being the old displayed height.
        const engine::GridMap oldFromNew{0, 1, -1, 0, 0, shownHeight - 1};
        toMemory = oldFromNew.Then(toMemory);
        std::swap(shownWidth, shownHeight);
    }
    for (int perspective = TOP_LEFT; perspective <= LEFT_BOTTOM; ++perspective) {
        if (engine::DisplayToMemory(perspective, width, height).SameLinearPart(toMemory)) {
            bitmap->ViewPerspective = perspective;
            return SUCCESS;
        }
    }
    return FAILURE;  // unreachable: the eight perspectives cover every signed permutation
}

namespace {

// dst(row, col) = src(map(row, col)), in square tiles so that transposing walks stay in cache.
template <class Unit>
void RemapUnits(const engine::ConstPixelView& src, const engine::PixelView& dst,
                const engine::GridMap& map) {
    constexpr int kTile = 64;
    const std::ptrdiff_t stepPerCol =
        map.b * src.stride + map.e * static_cast<std::ptrdiff_t>(sizeof(Unit));
    for (int rowStart = 0; rowStart < dst.height; rowStart += kTile) {
        const int rowEnd = std::min(dst.height, rowStart + kTile);
        for (int colStart = 0; colStart < dst.width; colStart += kTile) {
            const int colEnd = std::min(dst.width, colStart + kTile);
            for (int row = rowStart; row < rowEnd; ++row) {
                Unit* out = dst.Row<Unit>(row);
                const auto [srcRow, srcCol] = map(row, colStart);
                const std::uint8_t* in = src.data + srcRow * src.stride +
                                         srcCol * static_cast<std::ptrdiff_t>(sizeof(Unit));
                for (int col = colStart; col < colEnd; ++col, in += stepPerCol) {
                    std::memcpy(&out[col], in, sizeof(Unit));
                }
            }
        }
    }
}

void RemapIndices(const engine::ConstPixelView& src, const engine::PixelView& dst,
                  const engine::GridMap& map) {
    for (int row = 0; row < dst.height; ++row) {
        std::uint8_t* out = dst.RowBytes(row);
        auto [srcRow, srcCol] = map(row, 0);
        for (int col = 0; col < dst.width; ++col, srcRow += map.b, srcCol += map.e) {
            const std::uint8_t* in = src.data + srcRow * src.stride;
            engine::WriteIndex(out, col, dst.bits,
                               engine::ReadIndex(in, static_cast<int>(srcCol), src.bits));
        }
    }
}

}  // namespace

int L_ChangeBitmapViewPerspective(BITMAPHANDLE* destination, BITMAPHANDLE* source,
                                  unsigned structSize, int viewPerspective) {
    if (source == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (!engine::IsValidViewPerspective(viewPerspective)) return ERROR_INV_VIEW_PERSPECTIVE;
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(source, &src); status != SUCCESS) return status;
    const int oldPerspective = source->ViewPerspective;
    if (!engine::IsValidViewPerspective(oldPerspective)) return ERROR_INV_VIEW_PERSPECTIVE;

    const bool inPlace = destination == nullptr || destination == source;
    if (inPlace && viewPerspective == oldPerspective) return SUCCESS;

    const bool transpose = (oldPerspective >= LEFT_TOP) != (viewPerspective >= LEFT_TOP);
    const int width = transpose ? src.height : src.width;
    const int height = transpose ? src.width : src.height;
    BITMAPHANDLE result;
    if (const int status = engine::AllocateLike(*source, width, height, 0, &result);
        status != SUCCESS) {
        return status;
    }
    result.ViewPerspective = viewPerspective;
    engine::PixelView dst;
    engine::AccessPixels(&result, &dst);

    // New memory (row, col) → displayed (x, y) → old memory (row, col).
    const engine::GridMap map =
        engine::DisplayToMemory(viewPerspective, width, height)
            .Inverse()
            .Then(engine::DisplayToMemory(oldPerspective, src.width, src.height));
    if (engine::IsPackedFormat(src.format)) {
        RemapIndices(src, dst, map);
    } else {
        engine::VisitPixelUnit(
            src, [&](auto unit) { RemapUnits<typename decltype(unit)::type>(src, dst, map); });
    }

    if (inPlace) {
        engine::ReleaseStorage(*source);
        *source = result;
    } else {
        *destination = result;
    }
    return SUCCESS;
}
