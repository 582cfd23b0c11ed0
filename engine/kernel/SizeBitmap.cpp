#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "engine/Kernel.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/OpenCvType.h"
#include "engine/PixelView.h"

namespace {

// Nearest sample for formats OpenCV does not hold: the source pixel under each target centre.
void ResizeNearest(const engine::ConstPixelView& from, const BITMAPHANDLE& to) {
    const bool packed = engine::IsPackedFormat(from.format);
    const std::size_t pixelBytes = from.bits == 12 ? 2 : static_cast<std::size_t>(from.bits) / 8;
    for (int y = 0; y < to.Height; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y) * from.height / to.Height);
        const std::uint8_t* source = from.RowBytes(sy);
        std::uint8_t* target = to.Addr + static_cast<std::ptrdiff_t>(y) * to.BytesPerLine;
        for (int x = 0; x < to.Width; ++x) {
            const int sx = static_cast<int>(static_cast<std::int64_t>(x) * from.width / to.Width);
            if (packed)
                engine::WriteIndex(target, x, from.bits, engine::ReadIndex(source, sx, from.bits));
            else
                std::memcpy(target + x * pixelBytes, source + sx * pixelBytes, pixelBytes);
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
    if (const int status = engine::AllocateLike(*bitmap, width, height, 0, &sized); status != SUCCESS)
        return status;
    const int type = engine::OpenCvType(view.format);
    try {
        if (type < 0) {
            ResizeNearest(view, sized);
        } else {
            // Palette indices are only ever sampled, never blended.
            const bool blend = !engine::IsPaletteFormat(view.format);
            const int interpolation = blend && (flags & SIZE_FLAG_BICUBIC)    ? cv::INTER_CUBIC
                                      : blend && (flags & SIZE_FLAG_RESAMPLE) ? cv::INTER_LINEAR
                                                                              : cv::INTER_NEAREST;
            const cv::Mat source(view.height, view.width, type, const_cast<std::uint8_t*>(view.data),
                                 static_cast<std::size_t>(view.stride));
            cv::Mat target(height, width, type, sized.Addr, static_cast<std::size_t>(sized.BytesPerLine));
            cv::resize(source, target, target.size(), 0, 0, interpolation);
            // Cubic overshoot must not leave the 12-bit range.
            if (view.format == engine::PixelFormat::Gray12) cv::min(target, 4095, target);
        }
    } catch (const cv::Exception&) {
        engine::ReleaseStorage(sized);
        return ERROR_NO_MEMORY;
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = sized;
    return SUCCESS;
}
