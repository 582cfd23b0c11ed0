// The control's own corrections and filters on a 2000 × 1500 16-bit grey frame, each next to its
// peer: OpenCV (one thread) for the blur and the unsharp mask, one pass of the frame through a
// 64K table for the stretch, a memcpy for the bit fix. The ratios are what to watch: each member
// also reports `x_peer`, its thread CPU time over its peer's, both taken in turns in the same
// run, so that load from other processes cancels out as far as it can.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "axlumora/DllEntry.h"
#include "bench/BenchControl.h"
#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "processing/ContrastOptimisation.h"
#include "processing/VexoGaussianBlur.h"
#include "processing/VexoUnsharpMask.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// 12-bit sensor-like content: a smooth gradient with noise.
std::vector<std::uint16_t> SensorFrame() {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(kWidth) * kHeight);
    std::mt19937 random(42);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            frame[static_cast<std::size_t>(y) * kWidth + x] =
                static_cast<std::uint16_t>(200 + (x + y) + random() % 256);
    return frame;
}

engine::PixelView View(std::vector<std::uint16_t>& frame) {
    return engine::Gray16Pixels(frame.data(), kWidth, kHeight, kWidth * 2);
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Median thread CPU time of `member` over that of `peer`, the two run in turns. `prepare` and
// `preparePeer` run untimed before each run (restoring the input, which also brings it into the
// cache, so give both a restore or neither).
void ReportRatio(
    benchmark::State& state, const std::function<void()>& member, const std::function<void()>& peer,
    const std::function<void()>& prepare = [] {},
    const std::function<void()>& preparePeer = [] {}) {
    constexpr int kRounds = 7;
    std::vector<double> memberTimes, peerTimes;
    for (int round = 0; round < kRounds; ++round) {
        for (auto [run, before, times] : {std::tuple{&member, &prepare, &memberTimes},
                                          std::tuple{&peer, &preparePeer, &peerTimes}}) {
            (*before)();
            const double start = ThreadSeconds();
            (*run)();
            times->push_back(ThreadSeconds() - start);
        }
    }
    const auto median = [](std::vector<double>& times) {
        std::nth_element(times.begin(), times.begin() + kRounds / 2, times.end());
        return times[kRounds / 2];
    };
    state.counters["x_peer"] = median(memberTimes) / median(peerTimes);
}

// The floor of a stretch: one plain pass of the frame through a 64K-entry table.
void TablePass(std::vector<std::uint16_t>& frame, const std::vector<std::uint16_t>& table) {
    const std::uint16_t* lookup = table.data();
    std::uint16_t* v = frame.data();
    for (std::size_t i = 0, n = frame.size(); i < n; ++i) v[i] = lookup[v[i]];
    benchmark::ClobberMemory();
}

std::vector<std::uint16_t> ReversingTable() {
    std::vector<std::uint16_t> table(65536);
    for (unsigned v = 0; v < 65536; ++v) table[v] = static_cast<std::uint16_t>(v ^ 0x0FFF);
    return table;
}

void BM_ProcessingTableFloor(benchmark::State& state) {
    std::vector<std::uint16_t> frame = SensorFrame();
    const std::vector<std::uint16_t> table = ReversingTable();
    for (auto _ : state) TablePass(frame, table);
}
BENCHMARK(BM_ProcessingTableFloor)->Unit(benchmark::kMillisecond);

void BM_ProcessingMemcpyFloor(benchmark::State& state) {
    std::vector<std::uint16_t> source = SensorFrame(), target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size() * 2);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_ProcessingMemcpyFloor)->Unit(benchmark::kMillisecond);

// OpenCV's 16U Gaussian of the same deviation, one thread, from the frame into a second image.
std::function<void()> OpenCvGaussian(const std::vector<std::uint16_t>& source,
                                     std::vector<std::uint16_t>& target, double sigma) {
    cv::setNumThreads(1);
    return [&source, &target, sigma] {
        const cv::Mat in(kHeight, kWidth, CV_16UC1, const_cast<std::uint16_t*>(source.data()));
        cv::Mat out(kHeight, kWidth, CV_16UC1, target.data());
        cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    };
}

