#include "engine/kernel/Dither.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <set>
#include <utility>

#include "engine/Status.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelConvert.h"

namespace engine {
namespace {

constexpr int kCellBits = 4;
constexpr int kCellsPerAxis = 1 << kCellBits;
constexpr int kCellSize = 256 / kCellsPerAxis;

std::uint32_t SquaredDistance(const RGBQUAD& entry, std::uint32_t red, std::uint32_t green,
                              std::uint32_t blue) {
    const int dr = entry.rgbRed - static_cast<int>(red);
    const int dg = entry.rgbGreen - static_cast<int>(green);
    const int db = entry.rgbBlue - static_cast<int>(blue);
    return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
}

void Store16(std::uint8_t* pixel, unsigned value) {
    const auto word = static_cast<std::uint16_t>(value);
    std::memcpy(pixel, &word, sizeof word);
}

// ---- Quantisers: a wanted value (fine units, within the levels) to a stored code and the
// value that code stands for. Spread, per channel, is what ordered dithering scales its
// thresholds by (OrderedSpread).

// The spread of ordered dithering for a grid whose smallest step is `step` fine units: one unit
// less, so that an exact level moved by up to half of it and rounded to a whole unit never
// reaches the middle to its neighbour; full-scale fields stay exact.
float OrderedSpread(double step) { return static_cast<float>(std::max(0.0, step - 1.0)); }

int SmallestStep(const std::set<int>& levels) {
    int step = 0;
    for (auto it = levels.begin(); it != levels.end() && std::next(it) != levels.end(); ++it) {
        const int gap = *std::next(it) - *it;
        step = step == 0 ? gap : std::min(step, gap);
    }
    return step;
}

// Ordered dithering on a grid of levels: the threshold t (−½ … ½) moves each channel by t × the
// spread before the nearest level is taken, so a flat field between two levels takes the upper
// one on about the share of the matrix its position between them asks for.
template <class Quantiser>
unsigned OffsetPick(const Quantiser& q, const float* sample, float t, float fineMax) {
    float want[Quantiser::kChannels], chosen[Quantiser::kChannels];
    for (int c = 0; c < Quantiser::kChannels; ++c) {
        want[c] = std::clamp(sample[c] + t * q.spread[c], 0.0f, fineMax);
    }
    return q.Quantise(want, chosen);
}

// Grey targets: a palette of grey entries, or 12-bit samples from 16-bit ones.
struct GreyQuantiser {
    static constexpr int kChannels = 1;
    std::vector<std::uint16_t> codeOf;  // fine level → code
    std::vector<float> valueOf;         // code → fine level
    std::array<float, 1> spread{};
    int paletteBits = 0;  // 0: 16-bit words

