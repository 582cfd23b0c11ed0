// Baseline JPEG through libjpeg-turbo: 8-bit grey and colour, 4:2:0 (FILE_JPEG) or 4:2:2
// (FILE_JPEG_422) subsampling when writing. libjpeg reports errors by longjmp: objects with
// destructors are made before each setjmp point.
#include <cstdio>
#include <jpeglib.h>

#include <cmath>
#include <csetjmp>
#include <cstring>

#include "engine/file/Codec.h"

namespace engine::file {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }
void OnMessage(j_common_ptr, int) {}

class JpegDecoder final : public Decoder {
public:
    explicit JpegDecoder(Bytes data) : data_(data) {
        cinfo_.err = jpeg_std_error(&error_.base);
        error_.base.error_exit = OnError;
        error_.base.emit_message = OnMessage;
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
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        const int status = AllocateDecoded(info_, colorOrder, out);
        if (status != SUCCESS) return status;
        if (setjmp(error_.jump)) return ERROR_FILE_CORRUPT;
        cinfo_.out_color_space = info_.gray ? JCS_GRAYSCALE : out->Order == ORDER_RGB ? JCS_EXT_RGB : JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo_);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = out->Addr + static_cast<std::size_t>(cinfo_.output_scanline) * out->BytesPerLine;
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
        jpeg_finish_decompress(&cinfo_);
        return SUCCESS;
    }

    bool Comment(int index, std::string* text) override {
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

bool SniffJpeg(Bytes data) { return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF; }
std::unique_ptr<Decoder> CreateJpegDecoder(Bytes data) { return std::make_unique<JpegDecoder>(data); }

int EncodeJpegInto(const SampleImage& image, int quality, bool subsample422, const std::string* comment,
                   std::vector<std::uint8_t>* out) {
    if (image.bitsPerSample != 8) return ERROR_BITPERPIXEL;
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
    if (image.xResolution > 0 && image.yResolution > 0 && image.xResolution <= 65535 && image.yResolution <= 65535) {
        c.cinfo.density_unit = 1;
        c.cinfo.X_density = static_cast<UINT16>(image.xResolution);
        c.cinfo.Y_density = static_cast<UINT16>(image.yResolution);
    }
    jpeg_start_compress(&c.cinfo, TRUE);
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

int EncodeJpeg(const SampleImage& image, const EncodeRequest& request, std::vector<std::uint8_t>* out) {
    const auto found = request.comments.find(CMNT_SZDESC);
    return EncodeJpegInto(image, request.quality, request.format == FILE_JPEG_422,
                          found == request.comments.end() ? nullptr : &found->second, out);
}

}  // namespace engine::file
