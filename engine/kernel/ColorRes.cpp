#include <algorithm>
#include <array>
#include <new>
#include <unordered_set>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/DisplayTransform.h"
#include "engine/kernel/Dither.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelConvert.h"

namespace {

constexpr unsigned kPaletteFlags = COLORRES_FIXED_PALETTE | COLORRES_OPTIMIZED_PALETTE |
                                   COLORRES_IDENTITY_PALETTE | COLORRES_USER_PALETTE |
                                   COLORRES_NETSCAPE_PALETTE;

RGBQUAD Entry(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return RGBQUAD{static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                   static_cast<std::uint8_t>(red), 0};
}

// Entries beyond those given repeat entry 0: the nearest-entry search keeps the lowest index on
// a tie, so a repeat is never chosen.
std::vector<RGBQUAD> PadPalette(std::vector<RGBQUAD> entries, int bits) {
    const std::size_t full = std::size_t{1} << bits;
    if (entries.empty()) entries.push_back(Entry(0, 0, 0));
    entries.resize(full, entries.front());
    return entries;
}

std::vector<RGBQUAD> FixedPalette(int bits) {
    std::vector<RGBQUAD> entries;
    if (bits == 1) {
        entries = {Entry(0, 0, 0), Entry(255, 255, 255)};
    } else if (bits == 4) {
        // The 16 colours of the VGA text palette.
        entries = {
            Entry(0, 0, 0),       Entry(128, 0, 0),   Entry(0, 128, 0),   Entry(128, 128, 0),
            Entry(0, 0, 128),     Entry(128, 0, 128), Entry(0, 128, 128), Entry(192, 192, 192),
            Entry(128, 128, 128), Entry(255, 0, 0),   Entry(0, 255, 0),   Entry(255, 255, 0),
            Entry(0, 0, 255),     Entry(255, 0, 255), Entry(0, 255, 255), Entry(255, 255, 255)};
    } else {
        for (std::uint32_t i = 0; i < 256; ++i) {
            entries.push_back(Entry((i >> 5) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 85));
        }
    }
    return entries;
}

std::vector<RGBQUAD> NetscapePalette() {
    std::vector<RGBQUAD> entries;
    for (std::uint32_t red = 0; red < 6; ++red) {
        for (std::uint32_t green = 0; green < 6; ++green) {
            for (std::uint32_t blue = 0; blue < 6; ++blue) {
                entries.push_back(Entry(red * 51, green * 51, blue * 51));
            }
        }
    }
    return PadPalette(std::move(entries), 8);
}

// ---- Optimized palette: the image's colours, or a median cut of them ----------------------

constexpr int kBinBits = 5;
constexpr int kBinsPerAxis = 1 << kBinBits;

struct ColourBins {
    std::vector<std::uint32_t> count =
        std::vector<std::uint32_t>(kBinsPerAxis * kBinsPerAxis * kBinsPerAxis);
    std::vector<std::array<std::uint64_t, 3>> sum =
        std::vector<std::array<std::uint64_t, 3>>(kBinsPerAxis * kBinsPerAxis * kBinsPerAxis);
    static int Index(int r, int g, int b) { return (r * kBinsPerAxis + g) * kBinsPerAxis + b; }
};

struct Box {
    std::array<int, 3> low{0, 0, 0};
    std::array<int, 3> high{kBinsPerAxis - 1, kBinsPerAxis - 1, kBinsPerAxis - 1};
    std::uint64_t pixels = 0;
};

template <class Fn>
void ForEachBin(const Box& box, Fn&& fn) {
    for (int r = box.low[0]; r <= box.high[0]; ++r) {
        for (int g = box.low[1]; g <= box.high[1]; ++g) {
            for (int b = box.low[2]; b <= box.high[2]; ++b) fn(r, g, b);
        }
    }
}

// Tightens the box to its occupied bins and counts its pixels; false when it holds none.
bool Shrink(const ColourBins& bins, Box* box) {
    Box tight;
    tight.low = {kBinsPerAxis, kBinsPerAxis, kBinsPerAxis};
    tight.high = {-1, -1, -1};
    ForEachBin(*box, [&](int r, int g, int b) {
        const std::uint32_t n = bins.count[ColourBins::Index(r, g, b)];
        if (n == 0) return;
        const int at[3] = {r, g, b};
        for (int axis = 0; axis < 3; ++axis) {
            tight.low[axis] = std::min(tight.low[axis], at[axis]);
            tight.high[axis] = std::max(tight.high[axis], at[axis]);
        }
        tight.pixels += n;
    });
    *box = tight;
    return tight.pixels > 0;
}

std::vector<RGBQUAD> MedianCut(const ColourBins& bins, std::size_t wanted) {
    std::vector<Box> boxes(1);
    if (!Shrink(bins, &boxes[0])) return {};
    while (boxes.size() < wanted) {
        // Split the fullest box that spans more than one bin, along its longest side, at the
        // median pixel.
        Box* chosen = nullptr;
        for (Box& box : boxes) {
            const bool splittable = box.low != box.high;
            if (splittable && (chosen == nullptr || box.pixels > chosen->pixels)) chosen = &box;
        }
        if (chosen == nullptr) break;
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (chosen->high[a] - chosen->low[a] > chosen->high[axis] - chosen->low[axis]) axis = a;
        }
        std::array<std::uint64_t, kBinsPerAxis> perSlice{};
        ForEachBin(*chosen, [&](int r, int g, int b) {
            const int at[3] = {r, g, b};
            perSlice[at[axis]] += bins.count[ColourBins::Index(r, g, b)];
        });
        int cut = chosen->low[axis];
        std::uint64_t below = perSlice[cut];
        while (cut + 1 < chosen->high[axis] && below * 2 < chosen->pixels) below += perSlice[++cut];
        Box upper = *chosen;
        chosen->high[axis] = cut;
        upper.low[axis] = cut + 1;
        Shrink(bins, chosen);
        if (Shrink(bins, &upper)) boxes.push_back(upper);
    }
    std::vector<RGBQUAD> entries;
    for (const Box& box : boxes) {
        std::array<std::uint64_t, 3> total{};
        ForEachBin(box, [&](int r, int g, int b) {
            const auto& s = bins.sum[ColourBins::Index(r, g, b)];
            for (int c = 0; c < 3; ++c) total[c] += s[c];
        });
        const auto mean = [&](int c) {
            return static_cast<std::uint32_t>((total[c] + box.pixels / 2) / box.pixels);
        };
        entries.push_back(Entry(mean(0), mean(1), mean(2)));
    }
    return entries;
}

