#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <type_traits>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/PixelConvert.h"

namespace {

constexpr int kMaxPlanes = 4;

int PlaneCount(unsigned mode) { return mode == COLORSEP_CMYK ? 4 : 3; }

std::uint32_t MaxOfBits(int bits) { return (1u << bits) - 1; }

engine::PixelWalk RowWalk(int row, int width) {
    engine::PixelWalk walk;
    walk.row = row;
    walk.count = width;
    return walk;
}

// The plane arguments: present, distinct and none of them the bitmap.
bool PlanesUsable(const BITMAPHANDLE* bitmap, BITMAPHANDLE* const planes[], int count) {
    if (planes == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        if (planes[i] == nullptr || planes[i] == bitmap) return false;
        for (int j = 0; j < i; ++j) {
            if (planes[j] == planes[i]) return false;
        }
    }
    return true;
}

// ---- Hue, lightness, saturation and value, 8 bits each, the hue circle in 256 steps --------

std::uint32_t Round255(double value) {
    return static_cast<std::uint32_t>(std::clamp(std::lround(value), 0L, 255L));
}

std::uint32_t HueOf(int red, int green, int blue, int max, int delta) {
    if (delta == 0) return 0;
    double sector;  // 0 … 6 around the circle: red, yellow, green, cyan, blue, magenta
    if (max == red) {
        sector = static_cast<double>(green - blue) / delta;
    } else if (max == green) {
        sector = 2 + static_cast<double>(blue - red) / delta;
    } else {
        sector = 4 + static_cast<double>(red - green) / delta;
    }
    if (sector < 0) sector += 6;
    return static_cast<std::uint32_t>(std::lround(sector * 256 / 6)) & 0xFFu;
}

std::array<std::uint32_t, 3> RgbToHsv(int red, int green, int blue) {
    const int max = std::max({red, green, blue}), min = std::min({red, green, blue});
    const int delta = max - min;
    const std::uint32_t saturation = max == 0 ? 0 : Round255(255.0 * delta / max);
    return {HueOf(red, green, blue, max, delta), saturation, static_cast<std::uint32_t>(max)};
}

std::array<std::uint32_t, 3> RgbToHls(int red, int green, int blue) {
    const int max = std::max({red, green, blue}), min = std::min({red, green, blue});
    const int delta = max - min, sum = max + min;
    const std::uint32_t lightness = static_cast<std::uint32_t>(sum + 1) / 2;
    const std::uint32_t saturation =
        delta == 0 ? 0 : Round255(255.0 * delta / (sum <= 255 ? sum : 510 - sum));
    return {HueOf(red, green, blue, max, delta), lightness, saturation};
}

std::array<std::uint32_t, 3> HsvToRgb(std::uint32_t hue, std::uint32_t saturation,
                                      std::uint32_t value) {
    if (saturation == 0) return {value, value, value};
    const double s = saturation / 255.0, v = value;
    const double sector = hue * 6.0 / 256.0;
    const int whole = static_cast<int>(sector);
    const double f = sector - whole;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (whole) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
    }
    return {Round255(r), Round255(g), Round255(b)};
}

