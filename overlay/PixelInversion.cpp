// InvertPixel: one pixel of the current bitmap inverted in place, through the engine's raw pixel
// access.
#include <algorithm>
#include <cstdint>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

// The low 16 bits of the pixel's bytes are inverted and handed back as a marked grey level. The
// engine takes as many bytes as a pixel has, so a 16-bit sample becomes 65535 - v, an 8-bit one
// 255 - v, and a 24-bit pixel gets its first two bytes inverted and its third cleared.
// 12-bit samples are inverted within their own range: 65535 - v would be clamped to 4095 and
// turn every pixel white, so a second call could not restore it.
// Failures are reported in the log only; Value is always 0.
HRESULT TaxLumora::InvertPixel(LONG x, LONG y, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (x < 0 || x >= CurrentBitmap.Width || y < 0 || y >= CurrentBitmap.Height) {
            WriteLog("axLumora.InvertPixel, Out of range (x:" + std::to_string(x) +
                     ",y:" + std::to_string(y) + ")");
            return;
        }
        std::uint8_t buffer[4] = {};
        int result = L_GetPixelData(&CurrentBitmap, buffer, y, x, sizeof buffer);
        if (result != SUCCESS) {
            WriteLog("axLumora.InvertPixel, L_GetPixelData Res:" + std::to_string(result));
        }
        const std::uint32_t low16 = buffer[0] | (std::uint32_t{buffer[1]} << 8);
        const std::uint32_t maximum = CurrentBitmap.BitsPerPixel == 12 ? 4095u : 0xFFFFu;
        const std::uint32_t inverted = (maximum - std::min(low16, maximum)) | COLOR_GRAY16_MARKER;
        for (std::size_t i = 0; i < sizeof buffer; ++i) {
            buffer[i] = static_cast<std::uint8_t>(inverted >> (8 * i));
        }
        result = L_PutPixelData(&CurrentBitmap, buffer, y, x, sizeof buffer);
        if (result != SUCCESS) {
            WriteLog("axLumora.InvertPixel, L_PutPixelData Res:" + std::to_string(result));
        }
    });
}
