// A bitmap's region: the set of memory pixels that region-aware operations (the fill) touch.
// Kept as horizontal bands, each a run of rows sharing one list of column spans, so a
// rectangle or the image without a rectangle costs a few dozen bytes whatever the image size.
#pragma once

#include <cstdint>
#include <vector>

namespace engine {

// Columns left … right − 1.
struct RegionSpan {
    std::int32_t left = 0;
    std::int32_t right = 0;
    bool operator==(const RegionSpan&) const = default;
};

// Rows top … bottom − 1; spans sorted, disjoint, not touching, never empty.
struct RegionBand {
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    std::vector<RegionSpan> spans;
};

enum class RegionOp { And, Or, Xor, Minus };  // Minus: this without the other

class Region {
public:
    Region() = default;
    // Rows top … bottom − 1, columns left … right − 1; empty when either range is.
    static Region Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom);

    Region Combine(const Region& other, RegionOp op) const;
    bool Empty() const { return bands_.empty(); }
    bool Contains(std::int32_t row, std::int32_t col) const;
    // Bands sorted top to bottom, disjoint; adjacent bands never have equal spans.
    const std::vector<RegionBand>& Bands() const { return bands_; }

private:
    std::vector<RegionBand> bands_;
};

}  // namespace engine
