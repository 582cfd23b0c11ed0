// How a bitmap's memory is shown: the map from a displayed pixel (x, y) to the memory pixel
// (row, col) for each view perspective, with the meanings of the TIFF 6.0 Orientation tag
// (1: row 0 at the top, column 0 at the left … 8: row 0 at the left, column 0 at the bottom).
#pragma once

#include <cstdint>
#include <utility>

namespace engine {

// An affine map of pixel grids whose linear part is a signed permutation (a quarter turn and/or
// a mirror): out0 = a·in0 + b·in1 + c, out1 = d·in0 + e·in1 + f.
struct GridMap {
    int a = 1, b = 0, d = 0, e = 1;
    std::int64_t c = 0, f = 0;

    std::pair<std::int64_t, std::int64_t> operator()(std::int64_t in0, std::int64_t in1) const {
        return {a * in0 + b * in1 + c, d * in0 + e * in1 + f};
    }
    GridMap Inverse() const;
    // The map that applies this one, then next.
    GridMap Then(const GridMap& next) const;
    bool SameLinearPart(const GridMap& other) const {
        return a == other.a && b == other.b && d == other.d && e == other.e;
    }
};

inline bool IsValidViewPerspective(int viewPerspective) {
    return viewPerspective >= 1 && viewPerspective <= 8;
}

// Displayed (x, y) → memory (row, col) for an image of width × height pixels in memory.
GridMap DisplayToMemory(int viewPerspective, std::int64_t width, std::int64_t height);

}  // namespace engine
