// Saving and loading a 2000 × 1500 16-bit grey frame (12 significant bits, sensor-like noise) to
// and from a file in each format, through the engine and through the format's library called
// directly with the same settings: the engine's overhead is the ratio of BM_EngineSave/N to
// BM_DirectSave/N (and of the loads) for format number N. JPEG holds 8 bits: both sides narrow
// the frame to its top 8 significant bits as part of the save.
#include <benchmark/benchmark.h>
#include <gdcmImage.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"

namespace {

using namespace filefmt;

constexpr unsigned kWidth = 2000;
constexpr unsigned kHeight = 1500;
constexpr int kSignificantBits = 12;

void MakeFrame(ScopedBitmap& bitmap) {
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, kWidth, kHeight, 16,
                   ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0);
    std::mt19937 random(1);
    for (unsigned y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(bitmap->Addr + y * bitmap->BytesPerLine);
        for (unsigned x = 0; x < kWidth; ++x)
            row[x] = static_cast<std::uint16_t>(1000 + x + (random() & 63));
    }
    bitmap->LowBit = 0;
    bitmap->HighBit = kSignificantBits - 1;
}

// The frame's samples as one tightly packed block.
struct Samples {
    std::vector<std::uint16_t> wide;
    explicit Samples(const BITMAPHANDLE& frame) : wide(kWidth * kHeight) {
        for (unsigned y = 0; y < kHeight; ++y)
            std::memcpy(wide.data() + y * kWidth, frame.Addr + y * frame.BytesPerLine, kWidth * 2);
    }
};

std::string PathFor(const char* side, int format) {
    return "/tmp/axlumora_bench_" + std::string(side) + "_" + std::to_string(format);
}

// ---- the libraries, called directly ----