std::array<std::uint32_t, 3> HlsToRgb(std::uint32_t hue, std::uint32_t lightness,
                                      std::uint32_t saturation) {
    if (saturation == 0) return {lightness, lightness, lightness};
    const double l = lightness / 255.0, s = saturation / 255.0;
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    const auto channel = [&](double t) {
        t -= std::floor(t);
        if (t < 1.0 / 6) return p + (q - p) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    const double h = hue / 256.0;
    return {Round255(255 * channel(h + 1.0 / 3)), Round255(255 * channel(h)),
            Round255(255 * channel(h - 1.0 / 3))};
}

// Calls fn(std::integral_constant<unsigned, mode>) so the pixel loops are compiled per mode.
template <class Fn>
void VisitMode(unsigned mode, Fn&& fn) {
    switch (mode) {
        case COLORSEP_RGB: return fn(std::integral_constant<unsigned, COLORSEP_RGB>{});
        case COLORSEP_CMYK: return fn(std::integral_constant<unsigned, COLORSEP_CMYK>{});
        case COLORSEP_HLS: return fn(std::integral_constant<unsigned, COLORSEP_HLS>{});
        case COLORSEP_HSV: return fn(std::integral_constant<unsigned, COLORSEP_HSV>{});
        default: return fn(std::integral_constant<unsigned, COLORSEP_CMY>{});
    }
}

// ---- Separation ---------------------------------------------------------------------------

// Planes of grey level g, maximum max.
template <unsigned Mode>
std::array<std::uint32_t, kMaxPlanes> GreyPlanes(std::uint32_t g, std::uint32_t max) {
    if constexpr (Mode == COLORSEP_RGB) return {g, g, g, 0};
    if constexpr (Mode == COLORSEP_CMYK) return {0, 0, 0, max - g};
    if constexpr (Mode == COLORSEP_HLS) return {0, g, 0, 0};
    if constexpr (Mode == COLORSEP_HSV) return {0, 0, g, 0};
    if constexpr (Mode == COLORSEP_CMY) return {max - g, max - g, max - g, 0};
}

// Planes of an 8-bit colour.
template <unsigned Mode>
std::array<std::uint32_t, kMaxPlanes> ColourPlanes(int red, int green, int blue) {
    if constexpr (Mode == COLORSEP_RGB) {
        return {std::uint32_t(red), std::uint32_t(green), std::uint32_t(blue), 0};
    } else if constexpr (Mode == COLORSEP_CMYK) {
        // Full under-colour removal without normalising: C + K = 255 − R exactly.
        const int max = std::max({red, green, blue});
        return {std::uint32_t(max - red), std::uint32_t(max - green), std::uint32_t(max - blue),
                std::uint32_t(255 - max)};
    } else if constexpr (Mode == COLORSEP_HLS || Mode == COLORSEP_HSV) {
        const auto [a, b, c] =
            Mode == COLORSEP_HLS ? RgbToHls(red, green, blue) : RgbToHsv(red, green, blue);
        return {a, b, c, 0};
    } else {
        return {std::uint32_t(255 - red), std::uint32_t(255 - green), std::uint32_t(255 - blue), 0};
    }
}

// One row of planes (out[i] the rows of the planes) from samples of one row: grey levels, or
// red, green, blue triples.
template <unsigned Mode, class Unit>
void SeparateRow(bool grey, const std::uint16_t* samples, int width, std::uint32_t max,
                 const std::array<Unit*, kMaxPlanes>& out, int count) {
    for (int x = 0; x < width; ++x) {
        const std::array<std::uint32_t, kMaxPlanes> values =
            grey ? GreyPlanes<Mode>(samples[x], max)
                 : ColourPlanes<Mode>(samples[3 * x], samples[3 * x + 1], samples[3 * x + 2]);
        for (int i = 0; i < count; ++i) out[i][x] = static_cast<Unit>(values[i]);
    }
}

// ---- Merge --------------------------------------------------------------------------------

using PlaneSamples = std::array<const std::uint16_t*, kMaxPlanes>;

// Whether the planes' pixel x has no colour.
template <unsigned Mode>
bool Achromatic(const PlaneSamples& p, int x, std::uint32_t max) {
    if constexpr (Mode == COLORSEP_HLS) return p[2][x] == 0 || p[1][x] == 0 || p[1][x] == max;
    if constexpr (Mode == COLORSEP_HSV) return p[1][x] == 0 || p[2][x] == 0;
    // RGB, CMY, CMYK: the three colour planes agree.
    return p[0][x] == p[1][x] && p[1][x] == p[2][x];
}

// Grey level of an achromatic pixel.
template <unsigned Mode>
std::uint32_t GreyOf(const PlaneSamples& p, int x, std::uint32_t max) {
    if constexpr (Mode == COLORSEP_RGB) return p[0][x];
    if constexpr (Mode == COLORSEP_CMYK) {
        const std::uint64_t product = std::uint64_t{max - p[0][x]} * (max - p[3][x]);
        return static_cast<std::uint32_t>((product + max / 2) / max);
    }
    if constexpr (Mode == COLORSEP_HLS) return p[1][x];
    if constexpr (Mode == COLORSEP_HSV) return p[2][x];
    return max - p[0][x];  // COLORSEP_CMY
}

// Red, green, blue of 8-bit plane samples a, b, c, d.
template <unsigned Mode>
std::array<std::uint32_t, 3> ColourOf(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                      std::uint32_t d) {
    const auto removed = [d](std::uint32_t ink) { return ink + d >= 255 ? 0u : 255 - ink - d; };
    if constexpr (Mode == COLORSEP_RGB) return {a, b, c};
    if constexpr (Mode == COLORSEP_CMYK) return {removed(a), removed(b), removed(c)};
    if constexpr (Mode == COLORSEP_HLS) return HlsToRgb(a, b, c);
    if constexpr (Mode == COLORSEP_HSV) return HsvToRgb(a, b, c);
    return {255 - a, 255 - b, 255 - c};  // COLORSEP_CMY
}

// Owns images made during a call until they are handed out.
struct PendingImages {
    std::array<BITMAPHANDLE, kMaxPlanes> images{};
    bool handedOut = false;
    PendingImages() = default;
    PendingImages(const PendingImages&) = delete;
    PendingImages& operator=(const PendingImages&) = delete;
    ~PendingImages() {
        if (handedOut) return;
        for (const BITMAPHANDLE& image : images) engine::ReleaseStorage(image);
    }
};

}  // namespace

