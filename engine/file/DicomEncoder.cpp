// The DICOM encoder: grey images as intra-oral X-ray images, colour ones as secondary captures,
// uncompressed, RLE, JPEG or JPEG 2000, with the pending comments as the values of their
// attributes.
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEGCodec.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmSequenceOfItems.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <streambuf>

#include "engine/Diagnostics.h"
#include "engine/file/DicomShared.h"
#include "engine/file/Jpeg2000Lossless.h"
#include "engine/file/LibraryMessages.h"
#include "engine/file/RleLossless.h"
#include "engine/file/Uid.h"

namespace engine::file {

// The format numbers by their names.
using namespace ::filefmt;

namespace {

// SOP classes (PS3.4 B.5): intra-oral X-ray for grey images, secondary capture for colour.
const char* const kIntraOralForPresentation = "1.2.840.10008.5.1.4.1.1.1.3";
const char* const kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";

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
        out_->insert(out_->end(), reinterpret_cast<const std::uint8_t*>(s),
                     reinterpret_cast<const std::uint8_t*>(s) + n);
        return n;
    }
    // Only the write position can be asked for; the writer never moves it.
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                     std::ios_base::openmode) override {
        if (offset != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
        return pos_type(static_cast<off_type>(out_->size()));
    }

private:
    std::vector<std::uint8_t>* out_;
};

gdcm::DataElement ElementOf(DicomTag tag, gdcm::VR::VRType vr, std::string value) {
    // Values have even length: UIDs pad with a zero byte, text with a space (PS3.5 6.2).
    if (value.size() % 2) value.push_back(vr == gdcm::VR::UI ? '\0' : ' ');
    gdcm::DataElement de(TagOf(tag));
    de.SetVR(vr);
    de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
    return de;
}

void Put(gdcm::DataSet& ds, DicomTag tag, gdcm::VR::VRType vr, std::string value) {
    ds.Replace(ElementOf(tag, vr, std::move(value)));
}

// A sequence of the given items (none: an empty type 2 sequence).
void PutSequence(gdcm::DataSet& ds, DicomTag tag, const std::vector<gdcm::DataSet>& items) {
    gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
    for (const gdcm::DataSet& nested : items) {
        gdcm::Item item;
        item.SetNestedDataSet(nested);
        item.SetVLToUndefined();
        sequence->AddItem(item);
    }
    sequence->SetLengthToUndefined();
    gdcm::DataElement de(TagOf(tag));
    de.SetVR(gdcm::VR::SQ);
    de.SetValue(*sequence);
    de.SetVLToUndefined();
    ds.Replace(de);
}

// One code of a coded sequence item: value, scheme and meaning.
gdcm::DataSet CodeItem(const char* value, const char* scheme, const char* meaning) {
    gdcm::DataSet code;
    Put(code, tags::kCodeValue, gdcm::VR::SH, value);
    Put(code, tags::kCodingSchemeDesignator, gdcm::VR::SH, scheme);
    Put(code, tags::kCodeMeaning, gdcm::VR::LO, meaning);
    return code;
}

