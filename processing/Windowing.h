// Window tables and the automatic window search, kept apart from the members so they can be
// checked on their own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace windowing {

// Fills entries 0 … 255 for the window beginVal … endVal (beginVal 0 … 256, endVal 0 … 255):
// 0 below, 255 above, a linear ramp rounded ties-to-even between.
void FillWindowTable(int beginVal, int endVal, std::array<std::uint32_t, 256>* table);

struct Window {
    std::uint32_t low;  // 16-bit levels
    std::uint32_t high;
};
// The window from a 65536-entry histogram and thresholds in percent; none when a point or the
// count limit falls outside its range.
std::optional<Window> FindAutoWindow(const std::uint32_t* histogram, int blackThreshold,
                                     int whiteThreshold, int countsThreshold);

}  // namespace windowing
