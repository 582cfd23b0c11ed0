// The raw-frame loaders and the 16-bit fix on a 2000 × 1500 frame, without the file write, each
// timed against its floor in the same run: a plain loop that unpacks the packed 12-bit frame
// into padded 16-bit rows (NormalAndDark), a plain loop that shifts 16-bit words left by 4 into
// padded rows (LoadBuffer, Crop) and memcpy of the image (Fix16BitData). Member and floor run
// alternately, so a busy machine slows both alike; the counter x_floor is the member's median
// time over its floor's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "axlumora/DllEntry.h"
#include "bench/BenchControl.h"
#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;
constexpr std::size_t kStride = (kWidth * 2 + 3) / 4 * 4 / 2;  // 16-bit words per padded row

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

// The floors. Each keeps its own buffers, as a member keeps its bitmap.
class MemcpyFloor {
public:
    MemcpyFloor() : source_(Frame(kStride * kHeight * 2)), target_(source_.size()) {}
    void operator()() {
        std::memcpy(target_.data(), source_.data(), source_.size());
        benchmark::DoNotOptimize(target_.data());
    }

private:
    std::vector<std::uint8_t> source_, target_;
};

class ShiftFloor {
public:
    ShiftFloor() : source_(Frame(std::size_t{kWidth} * kHeight * 2)), target_(kStride * kHeight) {}
    void operator()() {
        const auto* in = reinterpret_cast<const std::uint16_t*>(source_.data());
        for (int y = 0; y < kHeight; ++y) {
            std::uint16_t* row = target_.data() + y * kStride;
            for (int x = 0; x < kWidth; ++x) row[x] = static_cast<std::uint16_t>(*in++ << 4);
        }
        benchmark::DoNotOptimize(target_.data());
    }

private:
    std::vector<std::uint8_t> source_;
    std::vector<std::uint16_t> target_;
};

class UnpackFloor {
public:
    UnpackFloor()
        : source_(Frame(std::size_t{kWidth} * kHeight * 3 / 2)), target_(kStride * kHeight) {}
    void operator()() {
        const std::uint8_t* in = source_.data();
        for (int y = 0; y < kHeight; ++y) {
            std::uint16_t* row = target_.data() + y * kStride;
            for (int x = 0; x < kWidth; x += 2, in += 3) {
                row[x] = static_cast<std::uint16_t>(in[0] | (in[1] >> 4) << 8);
                row[x + 1] = static_cast<std::uint16_t>(in[2] | (in[1] & 0x0F) << 8);
            }
        }
        benchmark::DoNotOptimize(target_.data());
    }

private:
    std::vector<std::uint8_t> source_;
    std::vector<std::uint16_t> target_;
};

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Times `member` as the benchmark and `floor` beside it, outside the benchmark's clock.
// `prepare` runs before each member call, outside both clocks.
void AgainstFloor(
    benchmark::State& state, const std::function<void()>& member,
    const std::function<void()>& floor, const std::function<void()>& prepare = [] {}) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> memberTimes, floorTimes;
    floor();  // first touch of the floor's buffers
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        state.ResumeTiming();
        const auto t0 = Clock::now();
        member();
        const auto t1 = Clock::now();
        state.PauseTiming();
        floor();
        const auto t2 = Clock::now();
        state.ResumeTiming();
        memberTimes.push_back(std::chrono::duration<double>(t1 - t0).count());
        floorTimes.push_back(std::chrono::duration<double>(t2 - t1).count());
    }
    state.counters["x_floor"] = Median(memberTimes) / Median(floorTimes);
}

void BM_FloorMemcpy(benchmark::State& state) {
    MemcpyFloor floor;
    for (auto _ : state) floor();
}
BENCHMARK(BM_FloorMemcpy);

void BM_FloorShiftLoop(benchmark::State& state) {
    ShiftFloor floor;
    for (auto _ : state) floor();
}
BENCHMARK(BM_FloorShiftLoop);

void BM_FloorUnpackLoop(benchmark::State& state) {
    UnpackFloor floor;
    for (auto _ : state) floor();
}
BENCHMARK(BM_FloorUnpackLoop);

// x_floor: against the shift loop.
void BM_LoadBuffer(benchmark::State& state) {
    const auto flags = static_cast<std::uint64_t>(state.range(0));
    const unsigned method = (flags >> 16) & 0xF;
    const std::size_t elementBytes = method == 3 ? 1 : method == 8 ? 3 : method == 9 ? 4 : 2;
    auto frame = Frame(static_cast<std::size_t>(kWidth) * kHeight * elementBytes + 16);
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    AgainstFloor(
        state,
        [&] {
            control->LoadBuffer(Address(frame.data()), none.get(), kWidth, kHeight, flags, &value);
        },
        ShiftFloor());
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

// x_floor: against the shift loop.
void BM_LoadBufferCrop(benchmark::State& state) {
    auto frame = Frame(static_cast<std::size_t>(kWidth + 20) * (kHeight + 20) * 2);
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    AgainstFloor(
        state,
        [&] {
            control->LoadBuffer_Crop(Address(frame.data()), none.get(), kWidth + 20, kHeight + 20,
                                     10, 10, 10, 10, 0x10000, &value);
        },
        ShiftFloor());
    if (value != 1) state.SkipWithError("LoadBuffer_Crop failed");
}
BENCHMARK(BM_LoadBufferCrop);

// x_floor: against the unpack loop.
void BM_LoadBufferNormalAndDark(benchmark::State& state) {
    const bool withDark = state.range(0) != 0;
    auto normal = Frame(static_cast<std::size_t>(kWidth) * kHeight * 3 / 2);
    auto dark = Frame(normal.size());
    auto control = NewBenchControl();
    BStr none(u"");
    LONG value = 0;
    AgainstFloor(
        state,
        [&] {
            control->LoadBuffer_NormalAndDark(Address(normal.data()),
                                              withDark ? Address(dark.data()) : 0, none.get(),
                                              kWidth, kHeight, 0, &value);
        },
        UnpackFloor());
    if (value != 1) state.SkipWithError("LoadBuffer_NormalAndDark failed");
}
BENCHMARK(BM_LoadBufferNormalAndDark)->ArgName("dark")->Arg(0)->Arg(1);

// 12-bit data brought up to 16 bits; x_floor: against memcpy of the image. The 12-bit data is
// restored outside the clocks.
void BM_Fix16BitDataAgainstMemcpy(benchmark::State& state) {
    auto control = NewBenchControl();
    BITMAPHANDLE& bitmap = static_cast<TaxLumora*>(control.get())->CurrentBitmap;
    L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16, ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
    std::vector<std::uint16_t> twelveBit(bitmap.Size / 2);
    auto noise = Frame(twelveBit.size() * 2);
    std::memcpy(twelveBit.data(), noise.data(), noise.size());
    for (auto& v : twelveBit) v &= 0x0FFF;
    LONG value = -1;
    AgainstFloor(
        state, [&] { control->Fix16BitData(0, &value); }, MemcpyFloor(),
        [&] { std::memcpy(bitmap.Addr, twelveBit.data(), bitmap.Size); });
    if (value != 0) state.SkipWithError("Fix16BitData failed");
}
BENCHMARK(BM_Fix16BitDataAgainstMemcpy);

}  // namespace
