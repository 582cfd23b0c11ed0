// TIFF through libtiff, read and written in memory: 8/16-bit grey and 24-bit colour with LZW
// (horizontal predictor: without it noisy 16-bit frames grow larger than raw), JPEG-in-TIFF, and
// for reading whatever else libtiff's RGBA interface decodes. What neither path can honour (depths,
// sample formats or compressions it lacks, a palette without its colour map, strips past the end of
// the file) is refused when the headers are read, so describing and loading agree.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/file/Codec.h"
#include "engine/file/LibraryMessages.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

// libtiff's in-memory file: reads from a span, writes into a growing vector.
struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::vector<std::uint8_t>* sink = nullptr;
    std::uint64_t position = 0;
};

tsize_t ReadProc(thandle_t handle, tdata_t buffer, tsize_t count) {
    auto* f = static_cast<MemoryFile*>(handle);
    const std::uint8_t* data = f->sink ? f->sink->data() : f->data;
    const std::size_t size = f->sink ? f->sink->size() : f->size;
    if (f->position >= size || count <= 0) return 0;
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(count), size - f->position);
    std::memcpy(buffer, data + f->position, n);
    f->position += n;
    return static_cast<tsize_t>(n);
}
tsize_t WriteProc(thandle_t handle, tdata_t buffer, tsize_t count) {
    auto* f = static_cast<MemoryFile*>(handle);
    if (!f->sink || count < 0) return 0;
    const std::uint64_t end = f->position + static_cast<std::uint64_t>(count);
    if (end > MAX_FILE_BYTES) return 0;
    if (end > f->sink->size()) f->sink->resize(end);
    std::memcpy(f->sink->data() + f->position, buffer, static_cast<std::size_t>(count));
    f->position = end;
    return count;
}
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(handle);
    const std::uint64_t size = f->sink ? f->sink->size() : f->size;
    std::uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? size : 0;
    const std::uint64_t target = base + offset;
    if (target > MAX_FILE_BYTES) return static_cast<toff_t>(-1);
    f->position = target;
    return target;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) {
    auto* f = static_cast<MemoryFile*>(handle);
    return f->sink ? f->sink->size() : f->size;
}
int MapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void UnmapProc(thandle_t, tdata_t, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenMemory(MemoryFile* file, const char* mode) {
    InstallLibraryMessageRouting();  // libtiff's handlers are process-wide
    return TiffHandle(TIFFClientOpen("memory", mode, file, ReadProc, WriteProc, SeekProc, CloseProc,
                                     SizeProc, MapProc, UnmapProc));
}

// What the first IFD says as written, where libtiff quietly repairs it: a palette image
// (PhotometricInterpretation 3) without its ColorMap (TIFF 6.0, section 5) is read as grey or RGB,
// and a single strip's StripByteCounts that passes the end of the file or falls short of the image
// is replaced by an estimate that takes in whatever bytes follow. Classic and BigTIFF; bounds
// checked throughout.
struct WrittenIfd {
    bool paletteWithoutColorMap = false;
    bool singleByteCount = false;  // StripByteCounts holds one value
    std::uint64_t byteCount = 0;
};

WrittenIfd ReadWrittenIfd(const std::uint8_t* data, std::size_t size) {
    WrittenIfd written;
    if (size < 16) return written;
    const bool little = data[0] == 'I';
    const auto get = [&](std::uint64_t at, int bytes) -> std::uint64_t {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t{data[at + (little ? i : bytes - 1 - i)]} << (8 * i);
        return value;
    };
    const bool big = get(2, 2) == 43;
    const std::uint64_t ifd = big ? get(8, 8) : get(4, 4);
    const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12;
    if (ifd > size || size - ifd < static_cast<std::uint64_t>(countBytes)) return written;
    const std::uint64_t entries = get(ifd, countBytes);
    bool palette = false, colorMap = false;
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint64_t entry = ifd + countBytes + i * entryBytes;
        if (entry > size || size - entry < static_cast<std::uint64_t>(entryBytes)) break;
        const std::uint64_t tag = get(entry, 2), type = get(entry + 2, 2);
        const std::uint64_t count = big ? get(entry + 4, 8) : get(entry + 4, 4);
        const std::uint64_t value = entry + (big ? 12 : 8);
        if (tag == TIFFTAG_PHOTOMETRIC && type == TIFF_SHORT)
            palette = get(value, 2) == PHOTOMETRIC_PALETTE;
        if (tag == TIFFTAG_COLORMAP) colorMap = true;
        if (tag == TIFFTAG_STRIPBYTECOUNTS && count == 1 &&
            (type == TIFF_SHORT || type == TIFF_LONG || (big && type == TIFF_LONG8))) {
            written.singleByteCount = true;
            written.byteCount = get(value, type == TIFF_SHORT ? 2 : type == TIFF_LONG ? 4 : 8);
        }
    }
    written.paletteWithoutColorMap = palette && !colorMap;
    return written;
}