    unsigned Quantise(const float* want, float* chosen) const {
        const unsigned code = codeOf[static_cast<std::uint32_t>(want[0] + 0.5f)];
        chosen[0] = valueOf[code];
        return code;
    }
    unsigned Ordered(const float* sample, float t, float fineMax) const {
        return OffsetPick(*this, sample, t, fineMax);
    }
    void Store(std::uint8_t* row, int x, unsigned code) const {
        if (paletteBits != 0) {
            WriteIndex(row, x, paletteBits, code);
        } else {
            Store16(row + 2 * static_cast<std::ptrdiff_t>(x), code);
        }
    }
};

// Each fine level takes the entry whose level is nearest, the lowest index on a tie (as
// conversions without dithering do). fineMax / 255 scales an 8-bit entry level to fine units.
void BuildGreyPalette(const BITMAPHANDLE& target, int bits, std::uint32_t fineMax,
                      GreyQuantiser* q) {
    const unsigned count = 1u << bits;
    std::vector<std::pair<std::int64_t, unsigned>> levels;  // distinct level, its lowest index
    q->valueOf.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::int64_t level = PaletteEntry(target, bits, i).rgbRed;
        q->valueOf[i] = static_cast<float>(static_cast<double>(level) * fineMax / 255.0);
        const auto same = std::find_if(levels.begin(), levels.end(),
                                       [&](const auto& l) { return l.first == level; });
        if (same == levels.end()) levels.emplace_back(level, i);
    }
    std::sort(levels.begin(), levels.end());
    q->codeOf.resize(std::size_t{fineMax} + 1);
    // Distances compared as |v·255 − level·fineMax|, exact; along sorted levels they fall, then
    // rise, so one pointer walks up with v.
    std::size_t k = 0;
    const auto distance = [&](std::int64_t v, std::size_t at) {
        return std::abs(v * 255 - levels[at].first * static_cast<std::int64_t>(fineMax));
    };
    for (std::int64_t v = 0; v <= fineMax; ++v) {
        while (k + 1 < levels.size()) {
            const std::int64_t here = distance(v, k), next = distance(v, k + 1);
            if (next < here || (next == here && levels[k + 1].second < levels[k].second)) {
                ++k;
            } else {
                break;
            }
        }
        q->codeOf[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>(levels[k].second);
    }
    std::int64_t gap = 255;
    for (std::size_t i = 1; i < levels.size(); ++i) {
        gap = std::min(gap, levels[i].first - levels[i - 1].first);
    }
    if (levels.size() > 1) q->spread[0] = OrderedSpread(static_cast<double>(gap) * fineMax / 255.0);
    q->paletteBits = bits;
}

void BuildDeepGrey(std::uint32_t fineMax, std::uint32_t targetMax, GreyQuantiser* q) {
    q->codeOf.resize(std::size_t{fineMax} + 1);
    for (std::uint32_t v = 0; v <= fineMax; ++v) {
        q->codeOf[v] = static_cast<std::uint16_t>(RescaleLevel(v, fineMax, targetMax));
    }
    q->valueOf.resize(std::size_t{targetMax} + 1);
    for (std::uint32_t c = 0; c <= targetMax; ++c) {
        q->valueOf[c] = static_cast<float>(static_cast<double>(c) * fineMax / targetMax);
    }
    q->spread[0] = OrderedSpread(static_cast<double>(fineMax) / targetMax);
    q->paletteBits = 0;
}

struct ColourPaletteQuantiser {
    static constexpr int kChannels = 3;
    NearestEntrySearch* search = nullptr;
    std::array<float, 3> spread{};
    bool grid = false;  // the entries form a grid of levels per channel
    int paletteBits = 8;

    unsigned Quantise(const float* want, float* chosen) const {
        const unsigned index = search->Find(static_cast<std::uint32_t>(want[0] + 0.5f),
                                            static_cast<std::uint32_t>(want[1] + 0.5f),
                                            static_cast<std::uint32_t>(want[2] + 0.5f));
        const RGBQUAD& entry = search->Entry(index);
        chosen[0] = entry.rgbRed;
        chosen[1] = entry.rgbGreen;
        chosen[2] = entry.rgbBlue;
        return index;
    }
    // Palettes that are no grid have no step to offset by. Instead a mix of entries whose mean is
    // the colour is built by diffusing the error over successive picks at this one pixel (Knoll's
    // pattern dithering); sorted by luma, the threshold chooses one of them.
    unsigned Ordered(const float* sample, float t, float fineMax) const {
        if (grid) return OffsetPick(*this, sample, t, fineMax);
        constexpr int kMix = 16;
        std::array<std::pair<float, unsigned>, kMix> mix;
        float error[3] = {0.0f, 0.0f, 0.0f};
        for (auto& [luma, index] : mix) {
            float attempt[3], chosen[3];
            for (int c = 0; c < 3; ++c)
                attempt[c] = std::clamp(sample[c] + error[c], 0.0f, fineMax);
            index = Quantise(attempt, chosen);
            for (int c = 0; c < 3; ++c) error[c] += sample[c] - chosen[c];
            luma = 0.299f * chosen[0] + 0.587f * chosen[1] + 0.114f * chosen[2];
        }
        std::stable_sort(mix.begin(), mix.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        return mix[std::min(kMix - 1, static_cast<int>((t + 0.5f) * kMix))].second;
    }
    void Store(std::uint8_t* row, int x, unsigned code) const {
        WriteIndex(row, x, paletteBits, code);
    }
};

// Colour palettes that form a grid (the fixed cube, the Netscape cube) step by their grid's
// steps per channel; false for any other palette.
bool ColourGrid(const std::vector<RGBQUAD>& entries, std::array<float, 3>* spread) {
    std::set<std::uint32_t> colours;
    std::array<std::set<int>, 3> values;
    for (const RGBQUAD& e : entries) {
        colours.insert(MakeColor(e.rgbRed, e.rgbGreen, e.rgbBlue));
        values[0].insert(e.rgbRed);
        values[1].insert(e.rgbGreen);
        values[2].insert(e.rgbBlue);
    }
    if (values[0].size() * values[1].size() * values[2].size() != colours.size()) return false;
    for (int c = 0; c < 3; ++c) (*spread)[c] = OrderedSpread(SmallestStep(values[c]));
    return true;
}

struct Rgb555Quantiser {
    static constexpr int kChannels = 3;
    std::array<std::uint8_t, 256> level5{};  // 8-bit level → nearest 5-bit level by its 8-bit value
    std::array<float, 32> value{};
    std::array<float, 3> spread{};

