// Packed 12-bit unpacking: the fast path against the plain one, group for group, on random
// frames whose lengths leave every possible remainder for the plain tail.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "io/RawPacked12.h"

namespace {

using raw_packed12::Path;
using raw_packed12::UnpackGroups;

std::vector<std::uint16_t> UnpackAll(const std::vector<std::uint8_t>& normal,
                                     const std::vector<std::uint8_t>* dark, std::size_t groups,
                                     Path path) {
    // One guard pixel past the end: nothing beyond 2 × groups is written.
    std::vector<std::uint16_t> out(2 * groups + 1, 0xBEEF);
    UnpackGroups(normal.data(), dark ? dark->data() : nullptr, out.data(), groups, path);
    return out;
}

}  // namespace

TEST(RawPacked12, KnownGroupsOnBothPaths) {
    // Twelve copies of one group, so the fast path's vector loop takes some of them.
    std::vector<std::uint8_t> normal, dark;
    for (int i = 0; i < 12; ++i) {
        normal.insert(normal.end(), {0x34, 0x12, 0x56});
        dark.insert(dark.end(), {0x30, 0x11, 0x60});
    }
    for (Path path : {Path::Plain, Path::Fast}) {
        const auto plain = UnpackAll(normal, nullptr, 12, path);
        const auto less = UnpackAll(normal, &dark, 12, path);
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(plain[2 * k], 0x1340);
            EXPECT_EQ(plain[2 * k + 1], 0x2560);
            EXPECT_EQ(less[2 * k], 0x40);       // (0x134 − 0x130) × 16
            EXPECT_EQ(less[2 * k + 1], 0xF60);  // (0x256 − 0x160) × 16
        }
        EXPECT_EQ(plain[24], 0xBEEF);
    }
}

TEST(RawPacked12, FastPathMatchesThePlainOneOnRandomFrames) {
    std::mt19937 random(7);
    for (std::size_t groups : {0, 1, 7, 9, 10, 11, 17, 18, 19, 33, 999, 1001}) {
        std::vector<std::uint8_t> normal(3 * groups), dark(3 * groups), near(3 * groups);
        for (std::size_t i = 0; i < normal.size(); ++i) {
            normal[i] = static_cast<std::uint8_t>(random());
            dark[i] = static_cast<std::uint8_t>(random());
            // Dark levels at, just below and just above the normal ones: the clamp's edges.
            near[i] = static_cast<std::uint8_t>(normal[i] + static_cast<int>(random() % 3) - 1);
        }
        for (const auto* darkFrame :
             {static_cast<std::vector<std::uint8_t>*>(nullptr), &dark, &near}) {
            const auto plain = UnpackAll(normal, darkFrame, groups, Path::Plain);
            const auto fast = UnpackAll(normal, darkFrame, groups, Path::Fast);
            ASSERT_EQ(plain, fast) << groups << " groups";
            for (std::size_t g = 0; g < groups; ++g) {
                const auto n = raw_packed12::Unpack(&normal[3 * g]);
                const auto d = darkFrame ? raw_packed12::Unpack(&(*darkFrame)[3 * g])
                                         : raw_packed12::PixelPair{0, 0};
                ASSERT_EQ(plain[2 * g], raw_packed12::Level(n.first, d.first));
                ASSERT_EQ(plain[2 * g + 1], raw_packed12::Level(n.second, d.second));
            }
        }
    }
}