class TiffDecoder final : public Decoder {
public:
    explicit TiffDecoder(Bytes data) {
        file_.data = data.data();
        file_.size = data.size();
    }

    int ReadInfo(ImageInfo* info) override {
        tiff_ = OpenMemory(&file_, "rm");
        if (!tiff_) return ERROR_FILE_CORRUPT;
        TIFF* t = tiff_.get();
        std::uint32_t width = 0, height = 0;
        std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISBLACK,
                      compression = COMPRESSION_NONE;
        std::uint16_t planar = PLANARCONFIG_CONTIG;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
        if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
            photometric = PHOTOMETRIC_MINISBLACK;
        std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
        if (!TIFFIsCODECConfigured(compression)) return ERROR_FEATURE_NOT_SUPPORTED;
        if (sampleFormat != SAMPLEFORMAT_UINT && sampleFormat != SAMPLEFORMAT_INT &&
            sampleFormat != SAMPLEFORMAT_VOID)
            return ERROR_FEATURE_NOT_SUPPORTED;  // floating-point and complex samples
        const WrittenIfd written = ReadWrittenIfd(file_.data, file_.size);
        if (written.paletteWithoutColorMap) return ERROR_FILE_CORRUPT;
        const bool grayPhotometric =
            photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
        scanlineGray_ = grayPhotometric && samples == 1 && (bits == 8 || bits == 16) &&
                        planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(t);
        // Colour that libtiff hands over as RGB scanlines: plain RGB, and YCbCr JPEG, which its
        // JPEG codec converts when asked to.
        const bool jpegYcbcr = photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG;
        scanlineRgb_ = (photometric == PHOTOMETRIC_RGB || jpegYcbcr) && samples == 3 && bits == 8 &&
                       planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(t);
        if (scanlineRgb_ && jpegYcbcr) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        char message[1024] = {};
        if (!scanlineGray_ && !scanlineRgb_ && !TIFFRGBAImageOK(t, message))
            return ERROR_FEATURE_NOT_SUPPORTED;
        // Every strip or tile within the file: one past its end is cut short, or still being
        // written. Uncompressed, each must also hold all of its rows (TIFF 6.0, section 3:
        // StripByteCounts).
        const bool tiled = TIFFIsTiled(t);
        const std::uint32_t striles = tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
        std::uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip =
            std::clamp<std::uint32_t>(rowsPerStrip, 1, std::max<std::uint32_t>(height, 1));
        const std::uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
        for (std::uint32_t i = 0; i < striles; ++i) {
            const std::uint64_t offset = TIFFGetStrileOffset(t, i);
            const std::uint64_t bytes = striles == 1 && !tiled && written.singleByteCount
                                            ? written.byteCount
                                            : TIFFGetStrileByteCount(t, i);
            if (bytes > 0 && (offset > file_.size || bytes > file_.size - offset))
                return ERROR_FILE_CORRUPT;
            // A zero count (a sparse file's empty strip) is left to libtiff.
            if (compression != COMPRESSION_NONE || bytes == 0 || stripsPerPlane == 0) continue;
            const std::uint64_t needed =
                tiled ? TIFFTileSize64(t)
                      : TIFFVStripSize64(t, std::min(rowsPerStrip,
                                                     height - (i % stripsPerPlane) * rowsPerStrip));
            if (bytes < needed) return ERROR_FILE_CORRUPT;
        }
        invert_ = photometric == PHOTOMETRIC_MINISWHITE;
        std::uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
        bottomUp_ = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT;
        mirrored_ = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
        info->width = width;
        info->height = height;
        info->gray = grayPhotometric && samples == 1;
        info->bitsPerPixel = scanlineGray_ && bits == 16 ? 16 : info->gray ? 8 : 24;
        if (info->bitsPerPixel == 16) info->lowBit = 0, info->highBit = 15;
        if (compression == COMPRESSION_LZW) {
            info->format = FILE_TIFLZW;
        } else if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
            std::uint16_t horizontal = 2, vertical = 2;
            TIFFGetFieldDefaulted(t, TIFFTAG_YCBCRSUBSAMPLING, &horizontal, &vertical);
            info->format =
                !info->gray && horizontal == 2 && vertical == 1 ? FILE_TIF_JPEG_422 : FILE_TIF_JPEG;
        } else {
            info->format = FILE_TIF;
        }
        float xres = 0, yres = 0;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
        // ResolutionUnit 1 (TIFF 6.0): an aspect ratio only, no absolute resolution.
        if (unit != RESUNIT_NONE && TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres) &&
            TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres) && std::isfinite(xres) &&
            std::isfinite(yres) && xres > 0 && yres > 0 && xres < 1e6f && yres < 1e6f) {
            const float scale = unit == RESUNIT_CENTIMETER ? 2.54f : 1.0f;
            info->xResolution = static_cast<int>(std::lround(xres * scale));
            info->yResolution = static_cast<int>(std::lround(yres * scale));
        }
        info->pages = std::max<int>(1, TIFFNumberOfDirectories(t));
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        int status = AllocateDecoded(info_, colorOrder, out);
        if (status != SUCCESS) return status;
        PixelView pixels;
        status = AccessPixels(out, &pixels);
        if (status != SUCCESS) return status;
        TIFF* t = tiff_.get();
        const std::size_t rowBytes = static_cast<std::size_t>(out->Width) * (out->BitsPerPixel / 8);
        if (scanlineGray_ || scanlineRgb_) {
            if (static_cast<std::size_t>(TIFFScanlineSize64(t)) != rowBytes)
                return ERROR_FILE_CORRUPT;
            const std::size_t pixelBytes = static_cast<std::size_t>(out->BitsPerPixel / 8);
            for (int y = 0; y < out->Height; ++y) {
                const int target = bottomUp_ ? out->Height - 1 - y : y;
                std::uint8_t* row = pixels.RowBytes(target);
                if (TIFFReadScanline(t, row, static_cast<std::uint32_t>(y), 0) < 0)
                    return ERROR_FILE_CORRUPT;
                if (invert_) {
                    if (out->BitsPerPixel == 16) {
                        auto* words = reinterpret_cast<std::uint16_t*>(row);
                        for (int x = 0; x < out->Width; ++x)
                            words[x] = static_cast<std::uint16_t>(~words[x]);
                    } else {
                        for (std::size_t x = 0; x < rowBytes; ++x)
                            row[x] = static_cast<std::uint8_t>(~row[x]);
                    }
                }
                if (scanlineRgb_ && out->Order != ORDER_RGB)
                    for (std::size_t x = 0; x < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
                if (mirrored_)
                    for (std::size_t l = 0, r = rowBytes - pixelBytes; l < r;
                         l += pixelBytes, r -= pixelBytes)
                        std::swap_ranges(row + l, row + l + pixelBytes, row + r);
            }
            return SUCCESS;
        }
        return DecodeRgba(out, pixels);
    }

    bool Comment(int index, std::string* text) override {
        const ttag_t tag = index == CMNT_SZDESC       ? TIFFTAG_IMAGEDESCRIPTION
                           : index == CMNT_SZDATETIME ? TIFFTAG_DATETIME
                                                      : 0;
        const char* value = nullptr;
        if (!tag || !tiff_ || !TIFFGetField(tiff_.get(), tag, &value) || !value) return false;
        *text = value;
        return true;
    }

