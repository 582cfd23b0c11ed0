// The neighbourhood filters on a 2000 × 1500 16-bit grey frame and a 24-bit colour frame, each
// next to its OpenCV peer on the same data in the same run (one thread): medianBlur where it
// takes the depth and size, else our plain reference; filter2D for sharpen and the 3 × 3
// spatial filter. Ours work in place, so the frame is restored outside the timing.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <random>
#include <vector>

#include "engine/Filters.h"
#include "engine/Kernel.h"
#include "engine/processing/FilterKernels.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// X-ray-like content: a broad gradient over most of the range with noise; colour frames carry
// three such gradients.
void MakeFrame(ScopedBitmap& frame, int bits) {
    L_CreateBitmap(frame.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, bits,
                   bits == 16 ? ORDER_GRAY : ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0);
    std::mt19937 random(42);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = frame->Addr + static_cast<std::ptrdiff_t>(y) * frame->BytesPerLine;
        for (int x = 0; x < kWidth; ++x) {
            if (bits == 16) {
                const auto v = static_cast<std::uint16_t>(4000 + 15 * x + 10 * y + random() % 1024);
                std::memcpy(row + 2 * x, &v, 2);
            } else {
                for (int c = 0; c < 3; ++c) {
                    row[3 * x + c] = static_cast<std::uint8_t>(
                        (x * (c + 1) / 16 + y / 12 + random() % 24) & 0xFF);
                }
            }
        }
    }
}

cv::Mat Wrap(ScopedBitmap& frame) {
    return cv::Mat(kHeight, kWidth, frame->BitsPerPixel == 16 ? CV_16UC1 : CV_8UC3, frame->Addr,
                   static_cast<std::size_t>(frame->BytesPerLine));
}

// Runs an in-place operation on a fresh copy of the frame each iteration.
template <class Operation>
void RunInPlace(benchmark::State& state, int bits, Operation&& operation) {
    cv::setNumThreads(1);
    ScopedBitmap frame;
    MakeFrame(frame, bits);
    const std::vector<std::uint8_t> source(frame->Addr, frame->Addr + frame->Size);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(frame->Addr, source.data(), source.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(operation(frame.get()));
        benchmark::ClobberMemory();
    }
}

// OpenCV from the frame into a second image.
template <class Operation>
void RunOpenCv(benchmark::State& state, int bits, Operation&& operation) {
    cv::setNumThreads(1);
    ScopedBitmap frame;
    MakeFrame(frame, bits);
    const cv::Mat in = Wrap(frame);
    cv::Mat out;
    operation(in, out);  // allocates out once
    for (auto _ : state) {
        operation(in, out);
        benchmark::ClobberMemory();
    }
}

void BM_Median(benchmark::State& state, int bits) {
    const int dimension = static_cast<int>(state.range(0));
    RunInPlace(state, bits, [&](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, dimension); });
}
void BM_MedianReference(benchmark::State& state, int bits) {
    const int dimension = static_cast<int>(state.range(0));
    RunInPlace(state, bits,
               [&](BITMAPHANDLE* b) { return engine::MedianFilterReference(b, dimension); });
}
void BM_OpenCvMedianBlur(benchmark::State& state, int bits) {
    const int dimension = static_cast<int>(state.range(0));
    RunOpenCv(state, bits,
              [&](const cv::Mat& in, cv::Mat& out) { cv::medianBlur(in, out, dimension); });
}
// 16-bit: OpenCV takes 3 and 5; the histogram kernel runs from 7 up and for even sizes (4).
BENCHMARK_CAPTURE(BM_Median, grey16, 16)
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Arg(7)
    ->Arg(9)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvMedianBlur, grey16, 16)->Arg(3)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MedianReference, grey16, 16)
    ->Arg(9)
    ->Arg(15)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Median, bgr24, 24)
    ->Arg(3)
    ->Arg(5)
    ->Arg(9)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvMedianBlur, bgr24, 24)
    ->Arg(3)
    ->Arg(5)
    ->Arg(9)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond);

// Sharpen 500: v + 0.5 (v − binomial blur), as one 3 × 3 kernel for filter2D.
constexpr int kChange = 500;
cv::Mat SharpenKernel() {
    const double c = kChange / 1000.0;
    cv::Mat kernel =
        (cv::Mat_<float>(3, 3) << 1, 2, 1, 2, 4, 2, 1, 2, 1) * static_cast<float>(-c / 16);
    kernel.at<float>(1, 1) += static_cast<float>(1 + c);
    return kernel;
}

void BM_Sharpen(benchmark::State& state, int bits) {
    RunInPlace(state, bits, [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, kChange); });
}
void BM_OpenCvSharpenFilter2D(benchmark::State& state, int bits) {
    const cv::Mat kernel = SharpenKernel();
    RunOpenCv(state, bits, [&](const cv::Mat& in, cv::Mat& out) {
        cv::filter2D(in, out, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    });
}
BENCHMARK_CAPTURE(BM_Sharpen, grey16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvSharpenFilter2D, grey16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Sharpen, bgr24, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvSharpenFilter2D, bgr24, 24)->Unit(benchmark::kMillisecond);

// The 8-neighbour high-pass: integer weights, so filter2D's result is the same image.
void BM_SpatialFilterHighPass(benchmark::State& state, int bits) {
    RunInPlace(state, bits,
               [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_HIGHPASS_8); });
}
void BM_OpenCvFilter2DHighPass(benchmark::State& state, int bits) {
    const cv::Mat kernel = (cv::Mat_<float>(3, 3) << -1, -1, -1, -1, 9, -1, -1, -1, -1);
    RunOpenCv(state, bits, [&](const cv::Mat& in, cv::Mat& out) {
        cv::filter2D(in, out, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    });
    // Same data, same answer: a counter of 1 says the two images agree.
    ScopedBitmap ours, theirs;
    MakeFrame(ours, bits);
    MakeFrame(theirs, bits);
    L_SpatialFilterBitmap(ours.get(), SPATIAL_HIGHPASS_8);
    cv::Mat out;
    cv::filter2D(Wrap(theirs), out, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    state.counters["same"] = cv::norm(Wrap(ours), out, cv::NORM_INF) == 0 ? 1 : 0;
}
BENCHMARK_CAPTURE(BM_SpatialFilterHighPass, grey16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvFilter2DHighPass, grey16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SpatialFilterHighPass, bgr24, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCvFilter2DHighPass, bgr24, 24)->Unit(benchmark::kMillisecond);

void BM_Despeckle(benchmark::State& state, int bits) { RunInPlace(state, bits, L_DespeckleBitmap); }
BENCHMARK_CAPTURE(BM_Despeckle, grey16, 16)->Unit(benchmark::kMillisecond);

}  // namespace
