// The element stream of a Part 10 file, walked before GDCM parses it (PS3.5 7.1, 7.5; PS3.10
// 7.1). GDCM asserts (aborts the process) on many broken streams and quietly rewrites a few
// lengths it blames on old vendors' bugs, so only a stream that is whole and plain reaches it:
// every length fits, sequences hold items and items data sets, tags ascend, VRs are known and
// values fit their VR. Files that are no presentation state are refused from their SOP Class,
// which comes early in the data set, so GDCM never reads them.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine/annotation/PresentationState.h"
#include "engine/file/DicomElementStream.h"

namespace engine::annotation {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Presentation states that carry the Graphic Annotation Module (PS3.4 B.5): grayscale, colour,
// pseudo-colour and blending softcopy presentation states.
constexpr std::string_view kPresentationStates[] = {
    "1.2.840.10008.5.1.4.1.1.11.1", "1.2.840.10008.5.1.4.1.1.11.2", "1.2.840.10008.5.1.4.1.1.11.3",
    "1.2.840.10008.5.1.4.1.1.11.4"};

constexpr std::string_view kImplicitLittleEndian = "1.2.840.10008.1.2";
constexpr std::string_view kExplicitLittleEndian = "1.2.840.10008.1.2.1";

using engine::file::stream::ElementHeader;
using engine::file::stream::ElementReader;
using engine::file::stream::kItem;
using engine::file::stream::kItemDelimitation;
using engine::file::stream::kItemGroup;
using engine::file::stream::kMaxNesting;
using engine::file::stream::kPreambleBytes;
using engine::file::stream::kSequenceDelimitation;
using engine::file::stream::kUndefinedLength;
using engine::file::stream::VrInfo;

constexpr std::uint32_t kRecognitionCode = 0x00080010;
constexpr std::uint32_t kSopClassUid = 0x00080016;
constexpr std::uint32_t kPixelData = 0x7FE00010;

// File Meta Information elements (PS3.10 7.1) and their VRs; GDCM reads some of them typed.
struct MetaElement {
    std::uint16_t element;
    char vr[3];
};
constexpr MetaElement kMetaElements[] = {
    {0x0000, "UL"}, {0x0001, "OB"}, {0x0002, "UI"}, {0x0003, "UI"}, {0x0010, "UI"},
    {0x0012, "UI"}, {0x0013, "SH"}, {0x0016, "AE"}, {0x0017, "AE"}, {0x0018, "AE"},
    {0x0026, "UR"}, {0x0027, "UR"}, {0x0028, "UR"}, {0x0100, "UI"}, {0x0102, "OB"}};

class StreamCheck {
public:
    explicit StreamCheck(Bytes data) : data_(data), reader_(data, true, false) {}

    // SUCCESS when GDCM may read the file; its transfer syntax is then known.
    int Run() {
        if (data_.size() < kPreambleBytes + 4 ||
            std::memcmp(data_.data() + kPreambleBytes, "DICM", 4) != 0)
            return ERROR_FILE_FORMAT;
        std::size_t pos = kPreambleBytes + 4;
        const int meta = Meta(&pos);
        if (meta != SUCCESS) return meta;
        if (syntax_ == kImplicitLittleEndian) reader_ = ElementReader(data_, false, false);
        else if (syntax_ != kExplicitLittleEndian)
            return syntax_.empty() ? ERROR_FILE_CORRUPT : ERROR_FEATURE_NOT_SUPPORTED;
        const int body = DataSet(&pos, data_.size(), 0, false);
        if (body != SUCCESS) return body;
        return sopClassSeen_ ? SUCCESS : ERROR_FILE_FORMAT;
    }

private:
    std::uint16_t U16(std::size_t at) const { return reader_.U16(at); }
    std::uint32_t U32(std::size_t at) const { return reader_.U32(at); }

    // Group 0002, always explicit VR little endian.
    int Meta(std::size_t* pos) {
        std::optional<std::uint16_t> previous;
        const bool fits = engine::file::stream::WalkMetaGroup(
            data_, pos, [&](const ElementHeader& header, std::string_view value) {
                if (previous && header.element <= *previous) return false;
                previous = header.element;
                const auto known =
                    std::find_if(std::begin(kMetaElements), std::end(kMetaElements),
                                 [&](const MetaElement& m) { return m.element == header.element; });
                if (known == std::end(kMetaElements) || !header.vr->Is(known->vr)) return false;
                if (value.size() % 2 || value.size() % header.vr->unitBytes) return false;
                if (header.element == engine::file::stream::kTransferSyntaxElement)
                    syntax_ = std::string(TrimmedText(value));
                return true;
            });
        return fits ? SUCCESS : ERROR_FILE_CORRUPT;
    }