private:
    // Everything else through libtiff's RGBA interface, a band of strips or tiles at a time so
    // that a small file claiming a huge image cannot make us allocate four bytes a pixel
    // before its data is found missing. The band is read in the file's own orientation (libtiff
    // flips only whole images) and placed here.
    int DecodeRgba(const BITMAPHANDLE* out, const PixelView& pixels) {
        TIFF* t = tiff_.get();
        char message[1024] = {};
        TIFFRGBAImage image{};
        // stoponerr: a strip that fails to decode fails the image instead of leaving its rows
        // blank.
        if (!TIFFRGBAImageOK(t, message) || !TIFFRGBAImageBegin(&image, t, 1, message))
            return ERROR_FILE_CORRUPT;
        struct Ender {
            TIFFRGBAImage* image;
            ~Ender() { TIFFRGBAImageEnd(image); }
        } ender{&image};
        image.req_orientation = image.orientation;
        const auto width = static_cast<std::uint32_t>(out->Width),
                   height = static_cast<std::uint32_t>(out->Height);
        std::uint32_t band = 0;
        if (TIFFIsTiled(t)) TIFFGetFieldDefaulted(t, TIFFTAG_TILELENGTH, &band);
        else TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &band);
        constexpr std::size_t kMaxBandBytes = 64u << 20;
        const std::uint32_t cap = static_cast<std::uint32_t>(
            std::max<std::size_t>(1, kMaxBandBytes / (std::size_t{width} * 4)));
        band = std::clamp<std::uint32_t>(band, 1, std::min(cap, height));
        std::vector<std::uint32_t> rgba(std::size_t{width} * band);
        const bool rgb = out->Order == ORDER_RGB;
        for (std::uint32_t first = 0; first < height; first += band) {
            const std::uint32_t rows = std::min(band, height - first);
            image.row_offset = static_cast<int>(first);
            image.col_offset = 0;
            if (!TIFFRGBAImageGet(&image, rgba.data(), width, rows)) return ERROR_FILE_CORRUPT;
            for (std::uint32_t i = 0; i < rows; ++i) {
                const std::uint32_t y = bottomUp_ ? height - 1 - (first + i) : first + i;
                std::uint8_t* row = pixels.RowBytes(static_cast<int>(y));
                const std::uint32_t* source = rgba.data() + std::size_t{i} * width;
                for (std::uint32_t x = 0; x < width; ++x) {
                    const std::uint32_t p = source[mirrored_ ? width - 1 - x : x];
                    if (out->BitsPerPixel == 8) {
                        row[x] = static_cast<std::uint8_t>(TIFFGetR(p));
                    } else {
                        row[3 * x] = static_cast<std::uint8_t>(rgb ? TIFFGetR(p) : TIFFGetB(p));
                        row[3 * x + 1] = static_cast<std::uint8_t>(TIFFGetG(p));
                        row[3 * x + 2] = static_cast<std::uint8_t>(rgb ? TIFFGetB(p) : TIFFGetR(p));
                    }
                }
            }
        }
        return SUCCESS;
    }

    MemoryFile file_;
    TiffHandle tiff_;
    ImageInfo info_;
    bool scanlineRgb_ = false;
    bool scanlineGray_ = false;
    bool invert_ = false;
    bool bottomUp_ = false;  // Orientation: the file's first row is the image's bottom one
    bool mirrored_ = false;  // ... or its first column the rightmost
};

}  // namespace

