// Display geometry helpers shared by the members that place the image.
#pragma once

#include <cstdint>

struct FitResult {
    std::int32_t width = 0, height = 0, x = 0, y = 0;
};

// The largest box of the image's aspect ratio inside boxW × boxH, centred (offsets truncated
// toward zero). An empty image yields -1 for one dimension (MulDiv's answer to a zero divisor).
FitResult FitRect(std::int32_t boxW, std::int32_t boxH, std::int32_t imgW, std::int32_t imgH);

// Arguments of the rectangle setters that mean "leave this part" and "take it from the
// unclipped rectangle".
constexpr std::int32_t kKeep = -1000001;
constexpr std::int32_t kFromParent = -1000002;
