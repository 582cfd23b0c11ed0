// The control painting a 2000 × 1500 frame into a 1000 × 750 client area: 16-bit grey through a
// 65536-entry paint LUT, and 24-bit colour, at 1:1 (normal mode, the top-left quarter visible),
// fitted, and at 2× zoom. The floor is a plain loop that fills the same destination by
// nearest-neighbour sampling of the 16-bit frame through a 65536-entry table; watch the ratio of
// each BM_PaintImage to the BM_Floor of the same geometry.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "axlumora/DllEntry.h"
#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

namespace {

constexpr int kWidth = 2000, kHeight = 1500;
constexpr int kClientWidth = 1000, kClientHeight = 750;

enum Geometry { kNormal = 0, kFit = 1, kZoom2 = 2 };

const char* GeometryName(int geometry) {
    return geometry == kNormal ? "normal_1to1" : geometry == kFit ? "fit" : "zoom_2x";
}

std::vector<RGBQUAD> GreyRampLut() {
    std::vector<RGBQUAD> lut(65536);
    for (std::size_t i = 0; i < lut.size(); ++i) {
        const auto v = static_cast<BYTE>(255 - (i >> 8));  // inverted, so the LUT is visibly used
        lut[i] = RGBQUAD{v, static_cast<BYTE>(v / 2 + 64), v, 0};
    }
    return lut;
}

void FillFrame(BITMAPHANDLE* bitmap) {
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = bitmap->Addr + static_cast<std::ptrdiff_t>(y) * bitmap->BytesPerLine;
        for (int i = 0; i < bitmap->BytesPerLine; ++i)
            row[i] = static_cast<std::uint8_t>((i * 131 + y * 17) ^ (i >> 3));
    }
}

// The control's source rectangle and destination for one geometry, as the host would set them.
void SetGeometry(const ComPtr<IaxLumora>& control, TaxLumora& c, int geometry) {
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(kClientWidth, kClientHeight));
    LONG value = 0;
    switch (geometry) {
        case kNormal:
            control->put_PAINTSIZEMODE(PAINTSIZEMODE_NORMAL);
            c.UpdatePaintRects(true, true, true);
            break;
        case kFit:
            control->put_PAINTSIZEMODE(PAINTSIZEMODE_FIT);
            c.UpdatePaintRects(true, true, true);
            break;
        case kZoom2:
            control->put_PAINTSIZEMODE(PAINTSIZEMODE_STRETCH);
            c.UpdatePaintRects(true, false, true);
            control->SetDstRect(0, 0, 2 * kWidth, 2 * kHeight, &value);
            control->SetDstClipRect(0, 0, kClientWidth, kClientHeight, &value);
            break;
    }
}

void BM_PaintImage(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int geometry = static_cast<int>(state.range(1));
    ComPtr<IClassFactory> factory;
    ComPtr<IaxLumora> control;
    if (DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void()) != S_OK ||
        factory->CreateInstance(nullptr, IID_IaxLumora, control.put_void()) != S_OK) {
        state.SkipWithError("cannot create the control");
        return;
    }
    TaxLumora& c = *static_cast<TaxLumora*>(control.get());
    L_FreeBitmap(&c.CurrentBitmap);
    L_InitBitmap(&c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    L_CreateBitmap(&c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, bits,
                   bits == 16 ? ORDER_GRAY : ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0);
    FillFrame(&c.CurrentBitmap);
    const std::vector<RGBQUAD> lut = GreyRampLut();
    LONG value = 0;
    if (bits == 16)
        control->SetPaintLUT(reinterpret_cast<std::uintptr_t>(lut.data()),
                             static_cast<LONG>(lut.size()), &value);
    SetGeometry(control, c, geometry);
    form::PaintBox& box = *c.MainPaintBox;
    for (auto _ : state) {
        box.Repaint();
        benchmark::DoNotOptimize(box.Buffer().data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(bits == 16 ? "grey16+LUT " : "bgr24 ") + GeometryName(geometry));
    state.SetItemsProcessed(state.iterations() * kClientWidth * kClientHeight);
}
BENCHMARK(BM_PaintImage)
    ->ArgsProduct({{16, 24}, {kNormal, kFit, kZoom2}})
    ->Unit(benchmark::kMicrosecond);

// Nearest-neighbour through a 65536-entry table into a 1000 × 750 destination: the least any
// painter of the same pixels has to do.
void BM_Floor(benchmark::State& state) {
    const int geometry = static_cast<int>(state.range(0));
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(kWidth) * kHeight);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint16_t>(i * 7919);
    std::vector<std::uint32_t> table(65536);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint32_t>(i * 0x010101u >> 8);
    std::vector<std::uint32_t> destination(static_cast<std::size_t>(kClientWidth) * kClientHeight);
    // Source pixels per destination pixel, in 1/2: 2 (1:1), 4 (fit), 1 (2× zoom).
    const int halves = geometry == kNormal ? 2 : geometry == kFit ? 4 : 1;
    std::vector<int> xs(kClientWidth);
    for (int x = 0; x < kClientWidth; ++x) xs[x] = x * halves / 2;
    for (auto _ : state) {
        for (int y = 0; y < kClientHeight; ++y) {
            const std::uint16_t* src =
                frame.data() + static_cast<std::size_t>(y * halves / 2) * kWidth;
            std::uint32_t* out = destination.data() + static_cast<std::size_t>(y) * kClientWidth;
            for (int x = 0; x < kClientWidth; ++x) out[x] = table[src[xs[x]]];
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(GeometryName(geometry));
    state.SetItemsProcessed(state.iterations() * kClientWidth * kClientHeight);
}
BENCHMARK(BM_Floor)->DenseRange(kNormal, kZoom2)->Unit(benchmark::kMicrosecond);

}  // namespace
