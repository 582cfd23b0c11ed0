// Intensity operations and dithered colour resolution on 2000 × 1500 images, 16-bit grey and
// 24-bit colour, each next to OpenCV's nearest peer on the same data (one thread): equalizeHist
// (8-bit only) for the equalisation, LUT (8-bit only) for the gamma table. Dithering has no peer.
// Each benchmark runs three times; compare the medians. The image is restored between
// iterations outside the timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "engine/Intensity.h"
#include "engine/Kernel.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// 12-bit sensor-like content in 16-bit words: a smooth gradient with noise.
void FillGrey16(BITMAPHANDLE& bitmap) {
    std::mt19937 random(42);
    for (int y = 0; y < kHeight; ++y) {
        auto* row =
            reinterpret_cast<std::uint16_t*>(bitmap.Addr + std::ptrdiff_t{y} * bitmap.BytesPerLine);
        for (int x = 0; x < kWidth; ++x)
            row[x] = static_cast<std::uint16_t>(200 + (x + y) + random() % 256);
    }
}

// A colour gradient with noise in every channel.
void FillColour24(BITMAPHANDLE& bitmap) {
    std::mt19937 random(43);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* pixel = bitmap.Addr + std::ptrdiff_t{y} * bitmap.BytesPerLine;
        for (int x = 0; x < kWidth; ++x, pixel += 3) {
            pixel[0] = static_cast<std::uint8_t>((x / 10 + random() % 32) & 0xFF);
            pixel[1] = static_cast<std::uint8_t>((y / 8 + random() % 32) & 0xFF);
            pixel[2] = static_cast<std::uint8_t>(((x + y) / 16 + random() % 32) & 0xFF);
        }
    }
}

// A bitmap of the benchmark size with its content, and a copy to restore it from.
class BenchImage {
public:
    explicit BenchImage(bool colour) {
        L_CreateBitmap(bitmap_.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight,
                       colour ? 24 : 16, colour ? ORDER_BGR : ORDER_GRAY, nullptr, TOP_LEFT,
                       nullptr, 0);
        colour ? FillColour24(*bitmap_) : FillGrey16(*bitmap_);
        saved_.assign(bitmap_->Addr, bitmap_->Addr + bitmap_->Size);
    }
    BITMAPHANDLE* get() { return bitmap_.get(); }
    void Restore() { std::memcpy(bitmap_->Addr, saved_.data(), saved_.size()); }

private:
    ScopedBitmap bitmap_;
    std::vector<std::uint8_t> saved_;
};

// Runs op on the image (range 0: 16-bit grey, 1: 24-bit colour), restored before each run.
template <class Op>
void RunOnImage(benchmark::State& state, Op&& op) {
    BenchImage image(state.range(0) == 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(op(image.get()));
        benchmark::ClobberMemory();
        state.PauseTiming();
        image.Restore();
        state.ResumeTiming();
    }
    state.SetLabel(state.range(0) == 1 ? "24-bit colour" : "16-bit grey");
}

// An 8-bit frame of the same size: OpenCV's equalisation and tables take no 16-bit data.
cv::Mat Grey8() {
    cv::Mat grey(kHeight, kWidth, CV_8UC1);
    std::mt19937 random(42);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            grey.at<std::uint8_t>(y, x) =
                static_cast<std::uint8_t>(((x + y) / 16 + random() % 64) & 0xFF);
        }
    }
    return grey;
}

void BM_HistoEqualize(benchmark::State& state) {
    RunOnImage(state, [](BITMAPHANDLE* b) {
        return L_HistoEqualizeBitmap(
            b, L_IsGrayScaleBitmap(b) ? HISTOEQ_GRAYLEVELS : HISTOEQ_LUMINANCE);
    });
}
BENCHMARK(BM_HistoEqualize)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_OpenCvEqualizeHist8U(benchmark::State& state) {
    cv::setNumThreads(1);
    const cv::Mat in = Grey8();
    cv::Mat out(kHeight, kWidth, CV_8UC1);
    for (auto _ : state) {
        cv::equalizeHist(in, out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCvEqualizeHist8U)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// OpenCV's nearest peer for colour: equalise the luma plane of YCrCb and convert back.
void BM_OpenCvEqualizeLuma8UC3(benchmark::State& state) {
    cv::setNumThreads(1);
    BenchImage image(true);
    const cv::Mat in(kHeight, kWidth, CV_8UC3, image.get()->Addr, image.get()->BytesPerLine);
    cv::Mat out, ycrcb;
    std::vector<cv::Mat> planes;
    for (auto _ : state) {
        cv::cvtColor(in, ycrcb, cv::COLOR_BGR2YCrCb);
        cv::split(ycrcb, planes);
        cv::equalizeHist(planes[0], planes[0]);
        cv::merge(planes, ycrcb);
        cv::cvtColor(ycrcb, out, cv::COLOR_YCrCb2BGR);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCvEqualizeLuma8UC3)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_GammaCorrect(benchmark::State& state) {
    RunOnImage(state, [](BITMAPHANDLE* b) { return L_GammaCorrectBitmap(b, 220); });
}
BENCHMARK(BM_GammaCorrect)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The same γ 2.2 table on 8-bit data: one channel of the frame size (the 16-bit frame's pixel
// count), and three (the colour image's bytes).
void BM_OpenCvLut8U(benchmark::State& state) {
    cv::setNumThreads(1);
    cv::Mat table(1, 256, CV_8UC1);
    for (int v = 0; v < 256; ++v) {
        table.at<std::uint8_t>(0, v) =
            static_cast<std::uint8_t>(std::lround(255.0 * std::pow(v / 255.0, 1 / 2.2)));
    }
    cv::Mat in = Grey8();
    if (state.range(0) == 1) cv::merge(std::vector<cv::Mat>{in, in, in}, in);
    cv::Mat out(in.size(), in.type());
    for (auto _ : state) {
        cv::LUT(in, table, out);
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) == 1 ? "8UC3" : "8UC1");
}
BENCHMARK(BM_OpenCvLut8U)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// 24 → 8 bits on the fixed 8 × 8 × 4 palette, converting into a new bitmap each time; range 0
// is the dither kind (0: none, 1: Floyd–Steinberg, 6: Jarvis, 7: ordered).
void BM_ColorRes24To8(benchmark::State& state) {
    BenchImage image(true);
    const unsigned flags =
        COLORRES_FIXED_PALETTE | (static_cast<unsigned>(state.range(0)) << COLORRES_DITHER_SHIFT);
    for (auto _ : state) {
        ScopedBitmap converted;
        benchmark::DoNotOptimize(L_ColorResBitmap(image.get(), converted.get(),
                                                  BITMAPHANDLE_STRUCT_SIZE, 8, flags, nullptr,
                                                  nullptr, 0, nullptr, nullptr));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorRes24To8)
    ->Arg(0)
    ->Arg(1)
    ->Arg(6)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
