#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/OpenCvType.h"

namespace {

// Nearest sample for formats OpenCV does not hold: the source pixel under each target centre.
void ResizeNearest(const engine::ConstPixelView& from, const engine::PixelView& to) {
    const bool packed = engine::IsPackedFormat(from.format);
    const std::size_t pixelBytes = from.bits == 12 ? 2 : static_cast<std::size_t>(from.bits) / 8;
    for (int y = 0; y < to.height; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y) * from.height / to.height);
        const std::uint8_t* source = from.RowBytes(sy);
        std::uint8_t* target = to.RowBytes(y);
        for (int x = 0; x < to.width; ++x) {
            const int sx = static_cast<int>(static_cast<std::int64_t>(x) * from.width / to.width);
            if (packed)
                engine::WriteIndex(target, x, from.bits, engine::ReadIndex(source, sx, from.bits));
            else std::memcpy(target + x * pixelBytes, source + sx * pixelBytes, pixelBytes);
        }
    }
}

}  // namespace

// Resizes the pixel memory to width × height (as stored). SIZE_RESAMPLE blends linearly and
// SIZE_BICUBIC cubically where the format holds samples; everything else takes the nearest.
int L_SizeBitmap(BITMAPHANDLE* bitmap, int width, int height, unsigned flags) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (width <= 0 || height <= 0) return ERROR_INV_SIZE;

    BITMAPHANDLE sized;
    if (const int status = engine::AllocateLike(*bitmap, width, height, 0, &sized);
        status != SUCCESS)
        return status;
    engine::PixelView target;
    if (const int status = engine::AccessPixels(&sized, &target); status != SUCCESS) {
        engine::ReleaseStorage(sized);
        return status;
    }
    const int type = engine::OpenCvType(view.format);
    try {
        if (type < 0) {
            ResizeNearest(view, target);
        } else {
            // Palette indices are only ever sampled, never blended.
            const bool blend = !engine::IsPaletteFormat(view.format);
            const int interpolation = blend && (flags & SIZE_FLAG_BICUBIC)    ? cv::INTER_CUBIC
                                      : blend && (flags & SIZE_FLAG_RESAMPLE) ? cv::INTER_LINEAR
                                                                              : cv::INTER_NEAREST;
            const cv::Mat source(view.height, view.width, type,
                                 const_cast<std::uint8_t*>(view.data),
                                 static_cast<std::size_t>(view.stride));
            cv::Mat resized(target.height, target.width, type, target.data,
                            static_cast<std::size_t>(target.stride));
            cv::resize(source, resized, resized.size(), 0, 0, interpolation);
            // Cubic overshoot must not leave the 12-bit range.
            if (view.format == engine::PixelFormat::Gray12) cv::min(resized, 4095, resized);
        }
    } catch (const cv::Exception&) {
        engine::ReleaseStorage(sized);
        return ERROR_NO_MEMORY;
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = sized;
    return SUCCESS;
}
