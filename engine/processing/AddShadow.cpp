#include <cmath>
#include <new>
#include <numbers>
#include <vector>

#include "engine/Intensity.h"
#include "engine/kernel/DisplayTransform.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelConvert.h"
#include "engine/processing/IntensityLevels.h"

namespace {

constexpr unsigned kKnownFlags = SHADOW_DISTANCE_MASK | SHADOW_STRENGTH_MASK | SHADOW_LIGHT;

struct ShadowShape {
    int rowOffset = 0;  // memory offset from an object pixel to the pixel its shadow covers
    int colOffset = 0;
    std::uint32_t strength = SHADOW_DEFAULT_STRENGTH;
    bool light = false;
};

// The level a pixel is judged by: grey samples as they are, colour by the luma of its channels
// at 8 bits.
std::uint32_t JudgedLevel(const std::uint16_t* samples, const engine::SampleSpace& space) {
    if (space.channels == 1) return samples[0];
    const auto eight = [&](std::uint16_t v) {
        return space.max == 31 ? engine::Expand5To8(v) : std::uint32_t{v};
    };
    return engine::GrayLevelOf(
        engine::MakeColor(eight(samples[0]), eight(samples[1]), eight(samples[2])));
}

std::uint16_t Shaded(std::uint32_t v, std::uint32_t top, const ShadowShape& shape) {
    if (shape.light) {
        return static_cast<std::uint16_t>(v >= top ? v
                                                   : v + ((top - v) * shape.strength + 50) / 100);
    }
    return static_cast<std::uint16_t>(v - (v * shape.strength + 50) / 100);
}

// Rounded half away from zero as the exact value would be: sin 30° comes out a hair below ½,
// so a nudge far above that error and far below any real fraction decides the halves.
int RoundedOffset(double value) {
    return static_cast<int>(std::lround(value + std::copysign(1e-9, value)));
}

}  // namespace

int L_AddShadowBitmap(BITMAPHANDLE* bitmap, unsigned angle, unsigned threshold, unsigned flags) {
    engine::IntensityLevels levels;
    if (const int status = engine::IntensityLevelsOf(bitmap, &levels); status != SUCCESS) {
        return status;
    }
    if ((flags & ~kKnownFlags) != 0) return ERROR_INV_PARAMETER;
    ShadowShape shape;
    const unsigned distance = (flags & SHADOW_DISTANCE_MASK) == 0 ? SHADOW_DEFAULT_DISTANCE
                                                                  : flags & SHADOW_DISTANCE_MASK;
    const unsigned strength = (flags & SHADOW_STRENGTH_MASK) >> SHADOW_STRENGTH_SHIFT;
    if (strength > 100) return ERROR_INV_PARAMETER;
    if (strength != 0) shape.strength = strength;
    shape.light = (flags & SHADOW_LIGHT) != 0;

    // The offset on screen, y downwards, turned into memory rows and columns.
    const double radians = (angle % 36000u) / 100.0 * std::numbers::pi / 180.0;
    const auto dx = RoundedOffset(distance * std::cos(radians));
    const auto dy = RoundedOffset(distance * std::sin(radians));
    const engine::GridMap toMemory =
        engine::DisplayToMemory(bitmap->ViewPerspective, bitmap->Width, bitmap->Height);
    shape.rowOffset = toMemory.a * dx + toMemory.b * dy;
    shape.colOffset = toMemory.d * dx + toMemory.e * dy;

    engine::PixelView view;
    engine::AccessPixels(bitmap, &view);
    const engine::ConstPixelView readView{view.width,  view.height, view.bits,
                                          view.format, view.stride, view.data};
    engine::SampleWriter writer;
    engine::SampleReader reader;
    if (const int status = writer.Init(*bitmap, view); status != SUCCESS) return status;
    const engine::SampleSpace space = writer.Space();
    if (const int status = reader.Init(*bitmap, readView, space); status != SUCCESS) return status;
    // Deep grey lightens up to its significant top, every other space to its own.
    const std::uint32_t top = levels.deepGrey ? levels.top : space.max;

    const std::size_t width = static_cast<std::size_t>(view.width);
    std::vector<std::uint8_t> object;
    std::vector<std::uint16_t> samples;
    try {
        object.resize(width * view.height);
        samples.resize(width * space.channels);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    engine::PixelWalk walk;
    walk.count = view.width;
    for (int row = 0; row < view.height; ++row) {
        walk.row = row;
        reader.Read(walk, samples.data());
        for (std::size_t col = 0; col < width; ++col) {
            object[row * width + col] =
                JudgedLevel(&samples[col * space.channels], space) > threshold;
        }
    }

    const auto casts = [&](int row, int col) {
        const int fromRow = row - shape.rowOffset, fromCol = col - shape.colOffset;
        return fromRow >= 0 && fromRow < view.height && fromCol >= 0 && fromCol < view.width &&
               object[fromRow * width + fromCol] != 0;
    };
    for (int row = 0; row < view.height; ++row) {
        walk.row = row;
        reader.Read(walk, samples.data());
        // Only the shadowed runs are written back: rewriting an untouched palette pixel could
        // move it to an earlier entry of the same colour.
        int col = 0;
        while (col < view.width) {
            if (object[row * width + col] != 0 || !casts(row, col)) {
                ++col;
                continue;
            }
            const int start = col;
            for (; col < view.width && object[row * width + col] == 0 && casts(row, col); ++col) {
                std::uint16_t* pixel = &samples[col * space.channels];
                for (int c = 0; c < space.channels; ++c) pixel[c] = Shaded(pixel[c], top, shape);
            }
            engine::PixelWalk run;
            run.row = row;
            run.col = start;
            run.count = col - start;
            writer.Write(run, &samples[start * space.channels]);
        }
    }
    return SUCCESS;
}