// GDCM's preparation of the Image Pixel module and the meta header, then our identity in that
// header (PS3.10 7.1). ImageWriter's own additions are left out: among them a pixel spacing of
// 1 mm for every image, which we write ourselves from the bitmap's resolution.
class EngineImageWriter final : public gdcm::ImageWriter {
public:
    bool Write() override {
        // Choosing the SOP class reads the data set's Photometric Interpretation, which
        // PrepareWrite only adds afterwards: without it GDCM warns that it assumes MONOCHROME2.
        GetFile().GetDataSet().Replace(ElementOf(tags::kPhotometricInterpretation, gdcm::VR::CS,
                                                 gdcm::PhotometricInterpretation::GetPIString(
                                                     GetImage().GetPhotometricInterpretation())));
        if (!PrepareWrite(ComputeTargetMediaStorage())) return false;
        gdcm::FileMetaInformation& header = GetFile().GetHeader();
        header.Replace(
            ElementOf(tags::kImplementationClassUid, gdcm::VR::UI, kImplementationClassUid));
        header.Replace(
            ElementOf(tags::kImplementationVersionName, gdcm::VR::SH, ImplementationVersionName()));
        header.Replace(ElementOf(tags::kSourceApplicationEntityTitle, gdcm::VR::AE, "AXLUMORA"));
        return gdcm::Writer::Write();
    }
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

// ---- the transfer syntax ----

struct TransferChoice {
    gdcm::TransferSyntax::TSType syntax = gdcm::TransferSyntax::ExplicitVRLittleEndian;
    bool lossy = false;
};

// The JPEG formats go through GDCM's JPEG coder; the others are written as built.
TransferChoice ChooseTransferSyntax(int format, bool wide) {
    if (format != FILE_DICOM_JPEG_GRAY && format != FILE_DICOM_JPEG_COLOR) return {};
    // Deep grey is kept exact (process 14, SV1); 8-bit data uses baseline.
    if (wide) return {gdcm::TransferSyntax::JPEGLosslessProcess14_1, false};
    return {gdcm::TransferSyntax::JPEGBaselineProcess1, true};
}

// ---- the pixel data ----

struct PixelData {
    gdcm::SmartPointer<gdcm::Image> image;
    unsigned stored = 8;  // Bits Stored
    // Uncompressed samples are not handed to GDCM, which would copy the whole frame once more
    // before writing it: its Pixel Data is left empty and the samples appended to what it wrote.
    bool appendSamples = false;
};

// The image with its pixels as the request's format holds them before any GDCM coder: raw, or
// one frame of our own RLE or JPEG 2000 coder.
int BuildPixelData(const SampleImage& samples, int format, PixelData* out) {
    const bool gray = samples.channels == 1;
    const bool wide = samples.bitsPerSample == 16;
    // The writer takes ownership of the image: it lives on the heap behind a smart pointer.
    gdcm::SmartPointer<gdcm::Image> image = new gdcm::Image;
    image->SetNumberOfDimensions(2);
    image->SetDimension(0, static_cast<unsigned>(samples.width));
    image->SetDimension(1, static_cast<unsigned>(samples.height));
    const auto stored =
        static_cast<unsigned short>(wide ? std::clamp(samples.significantBits, 9, 16) : 8);
    image->SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(samples.channels),
                                            wide ? 16 : 8, stored,
                                            static_cast<unsigned short>(stored - 1), 0));
    image->SetPhotometricInterpretation(gray ? gdcm::PhotometricInterpretation::MONOCHROME2
                                             : gdcm::PhotometricInterpretation::RGB);
    if (!gray) image->SetPlanarConfiguration(0);
    image->SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataElement pixelData(TagOf(tags::kPixelData));
    const bool rle = format == FILE_DICOM_RLE_GRAY || format == FILE_DICOM_RLE_COLOR;
    const bool j2k = format == FILE_DICOM_J2K_GRAY || format == FILE_DICOM_J2K_COLOR;
    if (rle || j2k) {
        // Our own coders: GDCM's RLE coder asserts on pixel data of odd length, and its JPEG
        // 2000 coder overruns its buffer when the codestream outgrows the raw frame.
        std::vector<std::uint8_t> frame;
        if (rle && !EncodeRleLossless(samples, &frame)) return ERROR_FEATURE_NOT_SUPPORTED;
        if (j2k && !EncodeJpeg2000Lossless(samples, stored, &frame)) return ERROR_FILE_WRITE;
        gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
        gdcm::Fragment fragment;
        fragment.SetByteValue(reinterpret_cast<const char*>(frame.data()),
                              static_cast<std::uint32_t>(frame.size()));
        fragments->AddFragment(fragment);
        pixelData.SetVR(gdcm::VR::OB);
        pixelData.SetValue(*fragments);
        image->SetTransferSyntax(rle ? gdcm::TransferSyntax::RLELossless
                                     : gdcm::TransferSyntax::JPEG2000Lossless);
        // The reversible colour transform of lossless JPEG 2000 (PS3.5 8.2.4).
        if (j2k && !gray)
            image->SetPhotometricInterpretation(gdcm::PhotometricInterpretation::YBR_RCT);
    } else if (ChooseTransferSyntax(format, wide).syntax ==
               gdcm::TransferSyntax::ExplicitVRLittleEndian) {
        pixelData.SetVR(wide ? gdcm::VR::OW : gdcm::VR::OB);
        pixelData.SetByteValue("\0\0", 2);  // GDCM refuses an empty one
        out->appendSamples = true;
    } else {
        pixelData.SetVR(wide ? gdcm::VR::OW : gdcm::VR::OB);
        pixelData.SetByteValue(reinterpret_cast<const char*>(samples.Samples()),
                               static_cast<std::uint32_t>(samples.Size()));
    }
    image->SetDataElement(pixelData);
    out->image = image;
    out->stored = stored;
    return SUCCESS;
}

