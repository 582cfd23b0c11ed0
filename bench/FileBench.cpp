// Saving and loading a 2000 × 1500 16-bit grey frame (12 significant bits, sensor-like noise) in
// each format through the engine, in memory, next to libtiff called directly on the same samples:
// the engine's overhead is the ratio of BM_EngineSave/17 to BM_LibtiffDirectSave (and load).
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"

namespace {

constexpr unsigned kWidth = 2000;
constexpr unsigned kHeight = 1500;

void MakeFrame(ScopedBitmap& bitmap) {
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16, ORDER_GRAY, nullptr,
                   TOP_LEFT, nullptr, 0);
    std::mt19937 random(1);
    for (unsigned y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(bitmap->Addr + y * bitmap->BytesPerLine);
        for (unsigned x = 0; x < kWidth; ++x) row[x] = static_cast<std::uint16_t>(1000 + x + (random() & 63));
    }
    bitmap->LowBit = 0;
    bitmap->HighBit = 11;
}

std::vector<std::uint8_t> Save(BITMAPHANDLE* bitmap, int format) {
    std::vector<std::uint8_t> buffer(bitmap->Size * 2 + 65536);
    std::size_t size = 0;
    L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, bitmap, format, 0, 0, nullptr, nullptr, nullptr);
    buffer.resize(size);
    return buffer;
}

void BM_EngineSave(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    for (auto _ : state) benchmark::DoNotOptimize(Save(frame.get(), static_cast<int>(state.range(0))));
}
void BM_EngineLoad(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    const std::vector<std::uint8_t> file = Save(frame.get(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ScopedBitmap loaded;
        L_LoadBitmapMemory(file.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, file.size(), nullptr,
                           nullptr);
        benchmark::DoNotOptimize(loaded->Addr);
    }
}
#define FORMATS                                                                                              \
    ->Arg(filefmt::FILE_TIFLZW)->Arg(filefmt::FILE_PNG)->Arg(filefmt::FILE_DICOM_GRAY)                       \
        ->Arg(filefmt::FILE_DICOM_RLE_GRAY)->Arg(filefmt::FILE_DICOM_JPEG_GRAY)->Arg(filefmt::FILE_DICOM_J2K_GRAY) \
        ->Unit(benchmark::kMillisecond)
BENCHMARK(BM_EngineSave) FORMATS;
BENCHMARK(BM_EngineLoad) FORMATS;

// libtiff directly: the same strips, LZW with the horizontal predictor, to a temporary file.
void BM_LibtiffDirectSave(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    const char* path = "/tmp/axlumora_bench_direct.tif";
    std::vector<std::uint8_t> row(kWidth * 2);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path, "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
        for (unsigned y = 0; y < kHeight; ++y) {
            std::memcpy(row.data(), frame->Addr + y * frame->BytesPerLine, row.size());
            TIFFWriteScanline(t, row.data(), y, 0);
        }
        TIFFClose(t);
    }
}
BENCHMARK(BM_LibtiffDirectSave)->Unit(benchmark::kMillisecond);

void BM_LibtiffDirectLoad(benchmark::State& state) {
    ScopedBitmap frame;
    MakeFrame(frame);
    const std::vector<std::uint8_t> file = Save(frame.get(), filefmt::FILE_TIFLZW);
    const char* path = "/tmp/axlumora_bench_direct_load.tif";
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    std::vector<std::uint8_t> image(kWidth * 2 * kHeight);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path, "r");
        for (unsigned y = 0; y < kHeight; ++y) TIFFReadScanline(t, image.data() + y * kWidth * 2, y, 0);
        TIFFClose(t);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_LibtiffDirectLoad)->Unit(benchmark::kMillisecond);

}  // namespace