    // The elements of one data set in [*pos, end); one of undefined length ends at its delimiter.
    int DataSet(std::size_t* pos, std::size_t end, int depth, bool undefined) {
        std::optional<std::uint32_t> previous;
        while (*pos < end) {
            if (++elements_ > kMaxElementsPerFile || end - *pos < 8) return ERROR_FILE_CORRUPT;
            const std::uint16_t group = U16(*pos), element = U16(*pos + 2);
            const std::uint32_t tag = std::uint32_t{group} << 16 | element;
            if (group == kItemGroup) {
                if (element != kItemDelimitation || !undefined || U32(*pos + 4) != 0)
                    return ERROR_FILE_CORRUPT;
                *pos += 8;
                return SUCCESS;
            }
            // Ascending tags (PS3.5 7.1): no attribute twice, so GDCM and this walk see the same
            // one.
            if (previous && tag <= *previous) return ERROR_FILE_CORRUPT;
            previous = tag;
            if (depth == 0) {
                if (group < 0x0008) return ERROR_FILE_CORRUPT;
                if (tag > kSopClassUid && !sopClassSeen_) return ERROR_FILE_FORMAT;
            }
            ElementHeader header;
            if (!reader_.Header(*pos, end, &header)) return ERROR_FILE_CORRUPT;
            *pos += header.size;
            const std::uint32_t length = header.length;
            bool sequence;
            if (const VrInfo* vr = header.vr) {
                sequence = vr->Is("SQ");
                // GDCM reads an undefined length elsewhere as an implicit VR sequence (CP 246).
                if (!sequence && (length == kUndefinedLength || length % vr->unitBytes))
                    return ERROR_FILE_CORRUPT;
            } else {
                // Without VRs a value is a sequence when its length is undefined or it opens with
                // an item; GDCM reads the latter as a sequence when asked for one.
                sequence = length == kUndefinedLength || reader_.OpensWithItem(*pos, end, length);
            }
            // Lengths are even (PS3.5 7.1.1); GDCM replaces some odd ones it blames on a vendor.
            if (length != kUndefinedLength && length % 2) return ERROR_FILE_CORRUPT;
            // Tags GDCM rewrites for vendors' broken files.
            if (tag == 0x00FF4AA5 || tag == 0x031E0324) return ERROR_FILE_CORRUPT;
            if (tag == kPixelData && length == kUndefinedLength) return ERROR_FILE_CORRUPT;
            if (sequence) {
                if (depth >= kMaxNesting) return ERROR_FILE_CORRUPT;
                int status;
                if (length == kUndefinedLength) {
                    status = Sequence(pos, end, depth + 1, true);
                } else {
                    if (length > end - *pos) return ERROR_FILE_CORRUPT;
                    std::size_t inner = *pos;
                    status = Sequence(&inner, *pos + length, depth + 1, false);
                    *pos += length;
                }
                if (status != SUCCESS) return status;
                continue;
            }
            if (length > end - *pos) return ERROR_FILE_CORRUPT;
            if (depth == 0) {
                const int status = TopLevel(tag, *pos, length);
                if (status != SUCCESS) return status;
            }
            *pos += length;
        }
        return undefined ? ERROR_FILE_CORRUPT : SUCCESS;
    }

    // The items of one sequence in [*pos, end).
    int Sequence(std::size_t* pos, std::size_t end, int depth, bool undefined) {
        while (*pos < end) {
            if (++elements_ > kMaxElementsPerFile || end - *pos < 8) return ERROR_FILE_CORRUPT;
            const std::uint16_t group = U16(*pos), element = U16(*pos + 2);
            const std::uint32_t length = U32(*pos + 4);
            *pos += 8;
            if (group != kItemGroup) return ERROR_FILE_CORRUPT;
            if (element == kSequenceDelimitation)
                return undefined && length == 0 ? SUCCESS : ERROR_FILE_CORRUPT;
            if (element != kItem || depth >= kMaxNesting) return ERROR_FILE_CORRUPT;
            int status;
            if (length == kUndefinedLength) {
                status = DataSet(pos, end, depth + 1, true);
            } else {
                if (length > end - *pos || length % 2) return ERROR_FILE_CORRUPT;
                std::size_t inner = *pos;
                status = DataSet(&inner, *pos + length, depth + 1, false);
                *pos += length;
            }
            if (status != SUCCESS) return status;
        }
        return undefined ? ERROR_FILE_CORRUPT : SUCCESS;
    }

    int TopLevel(std::uint32_t tag, std::size_t at, std::uint32_t length) {
        // GDCM takes a data set with the retired Recognition Code for ACR-NEMA and asserts on it.
        if (tag == kRecognitionCode) return ERROR_FILE_CORRUPT;
        if (tag != kSopClassUid) return SUCCESS;
        sopClassSeen_ = true;
        const std::string_view sopClass =
            TrimmedText(std::string_view(reinterpret_cast<const char*>(data_.data() + at), length));
        return std::find(std::begin(kPresentationStates), std::end(kPresentationStates),
                         sopClass) != std::end(kPresentationStates)
                   ? SUCCESS
                   : ERROR_FILE_FORMAT;
    }

    Bytes data_;
    ElementReader reader_;
    std::string syntax_;
    bool sopClassSeen_ = false;
    std::size_t elements_ = 0;
};

}  // namespace

int CheckElementStream(Bytes data) { return StreamCheck(data).Run(); }

}  // namespace engine::annotation