int OptimizedPalette(const BITMAPHANDLE& bitmap, const engine::ConstPixelView& view,
                     std::size_t wanted, std::vector<RGBQUAD>* palette) {
    engine::SampleReader reader;
    if (const int status = reader.Init(bitmap, view, {3, 255}); status != SUCCESS) return status;
    ColourBins bins;
    std::unordered_set<std::uint32_t> distinct;
    std::vector<std::uint16_t> row(static_cast<std::size_t>(view.width) * 3);
    for (int y = 0; y < view.height; ++y) {
        engine::PixelWalk walk;
        walk.row = y;
        walk.count = view.width;
        reader.Read(walk, row.data());
        for (int x = 0; x < view.width; ++x) {
            const std::uint32_t r = row[3 * x], g = row[3 * x + 1], b = row[3 * x + 2];
            const int bin = ColourBins::Index(r >> 3, g >> 3, b >> 3);
            ++bins.count[bin];
            bins.sum[bin][0] += r;
            bins.sum[bin][1] += g;
            bins.sum[bin][2] += b;
            if (distinct.size() <= wanted) distinct.insert(engine::MakeColor(r, g, b));
        }
    }
    std::vector<RGBQUAD> entries;
    if (distinct.size() <= wanted) {
        // Few enough colours: each gets an entry of its own and the conversion is exact.
        std::vector<std::uint32_t> colours(distinct.begin(), distinct.end());
        std::sort(colours.begin(), colours.end());
        for (std::uint32_t c : colours) {
            entries.push_back(Entry(engine::RedOf(c), engine::GreenOf(c), engine::BlueOf(c)));
        }
    } else {
        entries = MedianCut(bins, wanted);
    }
    *palette = std::move(entries);
    return SUCCESS;
}

// The new image's order and palette (full 2^bits entries, or empty for the grey ramp).
struct Target {
    int order = ORDER_BGR;
    std::vector<RGBQUAD> palette;
};

