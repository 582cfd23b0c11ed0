// BMP files and packed DIBs: reads 1/4/8/16/24/32-bit, top-down and bottom-up, RLE4/RLE8 and bit
// fields; writes 8-bit grey-palette and 24-bit files. Every offset and run is checked against the
// bytes actually present; pixel data cut short, runs leaving their row and palette indexes past
// the colour table are refused rather than filled in.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "engine/Kernel.h"
#include "engine/file/Codec.h"
#include "engine/kernel/GreyRamp.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;
constexpr std::size_t kFileHeaderBytes = 14;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

struct Dib {
    BITMAPINFOHEADER header{};
    std::int64_t width = 0, height = 0;
    bool topDown = false;
    unsigned paletteCount = 0;
    unsigned declaredColors = 0;  // entries the file's colour table holds
    std::array<RGBQUAD, 256> palette{};
    std::uint32_t masks[3] = {0, 0, 0};
};

int ParseDib(Bytes header, Dib* dib) {
    if (header.size() < sizeof(BITMAPINFOHEADER)) return ERROR_FILE_CORRUPT;
    std::memcpy(&dib->header, header.data(), sizeof dib->header);
    const BITMAPINFOHEADER& h = dib->header;
    if (h.biSize < 40 || h.biSize > header.size()) return ERROR_FILE_CORRUPT;
    const unsigned bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return ERROR_BITPERPIXEL;
    if (h.biCompression == BI_RLE8 && bits != 8) return ERROR_FILE_CORRUPT;
    if (h.biCompression == BI_RLE4 && bits != 4) return ERROR_FILE_CORRUPT;
    if (h.biCompression == BI_BITFIELDS && bits != 16 && bits != 32) return ERROR_FILE_CORRUPT;
    if (h.biCompression > BI_BITFIELDS) return ERROR_FEATURE_NOT_SUPPORTED;
    dib->width = h.biWidth;
    dib->topDown = h.biHeight < 0;
    dib->height = std::abs(static_cast<std::int64_t>(h.biHeight));
    if (dib->topDown && h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)
        return ERROR_FILE_CORRUPT;
    const int sized =
        CheckImageSize(dib->width, dib->height, bits > 8 ? 24 : static_cast<int>(bits));
    if (sized != SUCCESS) return sized;
    std::size_t offset = h.biSize;
    if (h.biCompression == BI_BITFIELDS) {
        // Masks follow a 40-byte header; larger headers hold them inside.
        const std::uint8_t* masks = header.data() + 40;
        if (header.size() < 52) return ERROR_FILE_CORRUPT;
        if (h.biSize == 40) offset += 12;
        for (int i = 0; i < 3; ++i) dib->masks[i] = Le32(masks + 4 * i);
    } else if (bits == 16) {
        dib->masks[0] = 0x7C00, dib->masks[1] = 0x03E0, dib->masks[2] = 0x001F;
    } else if (bits == 32) {
        dib->masks[0] = 0xFF0000, dib->masks[1] = 0xFF00, dib->masks[2] = 0xFF;
    }
    if (bits <= 8) {
        const unsigned full = 1u << bits;
        const unsigned declared = h.biClrUsed ? h.biClrUsed : full;
        if (declared > full) return ERROR_FILE_CORRUPT;
        if (offset + 4ull * declared > header.size()) return ERROR_FILE_CORRUPT;
        dib->paletteCount = full;
        dib->declaredColors = declared;
        std::memcpy(dib->palette.data(), header.data() + offset, 4ull * declared);
        for (unsigned i = 0; i < full; ++i) dib->palette[i].rgbReserved = 0;
    }
    return SUCCESS;
}

bool IsGrayRamp(const Dib& dib) {
    const unsigned count = dib.paletteCount;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t level = GreyRampLevel(i, count);
        const RGBQUAD q = dib.palette[i];
        if (q.rgbRed != level || q.rgbGreen != level || q.rgbBlue != level) return false;
    }
    return true;
}

