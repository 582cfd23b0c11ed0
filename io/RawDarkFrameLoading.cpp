// LoadBuffer_NormalAndDark: a packed 12-bit sensor frame, less its dark frame when one is given.
#include <stdexcept>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "io/RawFrame.h"

namespace {

// Two pixels in three bytes: the high nibble of the middle byte belongs to the first pixel.
struct PixelPair {
    std::uint16_t first, second;
};
inline PixelPair Unpack(const std::uint8_t* group) {
    return {static_cast<std::uint16_t>(group[0] | ((group[1] >> 4) << 8)),
            static_cast<std::uint16_t>(group[2] | ((group[1] & 0x0F) << 8))};
}

// Without its dark level a value only moves to the 16-bit range; with it, the difference is
// clamped at zero, never wrapped.
inline std::uint16_t Corrected(std::uint16_t normal, std::uint16_t dark) {
    return normal > dark ? static_cast<std::uint16_t>((normal - dark) << 4) : std::uint16_t{0};
}

// Pixel p of the frame lands in pixel p + 1 of the bitmap (rows have no padding for an even
// width); every group but the last is unpacked.
void UnpackFrame(std::uint16_t* pixels, const std::uint8_t* normal, const std::uint8_t* dark,
                 std::int64_t groups) {
    std::uint16_t* out = pixels + 1;
    if (!dark) {
        for (std::int64_t i = 0; i < groups; ++i, normal += 3, out += 2) {
            const PixelPair n = Unpack(normal);
            out[0] = static_cast<std::uint16_t>(n.first << 4);
            out[1] = static_cast<std::uint16_t>(n.second << 4);
        }
        return;
    }
    for (std::int64_t i = 0; i < groups; ++i, normal += 3, dark += 3, out += 2) {
        const PixelPair n = Unpack(normal);
        const PixelPair d = Unpack(dark);
        out[0] = Corrected(n.first, d.first);
        out[1] = Corrected(n.second, d.second);
    }
}

}  // namespace

HRESULT TaxLumora::LoadBuffer_NormalAndDark(ULONGLONG pBufferNormal, ULONGLONG pBufferDark,
                                            BSTR Fn, LONG Width, LONG Height, ULONGLONG uFlags,
                                            LONG* Value) {
    return SafeCall([&] {
        const std::string fileName = BstrToUtf8(Fn);
        WriteLog("axLumora.LoadBuffer_NormalAndDark($" + HexUpper(pBufferNormal, 8) + ",$" +
                 HexUpper(pBufferDark, 8) + "," + fileName + "," + std::to_string(Width) + "," +
                 std::to_string(Height) + ",$" + HexUpper(uFlags, 8) + ")");
        const unsigned method = raw_frame::Method(static_cast<std::uint32_t>(uFlags));

        // The packed format holds pixel pairs: an odd width has no defined layout, and a missing
        // frame cannot be read. Both are refused before the current image is touched.
        if (method == 0 && Width > 0 && Height > 0) {
            if (Width % 2 != 0) {
                WriteLog("axLumora.LoadBuffer_NormalAndDark, Odd width");
                *Value = -1;
                return;
            }
            if (pBufferNormal == 0) {
                WriteLog("axLumora.LoadBuffer_NormalAndDark, No frame");
                *Value = -1;
                return;
            }
        }

        InnerHandler(
            *Value,
            [&] {
                raw_frame::FreeAndInitialise(CurrentBitmap);
                raw_frame::CreateFrameBitmap(CurrentBitmap, Width, Height, false);
                if (Width > 0 && Height > 0 && !ImagePresent())
                    throw std::runtime_error("The frame's bitmap could not be created");
                if (method != 0) {
                    WriteLog("axLumora.LoadBuffer_NormalAndDark, Unknown {Method}Flag");
                } else if (ImagePresent()) {
                    const std::int64_t groups =
                        static_cast<std::int64_t>(Width) / 2 * Height - 1;
                    UnpackFrame(raw_frame::Row16(CurrentBitmap, 0),
                                raw_frame::FrameAt<std::uint8_t>(pBufferNormal),
                                raw_frame::FrameAt<std::uint8_t>(pBufferDark), groups);
                }
                UpdatePaintRects(true, true, true);
                RefreshPaintPalette(false);
                // The frame's first row becomes the bitmap's bottom row.
                L_FlipBitmap(&CurrentBitmap);
                if (!fileName.empty())
                    L_SaveBitmap(fileName.c_str(), &CurrentBitmap, FILE_DICOM_GRAY, 16, -1, nullptr);
                *Value = 1;
            },
            [](const std::string&) {});
    });
}
