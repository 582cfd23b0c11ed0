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
struct Plain {
    static std::uint16_t Level(std::uint16_t normal, std::uint16_t) {
        return static_cast<std::uint16_t>(normal << 4);
    }
};
struct LessDark {
    static std::uint16_t Level(std::uint16_t normal, std::uint16_t dark) {
        const int difference = int{normal} - int{dark};
        return static_cast<std::uint16_t>(difference > 0 ? difference << 4 : 0);
    }
};

// Pixel p of the frame belongs in pixel p + 1 of the image memory, and the image is then turned
// upside down. Both are done in the one pass: memory row r is written to row height - 1 - r.
// With an even width each memory row starts with the second pixel of a group and ends with the
// first pixel of a group; the very first and the very last pixel get no frame pixel.
template <class Correction>
void UnpackFrameFlipped(const BITMAPHANDLE& bitmap, const std::uint8_t* normal,
                        const std::uint8_t* dark, std::int32_t width, std::int32_t height) {
    const std::uint8_t* noDark = normal;  // read but unused by Plain
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint16_t* out = raw_frame::Row16(bitmap, height - 1 - r);
        // Frame pixel of this row's first memory pixel: r × width − 1.
        const std::int64_t firstGroup = (static_cast<std::int64_t>(r) * width - 2) / 2;
        std::int32_t x = 0;
        if (r > 0) {
            const PixelPair n = Unpack(normal + 3 * firstGroup);
            const PixelPair d = Unpack((dark ? dark : noDark) + 3 * firstGroup);
            out[x] = Correction::Level(n.second, d.second);
        }
        ++x;
        const std::int64_t group = static_cast<std::int64_t>(r) * width / 2;
        const std::uint8_t* n3 = normal + 3 * group;
        const std::uint8_t* d3 = (dark ? dark : noDark) + 3 * group;
        for (; x + 1 < width; x += 2, n3 += 3, d3 += 3) {
            const PixelPair n = Unpack(n3);
            const PixelPair d = Unpack(d3);
            out[x] = Correction::Level(n.first, d.first);
            out[x + 1] = Correction::Level(n.second, d.second);
        }
        if (r + 1 < height) {
            const PixelPair n = Unpack(n3);
            const PixelPair d = Unpack(d3);
            out[x] = Correction::Level(n.first, d.first);
        }
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
        const unsigned method = raw_frame::FlagWord(uFlags).Method();

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
            // Every group but the last is read, from each frame given.
            const std::uint64_t bytes =
                raw_frame::FrameBytes(std::int64_t{Width} / 2 * Height - 1, 3);
            const std::string prefix = "axLumora.LoadBuffer_NormalAndDark";
            if (!raw_frame::FrameFitsKnownRegion(prefix, "Frame", pBufferNormal, bytes) ||
                (pBufferDark != 0 &&
                 !raw_frame::FrameFitsKnownRegion(prefix, "Dark frame", pBufferDark, bytes))) {
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
                    const auto* normal = raw_frame::FrameAt<std::uint8_t>(pBufferNormal);
                    const auto* dark = raw_frame::FrameAt<std::uint8_t>(pBufferDark);
                    if (dark)
                        UnpackFrameFlipped<LessDark>(CurrentBitmap, normal, dark, Width, Height);
                    else
                        UnpackFrameFlipped<Plain>(CurrentBitmap, normal, nullptr, Width, Height);
                }
                ImageReplaced();
                // The frame's first row is the bitmap's bottom row. The conversion wrote the rows
                // flipped already; an unconverted bitmap is flipped here.
                if (method != 0) L_FlipBitmap(&CurrentBitmap);
                if (!fileName.empty())
                    L_SaveBitmap(fileName.c_str(), &CurrentBitmap, FILE_DICOM_GRAY, 16, -1, nullptr);
                *Value = 1;
            },
            LogCaughtError("LoadBuffer_NormalAndDark"));
    });
}