// ---- the written attributes ----

// What the attributes' values are made from.
struct WriteContext {
    bool gray = true;
    unsigned stored = 8;
    bool lossy = false;
    std::string date, time;           // of this save, local
    std::string spacing;              // row\column in mm, empty when the resolution is unknown
    bool extendedCharacters = false;  // a written comment needs more than ASCII
};

enum class Images { All, Gray, Colour };

// The DICOM type of an attribute (PS3.5 7.4), where it decides what is written: a type 1 value
// from a comment that is invalid gives way to the fallback, a type 2 one is written empty, and a
// type 3 attribute is left out then, or when a value of its own is empty.
enum class Type { One, Two, Three };

struct WrittenAttribute {
    DicomTag tag;
    gdcm::VR::VRType vr;
    Images images;
    Type type;
    // The value; with a comment, what is written when none is pending. Null for type 3 comments.
    std::string (*value)(const WriteContext&);
    int comment = -1;  // the pending comment that gives the value, or -1
    // Items of a sequence (vr SQ); null for an empty sequence.
    std::vector<gdcm::DataSet> (*items)() = nullptr;
};

std::string Empty(const WriteContext&) { return {}; }
std::string Date(const WriteContext& c) { return c.date; }
std::string Time(const WriteContext& c) { return c.time; }
std::string Uid(const WriteContext&) { return NewUid(); }
template <const char* Text>
std::string Fixed(const WriteContext&) {
    return Text;
}

constexpr char kOne[] = "1", kZero[] = "0", kImageTypeValue[] = "ORIGINAL\\PRIMARY", kWsd[] = "WSD",
               kForPresentation[] = "FOR PRESENTATION", kNone[] = "NONE", kBoth[] = "B",
               kNo[] = "NO", kLin[] = "LIN", kUs[] = "US", kIdentity[] = "IDENTITY";

