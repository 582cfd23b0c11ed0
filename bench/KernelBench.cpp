// Kernel operations on a 2000 × 1500 16-bit grey frame, next to a memcpy of the same pixel memory
// as the floor: the ratio of each to BM_MemcpyFloor is what to watch.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/Kernel.h"

namespace {

constexpr unsigned kWidth = 2000;
constexpr unsigned kHeight = 1500;

void MakeFrame(ScopedBitmap& bitmap) {
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16,
                   ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0);
    auto* samples = reinterpret_cast<std::uint16_t*>(bitmap->Addr);
    for (std::size_t i = 0; i < bitmap->Size / 2; ++i)
        samples[i] = static_cast<std::uint16_t>(i * 7919);
}

void BM_MemcpyFloor(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    std::vector<std::uint8_t> target(frame->Size);
    for (auto _ : state) {
        std::memcpy(target.data(), frame->Addr, frame->Size);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame->Size));
}
BENCHMARK(BM_MemcpyFloor);

template <int (*Operation)(BITMAPHANDLE*)>
void BM_InPlace(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Operation(frame.get()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame->Size));
}
BENCHMARK(BM_InPlace<L_InvertBitmap>)->Name("BM_InvertBitmap16");
BENCHMARK(BM_InPlace<L_FlipBitmap>)->Name("BM_FlipBitmap16");
BENCHMARK(BM_InPlace<L_ReverseBitmap>)->Name("BM_ReverseBitmap16");

void BM_CopyBitmap16(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    for (auto _ : state) {
        ScopedBitmap copy;
        benchmark::DoNotOptimize(L_CopyBitmap(copy.get(), frame.get(), BITMAPHANDLE_STRUCT_SIZE));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame->Size));
}
BENCHMARK(BM_CopyBitmap16);

void BM_ChangeViewPerspective16(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    int perspective = RIGHT_TOP;
    for (auto _ : state) {
        benchmark::DoNotOptimize(L_ChangeBitmapViewPerspective(
            nullptr, frame.get(), BITMAPHANDLE_STRUCT_SIZE, perspective));
        perspective = perspective == RIGHT_TOP ? TOP_LEFT : RIGHT_TOP;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame->Size));
}
BENCHMARK(BM_ChangeViewPerspective16);

}  // namespace
