// Reading the element stream of a Part 10 file (PS3.5 7.1, 7.5; PS3.10 7.1) by hand, for the
// checks that run before GDCM parses a file: the image codec's pre-parse scanner and the
// annotation loader's stream check. Each walks the data sets by its own rules; the meta group,
// the VRs and the element headers are read here for both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace engine::file::stream {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kPreambleBytes = 128;  // then "DICM"
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
constexpr std::uint16_t kMetaGroup = 0x0002;
constexpr std::uint16_t kTransferSyntaxElement = 0x0010;
constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kItemDelimitation = 0xE00D;
constexpr std::uint16_t kSequenceDelimitation = 0xE0DD;
// Nesting of sequences and items beyond which a file is refused.
constexpr int kMaxNesting = 32;

struct VrInfo {
    char name[3];
    bool longForm;       // 32-bit length after two reserved bytes (PS3.5 7.1.2)
    unsigned unitBytes;  // a binary VR's value is a whole number of these; 1 for text and bytes
    bool Is(const char* other) const { return name[0] == other[0] && name[1] == other[1]; }
};
// The VR named by two bytes, or null for one GDCM does not know (it asserts on those).
const VrInfo* FindVr(std::uint8_t a, std::uint8_t b);

struct ElementHeader {
    std::uint16_t group = 0, element = 0;
    const VrInfo* vr = nullptr;  // null in implicit VR
    std::uint32_t length = 0;
    std::size_t size = 0;  // bytes of the header; the value follows
};

class ElementReader {
public:
    ElementReader(Bytes data, bool explicitVr, bool bigEndian)
        : data_(data), explicitVr_(explicitVr), bigEndian_(bigEndian) {}

    Bytes Data() const { return data_; }
    bool ExplicitVr() const { return explicitVr_; }
    std::uint16_t U16(std::size_t at) const {
        return bigEndian_ ? static_cast<std::uint16_t>(data_[at] << 8 | data_[at + 1])
                          : static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    std::uint32_t U32(std::size_t at) const {
        return bigEndian_ ? (std::uint32_t{data_[at]} << 24 | data_[at + 1] << 16 |
                             data_[at + 2] << 8 | data_[at + 3])
                          : (data_[at] | data_[at + 1] << 8 | data_[at + 2] << 16 |
                             std::uint32_t{data_[at + 3]} << 24);
    }
    // The header of the data element at pos, which ends by end; false when it does not fit there
    // or (explicit VR) names an unknown VR. Item tags are the caller's to handle first.
    bool Header(std::size_t pos, std::size_t end, ElementHeader* out) const;
    // In implicit VR, whether a value of length bytes at pos opens with an item, i.e. is read as
    // a sequence.
    bool OpensWithItem(std::size_t pos, std::size_t end, std::uint32_t length) const {
        return length >= 8 && end - pos >= 8 && U16(pos) == kItemGroup && U16(pos + 2) == kItem;
    }

private:
    Bytes data_;
    bool explicitVr_;
    bool bigEndian_;
};

// Walks the meta group (explicit VR little endian) from *pos to its end, calling
// visit(header, value) for each element; *pos ends after the group. False when an element does
// not fit, has an unknown VR or undefined length, or visit returns false.
template <typename Visit>
bool WalkMetaGroup(Bytes data, std::size_t* pos, Visit&& visit) {
    const ElementReader meta(data, true, false);
    while (*pos <= data.size() && data.size() - *pos >= 8 && meta.U16(*pos) == kMetaGroup) {
        ElementHeader header;
        if (!meta.Header(*pos, data.size(), &header)) return false;
        *pos += header.size;
        if (header.length == kUndefinedLength || header.length > data.size() - *pos) return false;
        const std::string_view value(reinterpret_cast<const char*>(data.data() + *pos),
                                     header.length);
        if (!visit(header, value)) return false;
        *pos += header.length;
    }
    return true;
}

}  // namespace engine::file::stream
