// DICOM Part 10 through GDCM: grey (8, 12, 16 bits) and RGB, uncompressed, RLE, JPEG and
// JPEG 2000. Before GDCM sees a file, every element length is checked against the bytes that
// follow it, so a hostile length cannot make GDCM allocate more than the file holds.
#include <gdcmAttribute.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEGCodec.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>
#include <gdcmUIDGenerator.h>

#include <algorithm>
#include <ctime>
#include <istream>
#include <mutex>
#include <sstream>
#include <streambuf>

#include "engine/file/Codec.h"

namespace engine::file {
namespace {

constexpr std::size_t kPreambleBytes = 128;
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kItemDelimitation = 0xE00D;
constexpr std::uint16_t kSequenceDelimitation = 0xE0DD;
constexpr int kMaxNesting = 32;

const char* const kImplicitLittleEndian = "1.2.840.10008.1.2";
const char* const kExplicitBigEndian = "1.2.840.10008.1.2.2";
const char* const kDeflatedLittleEndian = "1.2.840.10008.1.2.1.99";

// SOP classes (PS3.4 B.5): intra-oral X-ray for grey images, secondary capture for colour.
const char* const kIntraOralForPresentation = "1.2.840.10008.5.1.4.1.1.1.3";
const char* const kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";

// ---- length check of the element stream (PS3.5 7.1, 7.5) ----

struct Scanner {
    Bytes data;
    bool explicitVr = true;
    bool bigEndian = false;
    bool encapsulated = false;  // compressed transfer syntax: Pixel Data holds fragments

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
    static bool LongForm(char a, char b) {
        static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
        for (const char* vr : kLong)
            if (vr[0] == a && vr[1] == b) return true;
        return false;
    }

