// LoadBuffer_NormalAndDark: a packed 12-bit sensor frame, less its dark frame when one is given.
#include <stdexcept>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "io/RawFrame.h"
#include "io/RawPacked12.h"

namespace {

// Pixel p of the frame belongs in pixel p + 1 of the image memory, and the image is then turned
// upside down. Both are done in the one pass: memory row r is written to row height - 1 - r.
// With an even width each memory row starts with the second pixel of a group and ends with the
// first pixel of the next; the very first and the very last pixel get no frame pixel and are 0.
void UnpackFrameFlipped(BITMAPHANDLE& bitmap, const std::uint8_t* normal, const std::uint8_t* dark,
                        std::int32_t width, std::int32_t height) {
    using raw_packed12::Level;
    using raw_packed12::Unpack;
    const std::size_t rowGroups = static_cast<std::size_t>(width) / 2;
    const engine::PixelView pixels = raw_frame::Pixels(bitmap);
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint16_t* out = pixels.Row16(height - 1 - r);
        const std::size_t group = static_cast<std::size_t>(r) * rowGroups;
        if (r == 0) {
            out[0] = 0;
        } else {
            const std::uint8_t* n = normal + 3 * (group - 1);
            out[0] = Level(Unpack(n).second, dark ? Unpack(dark + 3 * (group - 1)).second : 0);
        }
        raw_packed12::UnpackGroups(normal + 3 * group, dark ? dark + 3 * group : nullptr, out + 1,
                                   rowGroups - 1);
        if (r + 1 == height) {
            out[width - 1] = 0;
        } else {
            const std::size_t last = group + rowGroups - 1;
            out[width - 1] =
                Level(Unpack(normal + 3 * last).first, dark ? Unpack(dark + 3 * last).first : 0);
        }
    }
}

}  // namespace

HRESULT TaxLumora::LoadBuffer_NormalAndDark(ULONGLONG pBufferNormal, ULONGLONG pBufferDark, BSTR Fn,
                                            LONG Width, LONG Height, ULONGLONG uFlags,
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
                // Method 0 writes every pixel; an unknown one gets a fresh, zeroed image.
                if (method == 0) {
                    raw_frame::ReplaceFrameBitmap(CurrentBitmap, Width, Height, false);
                } else {
                    raw_frame::FreeAndInitialise(CurrentBitmap);
                    raw_frame::CreateFrameBitmap(CurrentBitmap, Width, Height, false);
                }
                if (Width > 0 && Height > 0 && !ImagePresent())
                    throw std::runtime_error("The frame's bitmap could not be created");
                if (method != 0) {
                    WriteLog("axLumora.LoadBuffer_NormalAndDark, Unknown {Method}Flag");
                } else if (ImagePresent()) {
                    const auto* normal = raw_frame::FrameAt<std::uint8_t>(pBufferNormal);
                    const auto* dark = raw_frame::FrameAt<std::uint8_t>(pBufferDark);
                    UnpackFrameFlipped(CurrentBitmap, normal, dark, Width, Height);
                }
                ImageReplaced();
                // The frame's first row is the bitmap's bottom row. The conversion wrote the rows
                // flipped already; an unconverted bitmap is flipped here.
                if (method != 0) L_FlipBitmap(&CurrentBitmap);
                if (!fileName.empty())
                    L_SaveBitmap(fileName.c_str(), &CurrentBitmap, FILE_DICOM_GRAY, 16, -1,
                                 nullptr);
                *Value = 1;
            },
            LogCaughtError("LoadBuffer_NormalAndDark"));
    });
}
