#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/Display.h"
#include "engine/display/PaintSource.h"

namespace {

struct Span {
    std::int64_t begin = 0, end = 0;  // [begin, end)
    bool Empty() const { return end <= begin; }
};

Span Intersect(Span a, Span b) { return {std::max(a.begin, b.begin), std::min(a.end, b.end)}; }

// Nearest source coordinate of destination coordinate v: the source pixel under the centre of
// the destination pixel.
std::int64_t NearestSource(std::int64_t v, Span dst, Span src) {
    const __int128 numerator =
        static_cast<__int128>(2 * (v - dst.begin) + 1) * (src.end - src.begin);
    const __int128 denominator = 2 * static_cast<__int128>(dst.end - dst.begin);
    return src.begin + static_cast<std::int64_t>(numerator / denominator);  // both positive
}

// Destination coordinates in [span) whose nearest source lies in [allowed): contiguous, because
// the map is non-decreasing, so both ends are found by bisection.
Span ValidDestination(Span span, Span dst, Span src, Span allowed) {
    if (span.Empty()) return span;
    auto firstWhere = [&](auto predicate) {  // first v in span with predicate(v), else span.end
        std::int64_t low = span.begin, high = span.end;
        while (low < high) {
            const std::int64_t middle = low + (high - low) / 2;
            if (predicate(middle)) high = middle;
            else low = middle + 1;
        }
        return low;
    };
    const std::int64_t begin =
        firstWhere([&](std::int64_t v) { return NearestSource(v, dst, src) >= allowed.begin; });
    const std::int64_t end =
        firstWhere([&](std::int64_t v) { return NearestSource(v, dst, src) >= allowed.end; });
    return {begin, end};
}

enum class Rop { Copy, And, Paint, Invert, NotCopy, DstInvert, Black, White };

bool RopFromCode(std::uint32_t code, Rop* rop) {
    switch (code) {
        case SRCCOPY: *rop = Rop::Copy; return true;
        case SRCAND: *rop = Rop::And; return true;
        case SRCPAINT: *rop = Rop::Paint; return true;
        case SRCINVERT: *rop = Rop::Invert; return true;
        case NOTSRCCOPY: *rop = Rop::NotCopy; return true;
        case DSTINVERT: *rop = Rop::DstInvert; return true;
        case BLACKNESS: *rop = Rop::Black; return true;
        case WHITENESS: *rop = Rop::White; return true;
        default: return false;
    }
}

template <Rop op>
void CombineRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) {
    constexpr std::uint32_t rgb = 0x00FFFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        if constexpr (op == Rop::Copy) dst[i] = src[i];
        else if constexpr (op == Rop::And) dst[i] &= src[i];
        else if constexpr (op == Rop::Paint) dst[i] |= src[i];
        else if constexpr (op == Rop::Invert) dst[i] ^= src[i];
        else if constexpr (op == Rop::NotCopy) dst[i] = ~src[i] & rgb;
        else if constexpr (op == Rop::DstInvert) dst[i] = ~dst[i] & rgb;
        else if constexpr (op == Rop::Black) dst[i] = 0;
        else dst[i] = rgb;
    }
}

void Combine(Rop op, std::uint32_t* dst, const std::uint32_t* src, std::size_t count) {
    switch (op) {
        case Rop::Copy: CombineRow<Rop::Copy>(dst, src, count); break;
        case Rop::And: CombineRow<Rop::And>(dst, src, count); break;
        case Rop::Paint: CombineRow<Rop::Paint>(dst, src, count); break;
        case Rop::Invert: CombineRow<Rop::Invert>(dst, src, count); break;
        case Rop::NotCopy: CombineRow<Rop::NotCopy>(dst, src, count); break;
        case Rop::DstInvert: CombineRow<Rop::DstInvert>(dst, src, count); break;
        case Rop::Black: CombineRow<Rop::Black>(dst, src, count); break;
        case Rop::White: CombineRow<Rop::White>(dst, src, count); break;
    }
}

// Bilinear weights of one axis: the two source coordinates around the centre of destination v
// (clamped into [allowed)) and the weight of the second, in 1/256.
struct Tap {
    std::int32_t first, second;
    std::uint32_t weight;
};

Tap SmoothTap(std::int64_t v, Span dst, Span src, Span allowed) {
    const double position = static_cast<double>(src.begin) +
                            (static_cast<double>(v - dst.begin) + 0.5) *
                                static_cast<double>(src.end - src.begin) /
                                static_cast<double>(dst.end - dst.begin) -
                            0.5;
    const double floorPosition = std::floor(position);
    auto clamp = [&](double p) {
        return static_cast<std::int32_t>(std::clamp(p, static_cast<double>(allowed.begin),
                                                    static_cast<double>(allowed.end - 1)));
    };
    const std::int32_t first = clamp(floorPosition), second = clamp(floorPosition + 1);
    const auto weight = static_cast<std::uint32_t>(std::lround((position - floorPosition) * 256));
    return {first, second, first == second ? 0u : weight};
}