int ChooseTarget(const BITMAPHANDLE& source, const engine::ConstPixelView& view, int bits,
                 unsigned flags, const RGBQUAD* userPalette, unsigned colors, Target* target) {
    const int colourOrder = (flags & COLORRES_BYTEORDER_BGR) ? ORDER_BGR : ORDER_RGB;
    const bool greySource = L_IsGrayScaleBitmap(&source) != GRAY_NO;
    const bool greyWanted = (flags & COLORRES_BYTEORDER_GRAY) != 0;
    switch (bits) {
        case 24:
        case 32: target->order = colourOrder; return SUCCESS;
        case 16:
            target->order = greyWanted || greySource ? ORDER_GRAY : colourOrder;
            return SUCCESS;
        case 12: target->order = ORDER_GRAY; return SUCCESS;
        default: break;
    }
    if (greyWanted || (greySource && (flags & kPaletteFlags) == 0)) {
        target->order = ORDER_GRAY;
        return SUCCESS;
    }
    target->order = colourOrder;
    const std::size_t full = std::size_t{1} << bits;
    if (flags & COLORRES_USER_PALETTE) {
        const std::size_t given = colors == 0 ? full : colors;
        if (userPalette == nullptr || given > full) return ERROR_INV_PARAMETER;
        target->palette = PadPalette({userPalette, userPalette + given}, bits);
    } else if (flags & COLORRES_OPTIMIZED_PALETTE) {
        const std::size_t wanted = colors == 0 ? full : std::min<std::size_t>(colors, full);
        std::vector<RGBQUAD> entries;
        if (const int status = OptimizedPalette(source, view, wanted, &entries);
            status != SUCCESS) {
            return status;
        }
        target->palette = PadPalette(std::move(entries), bits);
    } else if ((flags & COLORRES_NETSCAPE_PALETTE) && bits == 8) {
        target->palette = NetscapePalette();
    } else {
        target->palette = FixedPalette(bits);
    }
    return SUCCESS;
}

// The converted image takes the source's place, or the destination's.
int Replace(BITMAPHANDLE* source, BITMAPHANDLE* destination, const BITMAPHANDLE& result) {
    if (destination == nullptr || destination == source) {
        engine::ReleaseStorage(*source);
        *source = result;
    } else {
        *destination = result;
    }
    return SUCCESS;
}

}  // namespace

int L_ColorResBitmap(BITMAPHANDLE* source, BITMAPHANDLE* destination, unsigned structSize,
                     int bitsPerPixel, unsigned flags, const RGBQUAD* palette, void* /*reserved*/,
                     unsigned colors, void* /*callback*/, void* /*userData*/) {
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(static_cast<const BITMAPHANDLE*>(source), &src);
        status != SUCCESS) {
        return status;
    }
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (!engine::IsSupportedDepth(bitsPerPixel)) return ERROR_BITPERPIXEL;
    if (!engine::IsValidViewPerspective(source->ViewPerspective)) {
        return ERROR_INV_VIEW_PERSPECTIVE;
    }
    const unsigned dither = flags >> COLORRES_DITHER_SHIFT;
    if (dither >= engine::kDitherKindCount) return ERROR_INV_PARAMETER;

    BITMAPHANDLE result;
    try {
        Target target;
        if (const int status =
                ChooseTarget(*source, src, bitsPerPixel, flags, palette, colors, &target);
            status != SUCCESS) {
            return status;
        }
        if (const int status = L_CreateBitmap(
                &result, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, src.width, src.height, bitsPerPixel,
                target.order, target.palette.empty() ? nullptr : target.palette.data(),
                source->ViewPerspective, nullptr, 0);
            status != SUCCESS) {
            return status;
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    result.XResolution = source->XResolution;
    result.YResolution = source->YResolution;

    engine::PixelView dst;
    engine::AccessPixels(&result, &dst);
    // Colour palettes find their nearest entries through the dither path's exact search even
    // without dithering: a search of every entry per colour is what makes conversions slow.
    const bool colourPalette =
        engine::IsPaletteFormat(dst.format) && engine::SpaceOf(result, dst.format).channels == 3;
    if ((dither != 0 && engine::DitheringApplies(src.format, dst.format)) || colourPalette) {
        const auto kind = static_cast<engine::DitherKind>(dither);
        if (const int status = engine::DitherInto(*source, src, result, dst, kind);
            status != SUCCESS) {
            engine::ReleaseStorage(result);
            return status;
        }
        return Replace(source, destination, result);
    }
    engine::SampleWriter writer;
    engine::SampleReader reader;
    std::vector<std::uint16_t> samples;
    int status = writer.Init(result, dst);
    if (status == SUCCESS) status = reader.Init(*source, src, writer.Space());
    if (status == SUCCESS) {
        try {
            samples.resize(static_cast<std::size_t>(src.width) * writer.Space().channels);
        } catch (const std::bad_alloc&) {
            status = ERROR_NO_MEMORY;
        }
    }
    if (status != SUCCESS) {
        engine::ReleaseStorage(result);
        return status;
    }
    for (int y = 0; y < src.height; ++y) {
        engine::PixelWalk walk;
        walk.row = y;
        walk.count = src.width;
        reader.Read(walk, samples.data());
        writer.Write(walk, samples.data());
    }

    return Replace(source, destination, result);
}
