#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <numbers>
#include <vector>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"

namespace {

using engine::filters::Plane;

std::uint32_t SquareRoot(std::uint64_t value) {
    auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(value)));
    while (root * root > value) --root;
    while ((root + 1) * (root + 1) <= value) ++root;
    return static_cast<std::uint32_t>(root);
}

// Gradient direction in whole degrees, counter-clockwise from the right with up positive.
int DirectionOf(int gx, int gy) {
    int degrees = static_cast<int>(std::lround(std::atan2(-gy, gx) * 180.0 / std::numbers::pi));
    if (degrees < 0) degrees += 360;
    return degrees == 360 ? 0 : degrees;
}

int TurnBetween(int a, int b) {
    const int turn = std::abs(a - b) % 360;
    return std::min(turn, 360 - turn);
}

// Per pixel: grey level, Sobel strength and direction, and whether it is a thinned edge pixel.
class EdgeMap {
public:
    explicit EdgeMap(const Plane<std::uint16_t>& plane)
        : width_(plane.width),
          height_(plane.height),
          strength_(Count()),
          direction_(Count()),
          thin_(Count()) {
        std::vector<std::int32_t> grey(Count());
        for (int y = 0; y < height_; ++y) {
            const std::uint16_t* row = plane.Row(y);
            for (int x = 0; x < width_; ++x) {
                const std::uint16_t* s = row + static_cast<std::ptrdiff_t>(x) * plane.channels;
                grey[Index(x, y)] = plane.channels == 1
                                        ? s[0]
                                        : static_cast<std::int32_t>(
                                              (299 * s[0] + 587 * s[1] + 114 * s[2] + 500) / 1000);
            }
        }
        std::vector<std::int32_t> gx(Count()), gy(Count());
        const auto g = [&](int x, int y) {
            return grey[Index(std::clamp(x, 0, width_ - 1), std::clamp(y, 0, height_ - 1))];
        };
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const std::size_t i = Index(x, y);
                gx[i] = (g(x + 1, y - 1) + 2 * g(x + 1, y) + g(x + 1, y + 1)) -
                        (g(x - 1, y - 1) + 2 * g(x - 1, y) + g(x - 1, y + 1));
                gy[i] = (g(x - 1, y + 1) + 2 * g(x, y + 1) + g(x + 1, y + 1)) -
                        (g(x - 1, y - 1) + 2 * g(x, y - 1) + g(x + 1, y - 1));
                const auto sx = static_cast<std::int64_t>(gx[i]);
                const auto sy = static_cast<std::int64_t>(gy[i]);
                strength_[i] = SquareRoot(static_cast<std::uint64_t>(sx * sx + sy * sy)) / 4;
                direction_[i] = static_cast<std::int16_t>(DirectionOf(gx[i], gy[i]));
            }
        }
        // Local maxima along the gradient, which points to the brighter side: > the neighbour
        // ahead and ≥ the one behind, so of the two equal pixels beside a sharp step the
        // brighter one stays. Neighbours outside the image count 0.
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const std::size_t i = Index(x, y);
                const std::int64_t ax = std::abs(gx[i]), ay = std::abs(gy[i]);
                int dx = gx[i] > 0 ? 1 : -1, dy = gy[i] > 0 ? 1 : -1;
                if (ay * 100000 <= ax * 41421) {  // within 22.5° of horizontal: tan 22.5° = 0.41421
                    dy = 0;
                } else if (ax * 100000 <= ay * 41421) {
                    dx = 0;
                }
                thin_[i] = strength_[i] > StrengthAt(x + dx, y + dy) &&
                           strength_[i] >= StrengthAt(x - dx, y - dy);
            }
        }
    }

    std::size_t Count() const { return static_cast<std::size_t>(width_) * height_; }
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }
    std::uint32_t Strength(std::size_t i) const { return strength_[i]; }
    int Direction(std::size_t i) const { return direction_[i]; }
    bool Thin(std::size_t i) const { return thin_[i] != 0; }

private:
    std::uint32_t StrengthAt(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
        return strength_[Index(x, y)];
    }

    int width_, height_;
    std::vector<std::uint32_t> strength_;
    std::vector<std::int16_t> direction_;
    std::vector<std::uint8_t> thin_;
};

