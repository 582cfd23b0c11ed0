#include "engine/processing/IntensityLevels.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "engine/Kernel.h"
#include "engine/Processing.h"
#include "engine/kernel/PixelColor.h"

namespace engine {
namespace {

// Luma of every RGB555 colour: the format has only 2^15 of them.
const std::array<std::uint8_t, 32768>& Rgb555Luma() {
    static const auto table = [] {
        std::array<std::uint8_t, 32768> luma{};
        for (std::uint32_t word = 0; word < luma.size(); ++word) {
            luma[word] = static_cast<std::uint8_t>(
                GrayLevelOf(MakeColor(Expand5To8((word >> 10) & 31), Expand5To8((word >> 5) & 31),
                                      Expand5To8(word & 31))));
        }
        return luma;
    }();
    return table;
}

inline std::uint32_t Luma(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return (299 * red + 587 * green + 114 * blue + 500) / 1000;
}

template <int PixelBytes, int RedByte>
void LumaHistogramRows(const ConstPixelView& view, std::uint32_t* histogram) {
    constexpr int kBlueByte = 2 - RedByte;
    // Neighbours mostly share a level: alternating between two histograms keeps one count from
    // waiting on the last.
    std::array<std::uint32_t, 256> odd{};
    const auto luma = [](const std::uint8_t* p) { return Luma(p[RedByte], p[1], p[kBlueByte]); };
    for (int y = 0; y < view.height; ++y) {
        const std::uint8_t* pixel = view.RowBytes(y);
        int x = 0;
        for (; x + 2 <= view.width; x += 2, pixel += 2 * PixelBytes) {
            ++histogram[luma(pixel)];
            ++odd[luma(pixel + PixelBytes)];
        }
        if (x < view.width) ++histogram[luma(pixel)];
    }
    for (int level = 0; level < 256; ++level) histogram[level] += odd[level];
}

// Each pixel's channels move by the change of its luma: a row of a clamping table, chosen by that
// change, maps a channel to its moved value with one load.
template <int PixelBytes, int RedByte>
void ShiftRows(const PixelView& view, const std::array<int, 256>& delta) {
    constexpr int kBlueByte = 2 - RedByte;
    std::array<std::uint8_t, 3 * 256> clamped{};  // clamped[255 + v] = v within 0 … 255
    for (int i = 0; i < static_cast<int>(clamped.size()); ++i) {
        clamped[i] = static_cast<std::uint8_t>(std::clamp(i - 255, 0, 255));
    }
    std::array<const std::uint8_t*, 256> moved{};
    for (int level = 0; level < 256; ++level) moved[level] = &clamped[255 + delta[level]];
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* pixel = view.RowBytes(y);
        for (int x = 0; x < view.width; ++x, pixel += PixelBytes) {
            const std::uint8_t red = pixel[RedByte], green = pixel[1], blue = pixel[kBlueByte];
            const std::uint8_t* to = moved[Luma(red, green, blue)];
            pixel[RedByte] = to[red];
            pixel[1] = to[green];
            pixel[kBlueByte] = to[blue];
        }
    }
}

// Deep grey counts: four interleaved histograms, so runs of equal samples do not wait on one
// counter; 12-bit words above 4095 count as 4095.
template <bool Clamp>
void CountSamples(const ConstPixelView& view, std::uint16_t last, std::uint32_t* h0,
                  std::uint32_t* h1, std::uint32_t* h2, std::uint32_t* h3) {
    const auto level = [last](std::uint16_t v) { return Clamp ? std::min(v, last) : v; };
    for (int y = 0; y < view.height; ++y) {
        const std::uint16_t* row = view.Row<std::uint16_t>(y);
        int x = 0;
        for (; x + 4 <= view.width; x += 4) {
            ++h0[level(row[x])];
            ++h1[level(row[x + 1])];
            ++h2[level(row[x + 2])];
            ++h3[level(row[x + 3])];
        }
        for (; x < view.width; ++x) ++h0[level(row[x])];
    }
}

int DeepHistogram(const ConstPixelView& view, std::uint32_t count, std::uint32_t* counts) {
    std::vector<std::uint32_t> more;
    try {
        more.assign(std::size_t{count} * 3, 0);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::uint32_t* h1 = more.data();
    std::uint32_t* h2 = h1 + count;
    std::uint32_t* h3 = h2 + count;
    const auto last = static_cast<std::uint16_t>(count - 1);
    if (count == 65536) {
        CountSamples<false>(view, last, counts, h1, h2, h3);
    } else {
        CountSamples<true>(view, last, counts, h1, h2, h3);
    }
    for (std::uint32_t v = 0; v < count; ++v) counts[v] += h1[v] + h2[v] + h3[v];
    return SUCCESS;
}

// Row bytes through a byte table, four lookups before four stores. Kept out of line: inlined next
// to a local table, GCC's vectoriser emulates the lookups as gathers through the stack and the
// loop runs at half the speed.
[[gnu::noinline]] void MapBytes(std::uint8_t* bytes, std::size_t length,
                                const std::array<std::uint8_t, 256>& table) {
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        const std::uint8_t a = table[bytes[i]], b = table[bytes[i + 1]];
        const std::uint8_t c = table[bytes[i + 2]], d = table[bytes[i + 3]];
        bytes[i] = a, bytes[i + 1] = b, bytes[i + 2] = c, bytes[i + 3] = d;
    }
    for (; i < length; ++i) bytes[i] = table[bytes[i]];
}

// 32-bit pixels: the three colour bytes through the table, the fourth kept.
void MapColour32(std::uint8_t* bytes, int width, const std::array<std::uint8_t, 256>& table) {
    for (int x = 0; x < width; ++x, bytes += 4) {
        std::uint32_t in;
        std::memcpy(&in, bytes, sizeof in);
        const std::uint32_t out = table[in & 0xFF] | (std::uint32_t{table[(in >> 8) & 0xFF]} << 8) |
                                  (std::uint32_t{table[(in >> 16) & 0xFF]} << 16) |
                                  (in & 0xFF000000u);
        std::memcpy(bytes, &out, sizeof out);
    }
}

template <bool Clamp>
void MapWords(std::uint16_t* row, int width, const std::uint16_t* table, std::uint16_t last) {
    const auto at = [&](std::uint16_t v) { return table[Clamp ? std::min(v, last) : v]; };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const std::uint16_t a = at(row[x]), b = at(row[x + 1]), c = at(row[x + 2]),
                            d = at(row[x + 3]);
        row[x] = a, row[x + 1] = b, row[x + 2] = c, row[x + 3] = d;
    }
    for (; x < width; ++x) row[x] = at(row[x]);
}

