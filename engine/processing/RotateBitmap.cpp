#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/OpenCvType.h"
#include "engine/kernel/PixelColor.h"

namespace {

// Quarter turns move pixels exactly: turn the view, then lay memory out for the old view.
int RotateQuarterTurns(BITMAPHANDLE* bitmap, int quarterTurns) {
    if (quarterTurns == 0) return SUCCESS;
    const int perspective = bitmap->ViewPerspective;
    int status = L_RotateBitmapViewPerspective(bitmap, quarterTurns * 90);
    if (status != SUCCESS) return status;
    status = L_ChangeBitmapViewPerspective(nullptr, bitmap, BITMAPHANDLE_STRUCT_SIZE, perspective);
    if (status != SUCCESS) bitmap->ViewPerspective = perspective;
    return status;
}

int RotateSampled(BITMAPHANDLE* bitmap, const engine::ConstPixelView& src, int angle, bool resize,
                  std::uint32_t fillColor) {
    const int type = engine::OpenCvType(src.format);
    if (type < 0) return ERROR_BITPERPIXEL;
    const double radians = angle / 100.0 * CV_PI / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    int width = src.width, height = src.height;
    if (resize) {
        width =
            static_cast<int>(std::ceil(std::abs(src.width * c) + std::abs(src.height * s) - 1e-9));
        height =
            static_cast<int>(std::ceil(std::abs(src.width * s) + std::abs(src.height * c) - 1e-9));
        width = std::max(width, 1);
        height = std::max(height, 1);
    }
    BITMAPHANDLE result;
    if (const int status = engine::AllocateLike(*bitmap, width, height, 0, &result);
        status != SUCCESS) {
        return status;
    }
    engine::PixelView dst;
    engine::AccessPixels(&result, &dst);
    try {
        const cv::Mat in(src.height, src.width, type, const_cast<std::uint8_t*>(src.data),
                         static_cast<std::size_t>(src.stride));
        cv::Mat out(height, width, type, dst.data, static_cast<std::size_t>(dst.stride));
        // Clockwise on screen (rows grow downward): destination centre ← source centre.
        const double cx = (src.width - 1) / 2.0, cy = (src.height - 1) / 2.0;
        const double dx = (width - 1) / 2.0, dy = (height - 1) / 2.0;
        const cv::Matx23d toSource(c, s, cx - c * dx - s * dy, -s, c, cy + s * dx - c * dy);
        const std::uint32_t stored = engine::EncodeColor(*bitmap, src.format, fillColor);
        cv::Scalar fill;
        for (int ch = 0; ch < 4; ++ch) {
            fill[ch] =
                type == CV_16UC1 ? (ch == 0 ? stored & 0xFFFF : 0) : (stored >> (8 * ch)) & 0xFF;
        }
        const int interpolation =
            bitmap->pPalette != nullptr ? cv::INTER_NEAREST : cv::INTER_LINEAR;
        cv::warpAffine(in, out, cv::Mat(toSource), out.size(), interpolation | cv::WARP_INVERSE_MAP,
                       cv::BORDER_CONSTANT, fill);
    } catch (...) {
        engine::ReleaseStorage(result);
        return ERROR_NO_MEMORY;
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = result;
    return SUCCESS;
}

}  // namespace

int L_RotateBitmap(BITMAPHANDLE* bitmap, int angle, unsigned flags, std::uint32_t fillColor) {
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(bitmap, &src); status != SUCCESS) return status;
    const bool resize = (flags & ROTATEFLAG_RESIZE) != 0;
    angle %= 36000;
    if (angle % 9000 == 0) {
        const int quarterTurns = ((angle / 9000) % 4 + 4) % 4;
        // Without resizing a quarter turn keeps the shape only for a square (or half turns).
        if (resize || quarterTurns % 2 == 0 || src.width == src.height) {
            return RotateQuarterTurns(bitmap, quarterTurns);
        }
    }
    return RotateSampled(bitmap, src, angle, resize, fillColor);
}