// Contour pixels: thinned pixels at least `threshold` strong, and with linking every thinned
// pixel down to threshold − maximumError reached from them through 8-connected neighbours that
// turn by at most deltaDirection degrees.
std::vector<std::uint8_t> ContourPixels(const EdgeMap& edges, int width, int height, int threshold,
                                        int deltaDirection, int maximumError, bool link) {
    std::vector<std::uint8_t> contour(edges.Count());
    std::vector<std::size_t> pending;
    const auto strong = [&](std::size_t i) {
        return edges.Thin(i) && edges.Strength(i) >= static_cast<std::uint32_t>(threshold);
    };
    const auto weakEnough = static_cast<std::uint32_t>(std::max(0, threshold - maximumError));
    for (std::size_t seed = 0; seed < edges.Count(); ++seed) {
        if (contour[seed] || !strong(seed)) continue;
        contour[seed] = 1;
        if (!link) continue;
        pending.push_back(seed);
        while (!pending.empty()) {
            const std::size_t i = pending.back();
            pending.pop_back();
            const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= width || ny >= height) {
                        continue;
                    }
                    const std::size_t n = edges.Index(nx, ny);
                    if (contour[n] || !edges.Thin(n) || edges.Strength(n) < weakEnough) continue;
                    if (TurnBetween(edges.Direction(i), edges.Direction(n)) > deltaDirection) {
                        continue;
                    }
                    contour[n] = 1;
                    pending.push_back(n);
                }
            }
        }
    }
    return contour;
}

// Full-value hue of a direction (0 red, 120 green, 240 blue), channels 0 … max.
void HueOf(int degrees, unsigned max, std::uint16_t* rgb) {
    const unsigned rise = (max * static_cast<unsigned>(degrees % 60) + 30) / 60, fall = max - rise;
    const unsigned sector[6][3] = {{max, rise, 0}, {fall, max, 0}, {0, max, rise},
                                   {0, fall, max}, {rise, 0, max}, {max, 0, fall}};
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::uint16_t>(sector[degrees / 60][c]);
}

void Paint(const Plane<std::uint16_t>& plane, const EdgeMap& edges,
           const std::vector<std::uint8_t>& contour, int option) {
    const int channels = plane.channels;
    const auto max = static_cast<std::uint16_t>(plane.max);
    for (int y = 0; y < plane.height; ++y) {
        for (int x = 0; x < plane.width; ++x) {
            const std::size_t i = edges.Index(x, y);
            std::uint16_t* s = plane.Row(y) + static_cast<std::ptrdiff_t>(x) * channels;
            if (!contour[i]) {
                std::fill_n(s, channels, 0);
                continue;
            }
            switch (option) {
                case CONTOURFILTER_THIN:
                case CONTOURFILTER_LINK_BLACKWHITE: std::fill_n(s, channels, max); break;
                case CONTOURFILTER_LINK_GRAY:
                    std::fill_n(s, channels,
                                static_cast<std::uint16_t>(
                                    std::min<std::uint32_t>(edges.Strength(i), max)));
                    break;
                case CONTOURFILTER_LINK_COLOR:
                    if (channels == 3) {
                        HueOf(edges.Direction(i), max, s);
                    } else {
                        s[0] = static_cast<std::uint16_t>(
                            (edges.Direction(i) * std::uint64_t{max} + 179) / 359);
                    }
                    break;
                default:  // CONTOURFILTER_APPROX_COLOR: the pixel keeps its colour
                    break;
            }
        }
    }
}

}  // namespace

int L_ContourFilterBitmap(BITMAPHANDLE* bitmap, std::int16_t threshold, std::int16_t deltaDirection,
                          std::int16_t maximumError, int option) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (threshold < 0 || deltaDirection < 0 || maximumError < 0 || option < CONTOURFILTER_THIN ||
        option > CONTOURFILTER_APPROX_COLOR) {
        return ERROR_INV_PARAMETER;
    }
    try {
        engine::filters::ConvertedSamples samples;
        if (const int status = engine::filters::ReadSamples(*bitmap, view, &samples);
            status != SUCCESS) {
            return status;
        }
        const EdgeMap edges(samples.plane);
        const auto contour =
            ContourPixels(edges, view.width, view.height, threshold, deltaDirection, maximumError,
                          option != CONTOURFILTER_THIN);
        Paint(samples.plane, edges, contour, option);
        return engine::filters::WriteSamples(*bitmap, view, samples);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return FAILURE;
    }
}
