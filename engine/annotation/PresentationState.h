// Reading the graphic and text annotations of a DICOM presentation state: the element stream is
// checked first (ElementStreamCheck.cpp), then GDCM parses it and the objects are taken from its
// data set (PresentationState.cpp); texts are converted to UTF-8 (AnnotationText.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/annotation/AnnotationModel.h"

namespace engine::annotation {

// Caps that keep a hostile file from exhausting memory. Objects past a cap are skipped.
constexpr std::uint64_t kMaxAnnotationFileBytes = 256ull << 20;
constexpr std::size_t kMaxPointsPerObject = 1'000'000;
constexpr std::size_t kMaxPointsPerFile = 4'000'000;
constexpr std::size_t kMaxObjectsPerFile = 100'000;
constexpr std::size_t kMaxTextBytes = 1u << 20;  // one text object's value
constexpr std::size_t kMaxTextBytesPerFile = 16u << 20;
// Elements and items of the whole file: GDCM keeps a node of its own for each one.
constexpr std::size_t kMaxElementsPerFile = 2'000'000;

// Reads a Part 10 file's bytes into *out (empty on entry). SUCCESS; ERROR_FILE_FORMAT for a file
// that is not DICOM or not a presentation state; ERROR_FEATURE_NOT_SUPPORTED for a transfer
// syntax other than implicit or explicit VR little endian; ERROR_FILE_CORRUPT for a broken file
// or one whose annotation objects are all unusable; ERROR_NO_MEMORY.
int ReadPresentationState(std::span<const std::uint8_t> data, AnnContainer* out);

// SUCCESS when GDCM may parse the file: a presentation state whose element stream is whole and
// free of what GDCM asserts on or reinterprets. Otherwise ERROR_FILE_FORMAT, ERROR_FILE_CORRUPT
// or ERROR_FEATURE_NOT_SUPPORTED, as ReadPresentationState.
int CheckElementStream(std::span<const std::uint8_t> data);

// A text value without its padding spaces (and the NULs some writers pad UIs with).
inline std::string_view TrimmedText(std::string_view value) {
    while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.remove_suffix(1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return value;
}

// The character sets texts are converted from (PS3.3 C.12.1.1.2).
enum class Charset { Ascii, Latin1, Utf8 };
// The set a Specific Character Set (0008,0005) value names; inherited when the value is empty.
Charset CharsetOf(std::string_view specificCharacterSet, Charset inherited);
// An ST, LT or UT value as UTF-8, without trailing padding.
std::string TextToUtf8(std::string_view raw, Charset charset);

}  // namespace engine::annotation