using enum Images;
using enum Type;
constexpr WrittenAttribute kWritten[] = {
    {tags::kSopClassUid, gdcm::VR::UI, All, One,
     [](const WriteContext& c) -> std::string {
         return c.gray ? kIntraOralForPresentation : kSecondaryCapture;
     }},
    {tags::kSopInstanceUid, gdcm::VR::UI, All, One, Uid},
    {tags::kImageType, gdcm::VR::CS, All, One, Fixed<kImageTypeValue>},
    {tags::kInstanceCreationDate, gdcm::VR::DA, All, Three, Date},
    {tags::kInstanceCreationTime, gdcm::VR::TM, All, Three, Time},
    {tags::kStudyDate, gdcm::VR::DA, All, Two, Date, cmnt::CMNT_SZSTUDYDATE},
    {tags::kContentDate, gdcm::VR::DA, All, One, Date},
    {tags::kStudyTime, gdcm::VR::TM, All, Two, Time, cmnt::CMNT_SZSTUDYTIME},
    {tags::kContentTime, gdcm::VR::TM, All, One, Time},
    {tags::kAccessionNumber, gdcm::VR::SH, All, Two, Empty},
    {tags::kModality, gdcm::VR::CS, All, One,
     [](const WriteContext& c) -> std::string { return c.gray ? "IO" : "OT"; },
     cmnt::CMNT_SZSERIESMODALITY},
    {tags::kConversionType, gdcm::VR::CS, Colour, One, Fixed<kWsd>},
    {tags::kLaterality, gdcm::VR::CS, Colour, Two, Empty},  // unknown
    {tags::kManufacturer, gdcm::VR::LO, All, Two, Empty},
    {tags::kReferringPhysicianName, gdcm::VR::PN, All, Two, Empty,
     cmnt::CMNT_SZSTUDYREFERRINGPHYSICIAN},
    {tags::kPatientName, gdcm::VR::PN, All, Two, Empty, cmnt::CMNT_SZPATIENTNAME},
    {tags::kPatientId, gdcm::VR::LO, All, Two, Empty, cmnt::CMNT_SZPATIENTID},
    {tags::kPatientBirthDate, gdcm::VR::DA, All, Two, Empty, cmnt::CMNT_SZPATIENTBIRTHDATE},
    {tags::kPatientSex, gdcm::VR::CS, All, Two, Empty, cmnt::CMNT_SZPATIENTSEX},
    {tags::kStudyInstanceUid, gdcm::VR::UI, All, One, Uid, cmnt::CMNT_SZSTUDYINSTANCE},
    {tags::kSeriesInstanceUid, gdcm::VR::UI, All, One, Uid, cmnt::CMNT_SZSERIESID},
    {tags::kStudyId, gdcm::VR::SH, All, Two, Empty},
    {tags::kSeriesNumber, gdcm::VR::IS, All, Two, Fixed<kOne>, cmnt::CMNT_SZSERIESNUMBER},
    {tags::kInstanceNumber, gdcm::VR::IS, All, Two, Fixed<kOne>},
    {tags::kPatientOrientation, gdcm::VR::CS, All, Two, Empty},
    {tags::kImageComments, gdcm::VR::LT, All, Three, nullptr, cmnt::CMNT_SZDESC},
    {tags::kAcquisitionDateTime, gdcm::VR::DT, All, Three, nullptr, cmnt::CMNT_SZDATETIMEORIGINAL},
    // DX Detector module: the spacing at the detector, the only one a sensor knows; row first
    // (PS3.3 10.7.1.3).
    {tags::kImagerPixelSpacing, gdcm::VR::DS, Gray, Two,
     [](const WriteContext& c) { return c.spacing; }},
    {tags::kPixelSpacing, gdcm::VR::DS, Colour, Three,
     [](const WriteContext& c) { return c.spacing; }},
    {tags::kPresentationIntentType, gdcm::VR::CS, Gray, One, Fixed<kForPresentation>},
    // The Intra-oral Image module's type 1 anatomy, which the control is never told: the most
    // general true values.
    {tags::kPositionerType, gdcm::VR::CS, Gray, One, Fixed<kNone>},
    {tags::kImageLaterality, gdcm::VR::CS, Gray, One, Fixed<kBoth>},  // both sides
    {tags::kAnatomicRegionSequence, gdcm::VR::SQ, Gray, One, nullptr, -1,
     [] { return std::vector<gdcm::DataSet>{CodeItem("661005", "SCT", "Jaw region")}; }},
    {tags::kDetectorType, gdcm::VR::CS, Gray, Two, Empty},
    {tags::kBurnedInAnnotation, gdcm::VR::CS, Gray, One, Fixed<kNo>},
    {tags::kPixelIntensityRelationship, gdcm::VR::CS, Gray, One, Fixed<kLin>},
    {tags::kPixelIntensityRelationshipSign, gdcm::VR::SS, Gray, One,
     [](const WriteContext&) { return std::string("\x01\x00", 2); }},  // 1
    {tags::kWindowCenter, gdcm::VR::DS, Gray, One,
     [](const WriteContext& c) { return std::to_string(((1u << c.stored) - 1) / 2 + 1); }},
    {tags::kWindowWidth, gdcm::VR::DS, Gray, One,
     [](const WriteContext& c) { return std::to_string(1u << c.stored); }},
    {tags::kRescaleIntercept, gdcm::VR::DS, Gray, One, Fixed<kZero>},
    {tags::kRescaleSlope, gdcm::VR::DS, Gray, One, Fixed<kOne>},
    {tags::kRescaleType, gdcm::VR::LO, Gray, One, Fixed<kUs>},
    {tags::kPresentationLutShape, gdcm::VR::CS, Gray, One, Fixed<kIdentity>},
    {tags::kAcquisitionContextSequence, gdcm::VR::SQ, Gray, Two, nullptr},
    {tags::kLossyImageCompression, gdcm::VR::CS, All, One,
     [](const WriteContext& c) -> std::string { return c.lossy ? "01" : "00"; }},
    // Texts beyond ASCII are UTF-8 here (PS3.3 C.12.1.1.2); after every comment, which decide it.
    {tags::kSpecificCharacterSet, gdcm::VR::CS, All, Three,
     [](const WriteContext& c) -> std::string { return c.extendedCharacters ? "ISO_IR 192" : ""; }},
};

