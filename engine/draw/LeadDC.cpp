// A device context on an engine bitmap. Its sink composites each drawing call's coverage into
// the bitmap in the bitmap's own format: grey samples keep their full depth (the colour becomes
// its luma at that depth), colour images blend per channel, palette images take the nearest
// palette entry. Uncovered pixels are never rewritten.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "engine/Effects.h"
#include "engine/PixelView.h"
#include "engine/kernel/DisplayTransform.h"
#include "engine/kernel/PixelColor.h"

namespace {

using engine::PixelFormat;

constexpr std::uint32_t kHalfCoverage = 128;

std::uint32_t BlendLevel(std::uint32_t destination, std::uint32_t source, std::uint32_t alpha) {
    return (source * alpha + destination * (255 - alpha) + 127) / 255;
}

// A raster operation on one sample of maximum value `max`.
std::uint32_t RopSample(int rop2, std::uint32_t destination, std::uint32_t pen, std::uint32_t max) {
    switch (rop2) {
        case R2_BLACK: return 0;
        case R2_NOT: return max - destination;
        case R2_XORPEN: return (destination ^ pen) & max;
        case R2_WHITE: return max;
        default: return pen;
    }
}

// New colour (0x00BBGGRR) of a pixel whose colour is old, covered by alpha.
std::uint32_t MixColor(std::uint32_t old, std::uint32_t pen, std::uint32_t alpha, int rop2) {
    using engine::BlueOf, engine::GreenOf, engine::RedOf, engine::MakeColor;
    if (rop2 != R2_COPYPEN) {
        return MakeColor(RopSample(rop2, RedOf(old), RedOf(pen), 255),
                         RopSample(rop2, GreenOf(old), GreenOf(pen), 255),
                         RopSample(rop2, BlueOf(old), BlueOf(pen), 255));
    }
    return MakeColor(BlendLevel(RedOf(old), RedOf(pen), alpha),
                     BlendLevel(GreenOf(old), GreenOf(pen), alpha),
                     BlendLevel(BlueOf(old), BlueOf(pen), alpha));
}

class BitmapSink final : public CoverageSink {
public:
    explicit BitmapSink(BITMAPHANDLE* bitmap) : bitmap_(bitmap) {}

