// DICOM Part 10 through GDCM: grey (8, 12, 16 bits) and RGB, uncompressed, RLE, JPEG and
// JPEG 2000. Before GDCM sees a file, every element length is checked against the bytes that
// follow it, so a hostile length cannot make GDCM allocate more than the file holds; the Image
// Pixel attributes and the headers of the compressed frames are checked against each other and
// against caps, since GDCM sizes its buffers from them and asserts on many inconsistencies.
#include <gdcmAttribute.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEGCodec.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <istream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <streambuf>

#include "engine/Diagnostics.h"
#include "engine/Display.h"
#include "engine/file/Codec.h"
#include "engine/file/DicomValues.h"
#include "engine/file/Jpeg2000Lossless.h"
#include "engine/file/RleLossless.h"
#include "engine/file/Uid.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

constexpr std::size_t kPreambleBytes = 128;
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kItemDelimitation = 0xE00D;
constexpr std::uint16_t kSequenceDelimitation = 0xE0DD;
constexpr int kMaxNesting = 32;
// All frames of one file, decoded.
constexpr std::uint64_t kMaxDecodedBytes = MAX_IMAGE_BYTES * 4;

const char* const kImplicitLittleEndian = "1.2.840.10008.1.2";
const char* const kExplicitBigEndian = "1.2.840.10008.1.2.2";
const char* const kDeflatedLittleEndian = "1.2.840.10008.1.2.1.99";

// SOP classes (PS3.4 B.5): intra-oral X-ray for grey images, secondary capture for colour.
const char* const kIntraOralForPresentation = "1.2.840.10008.5.1.4.1.1.1.3";
const char* const kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";

struct DicomTag {
    std::uint16_t group, element;
};
constexpr DicomTag kImplementationClassUidTag{0x0002, 0x0012};
constexpr DicomTag kImplementationVersionNameTag{0x0002, 0x0013};
constexpr DicomTag kSourceApplicationEntityTitleTag{0x0002, 0x0016};
constexpr DicomTag kSpecificCharacterSet{0x0008, 0x0005};
constexpr DicomTag kStudyDate{0x0008, 0x0020};
constexpr DicomTag kAcquisitionDateTime{0x0008, 0x002A};
constexpr DicomTag kStudyTime{0x0008, 0x0030};
constexpr DicomTag kModality{0x0008, 0x0060};
constexpr DicomTag kReferringPhysicianName{0x0008, 0x0090};
constexpr DicomTag kPatientName{0x0010, 0x0010};
constexpr DicomTag kPatientId{0x0010, 0x0020};
constexpr DicomTag kPatientBirthDate{0x0010, 0x0030};
constexpr DicomTag kPatientSex{0x0010, 0x0040};
constexpr DicomTag kImagerPixelSpacing{0x0018, 0x1164};
constexpr DicomTag kStudyInstanceUid{0x0020, 0x000D};
constexpr DicomTag kSeriesInstanceUid{0x0020, 0x000E};
constexpr DicomTag kSeriesNumber{0x0020, 0x0011};
constexpr DicomTag kImageComments{0x0020, 0x4000};
constexpr DicomTag kPixelSpacing{0x0028, 0x0030};
constexpr DicomTag kWindowCenter{0x0028, 0x1050};
constexpr DicomTag kWindowWidth{0x0028, 0x1051};
constexpr DicomTag kRescaleIntercept{0x0028, 0x1052};
constexpr DicomTag kRescaleSlope{0x0028, 0x1053};
constexpr DicomTag kVoiLutFunction{0x0028, 0x1056};
constexpr DicomTag kLutDescriptor{0x0028, 0x3002};
constexpr DicomTag kLutData{0x0028, 0x3006};
constexpr DicomTag kVoiLutSequence{0x0028, 0x3010};

gdcm::Tag TagOf(DicomTag tag) { return gdcm::Tag(tag.group, tag.element); }

// ---- length check of the element stream (PS3.5 7.1, 7.5) ----

// Image Pixel attributes of the top-level data set and what its Pixel Data holds, gathered during
// the length check so they can be judged before GDCM builds (and allocates for) the image.
struct PixelAttributes {
    std::optional<std::uint16_t> samples, rows, columns, bitsAllocated, bitsStored, highBit, planar,
        pixelRepresentation;
    std::optional<std::string> photometric, frames;
    bool pixelData = false;
    bool foreignRecognitionCode = false;  // (0008,0010) that is not an ACR-NEMA one
    // One of the attributes above given twice: which one GDCM keeps is not ours to guess.
    bool repeated = false;
    std::uint64_t pixelBytes = 0;  // native: element length; encapsulated: sum of fragment lengths
    // Items of encapsulated Pixel Data (offset, length), the offset table first.
    std::vector<std::pair<std::size_t, std::uint32_t>> fragments;
};

// Fragments of one encapsulated Pixel Data element.
struct Fragments {
    std::vector<std::pair<std::size_t, std::uint32_t>> items;
    std::uint64_t bytes = 0;
};

struct Scanner {
    Bytes data;
    bool explicitVr = true;
    bool bigEndian = false;
    bool encapsulated = false;  // compressed transfer syntax: Pixel Data holds fragments
    PixelAttributes* attributes = nullptr;

