// Baseline JPEG through libjpeg-turbo: 8-bit grey and colour, 4:2:0 (FILE_JPEG) or 4:2:2
// (FILE_JPEG_422) subsampling when writing. libjpeg reports errors by longjmp: objects with
// destructors are made before each setjmp point.

// jpeglib.h uses FILE and size_t without including their headers.
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file/Codec.h"
#include "engine/file/LibraryMessages.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool hitMarker = false;  // a scan needed more entropy-coded data than it had
    bool endOfFile = false;  // the data ended before the end-of-image marker
};

// ---- EXIF (APP1): the original date and time only ----
// "Exif\0\0", a little-endian TIFF header, IFD0 holding just the pointer to the Exif IFD, and
// that IFD holding DateTimeOriginal ("YYYY:MM:DD HH:MM:SS", 20 bytes with the terminator).
constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kAscii = 2, kLong = 4;
const char kExifHeader[6] = {'E', 'x', 'i', 'f', '\0', '\0'};

std::vector<std::uint8_t> ExifWithDate(const std::string& date) {
    std::vector<std::uint8_t> tiff;
    const auto u16 = [&](unsigned v) { tiff.push_back(v & 0xFF), tiff.push_back(v >> 8 & 0xFF); };
    const auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    std::string value = date.substr(0, 19);
    value.resize(20, '\0');
    tiff = {'I', 'I', 42, 0};
    u32(8);  // IFD0
    u16(1), u16(kExifIfdPointer), u16(kLong), u32(1), u32(8 + 18);
    u32(0);
    u16(1), u16(kDateTimeOriginal), u16(kAscii), u32(20), u32(8 + 18 + 18);  // the Exif IFD
    u32(0);
    tiff.insert(tiff.end(), value.begin(), value.end());
    std::vector<std::uint8_t> app1(kExifHeader, kExifHeader + 6);
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    return app1;
}

// The TIFF structure inside an EXIF APP1 segment, read in its own byte order. Offsets are the
// caller's to check against size.
struct ExifBlock {
    const std::uint8_t* tiff = nullptr;
    std::size_t size = 0;
    bool little = false;
    unsigned U16(std::size_t at) const {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    }
    std::uint32_t U32(std::size_t at) const {
        return little ? (U16(at) | std::uint32_t{U16(at + 2)} << 16)
                      : (std::uint32_t{U16(at)} << 16 | U16(at + 2));
    }
};

bool ExifBlockOf(const std::uint8_t* segment, std::size_t length, ExifBlock* block) {
    if (length < 6 + 8 || std::memcmp(segment, kExifHeader, 6) != 0) return false;
    block->tiff = segment + 6;
    block->size = length - 6;
    block->little = block->tiff[0] == 'I' && block->tiff[1] == 'I';
    return block->little || (block->tiff[0] == 'M' && block->tiff[1] == 'M');
}

// DateTimeOriginal from an APP1 segment; every offset is checked against the segment.
bool ExifDate(const std::uint8_t* segment, std::size_t length, std::string* date) {
    ExifBlock block;
    if (!ExifBlockOf(segment, length, &block)) return false;
    const std::uint8_t* tiff = block.tiff;
    const std::size_t size = block.size;
    const auto u16 = [&](std::size_t at) { return block.U16(at); };
    const auto u32 = [&](std::size_t at) { return block.U32(at); };
    // The entry with `tag` in the IFD at `ifd`: the offset of its 12 bytes, or 0.
    const auto find = [&](std::size_t ifd, std::uint16_t tag) -> std::size_t {
        if (ifd < 8 || ifd > size - 2) return 0;
        const std::size_t count = u16(ifd);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + 12 * i;
            if (size < 12 || entry > size - 12) return 0;
            if (u16(entry) == tag) return entry;
        }
        return 0;
    };
    if (u16(2) != 42) return false;
    const std::size_t pointer = find(u32(4), kExifIfdPointer);
    if (!pointer || u16(pointer + 2) != kLong) return false;
    const std::size_t entry = find(u32(pointer + 8), kDateTimeOriginal);
    if (!entry || u16(entry + 2) != kAscii) return false;
    const std::uint32_t count = u32(entry + 4);
    const std::size_t at = count <= 4 ? entry + 8 : u32(entry + 8);
    if (count == 0 || at > size || count > size - at) return false;
    date->assign(reinterpret_cast<const char*>(tiff + at), count);
    while (!date->empty() && (date->back() == '\0' || date->back() == ' ')) date->pop_back();
    return true;
}