    Rgb555Quantiser() {
        for (std::uint32_t v = 0; v < 256; ++v) {
            std::uint32_t best = 0;
            for (std::uint32_t c = 1; c < 32; ++c) {
                const auto gap = [&](std::uint32_t l) {
                    return std::abs(static_cast<int>(Expand5To8(l)) - static_cast<int>(v));
                };
                if (gap(c) < gap(best)) best = c;
            }
            level5[v] = static_cast<std::uint8_t>(best);
        }
        std::set<int> levels;
        for (std::uint32_t c = 0; c < 32; ++c) {
            value[c] = static_cast<float>(Expand5To8(c));
            levels.insert(static_cast<int>(Expand5To8(c)));
        }
        spread.fill(OrderedSpread(SmallestStep(levels)));
    }
    unsigned Quantise(const float* want, float* chosen) const {
        const unsigned red = level5[static_cast<std::uint32_t>(want[0] + 0.5f)];
        const unsigned green = level5[static_cast<std::uint32_t>(want[1] + 0.5f)];
        const unsigned blue = level5[static_cast<std::uint32_t>(want[2] + 0.5f)];
        chosen[0] = value[red];
        chosen[1] = value[green];
        chosen[2] = value[blue];
        return (red << 10) | (green << 5) | blue;
    }
    unsigned Ordered(const float* sample, float t, float fineMax) const {
        return OffsetPick(*this, sample, t, fineMax);
    }
    void Store(std::uint8_t* row, int x, unsigned code) const {
        Store16(row + 2 * static_cast<std::ptrdiff_t>(x), code);
    }
};

// ---- Error diffusion ---------------------------------------------------------------------------

constexpr int kMargin = 3;     // widest reach of a kernel to either side
constexpr int kErrorRows = 4;  // the current row and the three below

// The published weights: rows from the current one down, columns from three left of the pixel
// to three right; the current row only takes weights right of the pixel.
struct DiffusionKernel {
    int weights[kErrorRows][2 * kMargin + 1];
    int divisor;
};

// clang-format off
constexpr DiffusionKernel kFloydSteinberg = {{{0, 0, 0, 0, 7, 0, 0},
                                              {0, 0, 3, 5, 1, 0, 0}}, 16};
constexpr DiffusionKernel kStucki = {{{0, 0, 0, 0, 8, 4, 0},
                                      {0, 2, 4, 8, 4, 2, 0},
                                      {0, 1, 2, 4, 2, 1, 0}}, 42};
constexpr DiffusionKernel kBurkes = {{{0, 0, 0, 0, 8, 4, 0},
                                      {0, 2, 4, 8, 4, 2, 0}}, 32};
constexpr DiffusionKernel kSierra = {{{0, 0, 0, 0, 5, 3, 0},
                                      {0, 2, 4, 5, 4, 2, 0},
                                      {0, 0, 2, 3, 2, 0, 0}}, 32};
constexpr DiffusionKernel kStevensonArce = {{{ 0,  0,  0,  0,  0, 32,  0},
                                             {12,  0, 26,  0, 30,  0, 16},
                                             { 0, 12,  0, 26,  0, 12,  0},
                                             { 5,  0, 12,  0, 12,  0,  5}}, 200};
constexpr DiffusionKernel kJarvis = {{{0, 0, 0, 0, 7, 5, 0},
                                      {0, 3, 5, 7, 5, 3, 0},
                                      {0, 1, 3, 5, 3, 1, 0}}, 48};
// clang-format on

const DiffusionKernel& KernelOf(DitherKind kind) {
    switch (kind) {
        case DitherKind::Stucki: return kStucki;
        case DitherKind::Burkes: return kBurkes;
        case DitherKind::Sierra: return kSierra;
        case DitherKind::StevensonArce: return kStevensonArce;
        case DitherKind::Jarvis: return kJarvis;
        default: return kFloydSteinberg;
    }
}

template <class Quantiser>
void Diffuse(const SampleReader& reader, const PixelView& dst, float fineMax, const Quantiser& q,
             const DiffusionKernel& kernel) {
    constexpr int C = Quantiser::kChannels;
    const std::size_t rowLength = (static_cast<std::size_t>(dst.width) + 2 * kMargin) * C;
    std::vector<float> errors(rowLength * kErrorRows, 0.0f);
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(dst.width) * C);
    struct Share {
        std::ptrdiff_t rowOffset;  // within its error row
        int dy;
        float factor;
    };
    std::vector<Share> shares;
    for (int dy = 0; dy < kErrorRows; ++dy) {
        for (int dx = -kMargin; dx <= kMargin; ++dx) {
            const int weight = kernel.weights[dy][dx + kMargin];
            if (weight == 0) continue;
            shares.push_back({static_cast<std::ptrdiff_t>(dx) * C, dy,
                              static_cast<float>(weight) / static_cast<float>(kernel.divisor)});
        }
    }
    PixelWalk walk;
    walk.count = dst.width;
    for (int y = 0; y < dst.height; ++y) {
        walk.row = y;
        reader.Read(walk, samples.data());
        float* rows[kErrorRows];
        for (int dy = 0; dy < kErrorRows; ++dy) {
            rows[dy] = &errors[((y + dy) % kErrorRows) * rowLength + kMargin * C];
        }
        std::uint8_t* out = dst.RowBytes(y);
        for (int x = 0; x < dst.width; ++x) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(x) * C;
            float want[C], chosen[C];
            for (int c = 0; c < C; ++c) {
                want[c] = std::clamp(samples[at + c] + rows[0][at + c], 0.0f, fineMax);
            }
            q.Store(out, x, q.Quantise(want, chosen));
            for (int c = 0; c < C; ++c) {
                const float error = want[c] - chosen[c];
                if (error == 0.0f) continue;
                for (const Share& share : shares) {
                    rows[share.dy][at + share.rowOffset + c] += error * share.factor;
                }
            }
        }
        std::fill_n(&errors[(y % kErrorRows) * rowLength], rowLength, 0.0f);
    }
}

// ---- Ordered dithering -------------------------------------------------------------------------

// Thresholds centred on zero, (m + ½) / n² − ½ for the matrix entries m of 0 … n² − 1.
std::vector<float> Thresholds(DitherKind kind, int* size) {
    std::vector<int> matrix;
    if (kind == DitherKind::Clustered) {
        // Dots grow from two centres of a 45° screen, so they clump instead of dispersing.
        *size = 8;
        matrix = {24, 10, 12, 26, 35, 47, 49, 37, 8,  0,  2,  14, 45, 59, 61, 51,
                  22, 6,  4,  16, 43, 57, 63, 53, 30, 20, 18, 28, 33, 41, 55, 39,
                  34, 46, 48, 36, 25, 11, 13, 27, 44, 58, 60, 50, 9,  1,  3,  15,
                  42, 56, 62, 52, 23, 7,  5,  17, 32, 40, 54, 38, 31, 21, 19, 29};
    } else {
        // Bayer's recursion: M(2n) = [4M, 4M + 2; 4M + 3, 4M + 1].
        int n = 1;
        matrix = {0};
        while (n < 8) {
            std::vector<int> next(static_cast<std::size_t>(4 * n * n));
            const int corner[2][2] = {{0, 2}, {3, 1}};
            for (int i = 0; i < 2 * n; ++i) {
                for (int j = 0; j < 2 * n; ++j) {
                    next[i * 2 * n + j] = 4 * matrix[(i % n) * n + (j % n)] + corner[i / n][j / n];
                }
            }
            matrix = std::move(next);
            n *= 2;
        }
        *size = n;
    }
    const float cells = static_cast<float>(matrix.size());
    std::vector<float> thresholds;
    for (int m : matrix) thresholds.push_back((static_cast<float>(m) + 0.5f) / cells - 0.5f);
    return thresholds;
}

template <class Quantiser>
void Order(const SampleReader& reader, const PixelView& dst, float fineMax, const Quantiser& q,
           DitherKind kind) {
    constexpr int C = Quantiser::kChannels;
    int size = 0;
    const std::vector<float> thresholds = Thresholds(kind, &size);
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(dst.width) * C);
    PixelWalk walk;
    walk.count = dst.width;
    for (int y = 0; y < dst.height; ++y) {
        walk.row = y;
        reader.Read(walk, samples.data());
        const float* rowThresholds = &thresholds[static_cast<std::size_t>(y % size) * size];
        std::uint8_t* out = dst.RowBytes(y);
        for (int x = 0; x < dst.width; ++x) {
            float sample[C];
            for (int c = 0; c < C; ++c) sample[c] = samples[static_cast<std::ptrdiff_t>(x) * C + c];
            q.Store(out, x, q.Ordered(sample, rowThresholds[x % size], fineMax));
        }
    }
}