void InfoFromDib(const Dib& dib, ImageInfo* info) {
    const unsigned bits = dib.header.biBitCount;
    info->format = FILE_BMP;
    info->width = dib.width;
    info->height = dib.height;
    info->bitsPerPixel = bits <= 8 ? static_cast<int>(bits) : 24;
    info->gray = bits <= 8 && IsGrayRamp(dib);
    const auto dpi = [](std::int32_t ppm) {
        return static_cast<int>(std::lround(std::max(ppm, 0) * 0.0254));
    };
    info->xResolution = dpi(dib.header.biXPelsPerMeter);
    info->yResolution = dpi(dib.header.biYPelsPerMeter);
}

// A channel value scaled from its mask to 8 bits.
std::uint8_t MaskedChannel(std::uint32_t pixel, std::uint32_t mask) {
    if (!mask) return 0;
    const int shift = __builtin_ctz(mask);
    const std::uint32_t value = (pixel & mask) >> shift;
    const std::uint32_t top = mask >> shift;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) * 255 / top);
}

// Expands RLE8/RLE4 into 8-bit indices, one byte per pixel, bottom-up rows; pixels a delta or an
// early end of line skips stay index 0. A run that passes the end of its row, a delta that leaves
// the image, and data that ends before the last row are corrupt: the BMP format defines none of
// them, and a file still being written looks exactly like the last. So is an index past the colour
// table. indices null: only check.
int ExpandRle(const Dib& dib, Bytes bits, std::vector<std::uint8_t>* indices) {
    const std::int64_t width = dib.width, height = dib.height;
    if (indices) indices->assign(static_cast<std::size_t>(width * height), 0);
    const bool four = dib.header.biCompression == BI_RLE4;
    const unsigned colors = dib.declaredColors;
    bool outside = false;
    std::int64_t x = 0, y = 0;
    const auto put = [&](std::int64_t at, unsigned k, std::uint8_t index) {
        outside = outside || index >= colors;
        if (indices) (*indices)[static_cast<std::size_t>(y * width + at) + k] = index;
    };
    std::size_t i = 0;
    while (i + 1 < bits.size()) {
        const std::uint8_t count = bits[i], value = bits[i + 1];
        i += 2;
        if (count > 0) {
            if (count > width - x) return ERROR_FILE_CORRUPT;
            for (unsigned k = 0; k < count; ++k)
                put(x, k, four ? ((k & 1) ? value & 0xF : value >> 4) : value);
            x += count;
        } else if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return SUCCESS;  // end of bitmap: the pixels not reached stay index 0
        } else if (value == 2) {
            if (i + 1 >= bits.size()) return ERROR_FILE_CORRUPT;
            x += bits[i], y += bits[i + 1];
            i += 2;
            if (x > width || y >= height) return ERROR_FILE_CORRUPT;
        } else {
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > bits.size()) return ERROR_FILE_CORRUPT;
            if (value > width - x) return ERROR_FILE_CORRUPT;
            for (unsigned k = 0; k < value; ++k)
                put(x, k,
                    four ? ((k & 1) ? bits[i + k / 2] & 0xF : bits[i + k / 2] >> 4) : bits[i + k]);
            x += value;
            i += (bytes + 1) & ~std::size_t{1};
        }
        if (outside) return ERROR_FILE_CORRUPT;
        if (y >= height) return SUCCESS;  // the last end of line may stand for the end of bitmap
    }
    // Markers missing after a complete last row are tolerated; missing pixels are not.
    return y == height - 1 && x == width ? SUCCESS : ERROR_FILE_CORRUPT;
}

// Every index of a palette image within the file's colour table (BMP: biClrUsed entries).
bool IndexesInPalette(const Dib& dib, const std::uint8_t* pixels, std::size_t stride, int depth,
                      std::int64_t rows) {
    if (dib.declaredColors >= (1u << depth)) return true;
    const auto width = static_cast<std::size_t>(dib.width);
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned index = depth == 8   ? row[x]
                                   : depth == 4 ? (row[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF
                                                : (row[x / 8] >> (7 - (x & 7))) & 1;
            if (index >= dib.declaredColors) return false;
        }
    }
    return true;
}

