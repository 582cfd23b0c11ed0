// The DICOM decoder: files the pre-parse scanner passed are read by GDCM (RLE frames by our own
// decoder), the first frame placed in the bitmap as it holds samples, and the file's window kept
// as the bitmap's paint window.
#include <gdcmAttribute.h>
#include <gdcmImageReader.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmSequenceOfItems.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <istream>
#include <optional>
#include <stdexcept>
#include <streambuf>

#include "engine/Display.h"
#include "engine/file/DicomElementStream.h"
#include "engine/file/DicomGreyValues.h"
#include "engine/file/DicomShared.h"
#include "engine/file/LibraryMessages.h"
#include "engine/file/MemoryStreamBuffer.h"
#include "engine/file/RleLossless.h"

namespace engine::file {

// The format numbers by their names.
using namespace ::filefmt;

namespace {

using stream::kPreambleBytes;

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
void MapStoredSamples(Sample* samples, int count, std::uint32_t mask32, std::uint32_t signOffset32,
                      bool invert) {
    const auto mask = static_cast<Sample>(mask32), signOffset = static_cast<Sample>(signOffset32);
    if (mask == static_cast<Sample>(~Sample{0}) && signOffset == 0 && !invert) return;
    for (int x = 0; x < count; ++x) {
        const auto v =
            static_cast<Sample>((static_cast<Sample>(samples[x] & mask) + signOffset) & mask);
        samples[x] = invert ? static_cast<Sample>(mask - v) : v;
    }
}

enum class YbrRange { None, Full, Partial };

YbrRange YbrRangeOf(const gdcm::PhotometricInterpretation& pi) {
    switch (pi) {
        case gdcm::PhotometricInterpretation::YBR_FULL:
        case gdcm::PhotometricInterpretation::YBR_FULL_422: return YbrRange::Full;
        case gdcm::PhotometricInterpretation::YBR_PARTIAL_422:
        case gdcm::PhotometricInterpretation::YBR_PARTIAL_420: return YbrRange::Partial;
        default: return YbrRange::None;
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
    const auto clamp = [](int v) {
        return static_cast<std::uint8_t>(std::clamp((v + kHalf) >> 16, 0, 255));
    };
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
    std::string value =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
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
    for (const DicomTag tag : {tags::kImagerPixelSpacing, tags::kPixelSpacing}) {
        const std::string text = TextOf(ds, tag);
        const int rows = ResolutionOfSpacing(ValueAt(text, 0)),
                  columns = ResolutionOfSpacing(ValueAt(text, 1));
        if (rows > 0 && columns > 0) {
            info->yResolution = rows;
            info->xResolution = columns;
            return;
        }
    }
}

bool IsJpeg2000(const std::string& syntax) {
    return syntax == "1.2.840.10008.1.2.4.90" || syntax == "1.2.840.10008.1.2.4.91";
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
        const auto center = DecimalOf(ValueAt(TextOf(ds, tags::kWindowCenter), 0));
        const auto width = DecimalOf(ValueAt(TextOf(ds, tags::kWindowWidth), 0));
        function_ = TextOf(ds, tags::kVoiLutFunction);
        if (function_.empty()) function_ = "LINEAR";
        const bool exact = function_ == "LINEAR_EXACT" || function_ == "SIGMOID";
        if (center && width && (function_ == "LINEAR" || exact) &&
            (exact ? *width > 0 : *width >= 1)) {
            center_ = *center;
            width_ = *width;
            window_ = true;
            return true;
        }
        return ReadLut(ds, signedSamples);
    }

    double operator()(double x) const {
        if (!window_) {
            const double index =
                std::clamp(std::floor(x) - first_, 0.0, static_cast<double>(lut_.size() - 1));
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
        if (!ds.FindDataElement(TagOf(tags::kVoiLutSequence))) return false;
        const gdcm::SmartPointer<gdcm::SequenceOfItems> items =
            ds.GetDataElement(TagOf(tags::kVoiLutSequence)).GetValueAsSQ();
        if (!items || items->GetNumberOfItems() == 0) return false;
        const gdcm::DataSet& lut = items->GetItem(1).GetNestedDataSet();
        if (!lut.FindDataElement(TagOf(tags::kLutDescriptor)) ||
            !lut.FindDataElement(TagOf(tags::kLutData)))
            return false;
        const gdcm::ByteValue* descriptor =
            lut.GetDataElement(TagOf(tags::kLutDescriptor)).GetByteValue();
        const gdcm::ByteValue* data = lut.GetDataElement(TagOf(tags::kLutData)).GetByteValue();
        if (!descriptor || descriptor->GetLength() < 6 || !data) return false;
        const auto word = [](const char* at) {
            return static_cast<std::uint16_t>(static_cast<std::uint8_t>(at[0]) |
                                              static_cast<std::uint8_t>(at[1]) << 8);
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
        int checked = ScanDicom(data_, &syntax, &attributes_);
        if (checked == ERROR_FEATURE_NOT_SUPPORTED && syntax == kDeflatedLittleEndian) {
            // Read from here on as the explicit VR little endian file it inflates to.
            if (const int inflated = InflateDicom(data_, &inflated_); inflated != SUCCESS)
                return inflated;
            data_ = inflated_;
            buffer_.Reset(data_);
            syntax.clear();
            checked = ScanDicom(data_, &syntax, &attributes_);
        }
        if (checked == ERROR_FILE_CORRUPT && IsJpeg2000(syntax) &&
            UnwrapJp2Frames(data_, attributes_, &unwrapped_) == SUCCESS) {
            data_ = unwrapped_;
            buffer_.Reset(data_);
            checked = ScanDicom(data_, &syntax, &attributes_);
        }
        if (checked != SUCCESS) return checked;
        InstallLibraryMessageRouting();  // GDCM's warnings go to the debug log
        try {
            reader_.SetStream(stream_);
            if (*attributes_.photometric == "PALETTE COLOR") {
                // GDCM's image reader builds a lookup table of its own and asserts on common
                // palettes (a first mapped value other than 0, 8-bit entries one to a word): the
                // data set alone is read, and native little-endian pixels only are decoded.
                if (syntax != kExplicitLittleEndian && syntax != kImplicitLittleEndian)
                    return ERROR_FEATURE_NOT_SUPPORTED;
                if (!reader_.gdcm::Reader::Read()) return ERROR_FILE_CORRUPT;
                palette_ = true;
                return DescribePalette(info);
            }
            if (*attributes_.bitsAllocated == 32) return DescribeWideGrey(syntax, info);
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
            if (gray && pf.GetBitsAllocated() != 8 && pf.GetBitsAllocated() != 16)
                return ERROR_FEATURE_NOT_SUPPORTED;
            if (pf.GetBitsStored() < 1 || pf.GetBitsStored() > pf.GetBitsAllocated())
                return ERROR_FILE_CORRUPT;
            info->gray = gray;
            info->bitsPerPixel = gray ? (pf.GetBitsAllocated() == 16 ? 16 : 8) : 24;
            if (info->bitsPerPixel == 16) {
                // The data set's Bits Stored wins over a codestream's precision (JPEG 2000 keeps
                // 16).
                unsigned stored = pf.GetBitsStored();
                const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
                if (ds.FindDataElement(TagOf(tags::kBitsStored))) {
                    gdcm::Attribute<0x0028, 0x0101> bitsStored;
                    bitsStored.SetFromDataElement(ds.GetDataElement(TagOf(tags::kBitsStored)));
                    if (bitsStored.GetValue() >= 1 && bitsStored.GetValue() <= 16)
                        stored = bitsStored.GetValue();
                }
                info->lowBit = 0;
                info->highBit = static_cast<int>(stored) - 1;
                RecordRescale(stored, pf.GetPixelRepresentation() != 0,
                              pi == gdcm::PhotometricInterpretation::MONOCHROME1, info);
            }
            const gdcm::TransferSyntax ts = image.GetTransferSyntax();
            if (ts == gdcm::TransferSyntax::RLELossless)
                info->format = gray ? FILE_DICOM_RLE_GRAY : FILE_DICOM_RLE_COLOR;
            else if (ts.IsEncapsulated() && (ts == gdcm::TransferSyntax::JPEG2000Lossless ||
                                             ts == gdcm::TransferSyntax::JPEG2000))
                info->format = gray ? FILE_DICOM_J2K_GRAY : FILE_DICOM_J2K_COLOR;
            else if (ts.IsEncapsulated())
                info->format = gray ? FILE_DICOM_JPEG_GRAY : FILE_DICOM_JPEG_COLOR;
            else info->format = gray ? FILE_DICOM_GRAY : FILE_DICOM_COLOR;
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
            const int decoded = palette_ ? DecodePalette(out)
                                : rle_   ? DecodeRle(out)
                                : wide_  ? DecodeWideGrey(out)
                                         : DecodeWithGdcm(out);
            if (decoded == SUCCESS) ApplyFileWindow(out);
            return decoded;
        } catch (const std::bad_alloc&) {
            return ERROR_NO_MEMORY;
        } catch (const std::exception&) {
            return ERROR_FILE_CORRUPT;
        }
    }

    bool Comment(int index, std::string* text) override {
        for (const CommentAttribute& attribute : kCommentAttributes) {
            if (attribute.index != index) continue;
            const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
            if (!ds.FindDataElement(TagOf(attribute.tag))) return false;
            *text = TextOf(ds, attribute.tag);
            return true;
        }
        return false;
    }

private:
    // How the decoded samples of the first frame lie and what they mean.
    struct Samples {
        const char* data = nullptr;  // the bitmap's pixels when decoded in place
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

    int DescribePalette(ImageInfo* info) {
        const PixelAttributes& a = attributes_;
        info->width = *a.columns;
        info->height = *a.rows;
        info->gray = false;
        info->bitsPerPixel = 24;
        info->format = FILE_DICOM_COLOR;
        info->pages = a.frames && !a.frames->empty() ? static_cast<int>(std::stoul(*a.frames)) : 1;
        ReadResolution(reader_.GetFile().GetDataSet(), info);
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    int DescribeRle(ImageInfo* info) {
        const PixelAttributes& a = attributes_;
        const auto pi = gdcm::PhotometricInterpretation::GetPIType(a.photometric->c_str());
        const bool gray = *a.samples == 1 && (pi == gdcm::PhotometricInterpretation::MONOCHROME1 ||
                                              pi == gdcm::PhotometricInterpretation::MONOCHROME2);
        if (!gray && !(*a.samples == 3 && *a.bitsAllocated == 8))
            return ERROR_FEATURE_NOT_SUPPORTED;
        info->width = *a.columns;
        info->height = *a.rows;
        info->gray = gray;
        info->bitsPerPixel = gray ? (*a.bitsAllocated == 16 ? 16 : 8) : 24;
        if (info->bitsPerPixel == 16) {
            info->lowBit = 0;
            info->highBit = static_cast<int>(a.bitsStored.value_or(16)) - 1;
            RecordRescale(a.bitsStored.value_or(16), a.pixelRepresentation.value_or(0) == 1,
                          pi == gdcm::PhotometricInterpretation::MONOCHROME1, info);
        }
        info->format = gray ? FILE_DICOM_RLE_GRAY : FILE_DICOM_RLE_COLOR;
        info->pages = a.frames && !a.frames->empty() ? static_cast<int>(std::stoul(*a.frames)) : 1;
        ReadResolution(reader_.GetFile().GetDataSet(), info);
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }

    // RLE by our own decoder, first frame only; its segments were checked before GDCM read the
    // file.
    int DecodeRle(BITMAPHANDLE* out) {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        if (!ds.FindDataElement(TagOf(tags::kPixelData))) return ERROR_FILE_CORRUPT;
        const gdcm::SequenceOfFragments* fragments =
            ds.GetDataElement(TagOf(tags::kPixelData)).GetSequenceOfFragments();
        const gdcm::ByteValue* frame = fragments && fragments->GetNumberOfFragments() > 0
                                           ? fragments->GetFragment(0).GetByteValue()
                                           : nullptr;
        if (!frame) return ERROR_FILE_CORRUPT;
        std::vector<char> pixels(FrameBytes());
        if (!DecodeRleLossless(Bytes(reinterpret_cast<const std::uint8_t*>(frame->GetPointer()),
                                     frame->GetLength()),
                               static_cast<std::size_t>(info_.width) * info_.height,
                               static_cast<int>(Channels()), static_cast<int>(BytesPerSample()),
                               reinterpret_cast<std::uint8_t*>(pixels.data())))
            return ERROR_FILE_CORRUPT;
        Samples samples;
        samples.data = pixels.data();
        samples.pi = gdcm::PhotometricInterpretation::GetPIType(attributes_.photometric->c_str());
        samples.stored = attributes_.bitsStored.value_or(*attributes_.bitsAllocated);
        samples.isSigned = attributes_.pixelRepresentation.value_or(0) == 1;
        Place(samples, out);  // the segments are planes whatever Planar Configuration says
        return SUCCESS;
    }

    // Red, green and blue lookup tables of a PALETTE COLOR image, as 8-bit values (PS3.3
    // C.7.6.3.1.5): 16-bit entries keep their high byte; 8-bit ones come one to a word or packed.
    struct Palette {
        std::array<std::vector<std::uint8_t>, 3> tables;
        std::array<int, 3> first{};
    };
    bool ReadPalette(Palette* palette) const {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        const auto word = [](const char* at) {
            return static_cast<unsigned>(static_cast<std::uint8_t>(at[0]) |
                                         static_cast<std::uint8_t>(at[1]) << 8);
        };
        for (std::uint16_t k = 0; k < 3; ++k) {
            const gdcm::Tag descriptorTag(0x0028, tags::kRedPaletteDescriptor.element + k);
            const gdcm::Tag dataTag(0x0028, tags::kRedPaletteData.element + k);
            if (!ds.FindDataElement(descriptorTag) || !ds.FindDataElement(dataTag)) return false;
            const gdcm::ByteValue* descriptor = ds.GetDataElement(descriptorTag).GetByteValue();
            const gdcm::ByteValue* data = ds.GetDataElement(dataTag).GetByteValue();
            if (!descriptor || descriptor->GetLength() != 6 || !data) return false;
            const std::size_t entries =
                word(descriptor->GetPointer()) == 0 ? 65536 : word(descriptor->GetPointer());
            const unsigned bits = word(descriptor->GetPointer() + 4);
            const bool packed = data->GetLength() < entries * 2;
            if (data->GetLength() < (packed ? entries : entries * 2)) return false;
            palette->first[k] = static_cast<int>(word(descriptor->GetPointer() + 2));
            std::vector<std::uint8_t>& table = palette->tables[k];
            table.resize(entries);
            const char* values = data->GetPointer();
            for (std::size_t i = 0; i < entries; ++i)
                table[i] =
                    packed ? static_cast<std::uint8_t>(values[i])
                           : static_cast<std::uint8_t>(bits == 16 ? word(values + 2 * i) >> 8
                                                                  : word(values + 2 * i) & 0xFF);
        }
        return true;
    }

    // The native indices of the first frame through the palette into the 24-bit bitmap; indices
    // outside a table take its first or last entry.
    int DecodePalette(BITMAPHANDLE* out) {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        const std::size_t indexBytes = *attributes_.bitsAllocated / 8;
        const std::size_t count = static_cast<std::size_t>(info_.width) * info_.height;
        if (!ds.FindDataElement(TagOf(tags::kPixelData))) return ERROR_FILE_CORRUPT;
        const gdcm::ByteValue* raw = ds.GetDataElement(TagOf(tags::kPixelData)).GetByteValue();
        if (!raw || raw->GetLength() < count * indexBytes) return ERROR_FILE_CORRUPT;
        Palette palette;
        if (!ReadPalette(&palette)) return ERROR_FILE_CORRUPT;
        const unsigned stored = attributes_.bitsStored.value_or(*attributes_.bitsAllocated);
        const unsigned mask = (1u << std::min(stored, 16u)) - 1;
        const bool rgb = out->Order == ORDER_RGB;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw->GetPointer());
        PixelView target;
        if (const int status = AccessPixels(out, &target); status != SUCCESS) return status;
        for (int y = 0; y < out->Height; ++y) {
            std::uint8_t* row = target.RowBytes(y);
            for (int x = 0; x < out->Width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * out->Width + x;
                const int index = static_cast<int>(
                    (indexBytes == 2 ? bytes[2 * i] | bytes[2 * i + 1] << 8 : bytes[i]) & mask);
                std::uint8_t c[3];
                for (int k = 0; k < 3; ++k) {
                    const std::vector<std::uint8_t>& table = palette.tables[k];
                    const int entry =
                        std::clamp(index - palette.first[k], 0, static_cast<int>(table.size()) - 1);
                    c[k] = table[static_cast<std::size_t>(entry)];
                }
                row[3 * x] = rgb ? c[0] : c[2];
                row[3 * x + 1] = c[1];
                row[3 * x + 2] = rgb ? c[2] : c[0];
            }
        }
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
        samples.undoYbr =
            !(ts == gdcm::TransferSyntax::JPEG2000Lossless || ts == gdcm::TransferSyntax::JPEG2000);
        const std::size_t rowBytes =
            static_cast<std::size_t>(info_.width) * Channels() * BytesPerSample();
        std::vector<char> pixels;
        if (!ts.IsEncapsulated() && samples.pi == gdcm::PhotometricInterpretation::YBR_FULL_422) {
            // Subsampled native pixels, which GDCM would copy as they are.
            if (!raw || info_.gray) return ERROR_FILE_CORRUPT;
            pixels = ExpandYbr422(*raw, info_.width, info_.height);
            samples.data = pixels.data();
        } else {
            if (length < frameBytes || length > kMaxDecodedBytes) return ERROR_FILE_CORRUPT;
            // GDCM copies uncompressed pixels without checking that the element holds them all.
            if (!ts.IsEncapsulated() && (!raw || raw->GetLength() < length))
                return ERROR_FILE_CORRUPT;
            PixelView target;
            if (const int status = AccessPixels(out, &target); status != SUCCESS) return status;
            // One frame whose rows lie back to back in the bitmap is decoded straight into it.
            if (length == frameBytes && !samples.planar &&
                static_cast<std::size_t>(target.stride) == rowBytes) {
                if (!image.GetBuffer(reinterpret_cast<char*>(target.data)))
                    return ERROR_FILE_CORRUPT;
                samples.data = reinterpret_cast<const char*>(target.data);
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
        if (!info_.gray || info_.bitsPerPixel != 16 || mapping_.stored < 1 || mapping_.stored > 16)
            return;
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        VoiTransform voi;
        if (!voi.Read(ds, mapping_.isSigned)) return;
        const std::uint32_t entries = 1u << mapping_.stored;
        std::vector<RGBQUAD> table(entries);
        for (std::uint32_t sample = 0; sample < entries; ++sample) {
            const double value = info_.rescaleSlope * sample + info_.rescaleIntercept;
            double level = std::clamp(voi(value), 0.0, 1.0);
            if (mapping_.invert) level = 1.0 - level;  // MONOCHROME1: the VOI minimum shows white
            const auto grey = static_cast<std::uint8_t>(std::lround(level * 255));
            table[sample] = RGBQUAD{grey, grey, grey, 0};
        }
        if (L_WindowLevel(out, 0, static_cast<int>(mapping_.stored) - 1, table.data(), entries,
                          0) == SUCCESS)
            out->Flags |= BITMAP_FLAG_FILE_WINDOW;
    }

    // The file's modality rescale carried over to the bitmap's samples (FILEINFO reports it; the
    // file's window is painted through it).
    LinearRescale FileRescale() const {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        LinearRescale file{
            DecimalOf(ValueAt(TextOf(ds, tags::kRescaleSlope), 0)).value_or(1.0),
            DecimalOf(ValueAt(TextOf(ds, tags::kRescaleIntercept), 0)).value_or(0.0)};
        if (file.slope == 0) file.slope = 1;
        return file;
    }
    void RecordRescale(unsigned stored, bool isSigned, bool invert, ImageInfo* info) const {
        if (stored < 1 || stored > 16) return;
        const std::int64_t mask = (std::int64_t{1} << stored) - 1;
        const LinearRescale r =
            BitmapRescale(FileRescale(), isSigned ? (mask + 1) / 2 : 0, mask, invert);
        info->rescaleSlope = r.slope;
        info->rescaleIntercept = r.intercept;
    }

    // 32-bit grey, native little endian: the data set alone is read, and the samples are narrowed
    // to 16 bits by their first frame's range, the rescale taking a narrowed sample back to the
    // file's value.
    int DescribeWideGrey(const std::string& syntax, ImageInfo* info) {
        const PixelAttributes& a = attributes_;
        const auto pi = gdcm::PhotometricInterpretation::GetPIType(a.photometric->c_str());
        if (*a.samples != 1 || (syntax != kExplicitLittleEndian && syntax != kImplicitLittleEndian))
            return ERROR_FEATURE_NOT_SUPPORTED;
        if (!reader_.gdcm::Reader::Read()) return ERROR_FILE_CORRUPT;
        const gdcm::ByteValue* raw = WidePixels();
        const std::size_t count = std::size_t{*a.rows} * *a.columns;
        if (!raw || raw->GetLength() < count * 4) return ERROR_FILE_CORRUPT;
        wide_ = true;
        const unsigned stored = a.bitsStored.value_or(32);
        const bool isSigned = a.pixelRepresentation.value_or(0) == 1;
        narrowing_ = PlanNarrowing(WideWords(*raw), count, stored, isSigned);
        info->width = *a.columns;
        info->height = *a.rows;
        info->gray = true;
        info->bitsPerPixel = 16;
        info->lowBit = 0;
        info->highBit = 15;
        info->format = FILE_DICOM_GRAY;
        info->pages = a.frames && !a.frames->empty() ? static_cast<int>(std::stoul(*a.frames)) : 1;
        const LinearRescale toStored = narrowing_.ToStored(), file = FileRescale();
        const LinearRescale r = BitmapRescale(
            {file.slope * toStored.slope, file.slope * toStored.intercept + file.intercept}, 0,
            0xFFFF, pi == gdcm::PhotometricInterpretation::MONOCHROME1);
        info->rescaleSlope = r.slope;
        info->rescaleIntercept = r.intercept;
        ReadResolution(reader_.GetFile().GetDataSet(), info);
        info_ = *info;
        return CheckImageSize(info->width, info->height, info->bitsPerPixel);
    }
    const gdcm::ByteValue* WidePixels() const {
        const gdcm::DataSet& ds = reader_.GetFile().GetDataSet();
        if (!ds.FindDataElement(TagOf(tags::kPixelData))) return nullptr;
        return ds.GetDataElement(TagOf(tags::kPixelData)).GetByteValue();
    }
    static std::span<const std::uint8_t> WideWords(const gdcm::ByteValue& raw) {
        return {reinterpret_cast<const std::uint8_t*>(raw.GetPointer()), raw.GetLength()};
    }
    int DecodeWideGrey(BITMAPHANDLE* out) {
        const gdcm::ByteValue* raw = WidePixels();
        if (!raw) return ERROR_FILE_CORRUPT;
        const bool invert = *attributes_.photometric == "MONOCHROME1";
        const unsigned stored = attributes_.bitsStored.value_or(32);
        const bool isSigned = attributes_.pixelRepresentation.value_or(0) == 1;
        for (int y = 0; y < out->Height; ++y)
            NarrowSamples(WideWords(*raw), static_cast<std::size_t>(y) * out->Width, stored,
                          isSigned, narrowing_, invert,
                          {reinterpret_cast<std::uint16_t*>(
                               out->Addr + static_cast<std::size_t>(y) * out->BytesPerLine),
                           static_cast<std::size_t>(out->Width)});
        mapping_ = StoredMapping{16, false, invert};
        return SUCCESS;
    }

    // The first frame's samples into the bitmap's rows, as the bitmap holds them.
    void Place(const Samples& samples, BITMAPHANDLE* out) {
        const std::size_t bytesPerSample = BytesPerSample();
        const std::size_t rowBytes =
            static_cast<std::size_t>(info_.width) * Channels() * bytesPerSample;
        const bool invert = samples.pi == gdcm::PhotometricInterpretation::MONOCHROME1;
        const YbrRange ybr = samples.undoYbr ? YbrRangeOf(samples.pi) : YbrRange::None;
        const unsigned stored = samples.stored;
        mapping_ = StoredMapping{stored, samples.isSigned, invert};
        const std::uint32_t mask = stored >= 32 ? 0xFFFFFFFFu : (1u << stored) - 1;
        const std::uint32_t signOffset = samples.isSigned ? 1u << (stored - 1) : 0;
        const std::size_t plane = static_cast<std::size_t>(info_.width) * info_.height;
        const char* source = samples.data;
        PixelView target;
        if (AccessPixels(out, &target) != SUCCESS) return;  // AllocateDecoded made it
        for (int y = 0; y < out->Height; ++y) {
            std::uint8_t* row = target.RowBytes(y);
            const std::size_t first = static_cast<std::size_t>(y) * out->Width;
            if (info_.gray) {
                if (source != reinterpret_cast<const char*>(target.data))
                    std::memcpy(row, source + first * bytesPerSample, rowBytes);
                if (bytesPerSample == 2)
                    MapStoredSamples(reinterpret_cast<std::uint16_t*>(row), out->Width, mask,
                                     signOffset, invert);
                else MapStoredSamples(row, out->Width, mask, signOffset, invert);
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
    std::vector<std::uint8_t> inflated_;   // a deflated file's data set, inflated
    std::vector<std::uint8_t> unwrapped_;  // JP2-wrapped frames made bare codestreams
    engine::MemoryStreamBuffer buffer_;
    std::istream stream_;
    gdcm::ImageReader reader_;
    ImageInfo info_;
    PixelAttributes attributes_;
    bool rle_ = false;   // read by our decoder from the data set alone
    bool wide_ = false;  // 32-bit grey, narrowed to 16 bits
    Narrowing narrowing_;
    bool palette_ = false;  // PALETTE COLOR, decoded to 24-bit colour
    StoredMapping mapping_;
};

}  // namespace

bool SniffDicom(Bytes data) {
    return data.size() >= kPreambleBytes + 4 && data[128] == 'D' && data[129] == 'I' &&
           data[130] == 'C' && data[131] == 'M';
}
std::unique_ptr<Decoder> CreateDicomDecoder(Bytes data) {
    return std::make_unique<DicomDecoder>(data);
}

}  // namespace engine::file
