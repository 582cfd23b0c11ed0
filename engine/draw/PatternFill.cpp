// Pattern fills: the masks are built directly, one byte a pixel, without a rasteriser.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/Effects.h"

namespace {

int Mod8(std::int64_t v) { return static_cast<int>(((v % 8) + 8) % 8); }

bool OnHatch(int pattern, std::int64_t x, std::int64_t y) {
    const bool horizontal = Mod8(y) == 0, vertical = Mod8(x) == 0;
    const bool falling = Mod8(x - y) == 0, rising = Mod8(x + y) == 0;
    switch (pattern) {
        case EFX_PATTERN_HORZ_LINE: return horizontal;
        case EFX_PATTERN_VERT_LINE: return vertical;
        case EFX_PATTERN_FDIAG_LINE: return falling;
        case EFX_PATTERN_BDIAG_LINE: return rising;
        case EFX_PATTERN_CROSS: return horizontal || vertical;
        default: return falling || rising;
    }
}

}  // namespace

int L_EfxPatternFillRect(HDC dc, const RECT* rect, int pattern, COLORREF background,
                         COLORREF foreground) {
    if (!dc) return ERROR_NO_DC;
    if (!rect || pattern < EFX_PATTERN_SOLID || pattern > EFX_PATTERN_DIAG_CROSS)
        return ERROR_INV_PARAMETER;
    const RECT drawable = dc->DrawableRect();
    const RECT area{std::max({rect->left, drawable.left}), std::max({rect->top, drawable.top}),
                    std::min({rect->right, drawable.right}),
                    std::min({rect->bottom, drawable.bottom})};
    if (area.right <= area.left || area.bottom <= area.top) return SUCCESS;
    const std::ptrdiff_t stride = area.right - area.left;
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(stride) * (area.bottom - area.top),
                                       255);
    if (pattern == EFX_PATTERN_SOLID) {
        ApplyCoverage(dc, area, coverage.data(), stride, foreground & 0xFFFFFF, R2_COPYPEN);
        return SUCCESS;
    }
    ApplyCoverage(dc, area, coverage.data(), stride, background & 0xFFFFFF, R2_COPYPEN);
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x)
            coverage[(y - area.top) * stride + (x - area.left)] = OnHatch(pattern, x, y) ? 255 : 0;
    ApplyCoverage(dc, area, coverage.data(), stride, foreground & 0xFFFFFF, R2_COPYPEN);
    return SUCCESS;
}