const CommentAttribute& CommentOf(int index) {
    return *std::find_if(std::begin(kCommentAttributes), std::end(kCommentAttributes),
                         [&](const CommentAttribute& a) { return a.index == index; });
}

// The value the pending comment gives the attribute: none when no comment is pending, empty or
// the fallback (by the attribute's type) when the comment is no valid value of its VR. That is
// reported in one line that leaves the text out: it may be a patient's data.
std::optional<std::string> CommentValue(const WrittenAttribute& written, const Comments& comments,
                                        WriteContext* context) {
    const auto found = comments.find(written.comment);
    if (found == comments.end()) return std::nullopt;
    const CommentAttribute& attribute = CommentOf(written.comment);
    std::string problem;
    if (auto value = ToDicomValue(attribute.vr, found->second, &problem);
        value && (attribute.tag != tags::kPatientSex || NormaliseSex(&*value, &problem))) {
        context->extendedCharacters =
            context->extendedCharacters || NeedsExtendedCharacters(*value);
        // Type 1 attributes cannot be empty.
        if (written.type == One && value->empty()) return written.value(*context);
        return value;
    }
    const char* outcome = written.type == One   ? "given its default"
                          : written.type == Two ? "left empty"
                                                : "left out";
    engine::ReportDiagnostic(std::string("axLumora.Save, ") + attribute.name + " " +
                             TagText(attribute.tag) + " " + outcome + ": the pending value is " +
                             problem);
    if (written.type == One) return written.value(*context);
    return std::string();
}

void WriteAttributes(gdcm::DataSet& ds, const Comments& comments, WriteContext* context) {
    for (const WrittenAttribute& written : kWritten) {
        if ((written.images == Gray && !context->gray) ||
            (written.images == Colour && context->gray))
            continue;
        if (written.vr == gdcm::VR::SQ) {
            PutSequence(ds, written.tag,
                        written.items ? written.items() : std::vector<gdcm::DataSet>{});
            continue;
        }
        std::optional<std::string> value;
        if (written.comment >= 0) value = CommentValue(written, comments, context);
        if (!value && written.value) value = written.value(*context);
        // A comment's valid value is written as given, even empty.
        if (!value || (written.type == Three && written.comment < 0 && value->empty())) continue;
        Put(ds, written.tag, written.vr, std::move(*value));
    }
}