// Everything DecodeDib refuses in the pixel data; the expanded indices of an RLE image when
// expanded is given.
int CheckDibBits(const Dib& dib, Bytes bits, std::vector<std::uint8_t>* expanded) {
    const unsigned depth = dib.header.biBitCount;
    const bool rle = dib.header.biCompression == BI_RLE8 || dib.header.biCompression == BI_RLE4;
    if (rle) return ExpandRle(dib, bits, expanded);
    const std::size_t stride = ((static_cast<std::size_t>(dib.width) * depth + 31) / 32) * 4;
    if (stride * static_cast<std::size_t>(dib.height) > bits.size()) return ERROR_FILE_CORRUPT;
    if (depth <= 8 &&
        !IndexesInPalette(dib, bits.data(), stride, static_cast<int>(depth), dib.height))
        return ERROR_FILE_CORRUPT;
    return SUCCESS;
}

}  // namespace

int ReadDibInfo(Bytes header, ImageInfo* info) {
    Dib dib;
    const int status = ParseDib(header, &dib);
    if (status == SUCCESS) InfoFromDib(dib, info);
    return status;
}

int DecodeDib(Bytes header, Bytes bits, int colorOrder, BITMAPHANDLE* out) {
    Dib dib;
    int status = ParseDib(header, &dib);
    if (status != SUCCESS) return status;
    ImageInfo info;
    InfoFromDib(dib, &info);
    const unsigned depth = dib.header.biBitCount;
    const bool rle = dib.header.biCompression == BI_RLE8 || dib.header.biCompression == BI_RLE4;
    const std::size_t stride = ((static_cast<std::size_t>(dib.width) * depth + 31) / 32) * 4;
    std::vector<std::uint8_t> expanded;
    status = CheckDibBits(dib, bits, &expanded);
    if (status != SUCCESS) return status;
    if (rle) {
        // RLE4 is expanded to one index per byte; its 16-entry palette is kept as it is.
        if (info.bitsPerPixel == 4) info.gray = false;
        info.bitsPerPixel = 8;
    }
    std::array<RGBQUAD, 256> palette = dib.palette;
    status = AllocateDecoded(info, colorOrder, out, palette.data(),
                             info.bitsPerPixel <= 8 ? 1u << info.bitsPerPixel : 0);
    if (status != SUCCESS) return status;
    PixelView pixels;
    status = AccessPixels(out, &pixels);
    if (status != SUCCESS) return status;
    const bool rgbOut = out->Order == ORDER_RGB;
    for (std::int64_t y = 0; y < dib.height; ++y) {
        const std::int64_t fileRow = dib.topDown ? y : dib.height - 1 - y;
        std::uint8_t* target = pixels.RowBytes(static_cast<int>(y));
        if (rle) {
            std::memcpy(target, expanded.data() + fileRow * dib.width,
                        static_cast<std::size_t>(dib.width));
            continue;
        }
        const std::uint8_t* source = bits.data() + static_cast<std::size_t>(fileRow) * stride;
        if (depth <= 8) {
            std::memcpy(target, source, (static_cast<std::size_t>(dib.width) * depth + 7) / 8);
        } else if (depth == 24) {
            for (std::int64_t x = 0; x < dib.width; ++x, source += 3, target += 3) {
                target[0] = rgbOut ? source[2] : source[0];
                target[1] = source[1];
                target[2] = rgbOut ? source[0] : source[2];
            }
        } else {
            for (std::int64_t x = 0; x < dib.width; ++x, target += 3) {
                const std::uint32_t pixel = depth == 16 ? Le16(source) : Le32(source);
                source += depth / 8;
                const std::uint8_t r = MaskedChannel(pixel, dib.masks[0]);
                const std::uint8_t g = MaskedChannel(pixel, dib.masks[1]);
                const std::uint8_t b = MaskedChannel(pixel, dib.masks[2]);
                target[0] = rgbOut ? r : b;
                target[1] = g;
                target[2] = rgbOut ? b : r;
            }
        }
    }
    return SUCCESS;
}

bool SniffBmp(Bytes data) {
    return data.size() >= kFileHeaderBytes + 4 && data[0] == 'B' && data[1] == 'M';
}