void BM_GaussianBlur(benchmark::State& state) {
    const double sigma = static_cast<double>(state.range(0));
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> frame = source, target(source.size());
    const vexo::BlurKernel kernel = vexo::BuildBlurKernel(sigma, 255.0, 1.0);
    const auto run = [&] {
        vexo::ApplyBlurKernel(View(frame), kernel);
        benchmark::ClobberMemory();
    };
    const auto restore = [&] { frame = source; };
    for (auto _ : state) {
        run();
        state.PauseTiming();
        restore();
        state.ResumeTiming();
    }
    state.counters["taps"] = kernel.Taps();
    ReportRatio(state, run, OpenCvGaussian(source, target, sigma), restore);
}
BENCHMARK(BM_GaussianBlur)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_OpenCvGaussianBlur16U(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> target(source.size());
    const auto run = OpenCvGaussian(source, target, static_cast<double>(state.range(0)));
    for (auto _ : state) run();
}
BENCHMARK(BM_OpenCvGaussianBlur16U)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_GaussianBlurReference(benchmark::State& state) {
    std::vector<std::uint16_t> frame = SensorFrame();
    const vexo::BlurKernel kernel =
        vexo::BuildBlurKernel(static_cast<double>(state.range(0)), 255.0, 1.0);
    for (auto _ : state) {
        vexo::ApplyBlurKernelReference(View(frame), kernel);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GaussianBlurReference)->Arg(3)->Unit(benchmark::kMillisecond);

// OpenCV's box mean of 5 × 5 and 2v − b, one thread, from the frame into a second image.
std::function<void()> OpenCvBoxPlusWeightedSum(const std::vector<std::uint16_t>& source,
                                               std::vector<std::uint16_t>& target, cv::Mat& box) {
    cv::setNumThreads(1);
    return [&source, &target, &box] {
        const cv::Mat in(kHeight, kWidth, CV_16UC1, const_cast<std::uint16_t*>(source.data()));
        cv::Mat out(kHeight, kWidth, CV_16UC1, target.data());
        cv::blur(in, box, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        cv::addWeighted(in, 2.0, box, -1.0, 0.0, out);
        benchmark::ClobberMemory();
    };
}

// The frame is restored outside the timing: the stretch needs a fresh range.
void BM_UnsharpMask(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> target(source.size());
    cv::Mat box;
    ScopedBitmap bitmap;
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16,
                   ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0);
    const auto run = [&] {
        vexo::ApplyUnsharpMask(bitmap.get(), 5, 5);
        benchmark::ClobberMemory();
    };
    const auto restore = [&] { std::memcpy(bitmap->Addr, source.data(), source.size() * 2); };
    restore();
    for (auto _ : state) {
        run();
        state.PauseTiming();
        restore();
        state.ResumeTiming();
    }
    ReportRatio(state, run, OpenCvBoxPlusWeightedSum(source, target, box), restore);
}
BENCHMARK(BM_UnsharpMask)->Unit(benchmark::kMillisecond);

void BM_OpenCvBoxPlusWeightedSum16U(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> target(source.size());
    cv::Mat box;
    const auto run = OpenCvBoxPlusWeightedSum(source, target, box);
    for (auto _ : state) run();
}
BENCHMARK(BM_OpenCvBoxPlusWeightedSum16U)->Unit(benchmark::kMillisecond);

// Limits of 1 % at both ends: two scans. The frame is restored outside the timing.
void BM_OptimizeImageStretch(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> frame = source, floorFrame = source;
    const std::vector<std::uint16_t> table = ReversingTable();
    const auto run = [&] {
        contrast::Optimize(View(frame), 1, 1, static_cast<int>(state.range(0)), [](auto, auto) {});
        benchmark::ClobberMemory();
    };
    const auto restore = [&] { frame = source; };
    for (auto _ : state) {
        run();
        state.PauseTiming();
        restore();
        state.ResumeTiming();
    }
    ReportRatio(
        state, run, [&] { TablePass(floorFrame, table); }, restore, [&] { floorFrame = source; });
}
BENCHMARK(BM_OptimizeImageStretch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The member, restoring 12-bit data each iteration (one memcpy inside the time).
void BM_Fix16BitData(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    auto control = NewBenchControl();
    BITMAPHANDLE& bitmap = static_cast<TaxLumora*>(control.get())->CurrentBitmap;
    L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16, ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
    LONG value = 0;
    for (auto _ : state) {
        std::memcpy(bitmap.Addr, source.data(), source.size() * 2);
        control->Fix16BitData(0, &value);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Fix16BitData)->Unit(benchmark::kMillisecond);

void BM_ApplyCorrectionFile200(benchmark::State& state) {
    const std::string file = "/tmp/axlumora-bench-correction.txt";
    {
        std::ofstream out(file, std::ios::binary);
        std::mt19937 random(3);
        for (int i = 0; i < 200; ++i) {
            const int kind = i % 10 == 0 ? 2 : i % 10 == 1 ? 3 : 0;
            out << random() % kWidth << ' ' << random() % kHeight << ' ' << kind << "\r\n";
        }
    }
    auto control = NewBenchControl();
    BITMAPHANDLE& bitmap = static_cast<TaxLumora*>(control.get())->CurrentBitmap;
    L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16, ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
    BStr fileName = BStr::FromUtf8(file), logName = BStr::FromUtf8(file + ".log");
    LONG value = 0;
    for (auto _ : state) {
        control->ApplyCorrectionFile(fileName.get(), logName.get(), VARIANT_FALSE, 0, &value);
    }
    std::remove(file.c_str());
    std::remove((file + ".log").c_str());
}
BENCHMARK(BM_ApplyCorrectionFile200)->Unit(benchmark::kMillisecond);

}  // namespace
