#include "ImageTransfer.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <stdexcept>

namespace axpy {

namespace {

// libpng reports errors by longjmp; every object with a destructor lives outside the functions
// that set the jump point. Warnings are not ours to print.
void Quiet(png_structp, png_const_charp) {}
[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->position) png_error(png, "truncated");
    std::memcpy(out, source->data + source->position, count);
    source->position += count;
}

void WriteBytes(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}
void Flush(png_structp) {}

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStructs() { png_destroy_write_struct(&png, &info); }
};

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

bool Write(WriteStructs& s, const RasterImage& image, png_bytepp rows,
           std::vector<std::uint8_t>* out) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_set_write_fn(s.png, out, WriteBytes, Flush);
    png_set_compression_level(s.png, 1);
    png_set_IHDR(s.png, s.info, image.width, image.height, image.bitsPerSample,
                 image.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.bitsPerSample == 16 && image.significantBits < 16) {
        png_color_8 significant{};
        significant.gray = static_cast<png_byte>(image.significantBits);
        png_set_sBIT(s.png, s.info, &significant);
    }
    png_write_info(s.png, s.info);
    if (image.bitsPerSample == 16) png_set_swap(s.png);
    png_write_image(s.png, rows);
    png_write_end(s.png, s.info);
    return true;
}

bool ReadHeader(ReadStructs& s, Source& source, RasterImage* image, png_color_8* significant) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_set_read_fn(s.png, &source, ReadBytes);
    png_read_info(s.png, s.info);
    const int colorType = png_get_color_type(s.png, s.info);
    const int depth = png_get_bit_depth(s.png, s.info);
    image->width = static_cast<int>(png_get_image_width(s.png, s.info));
    image->height = static_cast<int>(png_get_image_height(s.png, s.info));
    image->channels = (colorType & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    image->bitsPerSample = image->channels == 1 && depth == 16 ? 16 : 8;
    image->significantBits = image->bitsPerSample;
    png_color_8p recorded = nullptr;
    if (image->bitsPerSample == 16 && png_get_sBIT(s.png, s.info, &recorded) && recorded &&
        recorded->gray >= 1 && recorded->gray < 16) {
        *significant = *recorded;
        image->significantBits = recorded->gray;
    }
    return true;
}

bool ReadRows(ReadStructs& s, const RasterImage& image, const png_color_8& significant,
              png_bytepp rows) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_set_expand(s.png);
    png_set_strip_alpha(s.png);
    if (image.bitsPerSample == 16) {
        png_set_swap(s.png);
        if (image.significantBits < 16) png_set_shift(s.png, &significant);
    } else {
        png_set_strip_16(s.png);
    }
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    if (png_get_rowbytes(s.png, s.info) != image.RowBytes()) return false;
    png_read_image(s.png, rows);
    png_read_end(s.png, nullptr);
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const RasterImage& image) {
    std::vector<std::uint16_t> shifted;
    const bool shift = image.bitsPerSample == 16 && image.significantBits < 16;
    if (shift) {
        // PNG keeps the significant bits at the top of each sample; the reader shifts them back.
        shifted.resize(static_cast<std::size_t>(image.width) * image.height);
        std::memcpy(shifted.data(), image.samples.data(), shifted.size() * 2);
        for (std::uint16_t& sample : shifted)
            sample = static_cast<std::uint16_t>(sample << (16 - image.significantBits));
    }
    const auto* base =
        shift ? reinterpret_cast<const std::uint8_t*>(shifted.data()) : image.samples.data();
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(base + image.RowBytes() * y);
    std::vector<std::uint8_t> out;
    WriteStructs s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info || !Write(s, image, rows.data(), &out))
        throw std::runtime_error("cannot encode the image as PNG");
    return out;
}

RasterImage DecodePng(const std::uint8_t* data, std::size_t size) {
    RasterImage image;
    Source source{data, size};
    ReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) throw std::bad_alloc();
    png_color_8 significant{0, 0, 0, 16, 0};
    if (!ReadHeader(s, source, &image, &significant) || image.width <= 0 || image.height <= 0)
        throw std::runtime_error("the control's image file cannot be read");
    image.samples.resize(image.RowBytes() * image.height);
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) rows[y] = image.samples.data() + image.RowBytes() * y;
    if (!ReadRows(s, image, significant, rows.data()))
        throw std::runtime_error("the control's image file cannot be read");
    return image;
}

}  // namespace axpy