bool SniffTiff(Bytes data) {
    return data.size() >= 8 &&
           ((data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) &&
             data[3] == 0) ||
            (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43)));
}
std::unique_ptr<Decoder> CreateTiffDecoder(Bytes data) {
    return std::make_unique<TiffDecoder>(data);
}

int EncodeTiff(const SampleImage& image, const EncodeRequest& request,
               std::vector<std::uint8_t>* out) {
    const bool jpeg = request.format == FILE_TIF_JPEG || request.format == FILE_TIF_JPEG_422;
    if (jpeg && image.bitsPerSample != 8) return ERROR_BITPERPIXEL;
    out->clear();
    MemoryFile file;
    file.sink = out;
    TiffHandle tiff = OpenMemory(&file, "w");
    if (!tiff) return ERROR_FILE_WRITE;
    TIFF* t = tiff.get();
    const bool color = image.channels == 3;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(image.bitsPerSample));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(image.channels));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::uint32_t rowsPerStrip = std::max<std::uint32_t>(
        16, static_cast<std::uint32_t>(65536 / std::max<std::size_t>(1, image.RowBytes())));
    rowsPerStrip = (rowsPerStrip + 15) / 16 * 16;
    if (jpeg) {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(t, TIFFTAG_JPEGQUALITY,
                     request.quality >= 1 && request.quality <= 100 ? request.quality : 90);
        if (color) {
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 2,
                         request.format == FILE_TIF_JPEG_422 ? 1 : 2);
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        } else {
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        }
    } else {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, color ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (image.xResolution > 0 && image.yResolution > 0) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(image.xResolution));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(image.yResolution));
    }
    if (const auto found = request.comments.find(CMNT_SZDESC); found != request.comments.end())
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, found->second.c_str());
    if (const auto found = request.comments.find(CMNT_SZDATETIME); found != request.comments.end())
        TIFFSetField(t, TIFFTAG_DATETIME, found->second.c_str());
    std::vector<std::uint8_t> row(image.RowBytes());
    for (int y = 0; y < image.height; ++y) {
        // libtiff may encode in place (the predictor does), so it gets a copy of the row.
        std::memcpy(row.data(), image.Row(y), row.size());
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            return ERROR_FILE_WRITE;
    }
    if (!TIFFWriteDirectory(t)) return ERROR_FILE_WRITE;
    tiff.reset();
    return SUCCESS;
}

}  // namespace engine::file
