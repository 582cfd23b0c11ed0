// The raw-frame loaders on a 2000 × 1500 frame, without the file write, next to two floors in the
// same run: memcpy of the destination image, and a plain loop that shifts 16-bit words left by 4
// into padded rows.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/BenchControl.h"
#include "axlumora/DllEntry.h"
#include "control/cvaxLumoraMain.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

std::vector<std::uint8_t> Frame(std::size_t bytes) {
    std::vector<std::uint8_t> frame(bytes);
    std::uint32_t state = 12345;
    for (auto& b : frame) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return frame;
}

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

void BM_FloorMemcpy(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(kWidth) * kHeight * 2;
    auto source = Frame(bytes);
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_FloorMemcpy);

void BM_FloorShiftLoop(benchmark::State& state) {
    auto source = Frame(static_cast<std::size_t>(kWidth) * kHeight * 2);
    const std::size_t stride = (kWidth * 2 + 3) / 4 * 4 / 2;
    std::vector<std::uint16_t> target(stride * kHeight);
    for (auto _ : state) {
        const auto* in = reinterpret_cast<const std::uint16_t*>(source.data());
        for (int y = 0; y < kHeight; ++y) {
            std::uint16_t* row = target.data() + y * stride;
            for (int x = 0; x < kWidth; ++x) row[x] = static_cast<std::uint16_t>(*in++ << 4);
        }
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_FloorShiftLoop);

void BM_LoadBuffer(benchmark::State& state) {
    const auto flags = static_cast<std::uint64_t>(state.range(0));
    const unsigned method = (flags >> 16) & 0xF;
    const std::size_t elementBytes = method == 3 ? 1 : method == 8 ? 3 : method == 9 ? 4 : 2;
    auto frame = Frame(static_cast<std::size_t>(kWidth) * kHeight * elementBytes + 16);
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    for (auto _ : state) {
        control->LoadBuffer(Address(frame.data()), none.get(), kWidth, kHeight, flags, &value);
        benchmark::DoNotOptimize(value);
    }
    if (value != 1) state.SkipWithError("LoadBuffer failed");
}
BENCHMARK(BM_LoadBuffer)
    ->ArgName("flags")
    ->Arg(0x00000)
    ->Arg(0x10000)
    ->Arg(0x20000)
    ->Arg(0x30010)
    ->Arg(0x40000)
    ->Arg(0x80110)
    ->Arg(0x90040);

void BM_LoadBufferCrop(benchmark::State& state) {
    auto frame = Frame(static_cast<std::size_t>(kWidth + 20) * (kHeight + 20) * 2);
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    for (auto _ : state) {
        control->LoadBuffer_Crop(Address(frame.data()), none.get(), kWidth + 20, kHeight + 20, 10,
                                 10, 10, 10, 0x10000, &value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_LoadBufferCrop);

void BM_LoadBufferNormalAndDark(benchmark::State& state) {
    const bool withDark = state.range(0) != 0;
    auto normal = Frame(static_cast<std::size_t>(kWidth) * kHeight * 3 / 2);
    auto dark = Frame(normal.size());
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    for (auto _ : state) {
        control->LoadBuffer_NormalAndDark(Address(normal.data()), withDark ? Address(dark.data()) : 0,
                                          none.get(), kWidth, kHeight, 0, &value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_LoadBufferNormalAndDark)->ArgName("dark")->Arg(0)->Arg(1);

}  // namespace
