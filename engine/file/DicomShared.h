// Engine-private pieces the parts of the DICOM codec share: what the pre-parse scanner learns of a
// file, the codestream checks it hands the encapsulated frames to, and the transfer syntaxes.
#pragma once

#include <gdcmTag.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/file/Codec.h"
#include "engine/file/DicomTags.h"
#include "engine/file/DicomValues.h"

namespace engine::file {

// All frames of one file, decoded.
constexpr std::uint64_t kMaxDecodedBytes = MAX_IMAGE_BYTES * 4;

inline constexpr const char* kImplicitLittleEndian = "1.2.840.10008.1.2";
inline constexpr const char* kExplicitLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr const char* kExplicitBigEndian = "1.2.840.10008.1.2.2";
inline constexpr const char* kDeflatedLittleEndian = "1.2.840.10008.1.2.1.99";
inline constexpr const char* kRleLossless = "1.2.840.10008.1.2.5";

// Image Pixel attributes of the top-level data set and what its Pixel Data holds, gathered by the
// scanner so they can be judged before GDCM builds (and allocates for) the image.
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
    // PALETTE COLOR: per channel (red, green, blue) the descriptor (entries, 0 meaning 65536;
    // first value mapped; bits an entry) and the bytes of the lookup table.
    std::optional<std::array<std::uint16_t, 3>> paletteDescriptor[3];
    std::optional<std::uint32_t> paletteBytes[3];
    bool segmentedPalette = false;
};

// The pre-parse scanner: SUCCESS when every element length fits the bytes that follow it, the
// Image Pixel attributes describe an image we decode within the caps, and the compressed frames'
// headers agree with them. The meta header's transfer syntax goes to *syntax, the attributes to
// *found. Never hands the file to GDCM.
int ScanDicom(Bytes data, std::string* syntax, PixelAttributes* found);

// A file in Deflated Explicit VR Little Endian made the same file in explicit VR little endian:
// the data set inflated, the meta group naming the new transfer syntax. SUCCESS, or a failure
// status for a stream that is cut, corrupt or inflates beyond a cap.
int InflateDicom(Bytes data, std::vector<std::uint8_t>* out);

// A JPEG 2000 file whose frames are whole JP2 files made the same file with their bare
// codestreams: SUCCESS, or a failure status when no fragment is a JP2 file or one is cut.
int UnwrapJp2Frames(Bytes data, const PixelAttributes& attributes, std::vector<std::uint8_t>* out);

// The headers of the encapsulated frames of a file in syntax, against its attributes (which
// list at least the offset table and one fragment).
int CheckCodestream(Bytes data, const std::string& syntax, const PixelAttributes& attributes);

inline gdcm::Tag TagOf(DicomTag tag) { return gdcm::Tag(tag.group, tag.element); }

// Comment indexes and the attributes that carry them, read back by the decoder and written from
// the pending comments by the encoder.
struct CommentAttribute {
    int index;
    DicomTag tag;
    DicomVr vr;
    const char* name;  // for report lines
};
inline constexpr CommentAttribute kCommentAttributes[] = {
    {cmnt::CMNT_SZDESC, tags::kImageComments, DicomVr::LT, "Image Comments"},
    {cmnt::CMNT_SZPATIENTNAME, tags::kPatientName, DicomVr::PN, "Patient's Name"},
    {cmnt::CMNT_SZPATIENTID, tags::kPatientId, DicomVr::LO, "Patient ID"},
    {cmnt::CMNT_SZPATIENTBIRTHDATE, tags::kPatientBirthDate, DicomVr::DA, "Patient's Birth Date"},
    {cmnt::CMNT_SZPATIENTSEX, tags::kPatientSex, DicomVr::CS, "Patient's Sex"},
    {cmnt::CMNT_SZSTUDYINSTANCE, tags::kStudyInstanceUid, DicomVr::UI, "Study Instance UID"},
    {cmnt::CMNT_SZSTUDYDATE, tags::kStudyDate, DicomVr::DA, "Study Date"},
    {cmnt::CMNT_SZSTUDYTIME, tags::kStudyTime, DicomVr::TM, "Study Time"},
    {cmnt::CMNT_SZSTUDYREFERRINGPHYSICIAN, tags::kReferringPhysicianName, DicomVr::PN,
     "Referring Physician's Name"},
    {cmnt::CMNT_SZSERIESMODALITY, tags::kModality, DicomVr::CS, "Modality"},
    {cmnt::CMNT_SZSERIESID, tags::kSeriesInstanceUid, DicomVr::UI, "Series Instance UID"},
    {cmnt::CMNT_SZSERIESNUMBER, tags::kSeriesNumber, DicomVr::IS, "Series Number"},
    {cmnt::CMNT_SZDATETIMEORIGINAL, tags::kAcquisitionDateTime, DicomVr::DT,
     "Acquisition DateTime"},
};

}  // namespace engine::file
