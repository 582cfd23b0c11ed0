// One lossless JPEG 2000 codestream through OpenJPEG, written into a growing buffer.
#include "engine/file/Jpeg2000Lossless.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "engine/file/LibraryMessages.h"

namespace engine::file {
namespace {

constexpr int kMaxResolutions = 6;

struct Sink {
    std::vector<std::uint8_t>* out;
    std::size_t position = 0;
    std::size_t end = 0;
    void Reach(std::size_t target) {
        if (target > out->size()) out->resize(std::max(target, out->size() * 2));
        end = std::max(end, target);
    }
};

OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    sink->Reach(sink->position + count);
    std::memcpy(sink->out->data() + sink->position, buffer, count);
    sink->position += count;
    return count;
}
OPJ_OFF_T Skip(OPJ_OFF_T count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (count < 0 && static_cast<std::size_t>(-count) > sink->position) return -1;
    sink->position = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(sink->position) + count);
    sink->Reach(sink->position);
    return count;
}
OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (offset < 0) return OPJ_FALSE;
    sink->position = static_cast<std::size_t>(offset);
    sink->Reach(sink->position);
    return OPJ_TRUE;
}
void Quiet(const char*, void*) {}
void Report(const char* message, void*) { RouteLibraryMessage("OpenJPEG", message); }

struct CodecDeleter {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

}  // namespace

bool EncodeJpeg2000Lossless(const SampleImage& samples, int precision,
                            std::vector<std::uint8_t>* out) {
    const int channels = samples.channels;
    const bool wide = samples.bitsPerSample == 16;
    if ((channels != 1 && channels != 3) || precision < 1 || precision > (wide ? 16 : 8) ||
        samples.width <= 0 || samples.height <= 0)
        return false;
    const auto width = static_cast<OPJ_UINT32>(samples.width),
               height = static_cast<OPJ_UINT32>(samples.height);

    std::array<opj_image_cmptparm_t, 3> components{};
    for (int c = 0; c < channels; ++c) {
        components[c].dx = components[c].dy = 1;
        components[c].w = width;
        components[c].h = height;
        components[c].prec = static_cast<OPJ_UINT32>(precision);
        components[c].sgnd = 0;
    }
    std::unique_ptr<opj_image_t, ImageDeleter> image(
        opj_image_create(static_cast<OPJ_UINT32>(channels), components.data(),
                         channels == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
    if (!image) return false;
    image->x0 = image->y0 = 0;
    image->x1 = width;
    image->y1 = height;
    const unsigned maximum = (1u << precision) - 1;
    for (OPJ_UINT32 y = 0; y < height; ++y) {
        const std::uint8_t* row = samples.Row(static_cast<int>(y));
        for (int c = 0; c < channels; ++c) {
            OPJ_INT32* target = image->comps[c].data + std::size_t{y} * width;
            for (OPJ_UINT32 x = 0; x < width; ++x) {
                unsigned v;
                if (wide) {
                    std::uint16_t word;
                    std::memcpy(&word, row + 2 * (std::size_t{x} * channels + c), 2);
                    v = word;
                } else {
                    v = row[std::size_t{x} * channels + c];
                }
                target[x] = static_cast<OPJ_INT32>(std::min(v, maximum));
            }
        }
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;  // no rate target: lossless
    parameters.cp_disto_alloc = 1;
    parameters.irreversible = 0;
    parameters.tcp_mct = channels == 3 ? 1 : 0;
    // Each resolution halves the image; the smallest side must keep a sample at the lowest one.
    int resolutions = 1;
    while (resolutions < kMaxResolutions &&
           (OPJ_UINT32{1} << resolutions) <= std::min(width, height))
        ++resolutions;
    parameters.numresolution = resolutions;

    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_compress(OPJ_CODEC_J2K));
    if (!codec) return false;
    opj_set_info_handler(codec.get(), Quiet, nullptr);
    opj_set_warning_handler(codec.get(), Report, nullptr);
    opj_set_error_handler(codec.get(), Report, nullptr);
    if (!opj_setup_encoder(codec.get(), &parameters, image.get())) return false;

    out->clear();
    out->reserve(samples.Size() / 2 + 1024);
    Sink sink{out};
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(
        opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream) return false;
    opj_stream_set_user_data(stream.get(), &sink, nullptr);
    opj_stream_set_write_function(stream.get(), Write);
    opj_stream_set_skip_function(stream.get(), Skip);
    opj_stream_set_seek_function(stream.get(), Seek);
    if (!opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
        return false;
    stream.reset();  // flushes what OpenJPEG still buffers
    out->resize(sink.end);
    return true;
}

}  // namespace engine::file