template <class Quantiser>
void Nearest(const SampleReader& reader, const PixelView& dst, const Quantiser& q) {
    constexpr int C = Quantiser::kChannels;
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(dst.width) * C);
    PixelWalk walk;
    walk.count = dst.width;
    for (int y = 0; y < dst.height; ++y) {
        walk.row = y;
        reader.Read(walk, samples.data());
        std::uint8_t* out = dst.RowBytes(y);
        for (int x = 0; x < dst.width; ++x) {
            float sample[C], chosen[C];
            for (int c = 0; c < C; ++c) sample[c] = samples[static_cast<std::ptrdiff_t>(x) * C + c];
            q.Store(out, x, q.Quantise(sample, chosen));
        }
    }
}

template <class Quantiser>
void Run(const SampleReader& reader, const PixelView& dst, float fineMax, const Quantiser& q,
         DitherKind kind) {
    if (kind == DitherKind::None) {
        Nearest(reader, dst, q);
    } else if (kind == DitherKind::Ordered || kind == DitherKind::Clustered) {
        Order(reader, dst, fineMax, q, kind);
    } else {
        Diffuse(reader, dst, fineMax, q, KernelOf(kind));
    }
}

std::uint32_t GreyMaxOf(PixelFormat format) {
    return format == PixelFormat::Gray16 ? 65535u : format == PixelFormat::Gray12 ? 4095u : 255u;
}

}  // namespace