    std::uint16_t U16(std::size_t at) const {
        return bigEndian ? static_cast<std::uint16_t>(data[at] << 8 | data[at + 1])
                         : static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
    }
    std::uint32_t U32(std::size_t at) const {
        return bigEndian ? (std::uint32_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3])
                         : (data[at] | data[at + 1] << 8 | data[at + 2] << 16 | std::uint32_t{data[at + 3]} << 24);
    }
    // GDCM asserts (aborts) on a VR it does not know; such files are refused first.
    static bool KnownVr(char a, char b) {
        static const char* const kVrs[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO",
                                           "LT", "OB", "OD", "OF", "OL", "OV", "OW", "PN", "SH", "SL", "SQ",
                                           "SS", "ST", "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "UV"};
        for (const char* vr : kVrs)
            if (vr[0] == a && vr[1] == b) return true;
        return false;
    }
    // Attributes GDCM reads through typed accessors while it builds the image; those assert when
    // the file gives the attribute another VR.
    static bool ExpectedVr(std::uint16_t group, std::uint16_t element, char a, char b) {
        struct Typed {
            std::uint16_t group, element;
            const char* vrs;  // the VRs it may have, each two letters
        };
        static const Typed kTyped[] = {
            {0x0008, 0x0016, "UI"}, {0x0008, 0x0060, "CS"}, {0x0018, 0x0050, "DS"}, {0x0018, 0x0088, "DS"},
            {0x0018, 0x1164, "DS"}, {0x0018, 0x2010, "DS"}, {0x0020, 0x0032, "DS"}, {0x0020, 0x0037, "DS"},
            {0x0028, 0x0002, "US"}, {0x0028, 0x0004, "CS"}, {0x0028, 0x0006, "US"}, {0x0028, 0x0008, "IS"},
            {0x0028, 0x0009, "AT"}, {0x0028, 0x0010, "US"}, {0x0028, 0x0011, "US"}, {0x0028, 0x0030, "DS"},
            {0x0028, 0x0034, "IS"}, {0x0028, 0x0100, "US"}, {0x0028, 0x0101, "US"}, {0x0028, 0x0102, "US"},
            {0x0028, 0x0103, "US"}, {0x0028, 0x1050, "DS"}, {0x0028, 0x1051, "DS"}, {0x0028, 0x1052, "DS"},
            {0x0028, 0x1053, "DS"}, {0x0028, 0x1054, "LO"}, {0x0028, 0x1101, "USSS"}, {0x0028, 0x1102, "USSS"},
            {0x0028, 0x1103, "USSS"}, {0x0028, 0x1201, "OW"}, {0x0028, 0x1202, "OW"}, {0x0028, 0x1203, "OW"},
            {0x0028, 0x2110, "CS"}, {0x0028, 0x3002, "USSS"}, {0x0054, 0x0081, "US"}, {0x7FE0, 0x0010, "OBOW"},
        };
        for (const Typed& t : kTyped) {
            if (t.group != group || t.element != element) continue;
            for (const char* vr = t.vrs; *vr; vr += 2)
                if (vr[0] == a && vr[1] == b) return true;
            return false;
        }
        return true;
    }
    static bool LongForm(char a, char b) {
        static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
        for (const char* vr : kLong)
            if (vr[0] == a && vr[1] == b) return true;
        return false;
    }

    // Checks elements in [pos, end). Stops after a delimiter when inUndefined; *pos ends past it.
    // fragments: the items hold bytes (encapsulated pixel fragments), not data sets; counted there.
    bool Elements(std::size_t* pos, std::size_t end, int depth, bool inUndefined, Fragments* fragments = nullptr) const {
        if (depth > kMaxNesting) return false;
        while (*pos < end) {
            if (end - *pos < 8) return false;
            const std::uint16_t group = U16(*pos), element = U16(*pos + 2);
            if (group == kItemGroup) {
                const std::uint32_t length = U32(*pos + 4);
                *pos += 8;
                if (element == kItemDelimitation || element == kSequenceDelimitation) {
                    // Delimiters carry no value; GDCM would allocate whatever length one claims.
                    if (length != 0) return false;
                    if (inUndefined) return true;
                    continue;
                }
                if (element != kItem) return false;
                if (fragments && length != kUndefinedLength) {
                    fragments->items.emplace_back(*pos, length);
                    fragments->bytes += length;
                }
                if (!Value(pos, end, length, !fragments, depth)) return false;
                continue;
            }
            std::uint32_t length;
            bool sequence = false;
            if (explicitVr) {
                const char a = static_cast<char>(data[*pos + 4]), b = static_cast<char>(data[*pos + 5]);
                if (!KnownVr(a, b) || !ExpectedVr(group, element, a, b)) return false;
                if (LongForm(a, b)) {
                    if (end - *pos < 12) return false;
                    length = U32(*pos + 8);
                    *pos += 12;
                } else {
                    length = U16(*pos + 6);
                    *pos += 8;
                }
                sequence = (a == 'S' && b == 'Q') || length == kUndefinedLength;
                // GDCM asserts on an undefined length it cannot read as a sequence or as fragments.
                const bool undefinedOk = (a == 'S' && b == 'Q') || (a == 'U' && b == 'N') ||
                                         (group == 0x7FE0 && element == 0x0010);
                if (length == kUndefinedLength && !undefinedOk) return false;
            } else {
                length = U32(*pos + 4);
                *pos += 8;
                // Implicit VR has no type: a value that opens with an item tag is a sequence.
                sequence = length == kUndefinedLength ||
                           (length >= 8 && end - *pos >= 4 && U16(*pos) == kItemGroup && U16(*pos + 2) == kItem);
            }
            const bool pixelData = group == 0x7FE0 && element == 0x0010;
            const bool topLevel = depth == 0 && attributes;
            // Encapsulated Pixel Data has undefined length (PS3.5 A.4); GDCM would otherwise read
            // the raw bytes as fragments with whatever lengths they hold.
            if (pixelData && encapsulated && length != kUndefinedLength) return false;
            if (pixelData && length == kUndefinedLength) {
                Fragments found;
                if (!Elements(pos, end, depth + 1, true, &found)) return false;
                if (topLevel) {
                    attributes->pixelData = true;
                    attributes->pixelBytes = found.bytes;
                    attributes->fragments = std::move(found.items);
                }
                continue;
            }
            const std::size_t valueStart = *pos;
            if (!Value(pos, end, length, sequence && !pixelData, depth)) return false;
            if (topLevel) Record(group, element, valueStart, length);
        }
        return !inUndefined;
    }

    void Record(std::uint16_t group, std::uint16_t element, std::size_t at, std::uint32_t length) const {
        if (group == 0x7FE0 && element == 0x0010) {
            attributes->repeated = attributes->repeated || attributes->pixelData;
            attributes->pixelData = true;
            attributes->pixelBytes = length;
            return;
        }
        const auto text = [&] {
            std::string value(reinterpret_cast<const char*>(data.data() + at), length);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.pop_back();
            while (!value.empty() && value.front() == ' ') value.erase(value.begin());
            return value;
        };
        const auto number = [&]() -> std::optional<std::uint16_t> {
            if (length < 2) return std::nullopt;
            return U16(at);
        };
        // GDCM takes a file with the retired Recognition Code for ACR-NEMA and asserts that it
        // says so.
        if (group == 0x0008 && element == 0x0010) {
            const std::string code = text();
            attributes->foreignRecognitionCode =
                code.rfind("ACR-NEMA", 0) != 0 && code.rfind("ACRNEMA", 0) != 0 && code.rfind("MIPS 2.0", 0) != 0;
            return;
        }
        if (group != 0x0028) return;
        const auto set = [&](auto& attribute, auto value) {
            attributes->repeated = attributes->repeated || attribute.has_value();
            attribute = value;
        };
        switch (element) {
            case 0x0002: set(attributes->samples, number()); break;
            case 0x0004: set(attributes->photometric, text()); break;
            case 0x0006: set(attributes->planar, number()); break;
            case 0x0008: set(attributes->frames, text()); break;
            case 0x0010: set(attributes->rows, number()); break;
            case 0x0011: set(attributes->columns, number()); break;
            case 0x0100: set(attributes->bitsAllocated, number()); break;
            case 0x0101: set(attributes->bitsStored, number()); break;
            case 0x0102: set(attributes->highBit, number()); break;
            case 0x0103: set(attributes->pixelRepresentation, number()); break;
            default: break;
        }
    }

    bool Value(std::size_t* pos, std::size_t end, std::uint32_t length, bool nested, int depth) const {
        if (length == kUndefinedLength) {
            if (!nested) return false;
            return Elements(pos, end, depth + 1, true);
        }
        if (length > end - *pos) return false;
        const std::size_t valueEnd = *pos + length;
        if (nested) {
            std::size_t inner = *pos;
            if (!Elements(&inner, valueEnd, depth + 1, false)) return false;
        }
        *pos = valueEnd;
        return true;
    }
};