RGBQUAD ShiftedEntry(const RGBQUAD& entry, const std::vector<std::uint32_t>& table) {
    const int luma =
        static_cast<int>(GrayLevelOf(MakeColor(entry.rgbRed, entry.rgbGreen, entry.rgbBlue)));
    const int d = static_cast<int>(table[luma]) - luma;
    const auto shift = [d](std::uint8_t v) {
        return static_cast<std::uint8_t>(std::clamp(int{v} + d, 0, 255));
    };
    return RGBQUAD{shift(entry.rgbBlue), shift(entry.rgbGreen), shift(entry.rgbRed),
                   entry.rgbReserved};
}

}  // namespace

int IntensityLevelsOf(const BITMAPHANDLE* bitmap, IntensityLevels* levels) {
    ConstPixelView view;
    if (const int status = AccessPixels(bitmap, &view); status != SUCCESS) return status;
    IntensityLevels result;
    result.format = view.format;
    result.deepGrey = IsGrayFormat(view.format);
    result.grey = L_IsGrayScaleBitmap(bitmap) != GRAY_NO;
    if (result.deepGrey) {
        const int formatTop = view.format == PixelFormat::Gray12 ? 11 : 15;
        const int high =
            bitmap->HighBit < 0 ? formatTop : std::clamp(bitmap->HighBit, 0, formatTop);
        result.count = 1u << (formatTop + 1);
        result.top = (1u << (high + 1)) - 1;
    }
    *levels = result;
    return SUCCESS;
}

