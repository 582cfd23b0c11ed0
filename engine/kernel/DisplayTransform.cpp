#include "engine/kernel/DisplayTransform.h"

namespace engine {

GridMap GridMap::Inverse() const {
    // The inverse of a signed permutation matrix is its transpose.
    GridMap inverse;
    inverse.a = a;
    inverse.b = d;
    inverse.d = b;
    inverse.e = e;
    inverse.c = -(a * c + d * f);
    inverse.f = -(b * c + e * f);
    return inverse;
}

GridMap GridMap::Then(const GridMap& next) const {
    GridMap composed;
    composed.a = next.a * a + next.b * d;
    composed.b = next.a * b + next.b * e;
    composed.d = next.d * a + next.e * d;
    composed.e = next.d * b + next.e * e;
    composed.c = next.a * c + next.b * f + next.c;
    composed.f = next.d * c + next.e * f + next.f;
    return composed;
}

GridMap DisplayToMemory(int viewPerspective, std::int64_t width, std::int64_t height) {
    const std::int64_t lastRow = height - 1, lastCol = width - 1;
    // row = a·x + b·y + c, col = d·x + e·y + f; braces list a, b, d, e, c, f.
    // clang-format off
    switch (viewPerspective) {
        case 2: return {0, 1, -1, 0, 0, lastCol};        // row0 top, col0 right
        case 3: return {0, -1, -1, 0, lastRow, lastCol};  // row0 bottom, col0 right
        case 4: return {0, -1, 1, 0, lastRow, 0};        // row0 bottom, col0 left
        case 5: return {1, 0, 0, 1, 0, 0};               // row0 left, col0 top
        case 6: return {-1, 0, 0, 1, lastRow, 0};        // row0 right, col0 top
        case 7: return {-1, 0, 0, -1, lastRow, lastCol};  // row0 right, col0 bottom
        case 8: return {1, 0, 0, -1, 0, lastCol};        // row0 left, col0 bottom
        default: return {0, 1, 1, 0, 0, 0};              // 1: row0 top, col0 left
    }
    // clang-format on
}

}  // namespace engine