// The image the attributes describe must be one we decode, and its pixels must fit the caps and,
// when uncompressed, the bytes present. GDCM asserts on some inconsistent sets (a palette without
// its lookup tables) and sizes its buffers from these values alone.
int CheckPixelAttributes(const PixelAttributes& a, bool encapsulated) {
    if (!a.pixelData || !a.rows || !a.columns || !a.samples || !a.bitsAllocated || !a.photometric ||
        a.foreignRecognitionCode || a.repeated)
        return ERROR_FILE_CORRUPT;
    if (*a.rows == 0 || *a.columns == 0) return ERROR_FILE_CORRUPT;
    const std::string& pi = *a.photometric;
    const bool monochrome = pi == "MONOCHROME1" || pi == "MONOCHROME2";
    static const char* const kColour[] = {"RGB", "YBR_FULL", "YBR_FULL_422", "YBR_PARTIAL_422", "YBR_PARTIAL_420",
                                          "YBR_ICT", "YBR_RCT"};
    const bool colour = std::any_of(std::begin(kColour), std::end(kColour), [&](const char* name) { return pi == name; });
    if (!monochrome && !colour) return pi == "PALETTE COLOR" ? ERROR_FEATURE_NOT_SUPPORTED : ERROR_FILE_CORRUPT;
    if (*a.samples != (monochrome ? 1 : 3)) return ERROR_FILE_CORRUPT;
    if (*a.bitsAllocated != 8 && *a.bitsAllocated != 16) return ERROR_FEATURE_NOT_SUPPORTED;
    const unsigned stored = a.bitsStored.value_or(*a.bitsAllocated);
    if (stored < 1 || stored > *a.bitsAllocated) return ERROR_FILE_CORRUPT;
    if (a.highBit && *a.highBit >= *a.bitsAllocated) return ERROR_FILE_CORRUPT;
    if (a.planar && *a.planar > 1) return ERROR_FILE_CORRUPT;  // GDCM asserts on other values
    std::uint64_t frames = 1;
    if (a.frames && !a.frames->empty()) {
        if (a.frames->size() > 6 || !std::all_of(a.frames->begin(), a.frames->end(), [](char c) { return c >= '0' && c <= '9'; }))
            return ERROR_FILE_CORRUPT;
        frames = std::stoull(*a.frames);
        if (frames == 0) return ERROR_FILE_CORRUPT;
    }
    const int sized = CheckImageSize(*a.columns, *a.rows, *a.samples * *a.bitsAllocated);
    if (sized != SUCCESS) return sized;
    const std::uint64_t frameBytes = std::uint64_t{*a.rows} * *a.columns * *a.samples * (*a.bitsAllocated / 8);
    if (frames > kMaxDecodedBytes / frameBytes) return ERROR_INV_SIZE;
    if (!encapsulated && pi == "YBR_FULL_422") {
        // Stored as Y Y Cb Cr for each pair of columns: two bytes a pixel.
        if (*a.bitsAllocated != 8 || *a.columns % 2 || a.planar.value_or(0) != 0) return ERROR_FEATURE_NOT_SUPPORTED;
        return a.pixelBytes >= frameBytes / 3 * 2 * frames ? SUCCESS : ERROR_FILE_CORRUPT;
    }
    if (!encapsulated) return a.pixelBytes >= frameBytes * frames ? SUCCESS : ERROR_FILE_CORRUPT;
    // Encapsulated: an offset table of 32-bit entries, then at least one fragment with data.
    if (a.fragments.size() < 2 || a.fragments[0].second % 4 || a.pixelBytes <= a.fragments[0].second)
        return ERROR_FILE_CORRUPT;
    return SUCCESS;
}

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
                    if (precision < 2 || precision > 16 || (precision <= 8) != (*a.bitsAllocated == 8) ||
                        height != *a.rows || width != *a.columns || components != *a.samples ||
                        bodyLength != 6 + 3 * components)
                        return false;
                }
                frame = true;
                break;
            case 0xF8: if (!jpegLs) return false; break;  // JPEG-LS preset parameters
            case 0xC0: case 0xC1: case 0xC2: case 0xC3: {  // baseline, extended, progressive, lossless
                if (jpegLs || frame || bodyLength < 6) return false;
                const unsigned precision = body[0];
                const unsigned height = body[1] << 8 | body[2], width = body[3] << 8 | body[4];
                const unsigned components = body[5];
                const bool precisionOk = marker == 0xC0   ? precision == 8
                                         : marker == 0xC3 ? precision >= 2 && precision <= 16
                                                          : precision == 8 || precision == 12;
                if (!precisionOk || height != *a.rows || width != *a.columns || components != *a.samples ||
                    bodyLength != 6 + 3 * components)
                    return false;
                frame = true;
                break;
            }
            case 0xC4: case 0xCC: case 0xDB: case 0xDD: case 0xFE: break;  // tables, restart interval, comment
            case 0xDA: return frame;  // first scan: the header is complete
            default:
                if (marker < 0xE0 || marker > 0xEF) return false;
                // A JFIF version other than 1.x and an unknown colour transform only warn.
                if (marker == 0xE0 && bodyLength >= 14 && std::memcmp(body, "JFIF", 5) == 0 && body[5] != 1) return false;
                if (marker == 0xEE && bodyLength >= 12 && std::memcmp(body, "Adobe", 5) == 0 && body[11] > 1) return false;
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
        return std::uint32_t{body[at]} << 24 | std::uint32_t{body[at + 1]} << 16 | body[at + 2] << 8 | body[at + 3];
    };
    const std::uint32_t width = u32(2), height = u32(6), left = u32(10), top = u32(14);
    const unsigned components = body[34] << 8 | body[35];
    if (width <= left || height <= top || width - left != *a.columns || height - top != *a.rows) return false;
    if (components != *a.samples || length != 38 + 3 * components) return false;
    for (unsigned c = 0; c < components; ++c) {
        const std::uint8_t* component = body + 36 + 3 * c;
        if ((component[0] & 0x7F) + 1u > *a.bitsAllocated || component[1] != 1 || component[2] != 1) return false;
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
        const bool bare = (marker >= 0xFF30 && marker <= 0xFF3F) || marker == 0xFF4F || marker == 0xFF92 ||
                          marker == 0xFFD9;
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

const char* const kJpegSyntaxes[] = {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.57",
                                     "1.2.840.10008.1.2.4.70"};
const char* const kJpegLsSyntaxes[] = {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.81"};
const char* const kJ2kSyntaxes[] = {"1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.91"};
const char* const kRleLossless = "1.2.840.10008.1.2.5";

bool OneOf(const std::string& value, std::span<const char* const> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

// The compressed streams of the transfer syntaxes we decode, checked where GDCM would trust them.
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
        if (jpeg && (i == 1 || fragment[1] == 0xD8) && !CleanJpegHeader(fragment, a, jpegLs)) return ERROR_FILE_CORRUPT;
        if (j2k && (i == 1 || fragment[1] == 0x4F) && !(CleanJ2kMarkers(fragment) && J2kSizeMatches(fragment, a)))
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
                                 std::size_t{*a.rows} * *a.columns, *a.samples * (*a.bitsAllocated / 8u)))
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

// SUCCESS when every length fits; the transfer syntax found in the meta header goes to *syntax.
int CheckLengths(Bytes data, std::string* syntax, PixelAttributes* found) {
    std::size_t pos = kPreambleBytes + 4;
    Scanner meta{data, true, false};
    while (pos + 8 <= data.size() && meta.U16(pos) == 0x0002) {
        const std::size_t start = pos;
        const std::uint16_t element = meta.U16(pos + 2);
        std::size_t end = data.size();
        std::size_t cursor = pos;
        // One element at a time: reuse the stream check on a window that ends after it.
        const char a = static_cast<char>(data[pos + 4]), b = static_cast<char>(data[pos + 5]);
        if (!Scanner::KnownVr(a, b)) return ERROR_FILE_CORRUPT;
        std::uint32_t length;
        std::size_t header;
        if (Scanner::LongForm(a, b)) {
            if (pos + 12 > data.size()) return ERROR_FILE_CORRUPT;
            length = meta.U32(pos + 8);
            header = 12;
        } else {
            length = meta.U16(pos + 6);
            header = 8;
        }
        if (length == kUndefinedLength || length > end - (pos + header)) return ERROR_FILE_CORRUPT;
        cursor = pos + header + length;
        if (element == 0x0010) {
            syntax->assign(reinterpret_cast<const char*>(data.data() + start + header), length);
            while (!syntax->empty() && (syntax->back() == '\0' || syntax->back() == ' ')) syntax->pop_back();
        }
        pos = cursor;
    }
    if (*syntax == kDeflatedLittleEndian) return ERROR_FEATURE_NOT_SUPPORTED;
    const std::string& ts = *syntax;
    PixelAttributes attributes;
    Scanner body{data, ts != kImplicitLittleEndian, ts == kExplicitBigEndian,
                 ts != kImplicitLittleEndian && ts != kExplicitBigEndian && ts != "1.2.840.10008.1.2.1", &attributes};
    if (!body.Elements(&pos, data.size(), 0, false)) return ERROR_FILE_CORRUPT;
    *found = attributes;
    const int pixels = CheckPixelAttributes(attributes, body.encapsulated);
    if (pixels != SUCCESS || !body.encapsulated) return pixels;
    return CheckCodestream(data, ts, attributes);
}

// A read-only stream over memory, seekable as GDCM needs.
class MemoryBuffer final : public std::streambuf {
public:
    explicit MemoryBuffer(Bytes data) {
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(data.data()));
        setg(begin, begin, begin + data.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        const off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? gptr() - eback() : egptr() - eback();
        return seekpos(base + offset, std::ios_base::in);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode) override {
        const off_type target = position;
        if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return position;
    }
};

// GDCM's writer appends straight into the encoded bytes: an ostringstream would grow by copies
// and hand its string over by another.
class AppendBuffer final : public std::streambuf {
public:
    explicit AppendBuffer(std::vector<std::uint8_t>* out) : out_(out) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) out_->push_back(static_cast<std::uint8_t>(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        out_->insert(out_->end(), reinterpret_cast<const std::uint8_t*>(s), reinterpret_cast<const std::uint8_t*>(s) + n);
        return n;
    }
    // Only the write position can be asked for; the writer never moves it.
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        if (offset != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
        return pos_type(static_cast<off_type>(out_->size()));
    }

private:
    std::vector<std::uint8_t>* out_;
};

void SilenceGdcm() {
    static std::once_flag once;
    std::call_once(once, [] {
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    });
}

// Comment indexes and the attributes that carry them.
struct CommentTag {
    int index;
    std::uint16_t group, element;
    gdcm::VR::VRType vr;
};
constexpr CommentTag kCommentTags[] = {
    {CMNT_SZDESC, 0x0020, 0x4000, gdcm::VR::LT},             // Image Comments
    {CMNT_SZPATIENTNAME, 0x0010, 0x0010, gdcm::VR::PN},      // Patient's Name
    {CMNT_SZPATIENTID, 0x0010, 0x0020, gdcm::VR::LO},        // Patient ID
    {CMNT_SZPATIENTBIRTHDATE, 0x0010, 0x0030, gdcm::VR::DA}, // Patient's Birth Date
    {CMNT_SZPATIENTSEX, 0x0010, 0x0040, gdcm::VR::CS},       // Patient's Sex
    {CMNT_SZSTUDYINSTANCE, 0x0020, 0x000D, gdcm::VR::UI},    // Study Instance UID
    {CMNT_SZSTUDYDATE, 0x0008, 0x0020, gdcm::VR::DA},        // Study Date
    {CMNT_SZSTUDYTIME, 0x0008, 0x0030, gdcm::VR::TM},        // Study Time
    {CMNT_SZSTUDYREFERRINGPHYSICIAN, 0x0008, 0x0090, gdcm::VR::PN},  // Referring Physician's Name
    {CMNT_SZSERIESMODALITY, 0x0008, 0x0060, gdcm::VR::CS},   // Modality
    {CMNT_SZSERIESID, 0x0020, 0x000E, gdcm::VR::UI},         // Series Instance UID
    {CMNT_SZSERIESNUMBER, 0x0020, 0x0011, gdcm::VR::IS},     // Series Number
    {CMNT_SZDATETIMEORIGINAL, 0x0008, 0x002A, gdcm::VR::DT}, // Acquisition DateTime
};

std::string Trimmed(const gdcm::ByteValue* value) {
    if (!value) return {};
    std::string text(value->GetPointer(), value->GetLength());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

// Stored grey samples in place to what the bitmap holds: only the stored bits, signed ones
// shifted into the unsigned range (two's complement of Bits Stored, PS3.5 8.1.1), MONOCHROME1
// turned round. Samples are whole words here, so the loop vectorises.
template <typename Sample>
void MapStoredSamples(Sample* samples, int count, std::uint32_t mask32, std::uint32_t signOffset32, bool invert) {
    const auto mask = static_cast<Sample>(mask32), signOffset = static_cast<Sample>(signOffset32);
    if (mask == static_cast<Sample>(~Sample{0}) && signOffset == 0 && !invert) return;
    for (int x = 0; x < count; ++x) {
        const auto v = static_cast<Sample>((static_cast<Sample>(samples[x] & mask) + signOffset) & mask);
        samples[x] = invert ? static_cast<Sample>(mask - v) : v;
    }
}

enum class YbrRange { None, Full, Partial };

YbrRange YbrRangeOf(const gdcm::PhotometricInterpretation& pi) {
    switch (pi) {
    case gdcm::PhotometricInterpretation::YBR_FULL:
    case gdcm::PhotometricInterpretation::YBR_FULL_422:
        return YbrRange::Full;
    case gdcm::PhotometricInterpretation::YBR_PARTIAL_422:
    case gdcm::PhotometricInterpretation::YBR_PARTIAL_420:
        return YbrRange::Partial;
    default:
        return YbrRange::None;
    }
}

// YCbCr to RGB in place, in 16-bit fixed point rounded as libjpeg rounds its own conversion:
// full range as JPEG stores it, or the video range (Y 16..235, chroma 16..240).
void YbrToRgb(std::uint8_t c[3], YbrRange range) {
    constexpr int kOne = 1 << 16, kHalf = 1 << 15;
    int y = c[0];
    const int cb = c[1] - 128, cr = c[2] - 128;
    int r, g, b;
    if (range == YbrRange::Full) {
        y *= kOne;
        r = y + 91881 * cr;               // 1.402
        g = y - 22554 * cb - 46802 * cr;  // 0.344136, 0.714136
        b = y + 116130 * cb;              // 1.772
    } else {
        y = 76284 * (y - 16);             // 255 / 219
        r = y + 104595 * cr;              // 1.596027
        g = y - 25675 * cb - 53279 * cr;  // 0.391762, 0.812968
        b = y + 132201 * cb;              // 2.017232
    }
    const auto clamp = [](int v) { return static_cast<std::uint8_t>(std::clamp((v + kHalf) >> 16, 0, 255)); };
    c[0] = clamp(r), c[1] = clamp(g), c[2] = clamp(b);
}

// Native YBR_FULL_422 (Y0 Y1 Cb Cr for each pair of pixels) widened to one Y Cb Cr a pixel.
std::vector<char> ExpandYbr422(const gdcm::ByteValue& value, unsigned width, unsigned height) {
    const std::size_t pairs = std::size_t{width} / 2 * height;
    if (value.GetLength() < pairs * 4) throw std::runtime_error("short YBR_FULL_422 pixel data");
    const char* in = value.GetPointer();
    std::vector<char> out(pairs * 6);
    for (std::size_t i = 0; i < pairs; ++i, in += 4) {
        char* o = out.data() + 6 * i;
        o[0] = in[0], o[1] = in[2], o[2] = in[3];
        o[3] = in[1], o[4] = in[2], o[5] = in[3];
    }
    return out;
}

// The text of an attribute of ds, trailing padding removed; empty when it is absent.
std::string TextOf(const gdcm::DataSet& ds, DicomTag tag) {
    if (!ds.FindDataElement(TagOf(tag))) return {};
    return Trimmed(ds.GetDataElement(TagOf(tag)).GetByteValue());
}

// Value number `index` of a backslash-separated text.
std::string ValueAt(const std::string& text, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = text.find('\\', start);
        if (start == std::string::npos) return {};
        ++start;
    }
    const std::size_t end = text.find('\\', start);
    std::string value = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return value;
}

std::optional<double> DecimalOf(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The resolution a file's spacing stands for: Imager Pixel Spacing, else Pixel Spacing, each
// row spacing first (PS3.3 10.7.1.3). Both values must be usable, or the resolution stays
// unknown (0).
void ReadResolution(const gdcm::DataSet& ds, ImageInfo* info) {
    for (const DicomTag tag : {kImagerPixelSpacing, kPixelSpacing}) {
        const std::string text = TextOf(ds, tag);
        const int rows = ResolutionOfSpacing(ValueAt(text, 0)), columns = ResolutionOfSpacing(ValueAt(text, 1));
        if (rows > 0 && columns > 0) {
            info->yResolution = rows;
            info->xResolution = columns;
            return;
        }
    }
}

// How the bitmap's grey samples came from the stored ones (see MapStoredSamples).
struct StoredMapping {
    unsigned stored = 16;
    bool isSigned = false;
    bool invert = false;  // MONOCHROME1
};

// VOI output in 0 … 1 for a modality value x: the file's first window (PS3.3 C.11.2.1.2), or
// else its first VOI LUT (C.11.2.1.1).
class VoiTransform {
public:
    bool Read(const gdcm::DataSet& ds, bool signedSamples) {
        const auto center = DecimalOf(ValueAt(TextOf(ds, kWindowCenter), 0));
        const auto width = DecimalOf(ValueAt(TextOf(ds, kWindowWidth), 0));
        function_ = TextOf(ds, kVoiLutFunction);
        if (function_.empty()) function_ = "LINEAR";
        const bool exact = function_ == "LINEAR_EXACT" || function_ == "SIGMOID";
        if (center && width && (function_ == "LINEAR" || exact) && (exact ? *width > 0 : *width >= 1)) {
            center_ = *center;
            width_ = *width;
            window_ = true;
            return true;
        }
        return ReadLut(ds, signedSamples);
    }

    double operator()(double x) const {
        if (!window_) {
            const double index = std::clamp(std::floor(x) - first_, 0.0, static_cast<double>(lut_.size() - 1));
            return lut_[static_cast<std::size_t>(index)] / lutMaximum_;
        }
        if (function_ == "SIGMOID") return 1.0 / (1.0 + std::exp(-4.0 * (x - center_) / width_));
        if (function_ == "LINEAR_EXACT") {
            if (x <= center_ - width_ / 2) return 0;
            if (x > center_ + width_ / 2) return 1;
            return (x - center_) / width_ + 0.5;
        }
        if (x <= center_ - 0.5 - (width_ - 1) / 2) return 0;
        if (x > center_ - 0.5 + (width_ - 1) / 2) return 1;
        return (x - (center_ - 0.5)) / (width_ - 1) + 0.5;
    }

private:
    bool ReadLut(const gdcm::DataSet& ds, bool signedSamples) {
        if (!ds.FindDataElement(TagOf(kVoiLutSequence))) return false;
        const gdcm::SmartPointer<gdcm::SequenceOfItems> items = ds.GetDataElement(TagOf(kVoiLutSequence)).GetValueAsSQ();
        if (!items || items->GetNumberOfItems() == 0) return false;
        const gdcm::DataSet& lut = items->GetItem(1).GetNestedDataSet();
        if (!lut.FindDataElement(TagOf(kLutDescriptor)) || !lut.FindDataElement(TagOf(kLutData))) return false;
        const gdcm::ByteValue* descriptor = lut.GetDataElement(TagOf(kLutDescriptor)).GetByteValue();
        const gdcm::ByteValue* data = lut.GetDataElement(TagOf(kLutData)).GetByteValue();
        if (!descriptor || descriptor->GetLength() < 6 || !data) return false;
        const auto word = [](const char* at) {
            return static_cast<std::uint16_t>(static_cast<std::uint8_t>(at[0]) | static_cast<std::uint8_t>(at[1]) << 8);
        };
        const char* d = descriptor->GetPointer();
        // Entries (0 stands for 65536), first value mapped, bits of an entry (PS3.3 C.11.2.1.1).
        const std::size_t entries = word(d) == 0 ? 65536 : word(d);
        const std::uint16_t first = word(d + 2);
        const unsigned bits = word(d + 4);
        if (bits < 1 || bits > 16 || data->GetLength() < entries * 2) return false;
        lut_.resize(entries);
        for (std::size_t i = 0; i < entries; ++i) lut_[i] = word(data->GetPointer() + 2 * i);
        first_ = signedSamples ? static_cast<std::int16_t>(first) : first;
        lutMaximum_ = static_cast<double>((1u << bits) - 1);
        return true;
    }

    bool window_ = false;
    double center_ = 0, width_ = 1;
    std::string function_;
    std::vector<std::uint16_t> lut_;
    double first_ = 0, lutMaximum_ = 1;
};

class DicomDecoder final : public Decoder {
public:
    explicit DicomDecoder(Bytes data) : data_(data), buffer_(data), stream_(&buffer_) {}

    int ReadInfo(ImageInfo* info) override {
        std::string syntax;
        const int checked = CheckLengths(data_, &syntax, &attributes_);
        if (checked != SUCCESS) return checked;
        SilenceGdcm();
        try {
            reader_.SetStream(stream_);
            if (syntax == kRleLossless) {
                // GDCM's image reader decodes a whole RLE frame just to learn that it is lossless;
                // the data set alone will do, the Image Pixel attributes having been checked.
                if (!reader_.gdcm::Reader::Read()) return ERROR_FILE_CORRUPT;
                rle_ = true;
                return DescribeRle(info);
            }
            if (!reader_.Read()) return ERROR_FILE_CORRUPT;
            const gdcm::Image& image = reader_.GetImage();
            const gdcm::PixelFormat& pf = image.GetPixelFormat();
            const auto pi = image.GetPhotometricInterpretation();
            const unsigned* dims = image.GetDimensions();
            if (!dims) return ERROR_FILE_CORRUPT;
            info->width = dims[0];
            info->height = dims[1];
            const bool gray = pf.GetSamplesPerPixel() == 1 &&
                              (pi == gdcm::PhotometricInterpretation::MONOCHROME1 ||
                               pi == gdcm::PhotometricInterpretation::MONOCHROME2);
            const bool color = pf.GetSamplesPerPixel() == 3 && pf.GetBitsAllocated() == 8;
            if (!gray && !color) return ERROR_FEATURE_NOT_SUPPORTED;
            if (gray && pf.GetBitsAllocated() != 8 && pf.GetBitsAllocated() != 16) return ERROR_FEATURE_NOT_SUPPORTED;
            if (pf.GetBitsStored() < 1 || pf.GetBitsStored() > pf.GetBitsAllocated()) return ERROR_FILE_CORRUPT;
            info->gray = gray;
            info->bitsPerPixel = gray ? (pf.GetBitsAllocated() == 16 ? 16 : 8) : 24;
            if (info->bitsPerPixel == 16) {
                // The data set's Bits Stored wins over a codestream's precision (JPEG 2000 keeps 16).
                unsigned stored = pf.GetBitsStored();
                const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
                if (ds.FindDataElement(gdcm::Tag(0x0028, 0x0101))) {
                    gdcm::Attribute<0x0028, 0x0101> bitsStored;
                    bitsStored.SetFromDataElement(ds.GetDataElement(gdcm::Tag(0x0028, 0x0101)));
                    if (bitsStored.GetValue() >= 1 && bitsStored.GetValue() <= 16) stored = bitsStored.GetValue();
                }
                info->lowBit = 0;
                info->highBit = static_cast<int>(stored) - 1;
            }
            const gdcm::TransferSyntax ts = image.GetTransferSyntax();
            if (ts == gdcm::TransferSyntax::RLELossless)
                info->format = gray ? FILE_DICOM_RLE_GRAY : FILE_DICOM_RLE_COLOR;
            else if (ts.IsEncapsulated() && (ts == gdcm::TransferSyntax::JPEG2000Lossless || ts == gdcm::TransferSyntax::JPEG2000))
                info->format = gray ? FILE_DICOM_J2K_GRAY : FILE_DICOM_J2K_COLOR;
            else if (ts.IsEncapsulated())
                info->format = gray ? FILE_DICOM_JPEG_GRAY : FILE_DICOM_JPEG_COLOR;
            else
                info->format = gray ? FILE_DICOM_GRAY : FILE_DICOM_COLOR;
            info->pages = std::max(1u, image.GetNumberOfDimensions() > 2 ? dims[2] : 1u);
            ReadResolution(reader_.GetFile().GetDataSet(), info);
            info_ = *info;
            return CheckImageSize(info->width, info->height, info->bitsPerPixel);
        } catch (const std::exception&) {
            return ERROR_FILE_CORRUPT;
        }
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        try {
            const int status = AllocateDecoded(info_, colorOrder, out);
            if (status != SUCCESS) return status;
            const int decoded = rle_ ? DecodeRle(out) : DecodeWithGdcm(out);
            if (decoded == SUCCESS) ApplyFileWindow(out);
            return decoded;
        } catch (const std::bad_alloc&) {
            return ERROR_NO_MEMORY;
        } catch (const std::exception&) {
            return ERROR_FILE_CORRUPT;
        }
    }

    bool Comment(int index, std::string* text) override {
        for (const CommentTag& tag : kCommentTags) {
            if (tag.index != index) continue;
            const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
            const gdcm::Tag key(tag.group, tag.element);
            if (!ds.FindDataElement(key)) return false;
            *text = Trimmed(ds.GetDataElement(key).GetByteValue());
            return true;
        }
        return false;
    }

private:
    // How the decoded samples of the first frame lie and what they mean.
    struct Samples {
        const char* data = nullptr;  // out->Addr when decoded in place
        gdcm::PhotometricInterpretation::PIType pi = gdcm::PhotometricInterpretation::MONOCHROME2;
        bool planar = false;
        bool undoYbr = true;  // false where the decoder already turned YCbCr into RGB
        unsigned stored = 8;
        bool isSigned = false;
    };

    std::size_t BytesPerSample() const { return info_.bitsPerPixel == 16 ? 2 : 1; }
    std::size_t Channels() const { return info_.gray ? 1 : 3; }
    std::size_t FrameBytes() const {
        return static_cast<std::size_t>(info_.width) * info_.height * Channels() * BytesPerSample();
    }

    int DescribeRle(ImageInfo* info) {
        const PixelAttributes& a = attributes_;
        const auto pi = gdcm::PhotometricInterpretation::GetPIType(a.photometric->c_str());
        const bool gray = *a.samples == 1 && (pi == gdcm::PhotometricInterpretation::MONOCHROME1 ||
                                              pi == gdcm::PhotometricInterpretation::MONOCHROME2);
        if (!gray && !(*a.samples == 3 && *a.bitsAllocated == 8)) return ERROR_FEATURE_NOT_SUPPORTED;
        info->width = *a.columns;
        info->height = *a.rows;
        info->gray = gray;
        info->bitsPerPixel = gray ? (*a.bitsAllocated == 16 ? 16 : 8) : 24;
        if (info->bitsPerPixel == 16) {
            info->lowBit = 0;
            info->highBit = static_cast<int>(a.bitsStored.value_or(16)) - 1;
        }
        info->format = gray ? FILE_DICOM_RLE_GRAY : FILE_DICOM_RLE_COLOR;
        info->pages = a.frames && !a.frames->empty() ? static_cast<int>(std::stoul(*a.frames)) : 1;
        ReadResolution(reader_.GetFile().GetDataSet(), info);
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    // RLE by our own decoder, first frame only; its segments were checked before GDCM read the file.
    int DecodeRle(BITMAPHANDLE* out) {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        const gdcm::Tag pixelData(0x7FE0, 0x0010);
        if (!ds.FindDataElement(pixelData)) return ERROR_FILE_CORRUPT;
        const gdcm::SequenceOfFragments* fragments = ds.GetDataElement(pixelData).GetSequenceOfFragments();
        const gdcm::ByteValue* frame =
            fragments && fragments->GetNumberOfFragments() > 0 ? fragments->GetFragment(0).GetByteValue() : nullptr;
        if (!frame) return ERROR_FILE_CORRUPT;
        std::vector<char> pixels(FrameBytes());
        if (!DecodeRleLossless(Bytes(reinterpret_cast<const std::uint8_t*>(frame->GetPointer()), frame->GetLength()),
                               static_cast<std::size_t>(info_.width) * info_.height, static_cast<int>(Channels()),
                               static_cast<int>(BytesPerSample()), reinterpret_cast<std::uint8_t*>(pixels.data())))
            return ERROR_FILE_CORRUPT;
        Samples samples;
        samples.data = pixels.data();
        samples.pi = gdcm::PhotometricInterpretation::GetPIType(attributes_.photometric->c_str());
        samples.stored = attributes_.bitsStored.value_or(*attributes_.bitsAllocated);
        samples.isSigned = attributes_.pixelRepresentation.value_or(0) == 1;
        Place(samples, out);  // the segments are planes whatever Planar Configuration says
        return SUCCESS;
    }

    int DecodeWithGdcm(BITMAPHANDLE* out) {
        const gdcm::Image& image = reader_.GetImage();
        const unsigned long length = image.GetBufferLength();
        const std::size_t frameBytes = FrameBytes();
        const gdcm::TransferSyntax ts = image.GetTransferSyntax();
        const gdcm::ByteValue* raw = image.GetDataElement().GetByteValue();
        Samples samples;
        samples.pi = image.GetPhotometricInterpretation();
        samples.planar = !info_.gray && image.GetPlanarConfiguration() == 1;
        samples.stored = image.GetPixelFormat().GetBitsStored();
        samples.isSigned = image.GetPixelFormat().GetPixelRepresentation() != 0;
        // JPEG 2000's colour transforms are undone by its decoder; every other coder keeps the
        // samples in the colour space the data set names.
        samples.undoYbr = !(ts == gdcm::TransferSyntax::JPEG2000Lossless || ts == gdcm::TransferSyntax::JPEG2000);
        const std::size_t rowBytes = static_cast<std::size_t>(info_.width) * Channels() * BytesPerSample();
        std::vector<char> pixels;
        if (!ts.IsEncapsulated() && samples.pi == gdcm::PhotometricInterpretation::YBR_FULL_422) {
            // Subsampled native pixels, which GDCM would copy as they are.
            if (!raw || info_.gray) return ERROR_FILE_CORRUPT;
            pixels = ExpandYbr422(*raw, info_.width, info_.height);
            samples.data = pixels.data();
        } else {
            if (length < frameBytes || length > kMaxDecodedBytes) return ERROR_FILE_CORRUPT;
            // GDCM copies uncompressed pixels without checking that the element holds them all.
            if (!ts.IsEncapsulated() && (!raw || raw->GetLength() < length)) return ERROR_FILE_CORRUPT;
            // One frame whose rows lie back to back in the bitmap is decoded straight into it.
            if (length == frameBytes && !samples.planar && static_cast<std::size_t>(out->BytesPerLine) == rowBytes) {
                if (!image.GetBuffer(reinterpret_cast<char*>(out->Addr))) return ERROR_FILE_CORRUPT;
                samples.data = reinterpret_cast<const char*>(out->Addr);
            } else {
                pixels.resize(length);
                if (!image.GetBuffer(pixels.data())) return ERROR_FILE_CORRUPT;
                samples.data = pixels.data();
            }
        }
        Place(samples, out);
        return SUCCESS;
    }

    // The file's window as the bitmap's paint window (the pixels stay as they are): a lookup
    // table over the stored bits that takes each bitmap sample back to its stored value, through
    // the modality rescale (PS3.3 C.11.1) to the VOI output. Deep grey only: 8-bit images are
    // painted through their palette.
    void ApplyFileWindow(BITMAPHANDLE* out) const {
        if (!info_.gray || info_.bitsPerPixel != 16 || mapping_.stored < 1 || mapping_.stored > 16) return;
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        VoiTransform voi;
        if (!voi.Read(ds, mapping_.isSigned)) return;
        double slope = DecimalOf(ValueAt(TextOf(ds, kRescaleSlope), 0)).value_or(1.0);
        const double intercept = DecimalOf(ValueAt(TextOf(ds, kRescaleIntercept), 0)).value_or(0.0);
        if (slope == 0) slope = 1;
        const std::uint32_t entries = 1u << mapping_.stored;
        const std::int64_t mask = entries - 1, signOffset = mapping_.isSigned ? entries / 2 : 0;
        std::vector<RGBQUAD> table(entries);
        for (std::uint32_t sample = 0; sample < entries; ++sample) {
            const std::int64_t held = mapping_.invert ? mask - sample : sample;
            const double value = static_cast<double>(held - signOffset) * slope + intercept;
            double level = std::clamp(voi(value), 0.0, 1.0);
            if (mapping_.invert) level = 1.0 - level;  // MONOCHROME1: the VOI minimum shows white
            const auto grey = static_cast<std::uint8_t>(std::lround(level * 255));
            table[sample] = RGBQUAD{grey, grey, grey, 0};
        }
        if (L_WindowLevel(out, 0, static_cast<int>(mapping_.stored) - 1, table.data(), entries, 0) == SUCCESS)
            out->Flags |= BITMAP_FLAG_FILE_WINDOW;
    }

    // The first frame's samples into the bitmap's rows, as the bitmap holds them.
    void Place(const Samples& samples, BITMAPHANDLE* out) {
        const std::size_t bytesPerSample = BytesPerSample();
        const std::size_t rowBytes = static_cast<std::size_t>(info_.width) * Channels() * bytesPerSample;
        const bool invert = samples.pi == gdcm::PhotometricInterpretation::MONOCHROME1;
        const YbrRange ybr = samples.undoYbr ? YbrRangeOf(samples.pi) : YbrRange::None;
        const unsigned stored = samples.stored;
        mapping_ = StoredMapping{stored, samples.isSigned, invert};
        const std::uint32_t mask = stored >= 32 ? 0xFFFFFFFFu : (1u << stored) - 1;
        const std::uint32_t signOffset = samples.isSigned ? 1u << (stored - 1) : 0;
        const std::size_t plane = static_cast<std::size_t>(info_.width) * info_.height;
        const char* source = samples.data;
        for (int y = 0; y < out->Height; ++y) {
            std::uint8_t* row = out->Addr + static_cast<std::size_t>(y) * out->BytesPerLine;
            const std::size_t first = static_cast<std::size_t>(y) * out->Width;
            if (info_.gray) {
                if (source != reinterpret_cast<const char*>(out->Addr))
                    std::memcpy(row, source + first * bytesPerSample, rowBytes);
                if (bytesPerSample == 2)
                    MapStoredSamples(reinterpret_cast<std::uint16_t*>(row), out->Width, mask, signOffset, invert);
                else
                    MapStoredSamples(row, out->Width, mask, signOffset, invert);
                continue;
            }
            const bool rgb = out->Order == ORDER_RGB;
            for (int x = 0; x < out->Width; ++x) {
                std::uint8_t c[3];
                for (int k = 0; k < 3; ++k)
                    c[k] = static_cast<std::uint8_t>(samples.planar ? source[k * plane + first + x]
                                                                    : source[3 * (first + x) + k]);
                if (ybr != YbrRange::None) YbrToRgb(c, ybr);
                row[3 * x] = rgb ? c[0] : c[2];
                row[3 * x + 1] = c[1];
                row[3 * x + 2] = rgb ? c[2] : c[0];
            }
        }
    }

    Bytes data_;
    MemoryBuffer buffer_;
    std::istream stream_;
    gdcm::ImageReader reader_;
    ImageInfo info_;
    PixelAttributes attributes_;
    bool rle_ = false;  // read by our decoder from the data set alone
    StoredMapping mapping_;
};

// ---- writing ----

void Put(gdcm::DataSet& ds, std::uint16_t group, std::uint16_t element, gdcm::VR::VRType vr, std::string value) {
    // Values have even length: UIDs pad with a zero byte, text with a space (PS3.5 6.2).
    if (value.size() % 2) value.push_back(vr == gdcm::VR::UI ? '\0' : ' ');
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(vr);
    de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
    ds.Replace(de);
}

// A sequence of the given items (none: an empty type 2 sequence).
void PutSequence(gdcm::DataSet& ds, std::uint16_t group, std::uint16_t element,
                 const std::vector<gdcm::DataSet>& items = {}) {
    gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
    for (const gdcm::DataSet& nested : items) {
        gdcm::Item item;
        item.SetNestedDataSet(nested);
        item.SetVLToUndefined();
        sequence->AddItem(item);
    }
    sequence->SetLengthToUndefined();
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(gdcm::VR::SQ);
    de.SetValue(*sequence);
    de.SetVLToUndefined();
    ds.Replace(de);
}

// One code of a coded sequence item: value, scheme and meaning.
gdcm::DataSet CodeItem(const char* value, const char* scheme, const char* meaning) {
    gdcm::DataSet code;
    Put(code, 0x0008, 0x0100, gdcm::VR::SH, value);
    Put(code, 0x0008, 0x0102, gdcm::VR::SH, scheme);
    Put(code, 0x0008, 0x0104, gdcm::VR::LO, meaning);
    return code;
}

void Put(gdcm::DataSet& ds, DicomTag tag, gdcm::VR::VRType vr, std::string value) {
    Put(ds, tag.group, tag.element, vr, std::move(value));
}

// GDCM's preparation of the Image Pixel module and the meta header, then our identity in that
// header (PS3.10 7.1). ImageWriter's own additions are left out: among them a pixel spacing of
// 1 mm for every image, which we write ourselves from the bitmap's resolution.
class EngineImageWriter final : public gdcm::ImageWriter {
public:
    bool Write() override {
        if (!PrepareWrite(ComputeTargetMediaStorage())) return false;
        gdcm::FileMetaInformation& header = GetFile().GetHeader();
        const auto meta = [&](DicomTag tag, gdcm::VR::VRType vr, std::string value) {
            if (value.size() % 2) value.push_back(vr == gdcm::VR::UI ? '\0' : ' ');
            gdcm::DataElement de(TagOf(tag));
            de.SetVR(vr);
            de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
            header.Replace(de);
        };
        meta(kImplementationClassUidTag, gdcm::VR::UI, kImplementationClassUid);
        meta(kImplementationVersionNameTag, gdcm::VR::SH, ImplementationVersionName());
        meta(kSourceApplicationEntityTitleTag, gdcm::VR::AE, "AXLUMORA");
        return gdcm::Writer::Write();
    }
};

// A pending comment as the value of its attribute.
struct PendingValue {
    bool given = false;  // a comment is pending
    bool valid = true;   // ... and converts to the attribute's VR
    std::string value;
};

// Patient's Sex takes M, F or O (PS3.3 C.7.1.1); the words are the common spelling of the same.
bool NormaliseSex(std::string* value, std::string* problem) {
    if (*value == "MALE") *value = "M";
    else if (*value == "FEMALE") *value = "F";
    else if (*value == "OTHER") *value = "O";
    if (value->empty() || *value == "M" || *value == "F" || *value == "O") return true;
    *problem = "not M, F or O";
    return false;
}

std::string TagText(DicomTag tag) {
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", tag.group, tag.element);
    return text;
}

}  // namespace

bool SniffDicom(Bytes data) {
    return data.size() >= kPreambleBytes + 4 && data[128] == 'D' && data[129] == 'I' && data[130] == 'C' && data[131] == 'M';
}
std::unique_ptr<Decoder> CreateDicomDecoder(Bytes data) { return std::make_unique<DicomDecoder>(data); }

int EncodeDicom(const SampleImage& samples, const EncodeRequest& request, std::vector<std::uint8_t>* out) {
    SilenceGdcm();
    // Pending comments become values of their attributes' VRs; one that cannot is left out with
    // one report line (its text is not repeated: it may be a patient's data).
    bool extendedCharacters = false;
    const auto pending = [&](int index, DicomTag tag, DicomVr vr, const char* name, const char* outcome) {
        PendingValue result;
        const auto found = request.comments.find(index);
        if (found == request.comments.end()) return result;
        result.given = true;
        std::string problem;
        if (auto value = ToDicomValue(vr, found->second, &problem);
            value && (tag.group != kPatientSex.group || tag.element != kPatientSex.element ||
                      NormaliseSex(&*value, &problem))) {
            result.value = std::move(*value);
            extendedCharacters = extendedCharacters || NeedsExtendedCharacters(result.value);
            return result;
        }
        result.valid = false;
        engine::ReportDiagnostic(std::string("axLumora.Save, ") + name + " " + TagText(tag) + " " + outcome +
                                 ": the pending value is " + problem);
        return result;
    };
    // Type 2: the pending value, empty when it is invalid, the fallback when none is pending.
    const auto type2 = [&](int index, DicomTag tag, DicomVr vr, const char* name, const std::string& fallback) {
        const PendingValue p = pending(index, tag, vr, name, "left empty");
        return p.given ? p.value : fallback;
    };
    const bool gray = samples.channels == 1;
    const bool wide = samples.bitsPerSample == 16;
    try {
        // The writer takes ownership of the image: it lives on the heap behind a smart pointer.
        gdcm::SmartPointer<gdcm::Image> image = new gdcm::Image;
        image->SetNumberOfDimensions(2);
        image->SetDimension(0, static_cast<unsigned>(samples.width));
        image->SetDimension(1, static_cast<unsigned>(samples.height));
        const unsigned short stored = static_cast<unsigned short>(wide ? std::clamp(samples.significantBits, 9, 16) : 8);
        gdcm::PixelFormat pf(static_cast<unsigned short>(samples.channels), wide ? 16 : 8, stored,
                             static_cast<unsigned short>(stored - 1), 0);
        image->SetPixelFormat(pf);
        image->SetPhotometricInterpretation(gray ? gdcm::PhotometricInterpretation::MONOCHROME2
                                                 : gdcm::PhotometricInterpretation::RGB);
        if (!gray) image->SetPlanarConfiguration(0);
        image->SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
        gdcm::DataElement pixelData(gdcm::Tag(0x7FE0, 0x0010));
        const bool rle = request.format == FILE_DICOM_RLE_GRAY || request.format == FILE_DICOM_RLE_COLOR;
        const bool j2k = request.format == FILE_DICOM_J2K_GRAY || request.format == FILE_DICOM_J2K_COLOR;
        if (rle || j2k) {
            // Our own coders: GDCM's RLE coder asserts on pixel data of odd length, and its JPEG
            // 2000 coder overruns its buffer when the codestream outgrows the raw frame.
            std::vector<std::uint8_t> frame;
            if (rle && !EncodeRleLossless(samples, &frame)) return ERROR_FEATURE_NOT_SUPPORTED;
            if (j2k && !EncodeJpeg2000Lossless(samples, stored, &frame)) return ERROR_FILE_WRITE;
            gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
            gdcm::Fragment fragment;
            fragment.SetByteValue(reinterpret_cast<const char*>(frame.data()), static_cast<std::uint32_t>(frame.size()));
            fragments->AddFragment(fragment);
            pixelData.SetVR(gdcm::VR::OB);
            pixelData.SetValue(*fragments);
            image->SetTransferSyntax(rle ? gdcm::TransferSyntax::RLELossless : gdcm::TransferSyntax::JPEG2000Lossless);
            // The reversible colour transform of lossless JPEG 2000 (PS3.5 8.2.4).
            if (j2k && !gray) image->SetPhotometricInterpretation(gdcm::PhotometricInterpretation::YBR_RCT);
        } else {
            pixelData.SetVR(wide ? gdcm::VR::OW : gdcm::VR::OB);
            pixelData.SetByteValue(reinterpret_cast<const char*>(samples.Samples()),
                                   static_cast<std::uint32_t>(samples.Size()));
        }
        image->SetDataElement(pixelData);

        EngineImageWriter writer;
        bool lossy = false;
        gdcm::TransferSyntax::TSType target = gdcm::TransferSyntax::ExplicitVRLittleEndian;
        switch (request.format) {
            case FILE_DICOM_JPEG_GRAY:
            case FILE_DICOM_JPEG_COLOR:
                // Deep grey is kept exact (process 14, SV1); 8-bit data uses baseline.
                lossy = !wide;
                target = wide ? gdcm::TransferSyntax::JPEGLosslessProcess14_1 : gdcm::TransferSyntax::JPEGBaselineProcess1;
                break;
            default: break;
        }
        gdcm::JPEGCodec jpeg;
        gdcm::ImageChangeTransferSyntax change;
        if (target != gdcm::TransferSyntax::ExplicitVRLittleEndian) {
            change.SetTransferSyntax(target);
            if (lossy) {
                jpeg.SetLossless(false);
                jpeg.SetQuality(request.quality >= 1 && request.quality <= 100 ? request.quality : 90);
                change.SetUserCodec(&jpeg);
            }
            change.SetInput(*image);
            if (!change.Change()) return ERROR_FILE_WRITE;
            writer.SetImage(change.GetOutput());
        } else {
            writer.SetImage(*image);
        }

        gdcm::DataSet& ds = writer.GetFile().GetDataSet();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char date[16], time[16];
        std::strftime(date, sizeof date, "%Y%m%d", &local);
        std::strftime(time, sizeof time, "%H%M%S", &local);
        // Type 1 attributes cannot be empty: an invalid pending value gives way to the default.
        const auto type1 = [&](int index, DicomTag tag, DicomVr vr, const char* name, const std::string& fallback) {
            const PendingValue p = pending(index, tag, vr, name, "given its default");
            return p.given && p.valid && !p.value.empty() ? p.value : fallback;
        };
        const char* sopClass = gray ? kIntraOralForPresentation : kSecondaryCapture;
        Put(ds, 0x0008, 0x0016, gdcm::VR::UI, sopClass);  // SOP Class UID
        Put(ds, 0x0008, 0x0018, gdcm::VR::UI, NewUid());  // SOP Instance UID
        Put(ds, 0x0008, 0x0008, gdcm::VR::CS, "ORIGINAL\\PRIMARY");  // Image Type
        Put(ds, 0x0008, 0x0012, gdcm::VR::DA, date);       // Instance Creation Date
        Put(ds, 0x0008, 0x0013, gdcm::VR::TM, time);       // Instance Creation Time
        Put(ds, kStudyDate, gdcm::VR::DA, type2(CMNT_SZSTUDYDATE, kStudyDate, DicomVr::DA, "Study Date", date));
        Put(ds, 0x0008, 0x0023, gdcm::VR::DA, date);       // Content Date
        Put(ds, kStudyTime, gdcm::VR::TM, type2(CMNT_SZSTUDYTIME, kStudyTime, DicomVr::TM, "Study Time", time));
        Put(ds, 0x0008, 0x0033, gdcm::VR::TM, time);       // Content Time
        Put(ds, 0x0008, 0x0050, gdcm::VR::SH, "");         // Accession Number
        Put(ds, kModality, gdcm::VR::CS, type1(CMNT_SZSERIESMODALITY, kModality, DicomVr::CS, "Modality", gray ? "IO" : "OT"));
        if (!gray) {
            Put(ds, 0x0008, 0x0064, gdcm::VR::CS, "WSD");  // Conversion Type
            Put(ds, 0x0020, 0x0060, gdcm::VR::CS, "");     // Laterality, unknown
        }
        Put(ds, 0x0008, 0x0070, gdcm::VR::LO, "");         // Manufacturer
        Put(ds, kReferringPhysicianName, gdcm::VR::PN,
            type2(CMNT_SZSTUDYREFERRINGPHYSICIAN, kReferringPhysicianName, DicomVr::PN, "Referring Physician's Name", ""));
        Put(ds, kPatientName, gdcm::VR::PN, type2(CMNT_SZPATIENTNAME, kPatientName, DicomVr::PN, "Patient's Name", ""));
        Put(ds, kPatientId, gdcm::VR::LO, type2(CMNT_SZPATIENTID, kPatientId, DicomVr::LO, "Patient ID", ""));
        Put(ds, kPatientBirthDate, gdcm::VR::DA,
            type2(CMNT_SZPATIENTBIRTHDATE, kPatientBirthDate, DicomVr::DA, "Patient's Birth Date", ""));
        Put(ds, kPatientSex, gdcm::VR::CS, type2(CMNT_SZPATIENTSEX, kPatientSex, DicomVr::CS, "Patient's Sex", ""));
        Put(ds, kStudyInstanceUid, gdcm::VR::UI,
            type1(CMNT_SZSTUDYINSTANCE, kStudyInstanceUid, DicomVr::UI, "Study Instance UID", NewUid()));
        Put(ds, kSeriesInstanceUid, gdcm::VR::UI,
            type1(CMNT_SZSERIESID, kSeriesInstanceUid, DicomVr::UI, "Series Instance UID", NewUid()));
        Put(ds, 0x0020, 0x0010, gdcm::VR::SH, "");         // Study ID
        Put(ds, kSeriesNumber, gdcm::VR::IS, type2(CMNT_SZSERIESNUMBER, kSeriesNumber, DicomVr::IS, "Series Number", "1"));
        Put(ds, 0x0020, 0x0013, gdcm::VR::IS, "1");        // Instance Number
        Put(ds, 0x0020, 0x0020, gdcm::VR::CS, "");         // Patient Orientation
        // Type 3: written only with a valid value.
        if (const PendingValue p = pending(CMNT_SZDESC, kImageComments, DicomVr::LT, "Image Comments", "left out"); p.given && p.valid)
            Put(ds, kImageComments, gdcm::VR::LT, p.value);
        if (const PendingValue p = pending(CMNT_SZDATETIMEORIGINAL, kAcquisitionDateTime, DicomVr::DT, "Acquisition DateTime",
                                         "left out");
            p.given && p.valid)
            Put(ds, kAcquisitionDateTime, gdcm::VR::DT, p.value);
        // Texts beyond ASCII are UTF-8 here (PS3.3 C.12.1.1.2).
        if (extendedCharacters) Put(ds, kSpecificCharacterSet, gdcm::VR::CS, "ISO_IR 192");
        // Row spacing first (PS3.3 10.7.1.3), from the bitmap's dots per inch; unknown stays empty.
        const std::string rowSpacing = SpacingOfResolution(samples.yResolution);
        const std::string columnSpacing = SpacingOfResolution(samples.xResolution);
        const std::string spacing = rowSpacing.empty() || columnSpacing.empty() ? "" : rowSpacing + "\\" + columnSpacing;
        if (gray) {
            // DX Detector module: the spacing at the detector, the only one a sensor knows.
            Put(ds, kImagerPixelSpacing, gdcm::VR::DS, spacing);
        } else if (!spacing.empty()) {
            Put(ds, kPixelSpacing, gdcm::VR::DS, spacing);  // SC Image module, type 3
        }
        if (gray) {
            const unsigned maximum = (1u << stored) - 1;
            Put(ds, 0x0008, 0x0068, gdcm::VR::CS, "FOR PRESENTATION");  // Presentation Intent Type
            // The Intra-oral Image module's type 1 anatomy, which the control is never told:
            // the most general true values.
            Put(ds, 0x0018, 0x1508, gdcm::VR::CS, "NONE");  // Positioner Type
            Put(ds, 0x0020, 0x0062, gdcm::VR::CS, "B");     // Image Laterality: both sides
            PutSequence(ds, 0x0008, 0x2218, {CodeItem("661005", "SCT", "Jaw region")});  // Anatomic Region
            Put(ds, 0x0018, 0x7004, gdcm::VR::CS, "");     // Detector Type
            Put(ds, 0x0028, 0x0301, gdcm::VR::CS, "NO");   // Burned In Annotation
            Put(ds, 0x0028, 0x1040, gdcm::VR::CS, "LIN");  // Pixel Intensity Relationship
            Put(ds, 0x0028, 0x1041, gdcm::VR::SS, std::string("\x01\x00", 2));  // ... Sign: 1
            Put(ds, 0x0028, 0x1050, gdcm::VR::DS, std::to_string(maximum / 2 + 1));  // Window Center
            Put(ds, 0x0028, 0x1051, gdcm::VR::DS, std::to_string(maximum + 1));      // Window Width
            Put(ds, 0x0028, 0x1052, gdcm::VR::DS, "0");    // Rescale Intercept
            Put(ds, 0x0028, 0x1053, gdcm::VR::DS, "1");    // Rescale Slope
            Put(ds, 0x0028, 0x1054, gdcm::VR::LO, "US");   // Rescale Type
            Put(ds, 0x2050, 0x0020, gdcm::VR::CS, "IDENTITY");  // Presentation LUT Shape
            PutSequence(ds, 0x0040, 0x0555);               // Acquisition Context Sequence
        }
        Put(ds, 0x0028, 0x2110, gdcm::VR::CS, lossy ? "01" : "00");  // Lossy Image Compression
        out->clear();
        out->reserve((rle || j2k || target != gdcm::TransferSyntax::ExplicitVRLittleEndian ? samples.Size() / 2
                                                                                     : samples.Size()) + 65536);
        AppendBuffer buffer(out);
        std::ostream stream(&buffer);
        writer.SetStream(stream);
        if (!writer.Write() || !stream) return ERROR_FILE_WRITE;
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_WRITE;
    }
}

}  // namespace engine::file
