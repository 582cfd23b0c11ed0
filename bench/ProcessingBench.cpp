// The control's own corrections and filters on a 2000 × 1500 16-bit grey frame, each next to its
// peer: OpenCV (one thread) for the blur and the unsharp mask, a memcpy of the frame for the
// stretch and the bit fix. Compare the pairs' times; the ratios are what to watch.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchControl.h"
#include "axlumora/DllEntry.h"
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

Gray16Image View(std::vector<std::uint16_t>& frame) {
    return Gray16Image{reinterpret_cast<std::uint8_t*>(frame.data()), kWidth, kHeight, kWidth * 2};
}

void BM_ProcessingMemcpyFloor(benchmark::State& state) {
    std::vector<std::uint16_t> source = SensorFrame(), target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size() * 2);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_ProcessingMemcpyFloor)->Unit(benchmark::kMillisecond);

void BM_GaussianBlur(benchmark::State& state) {
    const double sigma = static_cast<double>(state.range(0));
    const std::vector<std::uint16_t> source = SensorFrame();
    std::vector<std::uint16_t> frame = source;
    const vexo::BlurKernel kernel = vexo::BuildBlurKernel(sigma, 255.0, 1.0);
    for (auto _ : state) {
        vexo::ApplyBlurKernel(View(frame), kernel);
        benchmark::ClobberMemory();
        state.PauseTiming();
        frame = source;
        state.ResumeTiming();
    }
    state.counters["taps"] = kernel.Taps();
}
BENCHMARK(BM_GaussianBlur)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_OpenCvGaussianBlur16U(benchmark::State& state) {
    cv::setNumThreads(1);
    const double sigma = static_cast<double>(state.range(0));
    std::vector<std::uint16_t> source = SensorFrame(), target(source.size());
    const cv::Mat in(kHeight, kWidth, CV_16UC1, source.data());
    cv::Mat out(kHeight, kWidth, CV_16UC1, target.data());
    for (auto _ : state) {
        cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCvGaussianBlur16U)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_GaussianBlurReference(benchmark::State& state) {
    std::vector<std::uint16_t> frame = SensorFrame();
    const vexo::BlurKernel kernel = vexo::BuildBlurKernel(static_cast<double>(state.range(0)), 255.0, 1.0);
    for (auto _ : state) {
        vexo::ApplyBlurKernelReference(View(frame), kernel);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GaussianBlurReference)->Arg(3)->Unit(benchmark::kMillisecond);

// Restoring the frame is part of each iteration (one memcpy): the stretch needs a fresh range.
void BM_UnsharpMask(benchmark::State& state) {
    const std::vector<std::uint16_t> source = SensorFrame();
    ScopedBitmap bitmap;
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16,
                   ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0);
    for (auto _ : state) {
        std::memcpy(bitmap->Addr, source.data(), source.size() * 2);
        vexo::ApplyUnsharpMask(bitmap.get(), 5, 5);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_UnsharpMask)->Unit(benchmark::kMillisecond);

void BM_OpenCvBoxPlusWeightedSum16U(benchmark::State& state) {
    cv::setNumThreads(1);
    std::vector<std::uint16_t> source = SensorFrame(), target(source.size());
    const cv::Mat in(kHeight, kWidth, CV_16UC1, source.data());
    cv::Mat out(kHeight, kWidth, CV_16UC1, target.data()), box;
    for (auto _ : state) {
        cv::blur(in, box, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        cv::addWeighted(in, 2.0, box, -1.0, 0.0, out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCvBoxPlusWeightedSum16U)->Unit(benchmark::kMillisecond);

// After the first pass the data spans 0 … 65535 and is stretched again: same work every time.
void BM_OptimizeImageStretch(benchmark::State& state) {
    std::vector<std::uint16_t> frame = SensorFrame();
    for (auto _ : state) {
        contrast::Optimize(View(frame), 1, 1, static_cast<int>(state.range(0)), [](auto, auto) {});
        benchmark::ClobberMemory();
    }
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
