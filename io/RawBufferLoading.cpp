// LoadBuffer: the main acquisition path. A raw frame in host memory becomes the current bitmap
// through the conversion method its flag word selects.
#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "io/RawFrame.h"

namespace {

enum class Element { Byte, Word, DoubleWord };

// The element width code: 1 or 3 are bytes, 4 is 32-bit, everything else 16-bit.
Element SourceElement(raw_frame::FlagWord flags) {
    const unsigned width = flags.ElementWidth();
    if (width == 1 || width == 3) return Element::Byte;
    if (width == 4) return Element::DoubleWord;
    return Element::Word;
}

struct MethodShape {
    Element element;
    bool colour;
};

// The source element and bitmap kind each conversion method is defined for.
std::optional<MethodShape> KnownMethod(unsigned method) {
    switch (method) {
        case 0:
        case 1:
        case 2:
        case 4: return MethodShape{Element::Word, false};
        case 3: return MethodShape{Element::Byte, false};
        case 8: return MethodShape{Element::Byte, true};
        case 9: return MethodShape{Element::DoubleWord, false};
        default: return std::nullopt;
    }
}

// Bytes of the frame a known method reads (method 2 takes the bitmap's padded 16-bit rows).
std::uint64_t SourceBytes(unsigned method, std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const std::int64_t w = width;
    switch (method) {
        case 2: return raw_frame::FrameBytes(height, (2 * w + 3) / 4 * 4);
        case 3: return raw_frame::FrameBytes(height, w);
        case 8: return raw_frame::FrameBytes(height, 3 * w);
        case 9: return raw_frame::FrameBytes(height, 4 * w);
        default: return raw_frame::FrameBytes(height, 2 * w);
    }
}

// Frames come from host memory with no alignment promise: loads go through memcpy.
inline std::uint16_t LoadWord(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint32_t LoadDoubleWord(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Each row takes `width` converted elements of the frame, which has no padding.
template <std::size_t ElementBytes, class Convert>
void ConvertGrey(BITMAPHANDLE& bitmap, const std::uint8_t* source, std::int32_t width,
                 std::int32_t height, Convert convert) {
    const std::size_t rowBytes = ElementBytes * static_cast<std::size_t>(width);
    raw_frame::WriteGreyRows(bitmap, width, height, [&](std::uint16_t* row, std::int64_t y) {
        const std::uint8_t* in = source + static_cast<std::size_t>(y) * rowBytes;
        for (std::int32_t x = 0; x < width; ++x, in += ElementBytes) row[x] = convert(in);
    });
}

void ConvertColour(BITMAPHANDLE& bitmap, const std::uint8_t* source, std::int32_t width,
                   std::int32_t height) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
    raw_frame::WriteRows(bitmap, rowBytes, height, [&](std::uint8_t* row, std::int64_t y) {
        std::memcpy(row, source + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    });
}

void Convert(unsigned method, BITMAPHANDLE& bitmap, const std::uint8_t* source, std::int32_t width,
             std::int32_t height) {
    switch (method) {
        case 0:
            ConvertGrey<2>(bitmap, source, width, height, [](const std::uint8_t* p) {
                return std::uint16_t(65535 - LoadWord(p));
            });
            break;
        case 1:
            ConvertGrey<2>(bitmap, source, width, height,
                           [](const std::uint8_t* p) { return std::uint16_t(LoadWord(p) << 4); });
            break;
        case 2: {
            // The frame already has the bitmap's padded row layout.
            const engine::PixelView pixels = raw_frame::Pixels(bitmap);
            std::memcpy(
                pixels.data, source,
                static_cast<std::size_t>(pixels.stride) * static_cast<std::size_t>(pixels.height));
            break;
        }
        case 3:
            ConvertGrey<1>(bitmap, source, width, height,
                           [](const std::uint8_t* p) { return std::uint16_t(*p << 8); });
            break;
        case 4:
            ConvertGrey<2>(bitmap, source, width, height,
                           [](const std::uint8_t* p) { return LoadWord(p); });
            break;
        case 8: ConvertColour(bitmap, source, width, height); break;
        case 9:
            ConvertGrey<4>(bitmap, source, width, height, [](const std::uint8_t* p) {
                return std::uint16_t(LoadDoubleWord(p) << 4);
            });
            break;
        default: break;
    }
}

}  // namespace

HRESULT TaxLumora::LoadBuffer(ULONGLONG pBuffer, BSTR Fn, LONG Width, LONG Height, ULONGLONG uFlags,
                              LONG* Value) {
    return SafeCall([&] {
        const std::string fileName = BstrToUtf8(Fn);
        WriteLog("axLumora.LoadBuffer($" + HexUpper(pBuffer, 8) + "," + fileName + "," +
                 std::to_string(Width) + "," + std::to_string(Height) + ",$" + HexUpper(uFlags, 8) +
                 ")");
        const raw_frame::FlagWord flags(uFlags);
        const unsigned method = flags.Method();
        const bool colour = flags.Colour();
        const auto shape = KnownMethod(method);

        // Refused before the current image is touched: reading the frame with another element
        // width than the method's would walk the caller's memory with the wrong stride.
        if (shape && (shape->element != SourceElement(flags) || shape->colour != colour)) {
            WriteLog("axLumora.LoadBuffer, Flags do not fit the {Method}Flag");
            *Value = -1;
            return;
        }
        if (shape && pBuffer == 0 && Width > 0 && Height > 0) {
            WriteLog("axLumora.LoadBuffer, No frame");
            *Value = -1;
            return;
        }
        if (shape && !raw_frame::FrameFitsKnownRegion("axLumora.LoadBuffer", "Frame", pBuffer,
                                                      SourceBytes(method, Width, Height))) {
            *Value = -1;
            return;
        }

        InnerHandler(
            *Value,
            [&] {
                // Known methods write every byte; an unknown one gets a fresh, zeroed image.
                if (shape) {
                    raw_frame::ReplaceFrameBitmap(CurrentBitmap, Width, Height, colour);
                } else {
                    raw_frame::FreeAndInitialise(CurrentBitmap);
                    raw_frame::CreateFrameBitmap(CurrentBitmap, Width, Height, colour);
                }
                if (Width > 0 && Height > 0 && !ImagePresent())
                    throw std::runtime_error("The frame's bitmap could not be created");
                if (!shape) WriteLog("axLumora.LoadBuffer, Unknown {Method}Flag");
                else if (ImagePresent())
                    Convert(method, CurrentBitmap, raw_frame::FrameAt<std::uint8_t>(pBuffer), Width,
                            Height);
                ImageReplaced();
                if (!fileName.empty())
                    L_SaveBitmap(fileName.c_str(), &CurrentBitmap, FILE_DICOM_GRAY, 16, -1,
                                 nullptr);
                *Value = 1;
            },
            LogCaughtError("LoadBuffer"));
    });
}
