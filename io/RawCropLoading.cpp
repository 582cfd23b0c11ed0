// LoadBuffer_Crop: a 16- or 8-bit frame with margins cut away, optionally flipped; without a
// frame, a test ramp.
#include <algorithm>
#include <cstring>

#include "engine/Kernel.h"
#include "io/RawFrame.h"

namespace {

struct CropGeometry {
    std::int32_t width, height;  // of the frame
    std::int32_t top, left;      // first kept row and column
    std::int32_t keptWidth, keptHeight;
};

// Fills the bitmap with a counter that runs on across rows and wraps at 32768.
void FillTestRamp(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height) {
    std::uint16_t counter = 0;
    raw_frame::WriteGreyRows(bitmap, width, height, [&](std::uint16_t* row, std::int64_t) {
        for (std::int32_t x = 0; x < width; ++x) {
            row[x] = counter;
            counter = static_cast<std::uint16_t>((counter + 1) & 0x7FFF);
        }
    });
}

// Bytes the conversion reads: from the frame's start to the last kept element of the last kept
// row. Methods outside 1 to 4 read nothing.
std::uint64_t KeptBytes(unsigned method, const CropGeometry& g) {
    if (method < 1 || method > 4 || g.keptWidth <= 0 || g.keptHeight <= 0) return 0;
    const std::int64_t elementBytes = method == 3 ? 1 : 2;
    const std::int64_t lastRow = std::int64_t{g.top} + g.keptHeight - 1;
    const std::int64_t elements = lastRow * g.width + g.left + g.keptWidth;
    return raw_frame::FrameBytes(elements, elementBytes);
}

template <class Element, class Convert>
void ConvertKept(BITMAPHANDLE& bitmap, const std::uint8_t* frame, const CropGeometry& g,
                 Convert convert) {
    raw_frame::WriteGreyRows(
        bitmap, g.keptWidth, g.keptHeight, [&](std::uint16_t* row, std::int64_t y) {
            const std::uint8_t* source = frame + ((g.top + y) * g.width + g.left) *
                                                     static_cast<std::int64_t>(sizeof(Element));
            for (std::int32_t x = 0; x < g.keptWidth; ++x) {
                Element v;
                std::memcpy(&v, source + x * static_cast<std::int64_t>(sizeof(Element)), sizeof v);
                row[x] = convert(v);
            }
        });
}

}  // namespace

HRESULT TaxLumora::LoadBuffer_Crop(ULONGLONG pBuffer, BSTR, LONG Width, LONG Height, LONG TopCrop,
                                   LONG BottomCrop, LONG LeftCrop, LONG RightCrop, ULONGLONG uFlags,
                                   LONG* Value) {
    return SafeCall([&] {
        WriteLog("TaxLumora.LoadBuffer_Crop, Begin. pBuffer:$" + HexUpper(pBuffer, 4));
        // Negative margins would read outside the caller's frame: refused before the current
        // image is freed.
        CheckedUnsigned(TopCrop);
        CheckedUnsigned(BottomCrop);
        CheckedUnsigned(LeftCrop);
        CheckedUnsigned(RightCrop);
        const CropGeometry g{Width,
                             Height,
                             TopCrop,
                             LeftCrop,
                             CheckedSub(CheckedSub(Width, LeftCrop), RightCrop),
                             CheckedSub(CheckedSub(Height, TopCrop), BottomCrop)};
        CheckedUnsigned(g.keptWidth);
        CheckedUnsigned(g.keptHeight);
        const raw_frame::FlagWord flags(uFlags);
        const unsigned method = flags.Method();
        if (pBuffer != 0 && !raw_frame::FrameFitsKnownRegion("TaxLumora.LoadBuffer_Crop", "Frame",
                                                             pBuffer, KeptBytes(method, g))) {
            *Value = -1;
            return;
        }

        // The test ramp and methods 1 to 4 write every byte; the others get a fresh, zeroed image.
        if (pBuffer == 0 || (method >= 1 && method <= 4))
            raw_frame::ReplaceFrameBitmap(CurrentBitmap, g.keptWidth, g.keptHeight, false);
        else if (raw_frame::FreeAndInitialise(CurrentBitmap) == SUCCESS)
            raw_frame::CreateFrameBitmap(CurrentBitmap, g.keptWidth, g.keptHeight, false);

        if (ImagePresent()) {
            const auto* frame = raw_frame::FrameAt<std::uint8_t>(pBuffer);
            if (pBuffer == 0) {
                FillTestRamp(CurrentBitmap, g.keptWidth, g.keptHeight);
            } else if (method == 1) {
                ConvertKept<std::uint16_t>(CurrentBitmap, frame, g,
                                           [](std::uint16_t v) { return std::uint16_t(v << 4); });
                // Full-width rows without padding end in white; the frame's last element is
                // not used.
                if (LeftCrop == 0 && RightCrop == 0 && Width % 2 == 0) {
                    const engine::PixelView pixels = raw_frame::Pixels(CurrentBitmap);
                    for (std::int32_t y = 0; y < g.keptHeight; ++y)
                        pixels.Row16(y)[g.keptWidth - 1] = 65535;
                }
            } else if (method == 2) {
                ConvertKept<std::uint16_t>(CurrentBitmap, frame, g,
                                           [](std::uint16_t v) { return v; });
            } else if (method == 3) {
                ConvertKept<std::uint8_t>(CurrentBitmap, frame, g,
                                          [](std::uint8_t v) { return std::uint16_t(v << 8); });
            } else if (method == 4) {
                ConvertKept<std::uint16_t>(CurrentBitmap, frame, g,
                                           [](std::uint16_t v) { return std::uint16_t(v << 2); });
            }
        }
        if (flags.Flip()) L_FlipBitmap(&CurrentBitmap);
        ImageReplaced();
        *Value = 1;
        WriteLog("TaxLumora.LoadBuffer_Crop, End.");
    });
}
