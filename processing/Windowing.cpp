// Windowing, AutoWindowing, Fix16BitData and ExecCorrection: grey-level windows through the
// engine's lookup-table remap, the 16-bit left shift, and flag-driven turns and mirrors.
#include "processing/Windowing.h"

#include <cmath>
#include <string>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Display.h"
#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/Processing.h"

namespace windowing {

void FillWindowTable(int beginVal, int endVal, std::array<std::uint32_t, 256>* table) {
    const double factor = endVal == beginVal ? 255.0 : 255.0 / (endVal - beginVal);
    for (int i = 0; i < beginVal && i < 256; ++i) (*table)[i] = 0;
    for (int i = beginVal; i <= endVal; ++i) {
        (*table)[i] = static_cast<std::uint32_t>(
            std::nearbyint(static_cast<long double>(i - beginVal) * factor));
    }
    for (int i = endVal + 1; i <= 255; ++i) (*table)[i] = 255;
}

namespace {

// trunc of an extended value as a level; none outside 0 … 65535.
std::optional<std::uint32_t> TruncLevel(long double value) {
    const long double whole = std::trunc(value);
    if (!(whole >= 0 && whole <= 65535)) return std::nullopt;
    return static_cast<std::uint32_t>(whole);
}

}  // namespace

std::optional<Window> FindAutoWindow(const std::uint32_t* histogram, int blackThreshold,
                                     int whiteThreshold, int countsThreshold) {
    const float black = static_cast<float>(static_cast<long double>(blackThreshold) / 100);
    const float white = static_cast<float>(static_cast<long double>(whiteThreshold) / 100);
    std::uint32_t lo = 0, hi = 65535;
    while (lo < hi && histogram[lo] == 0) ++lo;
    while (hi > lo && histogram[hi] == 0) --hi;
    const long double span = static_cast<long double>(hi - lo);
    const auto blackPoint = TruncLevel(span * black + lo);
    const auto whitePoint = TruncLevel(hi - span * white);
    if (!blackPoint || !whitePoint) return std::nullopt;
    const std::uint32_t bp = *blackPoint, wp = *whitePoint;

    std::uint32_t peak = histogram[bp];
    for (std::uint32_t level = bp; level <= wp; ++level) peak = std::max(peak, histogram[level]);
    const long double limit =
        std::nearbyint(static_cast<long double>(std::int64_t{peak} * countsThreshold) / 100);
    if (!(limit >= 0 && limit <= 4294967295.0L)) return std::nullopt;
    const auto countLimit = static_cast<std::uint32_t>(limit);

    Window window{bp, wp};
    for (std::uint32_t level = bp; level <= wp; ++level) {
        if (histogram[level] > countLimit) {
            window.low = level;
            break;
        }
    }
    for (std::int64_t level = wp; level >= bp; --level) {
        if (histogram[level] > countLimit) {
            window.high = static_cast<std::uint32_t>(level);
            break;
        }
    }
    return window;
}

}  // namespace windowing

namespace {

// Shifts every pixel left so the highest used bit becomes bit 15; the bits above 15 are lost.
// 1 done, 0 when the bit lies outside 0 … 15 or the bitmap is no 16-bit image.
int ShiftToTopBit(BITMAPHANDLE& bitmap, int highestBit) {
    if (highestBit < 0 || highestBit > 15) return 0;
    const int shift = 15 - highestBit;
    if (shift == 0) return 1;
    engine::PixelView image;
    if (!engine::AccessPixels16(&bitmap, &image)) return 0;
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row16(y);
        for (int x = 0; x < image.width; ++x) row[x] = static_cast<std::uint16_t>(row[x] << shift);
    }
    return 1;
}

}  // namespace

HRESULT TaxLumora::Windowing(LONG iBeginVal, LONG iEndVal, SHORT* Value) {
    return SafeCall([&] {
        WriteLog("axLumora.Windowing, iBeginVal:" + std::to_string(iBeginVal) +
                 ", iEndVal:" + std::to_string(iEndVal));
        std::array<std::uint32_t, 256> table{};
        L_GetFunctionalLookupTable(table.data(), 256, 0, 255, 0, FLT_LINEAR);
        if (iBeginVal < 0 || iBeginVal > 256 || iEndVal < 0 || iEndVal > 255) {
            *Value = -1;
            return;
        }
        windowing::FillWindowTable(iBeginVal, iEndVal, &table);
        const int status =
            L_RemapBitmapIntensity(&CurrentBitmap, table.data(), 256, CHANNEL_MASTER);
        if (status == SUCCESS) L_ResetFileWindow(&CurrentBitmap);
        *Value = EngineStatusToValue16(status);
    });
}

HRESULT TaxLumora::AutoWindowing(LONG iBlackThreshold, LONG iWhiteThreshold, LONG iCountsThreshold,
                                 SHORT* Value) {
    return SafeCall([&] {
        std::vector<std::uint32_t> histogram(65536);
        const int status =
            L_GetBitmapHistogram(&CurrentBitmap, histogram.data(), 65536, CHANNEL_GRAYLEVELS);
        if (status != SUCCESS) {
            // No histogram, no window: the engine's status tells why.
            *Value = EngineStatusToValue16(status);
            return;
        }
        const auto window = windowing::FindAutoWindow(histogram.data(), iBlackThreshold,
                                                      iWhiteThreshold, iCountsThreshold);
        if (!window) {
            *Value = -1;
            return;
        }
        SHORT windowValue = 0;
        if (FAILED(Windowing(static_cast<LONG>(window->low >> 8),
                             static_cast<LONG>(window->high >> 8), &windowValue))) {
            *Value = -1;
            return;
        }
        *Value = windowValue;
    });
}

HRESULT TaxLumora::Fix16BitData(ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        InnerHandler(
            *Value,
            [&] {
                if (CurrentBitmap.BitsPerPixel == 16) {
                    int lowBit = 0, highBit = 0;
                    L_GetMinMaxBits(&CurrentBitmap, &lowBit, &highBit);
                    FireOnLog("TaxLumora.Fix16BitData, min bit:" + std::to_string(lowBit) +
                              ", max bit:" + std::to_string(highBit));
                    const int shifted = ShiftToTopBit(CurrentBitmap, highBit);
                    if (shifted == 1) {
                        FireOnLog("TaxLumora.Fix16BitData, --> Bits:" +
                                  std::to_string(CurrentBitmap.BitsPerPixel));
                    } else {
                        const std::string line =
                            "TaxLumora.Fix16BitData, L_WindowLevel() FAILED:#" +
                            std::to_string(shifted);
                        WriteLog(line);
                        FireOnLog(line);
                    }
                } else {
                    L_GrayScaleBitmap(&CurrentBitmap, 16);
                }
                L_ResetFileWindow(&CurrentBitmap);
                RefreshPaintPalette(false);
            },
            LogCaughtError("Fix16BitData"));
    });
}

HRESULT TaxLumora::ExecCorrection(LONG Correction) {
    return SafeCall([&] {
        const auto rotate = [&](int angle) {
            L_RotateBitmap(&CurrentBitmap, angle, ROTATEFLAG_RESIZE, 0);
        };
        if (Correction & 0x02) rotate(9000);
        if (Correction & 0x04) rotate(18000);
        if (Correction & 0x08) rotate(-9000);
        if (Correction & 0x10) L_ReverseBitmap(&CurrentBitmap);
        if (Correction & 0x20) {
            L_ReverseBitmap(&CurrentBitmap);
            rotate(18000);
        }
    });
}