int L_ColorSeparateBitmap(const BITMAPHANDLE* bitmap, BITMAPHANDLE* const planes[],
                          unsigned structSize, unsigned mode) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (mode > COLORSEP_CMY) return ERROR_INV_PARAMETER;
    const int count = PlaneCount(mode);
    if (!PlanesUsable(bitmap, planes, count)) return ERROR_INV_PARAMETER;
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(bitmap, &src); status != SUCCESS) return status;

    // Grey keeps its own depth in every plane; colour separates at 8 bits.
    const bool grey = L_IsGrayScaleBitmap(bitmap) != GRAY_NO;
    const int planeBits = grey && engine::IsGrayFormat(src.format) ? src.bits : 8;
    const std::uint32_t max = MaxOfBits(planeBits);

    PendingImages made;
    for (int i = 0; i < count; ++i) {
        BITMAPHANDLE& plane = made.images[i];
        if (const int status =
                L_CreateBitmap(&plane, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, src.width, src.height,
                               planeBits, ORDER_GRAY, nullptr, bitmap->ViewPerspective, nullptr, 0);
            status != SUCCESS) {
            return status;
        }
        plane.XResolution = bitmap->XResolution;
        plane.YResolution = bitmap->YResolution;
    }
    engine::SampleReader reader;
    if (const int status = reader.Init(
            *bitmap, src, grey ? engine::SampleSpace{1, max} : engine::SampleSpace{3, 255});
        status != SUCCESS) {
        return status;
    }
    std::vector<std::uint16_t> samples;
    try {
        samples.resize(static_cast<std::size_t>(src.width) * (grey ? 1 : 3));
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }

    std::array<engine::PixelView, kMaxPlanes> planeViews{};
    for (int i = 0; i < count; ++i) engine::AccessPixels(&made.images[i], &planeViews[i]);
    VisitMode(mode, [&](auto modeTag) {
        constexpr unsigned Mode = decltype(modeTag)::value;
        const auto separate = [&](auto unit) {
            using Unit = typename decltype(unit)::type;
            for (int y = 0; y < src.height; ++y) {
                reader.Read(RowWalk(y, src.width), samples.data());
                std::array<Unit*, kMaxPlanes> out{};
                for (int i = 0; i < count; ++i) out[i] = planeViews[i].Row<Unit>(y);
                SeparateRow<Mode>(grey, samples.data(), src.width, max, out, count);
            }
        };
        if (planeBits == 8) {
            separate(std::type_identity<std::uint8_t>{});
        } else {
            separate(std::type_identity<std::uint16_t>{});
        }
    });
    for (int i = 0; i < count; ++i) *planes[i] = made.images[i];
    made.handedOut = true;
    return SUCCESS;
}

