// What the intensity operations share: the levels an image works on, its level histogram, and
// applying one table of levels to every sample, channel or palette entry. The fast kernels here
// keep plain references beside them, which the tests compare bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"

namespace engine {

// The levels of an image's intensity tables.
struct IntensityLevels {
    PixelFormat format = PixelFormat::Index8;
    bool deepGrey = false;      // 12/16-bit grey: tables run over every sample value
    bool grey = false;          // deep grey, or a palette whose entries are all grey
    std::uint32_t count = 256;  // table length: 4096 or 65536 for deep grey, else 256
    std::uint32_t top = 255;    // the highest level a result may take
};

// SUCCESS with the image's levels, or the status of AccessPixels.
int IntensityLevelsOf(const BITMAPHANDLE* bitmap, IntensityLevels* levels);

// Pixels per level, count entries: deep grey samples (12-bit words above 4095 count as 4095),
// palette levels, or the luma of colour pixels.
int LevelHistogram(const BITMAPHANDLE* bitmap, const IntensityLevels& levels,
                   std::vector<std::uint32_t>* histogram);

// Replaces each level v by table[v] (count entries, none above top): deep grey samples, each
// colour channel (RGB555 channels through their 8-bit value), the indices of an 8-bit ascending
// grey ramp, or else the palette entries.
int ApplyLevelTable(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table);

// Moves every channel of a colour pixel by table[luma] − luma, clamped to 0 … 255 (palette
// images: every entry). Grey images take table as their levels (ApplyLevelTable).
int ShiftByLuma(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table);

// ShiftByLuma's plain reference, pixel by pixel through each pixel's colour. LevelHistogram's is
// L_GetBitmapHistogram, ApplyLevelTable's L_RemapBitmapIntensity (but for RGB555, which that
// does not take).
int ShiftByLumaReference(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table);

// round(numerator / denominator) for a non-negative numerator, ties up.
inline std::uint32_t RoundedRatio(std::uint64_t numerator, std::uint64_t denominator) {
    return static_cast<std::uint32_t>((numerator + denominator / 2) / denominator);
}

}  // namespace engine
