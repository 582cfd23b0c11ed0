#include "engine/processing/GrayScale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/PixelColor.h"

namespace {

// Sample of the source pixel as a level of `bits` bits.
std::uint32_t Rescale(std::uint32_t level, std::uint32_t fromMax, std::uint32_t toMax) {
    if (fromMax == toMax) return level;
    return static_cast<std::uint32_t>((std::uint64_t{level} * toMax + fromMax / 2) / fromMax);
}

// Checks the arguments and makes the grey result image of the source's size.
int Prepare(BITMAPHANDLE* bitmap, int bitsPerPixel, engine::ConstPixelView* src,
            BITMAPHANDLE* result, engine::PixelView* dst) {
    if (const int status = engine::AccessPixels(bitmap, src); status != SUCCESS) return status;
    if (bitsPerPixel != 8 && bitsPerPixel != 12 && bitsPerPixel != 16) return ERROR_BITPERPIXEL;
    engine::ImageSpec spec;
    spec.width = src->width;
    spec.height = src->height;
    spec.bits = bitsPerPixel;
    spec.order = ORDER_GRAY;
    spec.viewPerspective = bitmap->ViewPerspective;
    if (const int status = engine::AllocateImage(spec, result); status != SUCCESS) return status;
    result->XResolution = bitmap->XResolution;
    result->YResolution = bitmap->YResolution;
    engine::AccessPixels(result, dst);
    return SUCCESS;
}

// Writes one row of levels at the result's depth.
template <class Level>
void StoreRow(const engine::PixelView& dst, int y, const Level* levels) {
    if (dst.bits == 8) {
        std::uint8_t* row = dst.RowBytes(y);
        for (int x = 0; x < dst.width; ++x) row[x] = static_cast<std::uint8_t>(levels[x]);
    } else {
        std::uint16_t* row = dst.Row<std::uint16_t>(y);
        for (int x = 0; x < dst.width; ++x) row[x] = static_cast<std::uint16_t>(levels[x]);
    }
}

// Deep grey to deep grey or 8 bits, a row at a time; the same rescaling as the reference.
void ConvertDeepGrey(const engine::ConstPixelView& src, const engine::PixelView& dst) {
    const std::uint32_t fromMax = src.format == engine::PixelFormat::Gray12 ? 4095u : 65535u;
    const std::uint32_t toMax = (1u << dst.bits) - 1;
    const std::size_t rowBytes = static_cast<std::size_t>(src.width) * 2;
    if (fromMax == toMax && fromMax == 65535u) {
        for (int y = 0; y < src.height; ++y)
            std::memcpy(dst.RowBytes(y), src.RowBytes(y), rowBytes);
        return;
    }
    std::vector<std::uint32_t> levels(static_cast<std::size_t>(src.width));
    const std::uint64_t half = fromMax / 2;
    for (int y = 0; y < src.height; ++y) {
        const std::uint16_t* row = src.Row<std::uint16_t>(y);
        for (int x = 0; x < src.width; ++x) {
            const std::uint64_t v = std::min<std::uint32_t>(row[x], fromMax);
            levels[x] = fromMax == toMax ? static_cast<std::uint32_t>(v)
                                         : static_cast<std::uint32_t>((v * toMax + half) / fromMax);
        }
        StoreRow(dst, y, levels.data());
    }
}

// 24/32-bit colour by luma: an 8-bit level, then the table of its level at the result's depth.
void ConvertColor(const engine::ConstPixelView& src, const engine::PixelView& dst) {
    const bool rgb =
        src.format == engine::PixelFormat::Rgb24 || src.format == engine::PixelFormat::Rgb32;
    const int bytes = src.bits / 8, redAt = rgb ? 0 : 2, blueAt = rgb ? 2 : 0;
    const std::uint32_t toMax = (1u << dst.bits) - 1;
    std::array<std::uint16_t, 256> scaled;
    for (std::uint32_t l = 0; l < 256; ++l)
        scaled[l] = static_cast<std::uint16_t>(Rescale(l, 255u, toMax));
    std::vector<std::uint16_t> levels(static_cast<std::size_t>(src.width));
    for (int y = 0; y < src.height; ++y) {
        const std::uint8_t* p = src.RowBytes(y);
        for (int x = 0; x < src.width; ++x, p += bytes) {
            const std::uint32_t luma =
                (299u * p[redAt] + 587u * p[1] + 114u * p[blueAt] + 500u) / 1000u;
            levels[x] = scaled[luma];
        }
        StoreRow(dst, y, levels.data());
    }
}

}  // namespace

int L_GrayScaleBitmap(BITMAPHANDLE* bitmap, int bitsPerPixel) {
    engine::ConstPixelView src;
    if (engine::AccessPixels(bitmap, &src) != SUCCESS)
        return engine::GrayScaleReference(bitmap, bitsPerPixel);
    const bool deepGrey = engine::IsGrayFormat(src.format);
    const bool color =
        src.format == engine::PixelFormat::Rgb24 || src.format == engine::PixelFormat::Bgr24 ||
        src.format == engine::PixelFormat::Rgb32 || src.format == engine::PixelFormat::Bgr32;
    // Palette and RGB555 images are rare and small: the reference serves them.
    if (!deepGrey && !color) return engine::GrayScaleReference(bitmap, bitsPerPixel);
    BITMAPHANDLE result;
    engine::PixelView dst;
    if (const int status = Prepare(bitmap, bitsPerPixel, &src, &result, &dst); status != SUCCESS)
        return status;
    if (deepGrey) {
        ConvertDeepGrey(src, dst);
    } else {
        ConvertColor(src, dst);
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = result;
    return SUCCESS;
}

int engine::GrayScaleReference(BITMAPHANDLE* bitmap, int bitsPerPixel) {
    engine::ConstPixelView src;
    BITMAPHANDLE result;
    engine::PixelView dst;
    if (const int status = Prepare(bitmap, bitsPerPixel, &src, &result, &dst); status != SUCCESS)
        return status;

    const std::uint32_t toMax = (1u << bitsPerPixel) - 1;
    const bool deepGrey = engine::IsGrayFormat(src.format);
    const std::uint32_t fromMax = src.format == engine::PixelFormat::Gray12 ? 4095u : 65535u;
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            std::uint32_t level;
            if (deepGrey) {
                level =
                    Rescale(std::min(src.Row<std::uint16_t>(y)[x] + 0u, fromMax), fromMax, toMax);
            } else {
                const std::uint32_t color =
                    engine::DecodeColor(*bitmap, src.format, engine::ReadStored(src, y, x));
                level = Rescale(engine::GrayLevelOf(color), 255u, toMax);
            }
            if (bitsPerPixel == 8) {
                dst.RowBytes(y)[x] = static_cast<std::uint8_t>(level);
            } else {
                dst.Row<std::uint16_t>(y)[x] = static_cast<std::uint16_t>(level);
            }
        }
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = result;
    return SUCCESS;
}