int L_ColorMergeBitmap(BITMAPHANDLE* bitmap, BITMAPHANDLE* const planes[], unsigned structSize,
                       unsigned mode) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (mode > COLORSEP_CMY) return ERROR_INV_PARAMETER;
    const int count = PlaneCount(mode);
    if (!PlanesUsable(bitmap, planes, count)) return ERROR_INV_PARAMETER;

    std::array<engine::ConstPixelView, kMaxPlanes> views{};
    for (int i = 0; i < count; ++i) {
        const BITMAPHANDLE* plane = planes[i];
        if (const int status = engine::AccessPixels(plane, &views[i]); status != SUCCESS) {
            return status;
        }
        const engine::PixelFormat format = views[i].format;
        if (format != engine::PixelFormat::Index8 && !engine::IsGrayFormat(format)) {
            return ERROR_BITPERPIXEL;
        }
        if (views[i].width != views[0].width || views[i].height != views[0].height ||
            views[i].bits != views[0].bits ||
            plane->ViewPerspective != planes[0]->ViewPerspective) {
            return ERROR_INV_PARAMETER;
        }
    }
    const int width = views[0].width, height = views[0].height, planeBits = views[0].bits;
    const std::uint32_t max = MaxOfBits(planeBits);

    std::array<engine::SampleReader, kMaxPlanes> readers;
    std::vector<std::uint16_t> samples;
    try {
        samples.resize(static_cast<std::size_t>(width) * count);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::array<const std::uint16_t*, kMaxPlanes> p{};
    for (int i = 0; i < count; ++i) {
        if (const int status = readers[i].Init(*planes[i], views[i], {1, max}); status != SUCCESS) {
            return status;
        }
        p[i] = samples.data() + static_cast<std::size_t>(width) * i;
    }
    const auto readRow = [&](int y) {
        for (int i = 0; i < count; ++i) {
            readers[i].Read(RowWalk(y, width),
                            samples.data() + static_cast<std::size_t>(width) * i);
        }
    };

    bool achromatic = true;
    VisitMode(mode, [&](auto modeTag) {
        constexpr unsigned Mode = decltype(modeTag)::value;
        for (int y = 0; y < height && achromatic; ++y) {
            readRow(y);
            for (int x = 0; x < width && achromatic; ++x) achromatic = Achromatic<Mode>(p, x, max);
        }
    });

    const bool held = bitmap->Addr != nullptr;
    // A colour image whose pixels happen to be grey stays a colour image: only deep planes or a
    // grey bitmap make a grey result.
    if (achromatic && planeBits == 8 && held && L_IsGrayScaleBitmap(bitmap) == GRAY_NO)
        achromatic = false;
    const bool keepRgb = held && (bitmap->BitsPerPixel == 24 || bitmap->BitsPerPixel == 32) &&
                         bitmap->Order == ORDER_RGB;
    PendingImages made;
    BITMAPHANDLE& result = made.images[0];
    if (const int status = L_CreateBitmap(&result, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width,
                                          height, achromatic ? planeBits : 24,
                                          achromatic ? ORDER_GRAY
                                          : keepRgb  ? ORDER_RGB
                                                     : ORDER_BGR,
                                          nullptr, planes[0]->ViewPerspective, nullptr, 0);
        status != SUCCESS) {
        return status;
    }
    result.XResolution = held ? bitmap->XResolution : planes[0]->XResolution;
    result.YResolution = held ? bitmap->YResolution : planes[0]->YResolution;
    engine::PixelView out;
    engine::AccessPixels(&result, &out);

    VisitMode(mode, [&](auto modeTag) {
        constexpr unsigned Mode = decltype(modeTag)::value;
        const auto mergeGrey = [&](auto unit) {
            using Unit = typename decltype(unit)::type;
            for (int y = 0; y < height; ++y) {
                readRow(y);
                Unit* row = out.Row<Unit>(y);
                for (int x = 0; x < width; ++x) row[x] = static_cast<Unit>(GreyOf<Mode>(p, x, max));
            }
        };
        if (achromatic && planeBits == 8) {
            mergeGrey(std::type_identity<std::uint8_t>{});
        } else if (achromatic) {
            mergeGrey(std::type_identity<std::uint16_t>{});
        } else {
            const int redByte = keepRgb ? 0 : 2, blueByte = keepRgb ? 2 : 0;
            const auto to8 = [max](std::uint32_t v) { return engine::RescaleLevel(v, max, 255); };
            for (int y = 0; y < height; ++y) {
                readRow(y);
                std::uint8_t* row = out.RowBytes(y);
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t black = count == 4 ? to8(p[3][x]) : 0;
                    const auto [red, green, blue] =
                        ColourOf<Mode>(to8(p[0][x]), to8(p[1][x]), to8(p[2][x]), black);
                    row[3 * x + redByte] = static_cast<std::uint8_t>(red);
                    row[3 * x + 1] = static_cast<std::uint8_t>(green);
                    row[3 * x + blueByte] = static_cast<std::uint8_t>(blue);
                }
            }
        }
    });
    engine::ReleaseStorage(*bitmap);
    *bitmap = result;
    made.handedOut = true;
    return SUCCESS;
}