NearestEntrySearch::NearestEntrySearch(std::vector<RGBQUAD> entries)
    : entries_(std::move(entries)),
      cells_(kCellsPerAxis * kCellsPerAxis * kCellsPerAxis),
      built_(cells_.size(), 0) {}

const std::vector<std::uint8_t>& NearestEntrySearch::Candidates(std::uint32_t red,
                                                                std::uint32_t green,
                                                                std::uint32_t blue) {
    const std::uint32_t at[3] = {red >> (8 - kCellBits), green >> (8 - kCellBits),
                                 blue >> (8 - kCellBits)};
    const std::size_t cell = (at[0] * kCellsPerAxis + at[1]) * kCellsPerAxis + at[2];
    if (built_[cell]) return cells_[cell];
    // The nearest entry of any colour in the cell is no farther from it than the entry whose
    // farthest corner is nearest; entries that cannot come that close are left out.
    const auto axisDistances = [&](const RGBQUAD& entry, std::uint32_t* nearest,
                                   std::uint32_t* farthest) {
        const int value[3] = {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
        *nearest = *farthest = 0;
        for (int c = 0; c < 3; ++c) {
            const int low = static_cast<int>(at[c]) * kCellSize, high = low + kCellSize - 1;
            const int inside = std::clamp(value[c], low, high) - value[c];
            const int outside = std::max(std::abs(value[c] - low), std::abs(value[c] - high));
            *nearest += static_cast<std::uint32_t>(inside * inside);
            *farthest += static_cast<std::uint32_t>(outside * outside);
        }
    };
    std::uint32_t bound = UINT32_MAX;
    for (const RGBQUAD& entry : entries_) {
        std::uint32_t nearest, farthest;
        axisDistances(entry, &nearest, &farthest);
        bound = std::min(bound, farthest);
    }
    std::vector<std::uint8_t>& list = cells_[cell];
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::uint32_t nearest, farthest;
        axisDistances(entries_[i], &nearest, &farthest);
        if (nearest <= bound) list.push_back(static_cast<std::uint8_t>(i));
    }
    built_[cell] = 1;
    return list;
}