void Report(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, text);
    RouteLibraryMessage("libjpeg", text);
}
void OnError(j_common_ptr info) {
    Report(info);
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
// Warnings, and the trace messages libjpeg would print at its trace level.
void OnMessage(j_common_ptr info, int level) {
    if (level <= info->err->trace_level) Report(info);
}
// libjpeg only warns when the data runs out (it pads the scan with zeros and goes on). Other
// warnings (stray bytes before a marker) keep the file good, as other readers treat it.
void OnDecodeMessage(j_common_ptr info, int level) {
    OnMessage(info, level);
    if (level >= 0) return;
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    if (info->err->msg_code == JWRN_HIT_MARKER) error->hitMarker = true;
    if (info->err->msg_code == JWRN_JPEG_EOF) error->endOfFile = true;
}

// Pixels are missing when a scan ran out of data, or when a file of several scans (progressive)
// ended early: its later scans are gone. A single scan whose data is whole but whose EOI is
// missing still loads (the Huffman decoder reads ahead past the end of such a file).
bool DataMissing(j_decompress_ptr cinfo, const ErrorManager& error) {
    return error.hitMarker || (error.endOfFile && jpeg_has_multiple_scans(cinfo));
}

// ---- EXIF (APP1) resolution: IFD0 XResolution, YResolution, ResolutionUnit (EXIF 2.3, 4.6.5) ----
bool ExifResolution(const std::uint8_t* segment, std::size_t length, int* xDpi, int* yDpi) {
    ExifBlock block;
    if (!ExifBlockOf(segment, length, &block)) return false;
    const std::size_t size = block.size;
    const auto u16 = [&](std::size_t at) { return block.U16(at); };
    const auto u32 = [&](std::size_t at) { return block.U32(at); };
    if (u16(2) != 42) return false;
    const std::size_t ifd = u32(4);
    if (ifd < 8 || ifd > size - 2) return false;
    double x = 0, y = 0;
    unsigned unit = 2;  // inches unless stated
    for (std::size_t i = 0, count = u16(ifd); i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (size < 12 || entry > size - 12) return false;
        const unsigned tag = u16(entry), type = u16(entry + 2);
        if (tag == 0x0128 && type == 3) unit = u16(entry + 8);
        if ((tag == 0x011A || tag == 0x011B) && type == 5) {  // RATIONAL, stored at an offset
            const std::size_t at = u32(entry + 8);
            if (at < 8 || at > size - 8) continue;
            const std::uint32_t denominator = u32(at + 4);
            (tag == 0x011A ? x : y) = denominator ? static_cast<double>(u32(at)) / denominator : 0;
        }
    }
    const double scale = unit == 2 ? 1.0 : unit == 3 ? 2.54 : 0.0;  // 1: no absolute unit
    if (!(x > 0 && y > 0 && x * scale < 1e6 && y * scale < 1e6) || scale == 0) return false;
    *xDpi = static_cast<int>(std::lround(x * scale));
    *yDpi = static_cast<int>(std::lround(y * scale));
    return *xDpi > 0 && *yDpi > 0;
}

class JpegDecoder final : public Decoder {
public:
    explicit JpegDecoder(Bytes data) : data_(data) {
        cinfo_.err = jpeg_std_error(&error_.base);
        error_.base.error_exit = OnError;
        error_.base.emit_message = OnDecodeMessage;
    }
    ~JpegDecoder() override {
        if (created_) jpeg_destroy_decompress(&cinfo_);
    }

    int ReadInfo(ImageInfo* info) override {
        if (setjmp(error_.jump)) return ERROR_FILE_CORRUPT;
        jpeg_create_decompress(&cinfo_);
        created_ = true;
        cinfo_.mem->max_memory_to_use = 512l << 20;
        jpeg_mem_src(&cinfo_, data_.data(), static_cast<unsigned long>(data_.size()));
        jpeg_save_markers(&cinfo_, JPEG_COM, 0xFFFF);
        jpeg_save_markers(&cinfo_, JPEG_APP0 + 1, 0xFFFF);
        if (jpeg_read_header(&cinfo_, TRUE) != JPEG_HEADER_OK) return ERROR_FILE_CORRUPT;
        const bool gray = cinfo_.num_components == 1;
        info->gray = gray;
        info->width = cinfo_.image_width;
        info->height = cinfo_.image_height;
        info->bitsPerPixel = gray ? 8 : 24;
        const bool subsampled422 = !gray && cinfo_.comp_info[0].h_samp_factor == 2 &&
                                   cinfo_.comp_info[0].v_samp_factor == 1;
        info->format = subsampled422 ? FILE_JPEG_422 : FILE_JPEG;
        if (cinfo_.density_unit == 1) {
            info->xResolution = cinfo_.X_density;
            info->yResolution = cinfo_.Y_density;
        } else if (cinfo_.density_unit == 2) {
            info->xResolution = static_cast<int>(std::lround(cinfo_.X_density * 2.54));
            info->yResolution = static_cast<int>(std::lround(cinfo_.Y_density * 2.54));
        }
        // Without a JFIF density in absolute units, EXIF may carry the resolution.
        if (info->xResolution <= 0 || info->yResolution <= 0) {
            info->xResolution = info->yResolution = 0;
            for (jpeg_saved_marker_ptr marker = cinfo_.marker_list; marker; marker = marker->next)
                if (marker->marker == JPEG_APP0 + 1 &&
                    ExifResolution(marker->data, marker->data_length, &info->xResolution,
                                   &info->yResolution))
                    break;
        }
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        int status = AllocateDecoded(info_, colorOrder, out);
        if (status != SUCCESS) return status;
        PixelView pixels;
        status = AccessPixels(out, &pixels);
        if (status != SUCCESS) return status;
        if (setjmp(error_.jump)) return ERROR_FILE_CORRUPT;
        cinfo_.out_color_space = info_.gray                ? JCS_GRAYSCALE
                                 : out->Order == ORDER_RGB ? JCS_EXT_RGB
                                                           : JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo_);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = pixels.RowBytes(static_cast<int>(cinfo_.output_scanline));
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
        // Checked before the end marker is looked for: a file complete but for its EOI still loads.
        if (DataMissing(&cinfo_, error_)) return ERROR_FILE_CORRUPT;
        jpeg_finish_decompress(&cinfo_);
        return SUCCESS;
    }

    // Runs through all entropy-coded data at 1/8 scale (DC only, grey output): the cheapest pass
    // that sees a scan end short.
    int Verify() override {
        if (setjmp(error_.jump)) return ERROR_FILE_CORRUPT;
        cinfo_.scale_num = 1;
        cinfo_.scale_denom = 8;
        cinfo_.out_color_space = JCS_GRAYSCALE;
        cinfo_.dct_method = JDCT_IFAST;
        cinfo_.do_fancy_upsampling = FALSE;
        jpeg_start_decompress(&cinfo_);
        // From libjpeg's image pool, which jpeg_abort_decompress releases.
        JSAMPARRAY rows =
            (*cinfo_.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo_), JPOOL_IMAGE,
                                        cinfo_.output_width * cinfo_.output_components, 1);
        JSAMPROW target = rows[0];
        while (cinfo_.output_scanline < cinfo_.output_height && !error_.hitMarker)
            jpeg_read_scanlines(&cinfo_, &target, 1);
        const bool missing = DataMissing(&cinfo_, error_);
        jpeg_abort_decompress(&cinfo_);
        return missing ? ERROR_FILE_CORRUPT : SUCCESS;
    }

    bool Comment(int index, std::string* text) override {
        if (index == CMNT_SZDATETIMEORIGINAL) {
            for (jpeg_saved_marker_ptr marker = cinfo_.marker_list; marker; marker = marker->next)
                if (marker->marker == JPEG_APP0 + 1 &&
                    ExifDate(marker->data, marker->data_length, text))
                    return true;
            return false;
        }
        if (index != CMNT_SZDESC) return false;
        for (jpeg_saved_marker_ptr marker = cinfo_.marker_list; marker; marker = marker->next)
            if (marker->marker == JPEG_COM) {
                text->assign(reinterpret_cast<const char*>(marker->data), marker->data_length);
                return true;
            }
        return false;
    }

