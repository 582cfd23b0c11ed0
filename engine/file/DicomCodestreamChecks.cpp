// Headers of the compressed frames of a DICOM file, checked where GDCM would trust them: it sizes
// its buffers from the data set and hands each frame to a coder that sizes its output from the
// frame's own header, and it asserts on warnings of those coders.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/file/DicomShared.h"
#include "engine/file/RleLossless.h"

namespace engine::file {
namespace {

// GDCM reads the header of a JPEG frame to tell lossy from lossless while it opens the file, and
// asserts on any warning the JPEG library gives (stray bytes, a cut header) or a component count
// it does not expect. The first fragment must therefore hold a clean header up to the first scan
// that matches the data set.
// JPEG-LS frames are checked the same way: CharLS sizes its output from its own frame header
// (one byte a sample up to 8 bits, two above) and GDCM from the data set, so the two must agree.
bool CleanJpegHeader(Bytes code, const PixelAttributes& a, bool jpegLs) {
    if (code.size() < 4 || code[0] != 0xFF || code[1] != 0xD8) return false;
    std::size_t pos = 2;
    bool frame = false;
    for (;;) {
        if (pos >= code.size() || code[pos] != 0xFF) return false;  // stray bytes before a marker
        while (pos < code.size() && code[pos] == 0xFF) ++pos;
        if (pos >= code.size()) return false;
        const std::uint8_t marker = code[pos++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no parameters
        if (pos + 2 > code.size()) return false;
        const std::size_t length = std::size_t{code[pos]} << 8 | code[pos + 1];
        if (length < 2 || length > code.size() - pos) return false;
        const std::uint8_t* body = code.data() + pos + 2;
        const std::size_t bodyLength = length - 2;
        switch (marker) {
            case 0xF7:  // JPEG-LS
                if (!jpegLs || frame || bodyLength < 6) return false;
                {
                    const unsigned precision = body[0];
                    const unsigned height = body[1] << 8 | body[2], width = body[3] << 8 | body[4];
                    const unsigned components = body[5];
                    if (precision < 2 || precision > 16 ||
                        (precision <= 8) != (*a.bitsAllocated == 8) || height != *a.rows ||
                        width != *a.columns || components != *a.samples ||
                        bodyLength != 6 + 3 * components)
                        return false;
                }
                frame = true;
                break;
            case 0xF8:
                if (!jpegLs) return false;
                break;  // JPEG-LS preset parameters
            case 0xC0:
            case 0xC1:
            case 0xC2:
            case 0xC3: {  // baseline, extended, progressive, lossless
                if (jpegLs || frame || bodyLength < 6) return false;
                const unsigned precision = body[0];
                const unsigned height = body[1] << 8 | body[2], width = body[3] << 8 | body[4];
                const unsigned components = body[5];
                // GDCM's own writer stores 16-bit words (Bits Stored 12 included) as extended
                // frames of precision 16, which its 16-bit JPEG build reads back.
                const bool precisionOk =
                    marker == 0xC0 ? precision == 8
                    : marker == 0xC3
                        ? precision >= 2 && precision <= 16
                        : precision == 8 || precision == 12 ||
                              (marker == 0xC1 && precision == 16 && *a.bitsAllocated == 16);
                if (!precisionOk || height != *a.rows || width != *a.columns ||
                    components != *a.samples || bodyLength != 6 + 3 * components)
                    return false;
                frame = true;
                break;
            }
            case 0xC4:
            case 0xCC:
            case 0xDB:
            case 0xDD:
            case 0xFE: break;         // tables, restart interval, comment
            case 0xDA: return frame;  // first scan: the header is complete
            default:
                if (marker < 0xE0 || marker > 0xEF) return false;
                // A JFIF version other than 1.x and an unknown colour transform only warn.
                if (marker == 0xE0 && bodyLength >= 14 && std::memcmp(body, "JFIF", 5) == 0 &&
                    body[5] != 1)
                    return false;
                if (marker == 0xEE && bodyLength >= 12 && std::memcmp(body, "Adobe", 5) == 0 &&
                    body[11] > 1)
                    return false;
                break;
        }
        pos += length;
    }
}

// GDCM decodes a JPEG 2000 frame into a buffer sized from the data set, whatever size the
// codestream declares: its image and components (SIZ) must be the data set's.
bool J2kSizeMatches(Bytes code, const PixelAttributes& a) {
    if (code.size() < 4 + 2 + 36 || code[2] != 0xFF || code[3] != 0x51) return false;
    const std::size_t length = std::size_t{code[4]} << 8 | code[5];
    if (length < 38 || length > code.size() - 4) return false;
    const std::uint8_t* body = code.data() + 6;
    const auto u32 = [&](std::size_t at) {
        return std::uint32_t{body[at]} << 24 | std::uint32_t{body[at + 1]} << 16 |
               body[at + 2] << 8 | body[at + 3];
    };
    const std::uint32_t width = u32(2), height = u32(6), left = u32(10), top = u32(14);
    const unsigned components = body[34] << 8 | body[35];
    if (width <= left || height <= top || width - left != *a.columns || height - top != *a.rows)
        return false;
    if (components != *a.samples || length != 38 + 3 * components) return false;
    for (unsigned c = 0; c < components; ++c) {
        const std::uint8_t* component = body + 36 + 3 * c;
        if ((component[0] & 0x7F) + 1u > *a.bitsAllocated || component[1] != 1 || component[2] != 1)
            return false;
    }
    return true;
}

// GDCM walks the markers of a JPEG 2000 main header (to find the wavelet kind in COD) trusting
// every segment length; the walk must stay inside the bytes it is given.
bool CleanJ2kMarkers(Bytes code) {
    std::size_t pos = 0;
    while (code.size() - pos >= 2) {
        const unsigned marker = code[pos] << 8 | code[pos + 1];
        pos += 2;
        const bool bare = (marker >= 0xFF30 && marker <= 0xFF3F) || marker == 0xFF4F ||
                          marker == 0xFF92 || marker == 0xFFD9;
        if (marker == 0xFF93) return true;  // start of data
        if (bare) continue;
        if (code.size() - pos < 2) return true;
        const std::size_t length = std::size_t{code[pos]} << 8 | code[pos + 1];
        pos += 2;
        if (length < 2) return true;  // GDCM stops here too
        if (length - 2 > code.size() - pos) return false;
        if (marker == 0xFF52 && length - 2 < 10) return false;  // COD, read at fixed offsets
        pos += length - 2;
    }
    return true;
}

const char* const kJpegSyntaxes[] = {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51",
                                     "1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70"};
const char* const kJpegLsSyntaxes[] = {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.81"};
const char* const kJ2kSyntaxes[] = {"1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.91"};

bool OneOf(const std::string& value, std::span<const char* const> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

}  // namespace

int CheckCodestream(Bytes data, const std::string& syntax, const PixelAttributes& a) {
    const bool jpegLs = OneOf(syntax, kJpegLsSyntaxes);
    const bool jpeg = jpegLs || OneOf(syntax, kJpegSyntaxes), j2k = OneOf(syntax, kJ2kSyntaxes);
    if (!jpeg && !j2k && syntax != kRleLossless) return ERROR_FEATURE_NOT_SUPPORTED;
    const auto [offset, length] = a.fragments[1];
    const Bytes first = data.subspan(offset, length);
    // Every fragment that starts a codestream starts a frame; each is decoded into its share of
    // the buffer, so each header must describe the data set's frame.
    for (std::size_t i = 1; i < a.fragments.size(); ++i) {
        const Bytes fragment = data.subspan(a.fragments[i].first, a.fragments[i].second);
        if (i > 1 && (fragment.size() < 2 || fragment[0] != 0xFF)) continue;
        if (jpeg && (i == 1 || fragment[1] == 0xD8) && !CleanJpegHeader(fragment, a, jpegLs))
            return ERROR_FILE_CORRUPT;
        if (j2k && (i == 1 || fragment[1] == 0x4F) &&
            !(CleanJ2kMarkers(fragment) && J2kSizeMatches(fragment, a)))
            return ERROR_FILE_CORRUPT;
    }
    if (jpeg) return SUCCESS;
    if (!j2k) {
        // RLE: one fragment per frame, each segment decoding to exactly one plane, so that a bad
        // frame is refused while the file is only being described.
        const std::uint64_t frames = a.frames && !a.frames->empty() ? std::stoull(*a.frames) : 1;
        if (a.fragments.size() != frames + 1) return ERROR_FILE_CORRUPT;
        for (std::size_t i = 1; i < a.fragments.size(); ++i)
            if (!RleFrameIsClean(data.subspan(a.fragments[i].first, a.fragments[i].second),
                                 std::size_t{*a.rows} * *a.columns,
                                 *a.samples * (*a.bitsAllocated / 8u)))
                return ERROR_FILE_CORRUPT;
        return SUCCESS;
    }
    if (!CleanJ2kMarkers(first)) return ERROR_FILE_CORRUPT;
    // GDCM may hand over the fragments joined; their walk must be clean as well.
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 1; i < a.fragments.size(); ++i)
        joined.insert(joined.end(), data.begin() + a.fragments[i].first,
                      data.begin() + a.fragments[i].first + a.fragments[i].second);
    return CleanJ2kMarkers(joined) ? SUCCESS : ERROR_FILE_CORRUPT;
}

}  // namespace engine::file
