// PNG through libpng: 8/16-bit grey and 8-bit colour (palette, low-depth grey and alpha are
// expanded or dropped on reading). Grey of fewer than 16 significant bits is stored scaled to the
// full 16-bit range with sBIT recording the original bits, and shifted back on reading. libpng
// reports errors by longjmp, so every object with a destructor is made before the setjmp point of
// its function.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>

#include "engine/file/Codec.h"
#include "engine/file/LibraryMessages.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct ReadState {
    Bytes data;
    std::size_t position = 0;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (count > state->data.size() - state->position) png_error(png, "truncated");
    std::memcpy(out, state->data.data() + state->position, count);
    state->position += count;
}

void Warn(png_structp, png_const_charp message) { RouteLibraryMessage("libpng", message); }
// libpng's own error handler prints to stderr before it jumps; the status code is our report.
[[noreturn]] void Fail(png_structp png, png_const_charp message) {
    RouteLibraryMessage("libpng", message);
    png_longjmp(png, 1);
}

// libpng allocates a chunk's declared length before reading it (the chunk limit set below does
// not cover every chunk type), so every chunk must fit the bytes that follow it. A datastream ends
// with IEND (PNG spec 5.6): without it the file is cut short, or still being written.
bool ChunksFit(Bytes data) {
    std::size_t pos = 8;
    while (pos < data.size()) {
        if (data.size() - pos < 12) return false;
        const std::uint32_t length = std::uint32_t{data[pos]} << 24 | data[pos + 1] << 16 |
                                     data[pos + 2] << 8 | data[pos + 3];
        if (length > data.size() - pos - 12) return false;
        if (std::memcmp(data.data() + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + std::size_t{length};
    }
    return false;
}

class PngDecoder final : public Decoder {
public:
    explicit PngDecoder(Bytes data) { state_.data = data; }
    ~PngDecoder() override { png_destroy_read_struct(&png_, &info_, nullptr); }

    int ReadInfo(ImageInfo* info) override {
        if (!ChunksFit(state_.data)) return ERROR_FILE_CORRUPT;
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Warn);
        if (!png_) return ERROR_NO_MEMORY;
        info_ = png_create_info_struct(png_);
        if (!info_) return ERROR_NO_MEMORY;
        if (setjmp(png_jmpbuf(png_))) return ERROR_FILE_CORRUPT;
        png_set_user_limits(png_, MAX_IMAGE_DIMENSION, MAX_IMAGE_DIMENSION);
        png_set_chunk_malloc_max(png_, 16u << 20);
        png_set_read_fn(png_, &state_, ReadBytes);
        png_read_info(png_, info_);
        const int colorType = png_get_color_type(png_, info_);
        const int depth = png_get_bit_depth(png_, info_);
        const bool gray = (colorType & PNG_COLOR_MASK_COLOR) == 0;
        info->format = FILE_PNG;
        info->width = png_get_image_width(png_, info_);
        info->height = png_get_image_height(png_, info_);
        info->gray = gray;
        info->bitsPerPixel = gray ? (depth == 16 ? 16 : 8) : 24;
        if (info->bitsPerPixel == 16) {
            info->lowBit = 0;
            png_color_8p significant = nullptr;
            if (png_get_sBIT(png_, info_, &significant) && significant->gray >= 1 &&
                significant->gray <= 16)
                significant_ = *significant;
            info->highBit = significant_.gray - 1;
        }
        png_uint_32 xPpm = 0, yPpm = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &xPpm, &yPpm, &unit) && unit == PNG_RESOLUTION_METER) {
            info->xResolution =
                static_cast<int>(std::lround(std::min<png_uint_32>(xPpm, 1u << 24) * 0.0254));
            info->yResolution =
                static_cast<int>(std::lround(std::min<png_uint_32>(yPpm, 1u << 24) * 0.0254));
        }
        info_copy_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        int status = AllocateDecoded(info_copy_, colorOrder, out);
        if (status != SUCCESS) return status;
        PixelView pixels;
        status = AccessPixels(out, &pixels);
        if (status != SUCCESS) return status;
        rows_.resize(static_cast<std::size_t>(pixels.height));
        for (int y = 0; y < pixels.height; ++y) rows_[y] = pixels.RowBytes(y);
        if (setjmp(png_jmpbuf(png_))) return ERROR_FILE_CORRUPT;
        png_set_expand(png_);
        png_set_strip_alpha(png_);
        if (info_copy_.bitsPerPixel == 16) {
            png_set_swap(png_);
            // Samples were scaled up to 16 bits (PNG spec 12.5); the top sBIT bits are the
            // original.
            if (significant_.gray < 16) png_set_shift(png_, &significant_);
        } else {
            png_set_strip_16(png_);
        }
        if (!info_copy_.gray && out->Order == ORDER_BGR) png_set_bgr(png_);
        png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        if (png_get_rowbytes(png_, info_) > static_cast<std::size_t>(pixels.stride))
            return ERROR_FILE_CORRUPT;
        png_read_image(png_, rows_.data());
        return SUCCESS;
    }