std::uint32_t Blend(std::uint32_t p, std::uint32_t q, std::uint32_t weight) {
    const std::uint32_t keep = 256 - weight;
    const std::uint32_t rb =
        (((p & 0xFF00FF) * keep + (q & 0xFF00FF) * weight + 0x800080) >> 8) & 0xFF00FF;
    const std::uint32_t g =
        (((p & 0x00FF00) * keep + (q & 0x00FF00) * weight + 0x008000) >> 8) & 0x00FF00;
    return rb | g;
}

}  // namespace

int L_PaintDC(HDC dc, const BITMAPHANDLE* bitmap, const RECT* src, const RECT* srcClip,
              const RECT* dst, const RECT* dstClip, std::uint32_t ropCode) {
    if (!dc) return ERROR_INV_PARAMETER;
    if (!bitmap) return ERROR_NO_BITMAP;
    Rop rop;
    if (!RopFromCode(ropCode, &rop)) return ERROR_FEATURE_NOT_SUPPORTED;
    engine::PaintSource source;
    if (const int status = source.Open(*bitmap); status != SUCCESS) return status;
    if (!dc->pixels) return SUCCESS;

    const RECT whole{0, 0, source.ViewWidth(), source.ViewHeight()};
    const RECT s = src ? *src : whole;
    const RECT sc = srcClip ? *srcClip : s;
    const RECT d = dst ? *dst : whole;
    const RECT dcl = dstClip ? *dstClip : d;
    const RECT drawable = dc->DrawableRect();

    const Span srcX{s.left, s.right}, srcY{s.top, s.bottom};
    const Span dstX{d.left, d.right}, dstY{d.top, d.bottom};
    if (srcX.Empty() || srcY.Empty() || dstX.Empty() || dstY.Empty()) return SUCCESS;
    const Span allowedX = Intersect({sc.left, sc.right}, {0, whole.right});
    const Span allowedY = Intersect({sc.top, sc.bottom}, {0, whole.bottom});
    if (allowedX.Empty() || allowedY.Empty()) return SUCCESS;
    const Span spanX = ValidDestination(
        Intersect(Intersect(dstX, {dcl.left, dcl.right}), {drawable.left, drawable.right}), dstX,
        srcX, allowedX);
    const Span spanY = ValidDestination(
        Intersect(Intersect(dstY, {dcl.top, dcl.bottom}), {drawable.top, drawable.bottom}), dstY,
        srcY, allowedY);
    if (spanX.Empty() || spanY.Empty()) return SUCCESS;

    const auto count = static_cast<std::size_t>(spanX.end - spanX.begin);
    std::vector<std::uint32_t> row(count);
    const bool smooth = (L_GetDisplayMode() & DISP_RESAMPLE) != 0;
    try {
        if (!smooth) {
            std::vector<std::int32_t> xs(count);
            for (std::size_t i = 0; i < count; ++i)
                xs[i] = static_cast<std::int32_t>(
                    NearestSource(spanX.begin + static_cast<std::int64_t>(i), dstX, srcX));
            engine::PaintSource::Columns columns;
            source.PrepareColumns(xs.data(), static_cast<int>(count), &columns);
            for (std::int64_t y = spanY.begin; y < spanY.end; ++y) {
                std::uint32_t* out = dc->Row(static_cast<int>(y)) + spanX.begin;
                const auto sy = static_cast<std::int32_t>(NearestSource(y, dstY, srcY));
                if (rop == Rop::Copy) {
                    source.ReadRow(columns, sy, out);
                } else {
                    source.ReadRow(columns, sy, row.data());
                    Combine(rop, out, row.data(), count);
                }
            }
            return SUCCESS;
        }
        // Bilinear: both taps of every column are read from the two source rows around y.
        std::vector<Tap> tapsX(count);
        std::vector<std::int32_t> xs(2 * count);
        for (std::size_t i = 0; i < count; ++i) {
            tapsX[i] = SmoothTap(spanX.begin + static_cast<std::int64_t>(i), dstX, srcX, allowedX);
            xs[2 * i] = tapsX[i].first;
            xs[2 * i + 1] = tapsX[i].second;
        }
        engine::PaintSource::Columns columns;
        source.PrepareColumns(xs.data(), static_cast<int>(xs.size()), &columns);
        std::vector<std::uint32_t> upper(2 * count), lower(2 * count);
        for (std::int64_t y = spanY.begin; y < spanY.end; ++y) {
            const Tap tapY = SmoothTap(y, dstY, srcY, allowedY);
            source.ReadRow(columns, tapY.first, upper.data());
            source.ReadRow(columns, tapY.second, lower.data());
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t top = Blend(upper[2 * i], upper[2 * i + 1], tapsX[i].weight);
                const std::uint32_t bottom = Blend(lower[2 * i], lower[2 * i + 1], tapsX[i].weight);
                row[i] = Blend(top, bottom, tapY.weight);
            }
            Combine(rop, dc->Row(static_cast<int>(y)) + spanX.begin, row.data(), count);
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}
