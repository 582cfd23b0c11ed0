#include <algorithm>

#include "engine/Kernel.h"
#include "engine/PixelView.h"

namespace {

// Complements every pixel bit of each row; the padding bits of a last, partly used byte and the
// padding bytes keep their value.
void ComplementPixelBits(const engine::PixelView& view) {
    const std::int64_t usedBits = static_cast<std::int64_t>(view.width) * view.bits;
    const auto fullBytes = static_cast<std::size_t>(usedBits / 8);
    const int restBits = static_cast<int>(usedBits % 8);
    const auto restMask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.RowBytes(y);
        for (std::size_t i = 0; i < fullBytes; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
        if (restBits != 0) row[fullBytes] ^= restMask;
    }
}

template <class Sample, class Op>
void TransformSamples(const engine::PixelView& view, Op op) {
    for (int y = 0; y < view.height; ++y) {
        Sample* row = view.Row<Sample>(y);
        for (int x = 0; x < view.width; ++x) row[x] = op(row[x]);
    }
}

}  // namespace

// Palette images that are grey ramps get their indices complemented, which keeps the ramp (and
// the pixel values code reading the memory sees) as the negative; other palettes are inverted.
int L_InvertBitmap(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    switch (view.format) {
        case engine::PixelFormat::Index1:
        case engine::PixelFormat::Index4:
        case engine::PixelFormat::Index8: {
            const int grey = L_IsGrayScaleBitmap(bitmap);
            if (grey == GRAY_ORDEREDNORMAL || grey == GRAY_ORDEREDINVERSE) {
                ComplementPixelBits(view);
            } else {
                const std::uint32_t count = std::min(bitmap->nColors, 1u << view.bits);
                for (std::uint32_t i = 0; i < count; ++i) {
                    RGBQUAD& entry = bitmap->pPalette[i];
                    entry.rgbRed = static_cast<std::uint8_t>(255 - entry.rgbRed);
                    entry.rgbGreen = static_cast<std::uint8_t>(255 - entry.rgbGreen);
                    entry.rgbBlue = static_cast<std::uint8_t>(255 - entry.rgbBlue);
                }
            }
            break;
        }
        case engine::PixelFormat::Gray12:
            TransformSamples<std::uint16_t>(view, [](std::uint16_t v) {
                return static_cast<std::uint16_t>(4095 - std::min<std::uint16_t>(v, 4095));
            });
            break;
        case engine::PixelFormat::Gray16:
            TransformSamples<std::uint16_t>(
                view, [](std::uint16_t v) { return static_cast<std::uint16_t>(65535 - v); });
            break;
        case engine::PixelFormat::Rgb555:
            TransformSamples<std::uint16_t>(
                view, [](std::uint16_t v) { return static_cast<std::uint16_t>(v ^ 0x7FFF); });
            break;
        case engine::PixelFormat::Rgb24:
        case engine::PixelFormat::Bgr24: ComplementPixelBits(view); break;
        case engine::PixelFormat::Rgb32:
        case engine::PixelFormat::Bgr32:
            // The fourth byte carries no colour.
            TransformSamples<std::uint32_t>(view, [](std::uint32_t v) {
                return engine::UnitFromStored<std::uint32_t>(engine::StoredFromUnit(v) ^
                                                             0x00FFFFFFu);
            });
            break;
    }
    return SUCCESS;
}