// The samples as the value of the Pixel Data element that ends *out, which GDCM wrote with a
// two-byte stand-in: its length patched, the value padded to even length with a zero byte as GDCM
// pads it.
bool AppendSamples(const SampleImage& samples, std::vector<std::uint8_t>* out) {
    const std::uint8_t vr = samples.bitsPerSample == 16 ? 'W' : 'B';
    const std::uint8_t standIn[14] = {0xE0, 0x7F, 0x10, 0x00, 'O', vr, 0, 0, 2, 0, 0, 0, 0, 0};
    if (out->size() < sizeof standIn ||
        !std::equal(std::begin(standIn), std::end(standIn), out->end() - sizeof standIn))
        return false;
    const std::size_t size = samples.Size();
    const std::uint64_t length = size + size % 2;
    if (length >= 0xFFFFFFFFu) return false;
    out->resize(out->size() - 2);
    std::uint8_t* field = out->data() + out->size() - 4;
    for (int i = 0; i < 4; ++i) field[i] = static_cast<std::uint8_t>(length >> (8 * i));
    out->insert(out->end(), samples.Samples(), samples.Samples() + size);
    if (size % 2) out->push_back(0);
    return true;
}

WriteContext ContextOf(const SampleImage& samples, unsigned stored, bool lossy) {
    WriteContext context;
    context.gray = samples.channels == 1;
    context.stored = stored;
    context.lossy = lossy;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16], time[16];
    std::strftime(date, sizeof date, "%Y%m%d", &local);
    std::strftime(time, sizeof time, "%H%M%S", &local);
    context.date = date;
    context.time = time;
    const std::string rowSpacing = SpacingOfResolution(samples.yResolution);
    const std::string columnSpacing = SpacingOfResolution(samples.xResolution);
    if (!rowSpacing.empty() && !columnSpacing.empty())
        context.spacing = rowSpacing + "\\" + columnSpacing;
    return context;
}

}  // namespace

int EncodeDicom(const SampleImage& samples, const EncodeRequest& request,
                std::vector<std::uint8_t>* out) {
    InstallLibraryMessageRouting();
    try {
        PixelData pixels;
        if (const int built = BuildPixelData(samples, request.format, &pixels); built != SUCCESS)
            return built;

        const TransferChoice choice =
            ChooseTransferSyntax(request.format, samples.bitsPerSample == 16);
        EngineImageWriter writer;
        gdcm::JPEGCodec jpeg;
        gdcm::ImageChangeTransferSyntax change;
        if (choice.syntax != gdcm::TransferSyntax::ExplicitVRLittleEndian) {
            change.SetTransferSyntax(choice.syntax);
            if (choice.lossy) {
                jpeg.SetLossless(false);
                jpeg.SetQuality(request.quality >= 1 && request.quality <= 100 ? request.quality
                                                                               : 90);
                change.SetUserCodec(&jpeg);
            }
            change.SetInput(*pixels.image);
            if (!change.Change()) return ERROR_FILE_WRITE;
            writer.SetImage(change.GetOutput());
        } else {
            writer.SetImage(*pixels.image);
        }

        WriteContext context = ContextOf(samples, pixels.stored, choice.lossy);
        WriteAttributes(writer.GetFile().GetDataSet(), request.comments, &context);
        out->clear();
        const bool compressed =
            pixels.image->GetTransferSyntax() != gdcm::TransferSyntax::ExplicitVRLittleEndian ||
            choice.syntax != gdcm::TransferSyntax::ExplicitVRLittleEndian;
        out->reserve((compressed ? samples.Size() / 2 : samples.Size()) + 65536);
        AppendBuffer buffer(out);
        std::ostream stream(&buffer);
        writer.SetStream(stream);
        if (!writer.Write() || !stream) return ERROR_FILE_WRITE;
        if (pixels.appendSamples && !AppendSamples(samples, out)) return ERROR_FILE_WRITE;
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_WRITE;
    }
}

}  // namespace engine::file
