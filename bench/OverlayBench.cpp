// The burned-in marks on a 2000 × 1500 16-bit grey frame, each next to two floors measured in the
// same run: a memcpy of the frame, and Cairo drawing the same text on a bare surface of the text's
// size. A mark should cost no more than about three frame copies plus its text.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/BenchControl.h"
#include "engine/Kernel.h"
#include "platform/gdi/Font.h"

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;
constexpr const char* kCaption = "axLumora demo - synthetic intra-oral frame, 2026-12-08";

std::vector<std::uint8_t> Frame() {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kWidth) * kHeight * 2);
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Puts the frame back into the control's bitmap (outside the timed part).
void Reset(TaxLumora& control, const std::vector<std::uint8_t>& frame) {
    L_FreeBitmap(&control.CurrentBitmap);
    L_CreateBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16,
                   ORDER_GRAY, nullptr, TOP_LEFT, frame.data(), frame.size());
}

TaxLumora& Impl(const ComPtr<IaxLumora>& control) {
    return *static_cast<TaxLumora*>(control.get());
}

void BM_OverlayMemcpyFloor(benchmark::State& state) {
    const std::vector<std::uint8_t> source = Frame();
    std::vector<std::uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_OverlayMemcpyFloor)->Unit(benchmark::kMillisecond);

// A mark that grows the image needs a new one: allocating it and copying the frame in, the first
// touch of fresh pages included.
void BM_OverlayNewImageFloor(benchmark::State& state) {
    const std::vector<std::uint8_t> source = Frame();
    for (auto _ : state) {
        ScopedBitmap image;
        L_CreateBitmap(image.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight + 21, 16,
                       ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0);
        std::memcpy(image->Addr, source.data(), source.size());
        benchmark::DoNotOptimize(image->Addr);
    }
}
BENCHMARK(BM_OverlayNewImageFloor)->Unit(benchmark::kMillisecond);

// Cairo alone: the text filled into an A8 surface of the text's size.
void CairoText(benchmark::State& state, const char* face, int points, const char* text) {
    const auto font = Font::Create(face, FontHeightFromPoints(points, 96), false);
    const TextExtent extent = font->Measure(text);
    std::vector<std::uint8_t> mask(
        static_cast<std::size_t>(cairo_format_stride_for_width(CAIRO_FORMAT_A8, extent.cx)) *
        extent.cy);
    for (auto _ : state) {
        std::memset(mask.data(), 0, mask.size());
        cairo_surface_t* surface = cairo_image_surface_create_for_data(
            mask.data(), CAIRO_FORMAT_A8, extent.cx, extent.cy,
            cairo_format_stride_for_width(CAIRO_FORMAT_A8, extent.cx));
        cairo_t* cr = cairo_create(surface);
        font->Draw(cr, 0, 0, text);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        benchmark::DoNotOptimize(mask.data());
    }
}
void BM_CairoCaptionFloor(benchmark::State& state) {
    CairoText(state, "Arial Unicode MS", 16, kCaption);
}
BENCHMARK(BM_CairoCaptionFloor)->Unit(benchmark::kMillisecond);
void BM_CairoLeftRightFloor(benchmark::State& state) { CairoText(state, "Arial", 20, "LR"); }
BENCHMARK(BM_CairoLeftRightFloor)->Unit(benchmark::kMillisecond);

void BM_AddTextToBottom(benchmark::State& state) {
    auto control = NewBenchControl();
    const std::vector<std::uint8_t> frame = Frame();
    const BStr text = BStr::FromUtf8(kCaption);
    LONG value = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Reset(Impl(control), frame);
        state.ResumeTiming();
        control->AddTextToBottom(text.get(), VARIANT_TRUE, VARIANT_TRUE, 0, &value);
    }
}
BENCHMARK(BM_AddTextToBottom)->Unit(benchmark::kMillisecond);

void BM_RenderLR(benchmark::State& state) {
    auto control = NewBenchControl();
    const std::vector<std::uint8_t> frame = Frame();
    const BStr left = BStr::FromUtf8("L"), right = BStr::FromUtf8("R");
    LONG value = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Reset(Impl(control), frame);
        state.ResumeTiming();
        control->RenderLR(20, 20, right.get(), left.get(), 0, &value);
    }
}
BENCHMARK(BM_RenderLR)->Unit(benchmark::kMillisecond);

void BM_RenderRuler(benchmark::State& state) {
    auto control = NewBenchControl();
    Reset(Impl(control), Frame());
    LONG value = 0;
    for (auto _ : state) control->RenderRuler(50000, 2, &value);  // 2 cm at a 20 µm pitch
}
BENCHMARK(BM_RenderRuler)->Unit(benchmark::kMillisecond);

void BM_PutSymbolOnLead(benchmark::State& state) {
    auto control = NewBenchControl();
    Reset(Impl(control), Frame());
    for (auto _ : state) control->PutSymbolOnLead_16Bit(0, 0, 0);
}
BENCHMARK(BM_PutSymbolOnLead)->Unit(benchmark::kMillisecond);

}  // namespace
