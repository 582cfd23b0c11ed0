#include <algorithm>
#include <array>
#include <bit>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/PixelColor.h"

namespace {

template <class Sample>
unsigned OrOfSamples(const engine::ConstPixelView& view) {
    unsigned combined = 0;
    for (int y = 0; y < view.height; ++y) {
        const Sample* row = view.Row<Sample>(y);
        Sample rowOr = 0;
        for (int x = 0; x < view.width; ++x) rowOr |= row[x];
        combined |= rowOr;
    }
    return combined;
}

template <class Sample>
void GreyMinMax(const engine::ConstPixelView& view, int* minimum, int* maximum) {
    Sample low = static_cast<Sample>(~Sample{0}), high = 0;
    for (int y = 0; y < view.height; ++y) {
        const Sample* row = view.Row<Sample>(y);
        for (int x = 0; x < view.width; ++x) {
            low = std::min(low, row[x]);
            high = std::max(high, row[x]);
        }
    }
    *minimum = low;
    *maximum = high;
}

// Palette images: the channels of the palette entries that pixels actually use.
void PaletteMinMax(const BITMAPHANDLE& bitmap, const engine::ConstPixelView& view, int* minimum,
                   int* maximum) {
    std::array<bool, 256> used{};
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* row = view.RowBytes(y);
        for (int x = 0; x < view.width; ++x) used[engine::ReadIndex(row, x, view.bits)] = true;
    }
    int low = 255, high = 0;
    for (unsigned index = 0; index < used.size(); ++index) {
        if (!used[index]) continue;
        const RGBQUAD entry = engine::PaletteEntry(bitmap, view.bits, index);
        low = std::min({low, int{entry.rgbRed}, int{entry.rgbGreen}, int{entry.rgbBlue}});
        high = std::max({high, int{entry.rgbRed}, int{entry.rgbGreen}, int{entry.rgbBlue}});
    }
    *minimum = low;
    *maximum = high;
}

void Rgb555MinMax(const engine::ConstPixelView& view, int* minimum, int* maximum) {
    unsigned low = 31, high = 0;
    for (int y = 0; y < view.height; ++y) {
        const std::uint16_t* row = view.Row<std::uint16_t>(y);
        for (int x = 0; x < view.width; ++x) {
            const unsigned red = (row[x] >> 10) & 31, green = (row[x] >> 5) & 31,
                           blue = row[x] & 31;
            low = std::min({low, red, green, blue});
            high = std::max({high, red, green, blue});
        }
    }
    *minimum = static_cast<int>(low);
    *maximum = static_cast<int>(high);
}

// 24/32-bit: the three colour bytes of each pixel; the fourth byte of 32-bit pixels is no colour.
void ByteColourMinMax(const engine::ConstPixelView& view, int* minimum, int* maximum) {
    const int pixelBytes = view.bits / 8;
    std::uint8_t low = 255, high = 0;
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* pixel = view.RowBytes(y);
        for (int x = 0; x < view.width; ++x, pixel += pixelBytes) {
            low = std::min({low, pixel[0], pixel[1], pixel[2]});
            high = std::max({high, pixel[0], pixel[1], pixel[2]});
        }
    }
    *minimum = low;
    *maximum = high;
}

}  // namespace

int L_GetMinMaxBits(const BITMAPHANDLE* bitmap, int* lowBit, int* highBit) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (lowBit == nullptr || highBit == nullptr) return ERROR_INV_PARAMETER;
    unsigned combined = 0;
    if (engine::IsGrayFormat(view.format)) {
        combined = OrOfSamples<std::uint16_t>(view);
    } else if (view.format == engine::PixelFormat::Index8 &&
               L_IsGrayScaleBitmap(bitmap) != GRAY_NO) {
        combined = OrOfSamples<std::uint8_t>(view);
    } else {
        return ERROR_BITPERPIXEL;
    }
    *lowBit = combined == 0 ? 0 : std::countr_zero(combined);
    *highBit = combined == 0 ? 0 : static_cast<int>(std::bit_width(combined)) - 1;
    return SUCCESS;
}

int L_GetMinMaxVal(const BITMAPHANDLE* bitmap, int* minValue, int* maxValue) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (minValue == nullptr || maxValue == nullptr) return ERROR_INV_PARAMETER;
    switch (view.format) {
        case engine::PixelFormat::Gray12:
        case engine::PixelFormat::Gray16:
            GreyMinMax<std::uint16_t>(view, minValue, maxValue);
            break;
        case engine::PixelFormat::Index1:
        case engine::PixelFormat::Index4:
        case engine::PixelFormat::Index8: PaletteMinMax(*bitmap, view, minValue, maxValue); break;
        case engine::PixelFormat::Rgb555: Rgb555MinMax(view, minValue, maxValue); break;
        default: ByteColourMinMax(view, minValue, maxValue); break;
    }
    return SUCCESS;
}
