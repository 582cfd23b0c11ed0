// The attributes the DICOM codec reads and writes, by name (PS3.6), so that no code spells a
// group and element pair twice.
#pragma once

#include <cstdint>

namespace engine::file {

struct DicomTag {
    std::uint16_t group, element;
    friend constexpr bool operator==(DicomTag, DicomTag) = default;
};

namespace tags {

// File Meta Information (PS3.10 7.1)
constexpr DicomTag kTransferSyntaxUid{0x0002, 0x0010};
constexpr DicomTag kImplementationClassUid{0x0002, 0x0012};
constexpr DicomTag kImplementationVersionName{0x0002, 0x0013};
constexpr DicomTag kSourceApplicationEntityTitle{0x0002, 0x0016};

constexpr DicomTag kSpecificCharacterSet{0x0008, 0x0005};
constexpr DicomTag kImageType{0x0008, 0x0008};
constexpr DicomTag kRecognitionCode{0x0008, 0x0010};  // retired, ACR-NEMA
constexpr DicomTag kInstanceCreationDate{0x0008, 0x0012};
constexpr DicomTag kInstanceCreationTime{0x0008, 0x0013};
constexpr DicomTag kSopClassUid{0x0008, 0x0016};
constexpr DicomTag kSopInstanceUid{0x0008, 0x0018};
constexpr DicomTag kStudyDate{0x0008, 0x0020};
constexpr DicomTag kContentDate{0x0008, 0x0023};
constexpr DicomTag kAcquisitionDateTime{0x0008, 0x002A};
constexpr DicomTag kStudyTime{0x0008, 0x0030};
constexpr DicomTag kContentTime{0x0008, 0x0033};
constexpr DicomTag kAccessionNumber{0x0008, 0x0050};
constexpr DicomTag kModality{0x0008, 0x0060};
constexpr DicomTag kConversionType{0x0008, 0x0064};
constexpr DicomTag kPresentationIntentType{0x0008, 0x0068};
constexpr DicomTag kManufacturer{0x0008, 0x0070};
constexpr DicomTag kReferringPhysicianName{0x0008, 0x0090};
constexpr DicomTag kCodeValue{0x0008, 0x0100};
constexpr DicomTag kCodingSchemeDesignator{0x0008, 0x0102};
constexpr DicomTag kCodeMeaning{0x0008, 0x0104};
constexpr DicomTag kAnatomicRegionSequence{0x0008, 0x2218};

constexpr DicomTag kPatientName{0x0010, 0x0010};
constexpr DicomTag kPatientId{0x0010, 0x0020};
constexpr DicomTag kPatientBirthDate{0x0010, 0x0030};
constexpr DicomTag kPatientSex{0x0010, 0x0040};

constexpr DicomTag kImagerPixelSpacing{0x0018, 0x1164};
constexpr DicomTag kPositionerType{0x0018, 0x1508};
constexpr DicomTag kDetectorType{0x0018, 0x7004};

constexpr DicomTag kStudyInstanceUid{0x0020, 0x000D};
constexpr DicomTag kSeriesInstanceUid{0x0020, 0x000E};
constexpr DicomTag kStudyId{0x0020, 0x0010};
constexpr DicomTag kSeriesNumber{0x0020, 0x0011};
constexpr DicomTag kInstanceNumber{0x0020, 0x0013};
constexpr DicomTag kPatientOrientation{0x0020, 0x0020};
constexpr DicomTag kLaterality{0x0020, 0x0060};
constexpr DicomTag kImageLaterality{0x0020, 0x0062};
constexpr DicomTag kImageComments{0x0020, 0x4000};

// Image Pixel module (PS3.3 C.7.6.3)
constexpr DicomTag kSamplesPerPixel{0x0028, 0x0002};
constexpr DicomTag kPhotometricInterpretation{0x0028, 0x0004};
constexpr DicomTag kPlanarConfiguration{0x0028, 0x0006};
constexpr DicomTag kNumberOfFrames{0x0028, 0x0008};
constexpr DicomTag kRows{0x0028, 0x0010};
constexpr DicomTag kColumns{0x0028, 0x0011};
constexpr DicomTag kPixelSpacing{0x0028, 0x0030};
constexpr DicomTag kBitsAllocated{0x0028, 0x0100};
constexpr DicomTag kBitsStored{0x0028, 0x0101};
constexpr DicomTag kHighBit{0x0028, 0x0102};
constexpr DicomTag kPixelRepresentation{0x0028, 0x0103};
constexpr DicomTag kBurnedInAnnotation{0x0028, 0x0301};
constexpr DicomTag kPixelIntensityRelationship{0x0028, 0x1040};
constexpr DicomTag kPixelIntensityRelationshipSign{0x0028, 0x1041};
constexpr DicomTag kRedPaletteDescriptor{0x0028, 0x1101};     // then green, blue
constexpr DicomTag kRedPaletteData{0x0028, 0x1201};           // then green, blue
constexpr DicomTag kRedSegmentedPaletteData{0x0028, 0x1221};  // then green, blue
constexpr DicomTag kWindowCenter{0x0028, 0x1050};
constexpr DicomTag kWindowWidth{0x0028, 0x1051};
constexpr DicomTag kRescaleIntercept{0x0028, 0x1052};
constexpr DicomTag kRescaleSlope{0x0028, 0x1053};
constexpr DicomTag kRescaleType{0x0028, 0x1054};
constexpr DicomTag kVoiLutFunction{0x0028, 0x1056};
constexpr DicomTag kLossyImageCompression{0x0028, 0x2110};
constexpr DicomTag kLutDescriptor{0x0028, 0x3002};
constexpr DicomTag kLutData{0x0028, 0x3006};
constexpr DicomTag kVoiLutSequence{0x0028, 0x3010};

constexpr DicomTag kAcquisitionContextSequence{0x0040, 0x0555};
constexpr DicomTag kPresentationLutShape{0x2050, 0x0020};
constexpr DicomTag kPixelData{0x7FE0, 0x0010};

}  // namespace tags
}  // namespace engine::file