unsigned NearestEntrySearch::Find(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    const std::vector<std::uint8_t>& list = Candidates(red, green, blue);
    unsigned best = list.front();
    std::uint32_t bestDistance = SquaredDistance(entries_[best], red, green, blue);
    for (std::size_t k = 1; k < list.size() && bestDistance != 0; ++k) {
        const std::uint32_t distance = SquaredDistance(entries_[list[k]], red, green, blue);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = list[k];
        }
    }
    return best;
}

unsigned NearestEntryReference(const std::vector<RGBQUAD>& entries, std::uint32_t red,
                               std::uint32_t green, std::uint32_t blue) {
    unsigned best = 0;
    std::uint32_t bestDistance = UINT32_MAX;
    for (unsigned i = 0; i < entries.size(); ++i) {
        const std::uint32_t distance = SquaredDistance(entries[i], red, green, blue);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

bool DitheringApplies(PixelFormat sourceFormat, PixelFormat targetFormat) {
    switch (targetFormat) {
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8:
        case PixelFormat::Rgb555: return true;
        case PixelFormat::Gray12: return sourceFormat == PixelFormat::Gray16;
        default: return false;
    }
}

int DitherInto(const BITMAPHANDLE& source, const ConstPixelView& src, const BITMAPHANDLE& target,
               const PixelView& dst, DitherKind kind) noexcept {
    try {
        SampleReader reader;
        const auto start = [&](SampleSpace fine) { return reader.Init(source, src, fine); };
        if (dst.format == PixelFormat::Rgb555) {
            if (const int status = start({3, 255}); status != SUCCESS) return status;
            Run(reader, dst, 255.0f, Rgb555Quantiser{}, kind);
            return SUCCESS;
        }
        if (dst.format == PixelFormat::Gray12) {
            const std::uint32_t fineMax = GreyMaxOf(src.format);
            if (const int status = start({1, fineMax}); status != SUCCESS) return status;
            GreyQuantiser q;
            BuildDeepGrey(fineMax, 4095, &q);
            Run(reader, dst, static_cast<float>(fineMax), q, kind);
            return SUCCESS;
        }
        const int bits = dst.bits;
        if (SpaceOf(target, dst.format).channels == 1) {
            const std::uint32_t fineMax = GreyMaxOf(src.format);
            if (const int status = start({1, fineMax}); status != SUCCESS) return status;
            GreyQuantiser q;
            BuildGreyPalette(target, bits, fineMax, &q);
            Run(reader, dst, static_cast<float>(fineMax), q, kind);
            return SUCCESS;
        }
        if (const int status = start({3, 255}); status != SUCCESS) return status;
        std::vector<RGBQUAD> entries;
        for (unsigned i = 0; i < (1u << bits); ++i)
            entries.push_back(PaletteEntry(target, bits, i));
        ColourPaletteQuantiser q;
        q.grid = ColourGrid(entries, &q.spread);
        NearestEntrySearch search(std::move(entries));
        q.search = &search;
        q.paletteBits = bits;
        Run(reader, dst, 255.0f, q, kind);
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

}  // namespace engine