    // Checks elements in [pos, end). Stops after a delimiter when inUndefined; *pos ends past it.
    // rawItems: the items hold bytes (encapsulated pixel fragments), not data sets.
    bool Elements(std::size_t* pos, std::size_t end, int depth, bool inUndefined, bool rawItems = false) const {
        if (depth > kMaxNesting) return false;
        while (*pos < end) {
            if (end - *pos < 8) return false;
            const std::uint16_t group = U16(*pos), element = U16(*pos + 2);
            if (group == kItemGroup) {
                const std::uint32_t length = U32(*pos + 4);
                *pos += 8;
                if (element == kItemDelimitation || element == kSequenceDelimitation) {
                    if (inUndefined) return true;
                    continue;
                }
                if (element != kItem) return false;
                if (!Value(pos, end, length, !rawItems, depth)) return false;
                continue;
            }
            std::uint32_t length;
            bool sequence = false;
            if (explicitVr) {
                const char a = static_cast<char>(data[*pos + 4]), b = static_cast<char>(data[*pos + 5]);
                if (!KnownVr(a, b)) return false;
                if (LongForm(a, b)) {
                    if (end - *pos < 12) return false;
                    length = U32(*pos + 8);
                    *pos += 12;
                } else {
                    length = U16(*pos + 6);
                    *pos += 8;
                }
                sequence = (a == 'S' && b == 'Q') || length == kUndefinedLength;
            } else {
                length = U32(*pos + 4);
                *pos += 8;
                // Implicit VR has no type: a value that opens with an item tag is a sequence.
                sequence = length == kUndefinedLength ||
                           (length >= 8 && end - *pos >= 4 && U16(*pos) == kItemGroup && U16(*pos + 2) == kItem);
            }
            const bool pixelData = group == 0x7FE0 && element == 0x0010;
            // Encapsulated Pixel Data has undefined length (PS3.5 A.4); GDCM would otherwise read
            // the raw bytes as fragments with whatever lengths they hold.
            if (pixelData && encapsulated && length != kUndefinedLength) return false;
            if (pixelData && length == kUndefinedLength) {
                if (!Elements(pos, end, depth + 1, true, true)) return false;
                continue;
            }
            if (!Value(pos, end, length, sequence && !pixelData, depth)) return false;
        }
        return !inUndefined;
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

// SUCCESS when every length fits; the transfer syntax found in the meta header goes to *syntax.
int CheckLengths(Bytes data, std::string* syntax) {
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
    Scanner body{data, ts != kImplicitLittleEndian, ts == kExplicitBigEndian,
                 ts != kImplicitLittleEndian && ts != kExplicitBigEndian && ts != "1.2.840.10008.1.2.1"};
    return body.Elements(&pos, data.size(), 0, false) ? SUCCESS : ERROR_FILE_CORRUPT;
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

class DicomDecoder final : public Decoder {
public:
    explicit DicomDecoder(Bytes data) : data_(data), buffer_(data), stream_(&buffer_) {}

    int ReadInfo(ImageInfo* info) override {
        std::string syntax;
        const int checked = CheckLengths(data_, &syntax);
        if (checked != SUCCESS) return checked;
        SilenceGdcm();
        try {
            reader_.SetStream(stream_);
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
            info_ = *info;
            return CheckImageSize(info->width, info->height, info->bitsPerPixel);
        } catch (const std::exception&) {
            return ERROR_FILE_CORRUPT;
        }
    }

    int Decode(int colorOrder, BITMAPHANDLE* out) override {
        try {
            const gdcm::Image& image = reader_.GetImage();
            const unsigned long length = image.GetBufferLength();
            const std::size_t bytesPerSample = info_.bitsPerPixel == 16 ? 2 : 1;
            const std::size_t samples = info_.gray ? 1 : 3;
            const std::size_t frameBytes = static_cast<std::size_t>(info_.width) * info_.height * samples * bytesPerSample;
            if (length < frameBytes || length > MAX_IMAGE_BYTES * 4) return ERROR_FILE_CORRUPT;
            // GDCM copies uncompressed pixels without checking that the element holds them all.
            if (!image.GetTransferSyntax().IsEncapsulated()) {
                const gdcm::ByteValue* raw = image.GetDataElement().GetByteValue();
                if (!raw || raw->GetLength() < length) return ERROR_FILE_CORRUPT;
            }
            std::vector<char> pixels(length);
            if (!image.GetBuffer(pixels.data())) return ERROR_FILE_CORRUPT;
            const int status = AllocateDecoded(info_, colorOrder, out);
            if (status != SUCCESS) return status;
            const gdcm::PixelFormat& pf = image.GetPixelFormat();
            const bool invert = image.GetPhotometricInterpretation() == gdcm::PhotometricInterpretation::MONOCHROME1;
            const bool planar = !info_.gray && image.GetPlanarConfiguration() == 1;
            const unsigned stored = pf.GetBitsStored();
            const std::uint32_t mask = stored >= 32 ? 0xFFFFFFFFu : (1u << stored) - 1;
            const std::uint32_t signOffset = pf.GetPixelRepresentation() ? 1u << (stored - 1) : 0;
            const std::size_t plane = static_cast<std::size_t>(info_.width) * info_.height;
            for (int y = 0; y < out->Height; ++y) {
                std::uint8_t* row = out->Addr + static_cast<std::size_t>(y) * out->BytesPerLine;
                const std::size_t first = static_cast<std::size_t>(y) * out->Width;
                if (info_.gray) {
                    for (int x = 0; x < out->Width; ++x) {
                        std::uint32_t v;
                        if (bytesPerSample == 2) {
                            std::uint16_t word;
                            std::memcpy(&word, pixels.data() + 2 * (first + x), 2);
                            v = word;
                        } else {
                            v = static_cast<std::uint8_t>(pixels[first + x]);
                        }
                        // Signed samples are shifted into the unsigned range (two's complement
                        // of Bits Stored, PS3.5 8.1.1).
                        v = ((v & mask) + signOffset) & mask;
                        if (invert) v = mask - v;
                        if (bytesPerSample == 2) {
                            const auto word = static_cast<std::uint16_t>(v);
                            std::memcpy(row + 2 * x, &word, 2);
                        } else {
                            row[x] = static_cast<std::uint8_t>(v);
                        }
                    }
                } else {
                    const bool rgb = out->Order == ORDER_RGB;
                    for (int x = 0; x < out->Width; ++x) {
                        std::uint8_t c[3];
                        for (int k = 0; k < 3; ++k)
                            c[k] = static_cast<std::uint8_t>(planar ? pixels[k * plane + first + x] : pixels[3 * (first + x) + k]);
                        row[3 * x] = rgb ? c[0] : c[2];
                        row[3 * x + 1] = c[1];
                        row[3 * x + 2] = rgb ? c[2] : c[0];
                    }
                }
            }
            return SUCCESS;
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
    Bytes data_;
    MemoryBuffer buffer_;
    std::istream stream_;
    gdcm::ImageReader reader_;
    ImageInfo info_;
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

void PutEmptySequence(gdcm::DataSet& ds, std::uint16_t group, std::uint16_t element) {
    gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(gdcm::VR::SQ);
    de.SetValue(*sequence);
    de.SetVLToUndefined();
    ds.Replace(de);
}

std::string NewUid() {
    gdcm::UIDGenerator generator;
    return generator.Generate();
}

}  // namespace

bool SniffDicom(Bytes data) {
    return data.size() >= kPreambleBytes + 4 && data[128] == 'D' && data[129] == 'I' && data[130] == 'C' && data[131] == 'M';
}
std::unique_ptr<Decoder> CreateDicomDecoder(Bytes data) { return std::make_unique<DicomDecoder>(data); }

int EncodeDicom(const SampleImage& samples, const EncodeRequest& request, std::vector<std::uint8_t>* out) {
    SilenceGdcm();
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
        pixelData.SetVR(wide ? gdcm::VR::OW : gdcm::VR::OB);
        pixelData.SetByteValue(reinterpret_cast<const char*>(samples.data.data()),
                               static_cast<std::uint32_t>(samples.data.size()));
        image->SetDataElement(pixelData);

        // GDCM's RLE coder asserts when three byte planes do not divide the even-padded length.
        const bool rle = request.format == FILE_DICOM_RLE_GRAY || request.format == FILE_DICOM_RLE_COLOR;
        if (rle && !gray && samples.data.size() % 2) return ERROR_FEATURE_NOT_SUPPORTED;
        gdcm::ImageWriter writer;
        bool lossy = false;
        gdcm::TransferSyntax::TSType target = gdcm::TransferSyntax::ExplicitVRLittleEndian;
        switch (request.format) {
            case FILE_DICOM_RLE_GRAY:
            case FILE_DICOM_RLE_COLOR: target = gdcm::TransferSyntax::RLELossless; break;
            case FILE_DICOM_JPEG_GRAY:
            case FILE_DICOM_JPEG_COLOR:
                // Deep grey is kept exact (process 14, SV1); 8-bit data uses baseline.
                lossy = !wide;
                target = wide ? gdcm::TransferSyntax::JPEGLosslessProcess14_1 : gdcm::TransferSyntax::JPEGBaselineProcess1;
                break;
            case FILE_DICOM_J2K_GRAY:
            case FILE_DICOM_J2K_COLOR: target = gdcm::TransferSyntax::JPEG2000Lossless; break;
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
        const auto comment = [&](int index, const std::string& fallback) {
            const auto found = request.comments.find(index);
            return found == request.comments.end() ? fallback : found->second;
        };
        const char* sopClass = gray ? kIntraOralForPresentation : kSecondaryCapture;
        Put(ds, 0x0008, 0x0016, gdcm::VR::UI, sopClass);  // SOP Class UID
        Put(ds, 0x0008, 0x0018, gdcm::VR::UI, NewUid());  // SOP Instance UID
        Put(ds, 0x0008, 0x0008, gdcm::VR::CS, "ORIGINAL\\PRIMARY");  // Image Type
        Put(ds, 0x0008, 0x0012, gdcm::VR::DA, date);       // Instance Creation Date
        Put(ds, 0x0008, 0x0013, gdcm::VR::TM, time);       // Instance Creation Time
        Put(ds, 0x0008, 0x0020, gdcm::VR::DA, comment(CMNT_SZSTUDYDATE, date));
        Put(ds, 0x0008, 0x0023, gdcm::VR::DA, date);       // Content Date
        Put(ds, 0x0008, 0x0030, gdcm::VR::TM, comment(CMNT_SZSTUDYTIME, time));
        Put(ds, 0x0008, 0x0033, gdcm::VR::TM, time);       // Content Time
        Put(ds, 0x0008, 0x0050, gdcm::VR::SH, "");         // Accession Number
        Put(ds, 0x0008, 0x0060, gdcm::VR::CS, comment(CMNT_SZSERIESMODALITY, gray ? "IO" : "OT"));
        if (!gray) Put(ds, 0x0008, 0x0064, gdcm::VR::CS, "WSD");  // Conversion Type
        Put(ds, 0x0008, 0x0070, gdcm::VR::LO, "");         // Manufacturer
        Put(ds, 0x0008, 0x0090, gdcm::VR::PN, comment(CMNT_SZSTUDYREFERRINGPHYSICIAN, ""));
        Put(ds, 0x0010, 0x0010, gdcm::VR::PN, comment(CMNT_SZPATIENTNAME, ""));
        Put(ds, 0x0010, 0x0020, gdcm::VR::LO, comment(CMNT_SZPATIENTID, ""));
        Put(ds, 0x0010, 0x0030, gdcm::VR::DA, comment(CMNT_SZPATIENTBIRTHDATE, ""));
        Put(ds, 0x0010, 0x0040, gdcm::VR::CS, comment(CMNT_SZPATIENTSEX, ""));
        Put(ds, 0x0020, 0x000D, gdcm::VR::UI, comment(CMNT_SZSTUDYINSTANCE, NewUid()));
        Put(ds, 0x0020, 0x000E, gdcm::VR::UI, comment(CMNT_SZSERIESID, NewUid()));
        Put(ds, 0x0020, 0x0010, gdcm::VR::SH, "");         // Study ID
        Put(ds, 0x0020, 0x0011, gdcm::VR::IS, comment(CMNT_SZSERIESNUMBER, "1"));
        Put(ds, 0x0020, 0x0013, gdcm::VR::IS, "1");        // Instance Number
        Put(ds, 0x0020, 0x0020, gdcm::VR::CS, "");         // Patient Orientation
        if (const auto found = request.comments.find(CMNT_SZDESC); found != request.comments.end())
            Put(ds, 0x0020, 0x4000, gdcm::VR::LT, found->second);
        if (const auto found = request.comments.find(CMNT_SZDATETIMEORIGINAL); found != request.comments.end())
            Put(ds, 0x0008, 0x002A, gdcm::VR::DT, found->second);
        if (gray) {
            const unsigned maximum = (1u << stored) - 1;
            Put(ds, 0x0008, 0x0068, gdcm::VR::CS, "FOR PRESENTATION");  // Presentation Intent Type
            Put(ds, 0x0018, 0x1508, gdcm::VR::CS, "");     // Positioner Type
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
            PutEmptySequence(ds, 0x0040, 0x0555);          // Acquisition Context Sequence
        }
        Put(ds, 0x0028, 0x2110, gdcm::VR::CS, lossy ? "01" : "00");  // Lossy Image Compression
        std::ostringstream stream;
        writer.SetStream(stream);
        if (!writer.Write()) return ERROR_FILE_WRITE;
        const std::string bytes = stream.str();
        out->assign(bytes.begin(), bytes.end());
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (const std::exception&) {
        return ERROR_FILE_WRITE;
    }
}

}  // namespace engine::file