namespace {
class BmpDecoder final : public Decoder {
public:
    explicit BmpDecoder(Bytes data) : data_(data) {}
    int ReadInfo(ImageInfo* info) override {
        if (data_.size() < kFileHeaderBytes + sizeof(BITMAPINFOHEADER)) return ERROR_FILE_CORRUPT;
        const std::uint32_t offBits = Le32(data_.data() + 10);
        if (offBits < kFileHeaderBytes + sizeof(BITMAPINFOHEADER) || offBits > data_.size())
            return ERROR_FILE_CORRUPT;
        header_ = data_.subspan(kFileHeaderBytes, offBits - kFileHeaderBytes);
        bits_ = data_.subspan(offBits);
        return ReadDibInfo(header_, info);
    }
    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        return DecodeDib(header_, bits_, colorOrder, out);
    }
    int Verify() override {
        Dib dib;
        const int status = ParseDib(header_, &dib);
        if (status != SUCCESS) return status;
        return CheckDibBits(dib, bits_, nullptr);
    }

private:
    Bytes data_, header_, bits_;
};
}  // namespace

std::unique_ptr<Decoder> CreateBmpDecoder(Bytes data) { return std::make_unique<BmpDecoder>(data); }

int EncodeBmp(const SampleImage& image, const EncodeRequest&, std::vector<std::uint8_t>* out) {
    const bool color = image.channels == 3;
    if (image.bitsPerSample != 8) return ERROR_BITPERPIXEL;
    const std::size_t stride =
        ((static_cast<std::size_t>(image.width) * (color ? 24 : 8) + 31) / 32) * 4;
    const std::size_t paletteBytes = color ? 0 : 1024;
    const std::size_t offBits = kFileHeaderBytes + 40 + paletteBytes;
    const std::size_t total = offBits + stride * image.height;
    if (total > 0xFFFFFFFFu) return ERROR_INV_SIZE;
    out->assign(total, 0);
    std::uint8_t* p = out->data();
    const auto put32 = [](std::uint8_t* at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    p[0] = 'B', p[1] = 'M';
    put32(p + 2, static_cast<std::uint32_t>(total));
    put32(p + 10, static_cast<std::uint32_t>(offBits));
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = image.width;
    h.biHeight = image.height;
    h.biPlanes = 1;
    h.biBitCount = color ? 24 : 8;
    h.biSizeImage = static_cast<std::uint32_t>(stride * image.height);
    h.biXPelsPerMeter = static_cast<std::int32_t>(std::lround(image.xResolution / 0.0254));
    h.biYPelsPerMeter = static_cast<std::int32_t>(std::lround(image.yResolution / 0.0254));
    h.biClrUsed = color ? 0 : 256;
    std::memcpy(p + kFileHeaderBytes, &h, sizeof h);
    if (!color)
        for (unsigned i = 0; i < 256; ++i) {
            std::uint8_t* entry = p + kFileHeaderBytes + 40 + 4 * i;
            entry[0] = entry[1] = entry[2] = static_cast<std::uint8_t>(i);
        }
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* row = p + offBits + stride * (image.height - 1 - y);
        const std::uint8_t* source = image.Row(y);
        if (!color) {
            std::memcpy(row, source, image.width);
        } else {
            for (int x = 0; x < image.width; ++x, source += 3, row += 3) {
                row[0] = source[2], row[1] = source[1], row[2] = source[0];
            }
        }
    }
    return SUCCESS;
}

}  // namespace engine::file

int L_ConvertFromDIB(BITMAPHANDLE* bitmap, unsigned structSize, const BITMAPINFOHEADER* header,
                     std::size_t headerBytes, const std::uint8_t* bits, std::size_t bitsSize) {
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (!bitmap) return ERROR_NO_BITMAP;
    if (!header || !bits) return ERROR_INV_PARAMETER;
    BITMAPHANDLE decoded{};
    L_InitBitmap(&decoded, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    const int status = engine::file::DecodeDib(
        engine::file::Bytes(reinterpret_cast<const std::uint8_t*>(header), headerBytes),
        engine::file::Bytes(bits, bitsSize), ORDER_BGR, &decoded);
    if (status != SUCCESS) {
        L_FreeBitmap(&decoded);
        return status;
    }
    L_FreeBitmap(bitmap);
    *bitmap = decoded;
    return SUCCESS;
}