private:
    Bytes data_;
    jpeg_decompress_struct cinfo_{};
    ErrorManager error_{};
    bool created_ = false;
    ImageInfo info_;
};

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager error{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool created = false;
    ~Compressor() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

}  // namespace

bool SniffJpeg(Bytes data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}
std::unique_ptr<Decoder> CreateJpegDecoder(Bytes data) {
    return std::make_unique<JpegDecoder>(data);
}

int EncodeJpegInto(const SampleImage& image, int quality, bool subsample422,
                   const std::string* comment, const std::string* dateTimeOriginal,
                   std::vector<std::uint8_t>* out) {
    if (image.bitsPerSample != 8) return ERROR_BITPERPIXEL;
    const std::vector<std::uint8_t> exif = dateTimeOriginal && !dateTimeOriginal->empty()
                                               ? ExifWithDate(*dateTimeOriginal)
                                               : std::vector<std::uint8_t>{};
    Compressor c;
    c.cinfo.err = jpeg_std_error(&c.error.base);
    c.error.base.error_exit = OnError;
    c.error.base.emit_message = OnMessage;
    if (setjmp(c.error.jump)) return ERROR_FILE_WRITE;
    jpeg_create_compress(&c.cinfo);
    c.created = true;
    jpeg_mem_dest(&c.cinfo, &c.buffer, &c.size);
    c.cinfo.image_width = image.width;
    c.cinfo.image_height = image.height;
    c.cinfo.input_components = image.channels;
    c.cinfo.in_color_space = image.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality >= 1 && quality <= 100 ? quality : 90, TRUE);
    if (image.channels == 3 && subsample422) {
        c.cinfo.comp_info[0].h_samp_factor = 2;
        c.cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (image.xResolution > 0 && image.yResolution > 0 && image.xResolution <= 65535 &&
        image.yResolution <= 65535) {
        c.cinfo.density_unit = 1;
        c.cinfo.X_density = static_cast<UINT16>(image.xResolution);
        c.cinfo.Y_density = static_cast<UINT16>(image.yResolution);
    }
    jpeg_start_compress(&c.cinfo, TRUE);
    if (!exif.empty())
        jpeg_write_marker(&c.cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    if (comment && !comment->empty())
        jpeg_write_marker(&c.cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment->data()),
                          static_cast<unsigned>(std::min<std::size_t>(comment->size(), 65533)));
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(c.cinfo.next_scanline)));
        jpeg_write_scanlines(&c.cinfo, &row, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    out->assign(c.buffer, c.buffer + c.size);
    return SUCCESS;
}

int EncodeJpeg(const SampleImage& image, const EncodeRequest& request,
               std::vector<std::uint8_t>* out) {
    const auto found = request.comments.find(CMNT_SZDESC);
    const auto date = request.comments.find(CMNT_SZDATETIMEORIGINAL);
    return EncodeJpegInto(image, request.quality, request.format == FILE_JPEG_422,
                          found == request.comments.end() ? nullptr : &found->second,
                          date == request.comments.end() ? nullptr : &date->second, out);
}

}  // namespace engine::file