private:
    ReadState state_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    ImageInfo info_copy_;
    png_color_8 significant_{0, 0, 0, 16, 0};  // sBIT of 16-bit grey; 16 when none is recorded
    std::vector<png_bytep> rows_;
};

void WriteBytes(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}
void Flush(png_structp) {}

struct WriteStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStruct() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

bool SniffPng(Bytes data) {
    return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}
std::unique_ptr<Decoder> CreatePngDecoder(Bytes data) { return std::make_unique<PngDecoder>(data); }

namespace {
// The part of writing that libpng may longjmp out of: no objects with destructors live here.
int WritePng(WriteStruct* writer, const SampleImage& image, int level, png_bytepp rows,
             png_textp texts, int textCount, std::vector<std::uint8_t>* out) {
    if (setjmp(png_jmpbuf(writer->png))) return ERROR_FILE_WRITE;
    png_set_write_fn(writer->png, out, WriteBytes, Flush);
    png_set_compression_level(writer->png, level);
    png_set_IHDR(writer->png, writer->info, image.width, image.height, image.bitsPerSample,
                 image.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.bitsPerSample == 16 && image.channels == 1 && image.significantBits >= 1 &&
        image.significantBits < 16) {
        png_color_8 significant{};
        significant.gray = static_cast<png_byte>(image.significantBits);
        png_set_sBIT(writer->png, writer->info, &significant);
    }
    if (image.xResolution > 0 && image.yResolution > 0)
        png_set_pHYs(writer->png, writer->info,
                     static_cast<png_uint_32>(std::lround(image.xResolution / 0.0254)),
                     static_cast<png_uint_32>(std::lround(image.yResolution / 0.0254)),
                     PNG_RESOLUTION_METER);
    if (textCount > 0) png_set_text(writer->png, writer->info, texts, textCount);
    png_write_info(writer->png, writer->info);
    if (image.bitsPerSample == 16) png_set_swap(writer->png);
    png_write_image(writer->png, rows);
    png_write_end(writer->png, writer->info);
    return SUCCESS;
}
}  // namespace

// Grey of `bits` significant bits scaled to 16 by left-bit replication (PNG spec 12.5): the maximum
// becomes 65535, and a reader's right shift by 16 - bits (12.6) gives back every value exactly.
// Values above the significant range are saturated first.
std::vector<std::uint16_t> ScaledTo16(const SampleImage& image, int bits) {
    const unsigned maximum = (1u << bits) - 1;
    std::vector<std::uint16_t> scale(maximum + 1);
    for (unsigned v = 0; v <= maximum; ++v) {
        std::uint32_t wide = v << (16 - bits);
        for (int filled = bits; filled < 16; filled *= 2) wide |= wide >> filled;
        scale[v] = static_cast<std::uint16_t>(wide);
    }
    std::vector<std::uint16_t> scaled(static_cast<std::size_t>(image.width) * image.height);
    std::uint16_t* target = scaled.data();
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(image.Row(y));
        for (int x = 0; x < image.width; ++x)
            *target++ = scale[std::min<unsigned>(row[x], maximum)];
    }
    return scaled;
}

int EncodePng(const SampleImage& image, const EncodeRequest& request,
              std::vector<std::uint8_t>* out) {
    WriteStruct writer;
    const bool scale = image.bitsPerSample == 16 && image.channels == 1 &&
                       image.significantBits >= 1 && image.significantBits < 16;
    std::vector<std::uint16_t> scaled =
        scale ? ScaledTo16(image, image.significantBits) : std::vector<std::uint16_t>{};
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[y] = scale ? reinterpret_cast<png_bytep>(scaled.data() +
                                                      static_cast<std::size_t>(y) * image.width)
                        : const_cast<png_bytep>(image.Row(y));
    // Description and date go into text chunks; the strings live until the write is done.
    std::vector<png_text> texts;
    const auto addText = [&](int index, const char* key) {
        const auto found = request.comments.find(index);
        if (found == request.comments.end()) return;
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(key);
        text.text = const_cast<char*>(found->second.c_str());
        texts.push_back(text);
    };
    addText(CMNT_SZDESC, "Description");
    addText(CMNT_SZDATETIME, "Creation Time");
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Warn);
    if (!writer.png) return ERROR_NO_MEMORY;
    writer.info = png_create_info_struct(writer.png);
    if (!writer.info) return ERROR_NO_MEMORY;
    // iQuality 1 … 9 is the zlib level; anything else the default.
    const int level = request.quality >= 1 && request.quality <= 9 ? request.quality : 6;
    return WritePng(&writer, image, level, rows.data(), texts.data(),
                    static_cast<int>(texts.size()), out);
}

}  // namespace engine::file
