#include <cmath>

#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelView.h"

namespace {

// Sample of the source pixel as a level of `bits` bits.
std::uint32_t Rescale(std::uint32_t level, std::uint32_t fromMax, std::uint32_t toMax) {
    if (fromMax == toMax) return level;
    return static_cast<std::uint32_t>((std::uint64_t{level} * toMax + fromMax / 2) / fromMax);
}

}  // namespace

int L_GrayScaleBitmap(BITMAPHANDLE* bitmap, int bitsPerPixel) {
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(bitmap, &src); status != SUCCESS) return status;
    if (bitsPerPixel != 8 && bitsPerPixel != 12 && bitsPerPixel != 16) return ERROR_BITPERPIXEL;

    engine::ImageSpec spec;
    spec.width = src.width;
    spec.height = src.height;
    spec.bits = bitsPerPixel;
    spec.order = ORDER_GRAY;
    spec.viewPerspective = bitmap->ViewPerspective;
    BITMAPHANDLE result;
    if (const int status = engine::AllocateImage(spec, &result); status != SUCCESS) return status;
    result.XResolution = bitmap->XResolution;
    result.YResolution = bitmap->YResolution;
    engine::PixelView dst;
    engine::AccessPixels(&result, &dst);

    const std::uint32_t toMax = (1u << bitsPerPixel) - 1;
    const bool deepGrey = engine::IsGrayFormat(src.format);
    const std::uint32_t fromMax = src.format == engine::PixelFormat::Gray12 ? 4095u : 65535u;
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            std::uint32_t level;
            if (deepGrey) {
                level = Rescale(std::min(src.Row<std::uint16_t>(y)[x] + 0u, fromMax), fromMax, toMax);
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