    void ApplyCoverage(const RECT& area, const std::uint8_t* coverage, std::ptrdiff_t stride,
                       COLORREF color, int rop2) override {
        engine::PixelView view;
        if (engine::AccessPixels(bitmap_, &view) != SUCCESS) return;
        const auto toMemory =
            engine::DisplayToMemory(bitmap_->ViewPerspective, view.width, view.height);
        // Visits each covered pixel as (row, col, alpha); rops other than copy need half cover.
        auto visit = [&](auto&& write) {
            for (LONG y = area.top; y < area.bottom; ++y) {
                const std::uint8_t* cover = coverage + (y - area.top) * stride;
                for (LONG x = area.left; x < area.right; ++x) {
                    const std::uint32_t alpha = cover[x - area.left];
                    if (alpha == 0 || (rop2 != R2_COPYPEN && alpha < kHalfCoverage)) continue;
                    const auto [row, col] = toMemory(x, y);
                    if (row < 0 || row >= view.height || col < 0 || col >= view.width) continue;
                    write(static_cast<int>(row), static_cast<int>(col), alpha);
                }
            }
        };
        color &= 0xFFFFFFu;
        switch (view.format) {
            case PixelFormat::Gray12:
            case PixelFormat::Gray16: {
                const std::uint32_t max = view.format == PixelFormat::Gray12 ? 4095u : 65535u;
                const std::uint32_t level8 = engine::GrayLevelOf(color);
                const std::uint32_t pen = (level8 * max + 127) / 255;
                visit([&](int row, int col, std::uint32_t alpha) {
                    std::uint16_t& sample = view.Row<std::uint16_t>(row)[col];
                    const std::uint32_t old = std::min<std::uint32_t>(sample, max);
                    sample = static_cast<std::uint16_t>(rop2 == R2_COPYPEN
                                                            ? BlendLevel(old, pen, alpha)
                                                            : RopSample(rop2, old, pen, max));
                });
                break;
            }
            case PixelFormat::Rgb24:
            case PixelFormat::Bgr24:
            case PixelFormat::Rgb32:
            case PixelFormat::Bgr32: {
                const int bytes = view.bits / 8;
                const bool rgb =
                    view.format == PixelFormat::Rgb24 || view.format == PixelFormat::Rgb32;
                const int redAt = rgb ? 0 : 2, blueAt = rgb ? 2 : 0;
                visit([&](int row, int col, std::uint32_t alpha) {
                    std::uint8_t* p = view.RowBytes(row) + static_cast<std::ptrdiff_t>(col) * bytes;
                    const std::uint32_t old = engine::MakeColor(p[redAt], p[1], p[blueAt]);
                    const std::uint32_t mixed = MixColor(old, color, alpha, rop2);
                    p[redAt] = static_cast<std::uint8_t>(engine::RedOf(mixed));
                    p[1] = static_cast<std::uint8_t>(engine::GreenOf(mixed));
                    p[blueAt] = static_cast<std::uint8_t>(engine::BlueOf(mixed));
                });
                break;
            }
            case PixelFormat::Rgb555:
                visit([&](int row, int col, std::uint32_t alpha) {
                    const std::uint32_t stored = engine::ReadStored(view, row, col);
                    const std::uint32_t old = engine::DecodeColor(*bitmap_, view.format, stored);
                    engine::WriteStored(view, row, col,
                                        engine::EncodeColor(*bitmap_, view.format,
                                                            MixColor(old, color, alpha, rop2)));
                });
                break;
            case PixelFormat::Index1:
            case PixelFormat::Index4:
            case PixelFormat::Index8: {
                // Grey ramps act on the level; other palettes take the nearest entry.
                const int kind =
                    engine::ClassifyPalette(bitmap_->pPalette, bitmap_->nColors, view.bits);
                const bool ramp =
                    view.bits == 8 && (kind == GRAY_ORDEREDNORMAL || kind == GRAY_ORDEREDINVERSE);
                const bool inverse = kind == GRAY_ORDEREDINVERSE;
                const std::uint32_t penLevel = engine::GrayLevelOf(color);
                std::unordered_map<std::uint32_t, unsigned> nearest;
                visit([&](int row, int col, std::uint32_t alpha) {
                    std::uint8_t* bytes = view.RowBytes(row);
                    const unsigned index = engine::ReadIndex(bytes, col, view.bits);
                    if (ramp) {
                        const std::uint32_t old = inverse ? 255 - index : index;
                        const std::uint32_t level = rop2 == R2_COPYPEN
                                                        ? BlendLevel(old, penLevel, alpha)
                                                        : RopSample(rop2, old, penLevel, 255);
                        engine::WriteIndex(bytes, col, view.bits, inverse ? 255 - level : level);
                        return;
                    }
                    const RGBQUAD entry = engine::PaletteEntry(*bitmap_, view.bits, index);
                    const std::uint32_t old =
                        engine::MakeColor(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
                    const std::uint32_t mixed = MixColor(old, color, alpha, rop2);
                    auto found = nearest.find(mixed);
                    if (found == nearest.end())
                        found =
                            nearest
                                .emplace(mixed, engine::EncodeColor(*bitmap_, view.format, mixed))
                                .first;
                    engine::WriteIndex(bytes, col, view.bits, found->second);
                });
                break;
            }
        }
    }

private:
    BITMAPHANDLE* bitmap_;
};

struct LeadContext {
    explicit LeadContext(BITMAPHANDLE* bitmap) : sink(bitmap) {}
    DeviceContext dc;
    BitmapSink sink;
};

std::mutex g_contextMutex;
std::unordered_map<HDC, std::unique_ptr<LeadContext>> g_contexts;

}  // namespace

HDC L_CreateLeadDC(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    if (!bitmap || engine::AccessPixels(bitmap, &view) != SUCCESS) return nullptr;
    if (!engine::IsValidViewPerspective(bitmap->ViewPerspective)) return nullptr;
    auto context = std::make_unique<LeadContext>(bitmap);
    context->dc.width = ViewWidth(*bitmap);
    context->dc.height = ViewHeight(*bitmap);
    context->dc.clip = RECT{0, 0, context->dc.width, context->dc.height};
    context->dc.sink = &context->sink;
    HDC dc = &context->dc;
    std::lock_guard lock(g_contextMutex);
    g_contexts.emplace(dc, std::move(context));
    return dc;
}

BOOL L_DeleteLeadDC(HDC dc) {
    if (!dc) return FALSE;
    std::lock_guard lock(g_contextMutex);
    return g_contexts.erase(dc) ? TRUE : FALSE;
}
