#include <algorithm>
#include <bit>
#include <vector>

#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "engine/kernel/PixelColor.h"

namespace {

int LevelBits(const engine::PixelView& view) {
    if (view.format == engine::PixelFormat::Gray12) return 12;
    if (view.format == engine::PixelFormat::Gray16) return 16;
    return 8;
}

// Full table over every level of the depth, built once so the pixel loop is one lookup.
std::vector<std::uint16_t> ExpandTable(const std::uint32_t* lut, std::uint32_t length,
                                       int levelBits) {
    const std::uint32_t levels = 1u << levelBits;
    const int shift = levelBits - std::countr_zero(length);
    const std::uint64_t top = levels - 1, entryTop = length - 1;
    std::vector<std::uint16_t> table(levels);
    for (std::uint32_t v = 0; v < levels; ++v) {
        const std::uint64_t entry = std::min<std::uint64_t>(lut[v >> shift], entryTop);
        table[v] = static_cast<std::uint16_t>((entry * top + entryTop / 2) / entryTop);
    }
    return table;
}

}  // namespace

int L_RemapBitmapIntensity(BITMAPHANDLE* bitmap, const std::uint32_t* lut, std::uint32_t lutLength,
                           int channel) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (lut == nullptr || lutLength < 2 || !std::has_single_bit(lutLength)) {
        return ERROR_INV_PARAMETER;
    }
    if (channel < CHANNEL_MASTER || channel > CHANNEL_BLUE) return ERROR_INV_PARAMETER;
    if (view.format == engine::PixelFormat::Rgb555) return ERROR_BITPERPIXEL;
    const int levelBits = LevelBits(view);
    if (lutLength > (1u << levelBits)) return ERROR_INV_PARAMETER;
    // An 8-bit image on the ascending grey ramp keeps its ramp: its indices are the levels.
    const bool rampIndices =
        view.format == engine::PixelFormat::Index8 &&
        (bitmap->pPalette == nullptr ||
         engine::ClassifyPalette(bitmap->pPalette, bitmap->nColors, 8) == GRAY_ORDEREDNORMAL);
    const bool grey = engine::IsGrayFormat(view.format) || rampIndices;
    if (grey && channel != CHANNEL_MASTER) return ERROR_INV_PARAMETER;

    std::vector<std::uint16_t> table;
    try {
        table = ExpandTable(lut, lutLength, levelBits);
    } catch (...) {
        return ERROR_NO_MEMORY;
    }

    if (engine::IsPaletteFormat(view.format) && !rampIndices && bitmap->pPalette != nullptr) {
        for (std::uint32_t i = 0; i < bitmap->nColors; ++i) {
            RGBQUAD& entry = bitmap->pPalette[i];
            if (channel == CHANNEL_MASTER || channel == CHANNEL_RED)
                entry.rgbRed = static_cast<std::uint8_t>(table[entry.rgbRed]);
            if (channel == CHANNEL_MASTER || channel == CHANNEL_GREEN)
                entry.rgbGreen = static_cast<std::uint8_t>(table[entry.rgbGreen]);
            if (channel == CHANNEL_MASTER || channel == CHANNEL_BLUE)
                entry.rgbBlue = static_cast<std::uint8_t>(table[entry.rgbBlue]);
        }
        return SUCCESS;
    }
    if (engine::IsPackedFormat(view.format)) return ERROR_BITPERPIXEL;

    if (levelBits > 8) {
        for (int y = 0; y < view.height; ++y) {
            std::uint16_t* row = view.Row<std::uint16_t>(y);
            for (int x = 0; x < view.width; ++x) {
                row[x] = table[std::min<std::uint32_t>(row[x], (1u << levelBits) - 1)];
            }
        }
        return SUCCESS;
    }
    // Byte samples: which bytes of a pixel belong to the channel.
    const int bytesPerPixel = view.bits / 8;
    const bool rgbOrder = bitmap->Order == ORDER_RGB;
    bool touch[4] = {true, true, true, bytesPerPixel != 4};
    if (bytesPerPixel >= 3 && channel != CHANNEL_MASTER) {
        const int redByte = rgbOrder ? 0 : 2, blueByte = rgbOrder ? 2 : 0;
        const int wanted = channel == CHANNEL_RED     ? redByte
                           : channel == CHANNEL_GREEN ? 1
                                                      : blueByte;
        for (int b = 0; b < 4; ++b) touch[b] = b == wanted;
    }
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.RowBytes(y);
        for (int x = 0; x < view.width; ++x) {
            for (int b = 0; b < bytesPerPixel; ++b) {
                std::uint8_t& sample = row[x * bytesPerPixel + b];
                if (touch[b]) sample = static_cast<std::uint8_t>(table[sample]);
            }
        }
    }
    return SUCCESS;
}