void TiffSave(const Samples& s, const char* path) {
    TIFF* t = TIFFOpen(path, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint16_t> row(kWidth);  // the predictor codes in place
    for (unsigned y = 0; y < kHeight; ++y) {
        std::memcpy(row.data(), s.wide.data() + y * kWidth, kWidth * 2);
        TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
}
void TiffLoad(const char* path, std::vector<std::uint8_t>* image) {
    TIFF* t = TIFFOpen(path, "r");
    for (unsigned y = 0; y < kHeight; ++y)
        TIFFReadScanline(t, image->data() + y * kWidth * 2, y, 0);
    TIFFClose(t);
}

void PngSave(const Samples& s, const char* path) {
    std::FILE* f = std::fopen(path, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, kWidth, kHeight, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color_8 significant{};
    significant.gray = kSignificantBits;
    png_set_sBIT(png, info, &significant);
    png_write_info(png, info);
    png_set_swap(png);
    for (unsigned y = 0; y < kHeight; ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(s.wide.data() + y * kWidth));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}
void PngLoad(const char* path, std::vector<std::uint8_t>* image) {
    std::FILE* f = std::fopen(path, "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_swap(png);
    png_read_update_info(png, info);
    for (unsigned y = 0; y < kHeight; ++y)
        png_read_row(png, image->data() + y * kWidth * 2, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
}

void JpegSave(const Samples& s, const char* path) {
    // A caller saving a deep frame as JPEG narrows it first, as the engine does.
    std::vector<std::uint8_t> narrow(s.wide.size());
    for (std::size_t i = 0; i < narrow.size(); ++i)
        narrow[i] = static_cast<std::uint8_t>(std::min(s.wide[i] >> (kSignificantBits - 8), 255));
    std::FILE* f = std::fopen(path, "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = narrow.data() + c.next_scanline * kWidth;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}
void JpegLoad(const char* path, std::vector<std::uint8_t>* image) {
    std::FILE* f = std::fopen(path, "rb");
    jpeg_decompress_struct d{};
    jpeg_error_mgr error{};
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = image->data() + d.output_scanline * kWidth;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
}

void DicomSave(const Samples& s, int format, const char* path) {
    gdcm::SmartPointer<gdcm::Image> image = new gdcm::Image;
    image->SetNumberOfDimensions(2);
    image->SetDimension(0, kWidth);
    image->SetDimension(1, kHeight);
    image->SetPixelFormat(gdcm::PixelFormat(1, 16, kSignificantBits, kSignificantBits - 1, 0));
    image->SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
    image->SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataElement pixels(gdcm::Tag(0x7FE0, 0x0010));
    pixels.SetVR(gdcm::VR::OW);
    pixels.SetByteValue(reinterpret_cast<const char*>(s.wide.data()),
                        static_cast<std::uint32_t>(s.wide.size() * 2));
    image->SetDataElement(pixels);
    gdcm::ImageWriter writer;
    gdcm::ImageChangeTransferSyntax change;
    const auto target =
        format == FILE_DICOM_RLE_GRAY    ? gdcm::TransferSyntax::RLELossless
        : format == FILE_DICOM_JPEG_GRAY ? gdcm::TransferSyntax::JPEGLosslessProcess14_1
        : format == FILE_DICOM_J2K_GRAY  ? gdcm::TransferSyntax::JPEG2000Lossless
                                         : gdcm::TransferSyntax::ExplicitVRLittleEndian;
    if (target != gdcm::TransferSyntax::ExplicitVRLittleEndian) {
        change.SetTransferSyntax(target);
        change.SetInput(*image);
        change.Change();
        writer.SetImage(change.GetOutput());
    } else {
        writer.SetImage(*image);
    }
    writer.SetFileName(path);
    writer.Write();
}
void DicomLoad(const char* path, std::vector<std::uint8_t>* image) {
    gdcm::ImageReader reader;
    reader.SetFileName(path);
    reader.Read();
    reader.GetImage().GetBuffer(reinterpret_cast<char*>(image->data()));
}

void DirectSave(const Samples& s, int format, const char* path) {
    switch (format) {
        case FILE_TIFLZW: TiffSave(s, path); break;
        case FILE_PNG: PngSave(s, path); break;
        case FILE_JPEG: JpegSave(s, path); break;
        default: DicomSave(s, format, path); break;
    }
}
void DirectLoad(int format, const char* path, std::vector<std::uint8_t>* image) {
    switch (format) {
        case FILE_TIFLZW: TiffLoad(path, image); break;
        case FILE_PNG: PngLoad(path, image); break;
        case FILE_JPEG: JpegLoad(path, image); break;
        default: DicomLoad(path, image); break;
    }
}

// ---- the benchmarks ----

void BM_EngineSave(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    ScopedBitmap frame;
    MakeFrame(frame);
    const std::string path = PathFor("engine", format);
    for (auto _ : state)
        benchmark::DoNotOptimize(L_SaveBitmap(path.c_str(), frame.get(), format, 0, 90, nullptr));
}
void BM_DirectSave(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    ScopedBitmap frame;
    MakeFrame(frame);
    const Samples samples(*frame);
    const std::string path = PathFor("direct", format);
    for (auto _ : state) DirectSave(samples, format, path.c_str());
}

void BM_EngineLoad(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    ScopedBitmap frame;
    MakeFrame(frame);
    const std::string path = PathFor("engine_load", format);
    L_SaveBitmap(path.c_str(), frame.get(), format, 0, 90, nullptr);
    for (auto _ : state) {
        ScopedBitmap loaded;
        L_LoadFile(path.c_str(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0, nullptr,
                   nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(loaded->Addr);
    }
}
// The file the engine wrote, read by the library into a new image, as the engine's load makes
// a new bitmap.
void BM_DirectLoad(benchmark::State& state) {
    const int format = static_cast<int>(state.range(0));
    ScopedBitmap frame;
    MakeFrame(frame);
    const std::string path = PathFor("direct_load", format);
    L_SaveBitmap(path.c_str(), frame.get(), format, 0, 90, nullptr);
    for (auto _ : state) {
        std::vector<std::uint8_t> image(kWidth * kHeight * 2);
        DirectLoad(format, path.c_str(), &image);
        benchmark::DoNotOptimize(image.data());
    }
}

#define FORMATS                     \
    ->Arg(FILE_TIFLZW)              \
        ->Arg(FILE_PNG)             \
        ->Arg(FILE_JPEG)            \
        ->Arg(FILE_DICOM_GRAY)      \
        ->Arg(FILE_DICOM_RLE_GRAY)  \
        ->Arg(FILE_DICOM_JPEG_GRAY) \
        ->Arg(FILE_DICOM_J2K_GRAY)  \
        ->Unit(benchmark::kMillisecond)
BENCHMARK(BM_EngineSave) FORMATS;
BENCHMARK(BM_DirectSave) FORMATS;
BENCHMARK(BM_EngineLoad) FORMATS;
BENCHMARK(BM_DirectLoad) FORMATS;

}  // namespace
