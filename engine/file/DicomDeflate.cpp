// Deflated Explicit VR Little Endian (PS3.5 A.5): the data set after the meta group is one raw
// deflate stream. Inflated, behind a meta group that names explicit VR little endian, the file is
// one the scanner and GDCM read like any other.
#include <zlib.h>

#include <cstring>

#include "engine/file/DicomElementStream.h"
#include "engine/file/DicomShared.h"

namespace engine::file {
namespace {

// Deflate serves small structured files; a frame of the largest image the engine takes, with its
// attributes, fits well within this. A stream that inflates beyond it is refused, not followed.
constexpr std::size_t kMaxInflatedBytes = 256u << 20;

// The explicit VR little endian UID as a meta value: even length, padded with a zero byte.
constexpr char kExplicitValue[] = "1.2.840.10008.1.2.1";  // 19 characters and the pad
constexpr std::uint32_t kExplicitValueLength = 20;

void PutU32(std::vector<std::uint8_t>* out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

int InflateDicom(Bytes data, std::vector<std::uint8_t>* out) {
    out->clear();
    if (data.size() < stream::kPreambleBytes + 4) return ERROR_FILE_CORRUPT;
    out->assign(data.begin(), data.begin() + stream::kPreambleBytes + 4);
    std::size_t pos = stream::kPreambleBytes + 4;
    std::size_t groupLengthValue = 0;  // where (0002,0000)'s value lies in *out, 0 for none
    const bool metaFits = stream::WalkMetaGroup(
        data, &pos, [&](const stream::ElementHeader& header, std::string_view value) {
            const std::uint8_t* start =
                reinterpret_cast<const std::uint8_t*>(value.data()) - header.size;
            if (header.element == tags::kTransferSyntaxUid.element) {
                // Short form (UI): tag, VR, 16-bit length.
                out->insert(out->end(), start, start + 6);
                out->push_back(kExplicitValueLength & 0xFF);
                out->push_back(kExplicitValueLength >> 8);
                out->insert(out->end(), kExplicitValue, kExplicitValue + kExplicitValueLength);
                return !header.vr->longForm;
            }
            if (header.element == 0x0000) {
                if (value.size() != 4) return false;
                groupLengthValue = out->size() + header.size;
            }
            out->insert(out->end(), start, start + header.size + value.size());
            return true;
        });
    if (!metaFits) return ERROR_FILE_CORRUPT;
    // Group length counts the meta elements after its own.
    if (groupLengthValue)
        PutU32(out, groupLengthValue,
               static_cast<std::uint32_t>(out->size() - groupLengthValue - 4));

    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return ERROR_NO_MEMORY;
    struct End {
        z_stream* zs;
        ~End() { inflateEnd(zs); }
    } end{&zs};
    zs.next_in = const_cast<Bytef*>(data.data() + pos);
    zs.avail_in = static_cast<uInt>(data.size() - pos);
    const std::size_t metaBytes = out->size();
    for (;;) {
        const std::size_t used = out->size();
        if (used - metaBytes >= kMaxInflatedBytes) return ERROR_INV_SIZE;
        const std::size_t step = std::min<std::size_t>(std::max<std::size_t>(used, 1u << 16),
                                                       kMaxInflatedBytes - (used - metaBytes));
        out->resize(used + step);
        zs.next_out = out->data() + used;
        zs.avail_out = static_cast<uInt>(step);
        const int status = inflate(&zs, Z_NO_FLUSH);
        out->resize(used + step - zs.avail_out);
        if (status == Z_STREAM_END) return SUCCESS;
        if (status == Z_MEM_ERROR) return ERROR_NO_MEMORY;
        // A cut stream ends with its input used up and no progress.
        if (status != Z_OK && status != Z_BUF_ERROR) return ERROR_FILE_CORRUPT;
        if (status == Z_BUF_ERROR && zs.avail_in == 0) return ERROR_FILE_CORRUPT;
    }
}

}  // namespace engine::file