int LevelHistogram(const BITMAPHANDLE* bitmap, const IntensityLevels& levels,
                   std::vector<std::uint32_t>* histogram) {
    ConstPixelView view;
    if (const int status = AccessPixels(bitmap, &view); status != SUCCESS) return status;
    try {
        histogram->assign(levels.count, 0);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::uint32_t* counts = histogram->data();
    switch (view.format) {
        case PixelFormat::Rgb555: {
            const auto& luma = Rgb555Luma();
            for (int y = 0; y < view.height; ++y) {
                const std::uint16_t* row = view.Row<std::uint16_t>(y);
                for (int x = 0; x < view.width; ++x) ++counts[luma[row[x] & 0x7FFFu]];
            }
            return SUCCESS;
        }
        case PixelFormat::Rgb24: LumaHistogramRows<3, 0>(view, counts); return SUCCESS;
        case PixelFormat::Bgr24: LumaHistogramRows<3, 2>(view, counts); return SUCCESS;
        case PixelFormat::Rgb32: LumaHistogramRows<4, 0>(view, counts); return SUCCESS;
        case PixelFormat::Bgr32: LumaHistogramRows<4, 2>(view, counts); return SUCCESS;
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: return DeepHistogram(view, levels.count, counts);
        default:
            // Palette images count the levels of their entries.
            return L_GetBitmapHistogram(bitmap, counts, levels.count, CHANNEL_MASTER);
    }
}

int ApplyLevelTable(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table) {
    PixelView view;
    if (const int status = AccessPixels(bitmap, &view); status != SUCCESS) return status;
    const auto tableLength = static_cast<std::uint32_t>(table.size());
    if (IsPaletteFormat(view.format)) {
        return L_RemapBitmapIntensity(bitmap, table.data(), tableLength, CHANNEL_MASTER);
    }
    if (IsGrayFormat(view.format)) {
        const std::uint32_t count = view.format == PixelFormat::Gray12 ? 4096 : 65536;
        if (tableLength != count) return ERROR_INV_PARAMETER;
        std::vector<std::uint16_t> narrow;
        try {
            narrow.resize(count);
        } catch (const std::bad_alloc&) {
            return ERROR_NO_MEMORY;
        }
        const auto last = static_cast<std::uint16_t>(count - 1);
        for (std::uint32_t v = 0; v < count; ++v) {
            narrow[v] = static_cast<std::uint16_t>(std::min<std::uint32_t>(table[v], last));
        }
        for (int y = 0; y < view.height; ++y) {
            if (count == 65536) {
                MapWords<false>(view.Row<std::uint16_t>(y), view.width, narrow.data(), last);
            } else {
                MapWords<true>(view.Row<std::uint16_t>(y), view.width, narrow.data(), last);
            }
        }
        return SUCCESS;
    }
    if (tableLength != 256) return ERROR_INV_PARAMETER;
    std::array<std::uint8_t, 256> bytes{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        bytes[v] = static_cast<std::uint8_t>(std::min<std::uint32_t>(table[v], 255));
    }
    if (view.bits == 24) {
        for (int y = 0; y < view.height; ++y) {
            MapBytes(view.RowBytes(y), static_cast<std::size_t>(view.width) * 3, bytes);
        }
        return SUCCESS;
    }
    if (view.bits == 32) {
        for (int y = 0; y < view.height; ++y) MapColour32(view.RowBytes(y), view.width, bytes);
        return SUCCESS;
    }
    // A 5-bit channel goes through the 8-bit table by its 8-bit value.
    std::array<std::uint16_t, 32> channel{};
    for (std::uint32_t v = 0; v < 32; ++v) {
        channel[v] = static_cast<std::uint16_t>(
            Reduce8To5(std::min<std::uint32_t>(table[Expand5To8(v)], 255)));
    }
    for (int y = 0; y < view.height; ++y) {
        std::uint16_t* row = view.Row<std::uint16_t>(y);
        for (int x = 0; x < view.width; ++x) {
            const std::uint32_t word = row[x];
            row[x] =
                static_cast<std::uint16_t>((word & 0x8000u) | (channel[(word >> 10) & 31] << 10) |
                                           (channel[(word >> 5) & 31] << 5) | channel[word & 31]);
        }
    }
    return SUCCESS;
}

// What the fast shift and its reference share: the checks, grey images (the table applies to
// their levels) and palette images (the entries shift). True when that settled the call, with
// its status in *status; false for direct colour, left to the caller's loop.
static bool ShiftWithoutPixels(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table,
                               int* status) {
    IntensityLevels levels;
    *status = IntensityLevelsOf(bitmap, &levels);
    if (*status != SUCCESS) return true;
    if (table.size() != levels.count) {
        *status = ERROR_INV_PARAMETER;
        return true;
    }
    if (levels.grey) {
        *status = ApplyLevelTable(bitmap, table);
        return true;
    }
    if (IsPaletteFormat(levels.format)) {
        for (std::uint32_t i = 0; i < bitmap->nColors && bitmap->pPalette != nullptr; ++i) {
            bitmap->pPalette[i] = ShiftedEntry(bitmap->pPalette[i], table);
        }
        return true;
    }
    return false;
}

int ShiftByLuma(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table) {
    if (int status = SUCCESS; ShiftWithoutPixels(bitmap, table, &status)) return status;
    PixelView view;
    AccessPixels(bitmap, &view);
    std::array<int, 256> delta{};
    for (int level = 0; level < 256; ++level) {
        delta[level] = static_cast<int>(std::min<std::uint32_t>(table[level], 255)) - level;
    }
    switch (view.format) {
        case PixelFormat::Rgb555: {
            // 2^15 colours: shift each once, then the pixels are one lookup.
            std::vector<std::uint16_t> shifted;
            try {
                shifted.resize(32768);
            } catch (const std::bad_alloc&) {
                return ERROR_NO_MEMORY;
            }
            const auto& luma = Rgb555Luma();
            for (std::uint32_t word = 0; word < shifted.size(); ++word) {
                const int d = delta[luma[word]];
                const auto move = [d](std::uint32_t v5) {
                    return Reduce8To5(static_cast<std::uint32_t>(
                        std::clamp(static_cast<int>(Expand5To8(v5)) + d, 0, 255)));
                };
                shifted[word] =
                    static_cast<std::uint16_t>((move((word >> 10) & 31) << 10) |
                                               (move((word >> 5) & 31) << 5) | move(word & 31));
            }
            for (int y = 0; y < view.height; ++y) {
                std::uint16_t* row = view.Row<std::uint16_t>(y);
                for (int x = 0; x < view.width; ++x) {
                    row[x] =
                        static_cast<std::uint16_t>((row[x] & 0x8000u) | shifted[row[x] & 0x7FFFu]);
                }
            }
            return SUCCESS;
        }
        case PixelFormat::Rgb24: ShiftRows<3, 0>(view, delta); return SUCCESS;
        case PixelFormat::Bgr24: ShiftRows<3, 2>(view, delta); return SUCCESS;
        case PixelFormat::Rgb32: ShiftRows<4, 0>(view, delta); return SUCCESS;
        default: ShiftRows<4, 2>(view, delta); return SUCCESS;
    }
}

int ShiftByLumaReference(BITMAPHANDLE* bitmap, const std::vector<std::uint32_t>& table) {
    if (int status = SUCCESS; ShiftWithoutPixels(bitmap, table, &status)) return status;
    PixelView view;
    AccessPixels(bitmap, &view);
    for (int row = 0; row < view.height; ++row) {
        for (int col = 0; col < view.width; ++col) {
            const std::uint32_t stored = ReadStored(view, row, col);
            const std::uint32_t color = DecodeColor(*bitmap, view.format, stored);
            const int luma = static_cast<int>(GrayLevelOf(color));
            const int d = static_cast<int>(table[luma]) - luma;
            const auto move = [d](std::uint32_t v) {
                return static_cast<std::uint32_t>(std::clamp(static_cast<int>(v) + d, 0, 255));
            };
            const std::uint32_t encoded = EncodeColor(
                *bitmap, view.format,
                MakeColor(move(RedOf(color)), move(GreenOf(color)), move(BlueOf(color))));
            // The bits that carry no colour keep their value.
            const std::uint32_t kept = view.format == PixelFormat::Rgb555 ? (stored & 0x8000u)
                                       : view.bits == 32                  ? (stored & 0xFF000000u)
                                                                          : 0u;
            WriteStored(view, row, col, kept | encoded);
        }
    }
    return SUCCESS;
}

}  // namespace engine
