// The pre-parse scanner of the DICOM codec. Before GDCM sees a file, every element length is
// checked against the bytes that follow it, so a hostile length cannot make GDCM allocate more
// than the file holds, and the Image Pixel attributes are gathered and checked against each other
// and against caps, since GDCM sizes its buffers from them and asserts on many inconsistencies.
#include <algorithm>
#include <string>
#include <string_view>

#include "engine/file/DicomElementStream.h"
#include "engine/file/DicomShared.h"

namespace engine::file {
namespace {

using stream::ElementHeader;
using stream::ElementReader;
using stream::kItem;
using stream::kItemDelimitation;
using stream::kItemGroup;
using stream::kMaxNesting;
using stream::kSequenceDelimitation;
using stream::kUndefinedLength;

// ---- length check of the element stream (PS3.5 7.1, 7.5) ----

// Fragments of one encapsulated Pixel Data element.
struct Fragments {
    std::vector<std::pair<std::size_t, std::uint32_t>> items;
    std::uint64_t bytes = 0;
};

struct Scanner {
    ElementReader reader;
    bool encapsulated = false;  // compressed transfer syntax: Pixel Data holds fragments
    PixelAttributes* attributes = nullptr;

    std::uint16_t U16(std::size_t at) const { return reader.U16(at); }
    std::uint32_t U32(std::size_t at) const { return reader.U32(at); }
    // Attributes GDCM reads through typed accessors while it builds the image; those assert when
    // the file gives the attribute another VR.
    static bool ExpectedVr(std::uint16_t group, std::uint16_t element, char a, char b) {
        struct Typed {
            std::uint16_t group, element;
            const char* vrs;  // the VRs it may have, each two letters
        };
        static const Typed kTyped[] = {
            {0x0008, 0x0016, "UI"},   {0x0008, 0x0060, "CS"},   {0x0018, 0x0050, "DS"},
            {0x0018, 0x0088, "DS"},   {0x0018, 0x1164, "DS"},   {0x0018, 0x2010, "DS"},
            {0x0020, 0x0032, "DS"},   {0x0020, 0x0037, "DS"},   {0x0028, 0x0002, "US"},
            {0x0028, 0x0004, "CS"},   {0x0028, 0x0006, "US"},   {0x0028, 0x0008, "IS"},
            {0x0028, 0x0009, "AT"},   {0x0028, 0x0010, "US"},   {0x0028, 0x0011, "US"},
            {0x0028, 0x0030, "DS"},   {0x0028, 0x0034, "IS"},   {0x0028, 0x0100, "US"},
            {0x0028, 0x0101, "US"},   {0x0028, 0x0102, "US"},   {0x0028, 0x0103, "US"},
            {0x0028, 0x1050, "DS"},   {0x0028, 0x1051, "DS"},   {0x0028, 0x1052, "DS"},
            {0x0028, 0x1053, "DS"},   {0x0028, 0x1054, "LO"},   {0x0028, 0x1101, "USSS"},
            {0x0028, 0x1102, "USSS"}, {0x0028, 0x1103, "USSS"}, {0x0028, 0x1201, "OW"},
            {0x0028, 0x1202, "OW"},   {0x0028, 0x1203, "OW"},   {0x0028, 0x2110, "CS"},
            {0x0028, 0x3002, "USSS"}, {0x0054, 0x0081, "US"},   {0x7FE0, 0x0010, "OBOW"},
        };
        for (const Typed& t : kTyped) {
            if (t.group != group || t.element != element) continue;
            for (const char* vr = t.vrs; *vr; vr += 2)
                if (vr[0] == a && vr[1] == b) return true;
            return false;
        }
        return true;
    }
    // Checks elements in [pos, end). Stops after a delimiter when inUndefined; *pos ends past it.
    // fragments: the items hold bytes (encapsulated pixel fragments), not data sets; counted there.
    bool Elements(std::size_t* pos, std::size_t end, int depth, bool inUndefined,
                  Fragments* fragments = nullptr) const {
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
            ElementHeader header;
            // GDCM asserts (aborts) on a VR it does not know; such files are refused first.
            if (!reader.Header(*pos, end, &header)) return false;
            *pos += header.size;
            const std::uint32_t length = header.length;
            bool sequence = false;
            if (const stream::VrInfo* vr = header.vr) {
                if (!ExpectedVr(group, element, vr->name[0], vr->name[1])) return false;
                sequence = vr->Is("SQ") || length == kUndefinedLength;
                // GDCM asserts on an undefined length it cannot read as a sequence or as fragments.
                const bool undefinedOk =
                    vr->Is("SQ") || vr->Is("UN") || DicomTag{group, element} == tags::kPixelData;
                if (length == kUndefinedLength && !undefinedOk) return false;
            } else {
                // Implicit VR has no type: a value that opens with an item tag is a sequence.
                sequence = length == kUndefinedLength || reader.OpensWithItem(*pos, end, length);
            }
            const bool pixelData = DicomTag{group, element} == tags::kPixelData;
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

    void Record(std::uint16_t group, std::uint16_t element, std::size_t at,
                std::uint32_t length) const {
        if (DicomTag{group, element} == tags::kPixelData) {
            attributes->repeated = attributes->repeated || attributes->pixelData;
            attributes->pixelData = true;
            attributes->pixelBytes = length;
            return;
        }
        const auto text = [&] {
            std::string value(reinterpret_cast<const char*>(reader.Data().data() + at), length);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\0'))
                value.pop_back();
            while (!value.empty() && value.front() == ' ') value.erase(value.begin());
            return value;
        };
        const auto number = [&]() -> std::optional<std::uint16_t> {
            if (length < 2) return std::nullopt;
            return U16(at);
        };
        // GDCM takes a file with the retired Recognition Code for ACR-NEMA and asserts that it
        // says so.
        if (DicomTag{group, element} == tags::kRecognitionCode) {
            const std::string code = text();
            attributes->foreignRecognitionCode = code.rfind("ACR-NEMA", 0) != 0 &&
                                                 code.rfind("ACRNEMA", 0) != 0 &&
                                                 code.rfind("MIPS 2.0", 0) != 0;
            return;
        }
        const auto set = [&](auto& attribute, auto value) {
            attributes->repeated = attributes->repeated || attribute.has_value();
            attribute = value;
        };
        const DicomTag tag{group, element};
        for (std::uint16_t k = 0; k < 3; ++k) {
            if (tag == DicomTag{0x0028, static_cast<std::uint16_t>(
                                            tags::kRedPaletteDescriptor.element + k)}) {
                // Three values or none: a palette without one is refused.
                if (length == 6)
                    set(attributes->paletteDescriptor[k],
                        std::array<std::uint16_t, 3>{U16(at), U16(at + 2), U16(at + 4)});
            } else if (tag == DicomTag{0x0028, static_cast<std::uint16_t>(
                                                   tags::kRedPaletteData.element + k)}) {
                set(attributes->paletteBytes[k], length);
            } else if (tag == DicomTag{0x0028, static_cast<std::uint16_t>(
                                                   tags::kRedSegmentedPaletteData.element + k)}) {
                attributes->segmentedPalette = true;
            }
        }
        if (tag == tags::kSamplesPerPixel) set(attributes->samples, number());
        else if (tag == tags::kPhotometricInterpretation) set(attributes->photometric, text());
        else if (tag == tags::kPlanarConfiguration) set(attributes->planar, number());
        else if (tag == tags::kNumberOfFrames) set(attributes->frames, text());
        else if (tag == tags::kRows) set(attributes->rows, number());
        else if (tag == tags::kColumns) set(attributes->columns, number());
        else if (tag == tags::kBitsAllocated) set(attributes->bitsAllocated, number());
        else if (tag == tags::kBitsStored) set(attributes->bitsStored, number());
        else if (tag == tags::kHighBit) set(attributes->highBit, number());
        else if (tag == tags::kPixelRepresentation) set(attributes->pixelRepresentation, number());
    }

    bool Value(std::size_t* pos, std::size_t end, std::uint32_t length, bool nested,
               int depth) const {
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

// Three lookup tables, each with a descriptor whose entry count its data holds: GDCM asserts on a
// palette without them and reads the data by the descriptor. Segmented palettes (a compact
// coding of the same tables) are not decoded.
int CheckPalette(const PixelAttributes& a) {
    if (a.segmentedPalette) return ERROR_FEATURE_NOT_SUPPORTED;
    for (int k = 0; k < 3; ++k) {
        if (!a.paletteDescriptor[k] || !a.paletteBytes[k]) return ERROR_FILE_CORRUPT;
        const std::array<std::uint16_t, 3>& descriptor = *a.paletteDescriptor[k];
        const std::uint32_t entries = descriptor[0] == 0 ? 65536 : descriptor[0];
        const unsigned bits = descriptor[2];
        if (bits != 8 && bits != 16) return ERROR_FEATURE_NOT_SUPPORTED;
        // One word an entry, or 8-bit entries packed two to a word.
        const std::uint32_t bytes = *a.paletteBytes[k];
        if (bytes != entries * 2 && !(bits == 8 && bytes == entries + entries % 2))
            return ERROR_FILE_CORRUPT;
    }
    return SUCCESS;
}

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
    static const char* const kColour[] = {
        "RGB",     "YBR_FULL", "YBR_FULL_422", "YBR_PARTIAL_422", "YBR_PARTIAL_420",
        "YBR_ICT", "YBR_RCT"};
    const bool colour = std::any_of(std::begin(kColour), std::end(kColour),
                                    [&](const char* name) { return pi == name; });
    const bool palette = pi == "PALETTE COLOR";
    if (!monochrome && !colour && !palette) return ERROR_FILE_CORRUPT;
    if (*a.samples != (colour ? 3 : 1)) return ERROR_FILE_CORRUPT;
    // 32-bit grey is narrowed to 16 bits by the decoder, from native pixels only.
    const bool wide = *a.bitsAllocated == 32 && monochrome && !encapsulated;
    if (*a.bitsAllocated != 8 && *a.bitsAllocated != 16 && !wide)
        return ERROR_FEATURE_NOT_SUPPORTED;
    if (palette) {
        if (const int checked = CheckPalette(a); checked != SUCCESS) return checked;
    }
    const unsigned stored = a.bitsStored.value_or(*a.bitsAllocated);
    if (stored < 1 || stored > *a.bitsAllocated) return ERROR_FILE_CORRUPT;
    if (a.highBit && *a.highBit >= *a.bitsAllocated) return ERROR_FILE_CORRUPT;
    if (a.planar && *a.planar > 1) return ERROR_FILE_CORRUPT;  // GDCM asserts on other values
    std::uint64_t frames = 1;
    if (a.frames && !a.frames->empty()) {
        if (a.frames->size() > 6 || !std::all_of(a.frames->begin(), a.frames->end(),
                                                 [](char c) { return c >= '0' && c <= '9'; }))
            return ERROR_FILE_CORRUPT;
        frames = std::stoull(*a.frames);
        if (frames == 0) return ERROR_FILE_CORRUPT;
    }
    // A palette image becomes 24-bit colour.
    const int sized = CheckImageSize(*a.columns, *a.rows,
                                     palette ? 24
                                     : wide  ? 16
                                             : *a.samples * *a.bitsAllocated);
    if (sized != SUCCESS) return sized;
    const std::uint64_t frameBytes =
        std::uint64_t{*a.rows} * *a.columns * *a.samples * (*a.bitsAllocated / 8);
    if (frames > kMaxDecodedBytes / frameBytes) return ERROR_INV_SIZE;
    if (!encapsulated && pi == "YBR_FULL_422") {
        // Stored as Y Y Cb Cr for each pair of columns: two bytes a pixel.
        if (*a.bitsAllocated != 8 || *a.columns % 2 || a.planar.value_or(0) != 0)
            return ERROR_FEATURE_NOT_SUPPORTED;
        return a.pixelBytes >= frameBytes / 3 * 2 * frames ? SUCCESS : ERROR_FILE_CORRUPT;
    }
    if (!encapsulated) return a.pixelBytes >= frameBytes * frames ? SUCCESS : ERROR_FILE_CORRUPT;
    // Encapsulated: an offset table of 32-bit entries, then at least one fragment with data.
    if (a.fragments.size() < 2 || a.fragments[0].second % 4 ||
        a.pixelBytes <= a.fragments[0].second)
        return ERROR_FILE_CORRUPT;
    // GDCM sizes its buffer from Number of Frames before decoding any: a small file claiming a
    // million frames would cost a buffer a million frames large. Every frame needs at least its
    // own codestream's start and end markers (4 bytes).
    if (frames > (a.pixelBytes - a.fragments[0].second) / 4) return ERROR_FILE_CORRUPT;
    return SUCCESS;
}

}  // namespace

int ScanDicom(Bytes data, std::string* syntax, PixelAttributes* found) {
    std::size_t pos = stream::kPreambleBytes + 4;
    const bool metaFits =
        stream::WalkMetaGroup(data, &pos, [&](const ElementHeader& header, std::string_view value) {
            if (header.element == tags::kTransferSyntaxUid.element) {
                syntax->assign(value);
                while (!syntax->empty() && (syntax->back() == '\0' || syntax->back() == ' '))
                    syntax->pop_back();
            }
            return true;
        });
    if (!metaFits) return ERROR_FILE_CORRUPT;
    if (*syntax == kDeflatedLittleEndian) return ERROR_FEATURE_NOT_SUPPORTED;
    const std::string& ts = *syntax;
    PixelAttributes attributes;
    Scanner body{
        ElementReader(data, ts != kImplicitLittleEndian, ts == kExplicitBigEndian),
        ts != kImplicitLittleEndian && ts != kExplicitBigEndian && ts != kExplicitLittleEndian,
        &attributes};
    if (!body.Elements(&pos, data.size(), 0, false)) return ERROR_FILE_CORRUPT;
    *found = attributes;
    const int pixels = CheckPixelAttributes(attributes, body.encapsulated);
    if (pixels != SUCCESS || !body.encapsulated) return pixels;
    return CheckCodestream(data, ts, attributes);
}

}  // namespace engine::file
