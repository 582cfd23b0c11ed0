// Saving: choose the depth a format takes, convert the bitmap's samples to it and hand them to the
// format's encoder; files, global memory blocks and caller buffers all receive the same bytes.
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/Kernel.h"
#include "engine/file/Codec.h"

namespace engine::file {

// The format numbers and comment tags by their names.
using namespace ::filefmt;
using namespace ::cmnt;

namespace {

enum class Family { Bmp, Jpeg, TiffLzw, TiffJpeg, Png, DicomGray, DicomColor };

bool FamilyOf(int format, Family* family) {
    switch (format) {
        case FILE_BMP: *family = Family::Bmp; return true;
        case FILE_JPEG:
        case FILE_JPEG_422: *family = Family::Jpeg; return true;
        case FILE_TIF:
        case FILE_TIFLZW: *family = Family::TiffLzw; return true;
        case FILE_TIF_JPEG:
        case FILE_TIF_JPEG_422: *family = Family::TiffJpeg; return true;
        case FILE_PNG: *family = Family::Png; return true;
        case FILE_DICOM_GRAY:
        case FILE_DICOM_RLE_GRAY:
        case FILE_DICOM_JPEG_GRAY:
        case FILE_DICOM_J2K_GRAY: *family = Family::DicomGray; return true;
        case FILE_DICOM_COLOR:
        case FILE_DICOM_RLE_COLOR:
        case FILE_DICOM_JPEG_COLOR:
        case FILE_DICOM_J2K_COLOR: *family = Family::DicomColor; return true;
        default: return false;
    }
}

// The depth written when the caller asks for 0 (the bitmap's own), limited to what the format
// family takes.
int DefaultDepth(Family family, const BITMAPHANDLE& bitmap) {
    const bool gray = L_IsGrayScaleBitmap(&bitmap) != GRAY_NO;
    const bool deep = gray && bitmap.BitsPerPixel > 8;
    switch (family) {
        case Family::DicomColor: return 24;
        case Family::DicomGray: return deep ? 16 : 8;
        case Family::TiffLzw:
        case Family::Png: return gray ? (deep ? 16 : 8) : 24;
        default: return gray ? 8 : 24;
    }
}

bool TakesDepth(Family family, int bits) {
    switch (family) {
        case Family::DicomColor: return bits == 24;
        case Family::DicomGray: return bits == 8 || bits == 12 || bits == 16;
        case Family::TiffLzw:
        case Family::Png: return bits == 8 || bits == 12 || bits == 16 || bits == 24;
        default: return bits == 8 || bits == 24;
    }
}

}  // namespace

int Encode(const BITMAPHANDLE& bitmap, const EncodeRequest& request,
           std::vector<std::uint8_t>* out) {
    Family family;
    if (!FamilyOf(request.format, &family)) return ERROR_FILE_FORMAT;
    const int bits =
        request.bitsPerPixel == 0 ? DefaultDepth(family, bitmap) : request.bitsPerPixel;
    if (!TakesDepth(family, bits)) return ERROR_BITPERPIXEL;
    SampleImage image;
    const int converted =
        ToSamples(bitmap, bits == 24 ? 3 : 1, bits == 8 || bits == 24 ? 8 : 16, &image);
    if (converted != SUCCESS) return converted;
    EncodeRequest resolved = request;
    resolved.bitsPerPixel = bits;
    switch (family) {
        case Family::Bmp: return EncodeBmp(image, resolved, out);
        case Family::Jpeg: return EncodeJpeg(image, resolved, out);
        case Family::TiffLzw:
        case Family::TiffJpeg: return EncodeTiff(image, resolved, out);
        case Family::Png: return EncodePng(image, resolved, out);
        case Family::DicomGray:
        case Family::DicomColor: return EncodeDicom(image, resolved, out);
    }
    return ERROR_FILE_FORMAT;
}

namespace {
int EncodeBitmap(BITMAPHANDLE* bitmap, int format, int bitsPerPixel, int quality,
                 std::vector<std::uint8_t>* out) {
    if (!bitmap || !bitmap->Addr) return ERROR_NO_BITMAP;
    if (bitsPerPixel < 0) return ERROR_BITPERPIXEL;
    EncodeRequest request;
    request.format = format;
    request.bitsPerPixel = bitsPerPixel;
    request.quality = quality;
    request.comments = PendingComments();
    try {
        return Encode(*bitmap, request, out);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}
}  // namespace

}  // namespace engine::file

int L_SaveBitmap(const char* fileName, BITMAPHANDLE* bitmap, int format, int bitsPerPixel,
                 int qualityFactor, const SAVEFILEOPTION*) {
    if (!fileName || !*fileName) return ERROR_INV_PARAMETER;
    std::vector<std::uint8_t> bytes;
    const int status =
        engine::file::EncodeBitmap(bitmap, format, bitsPerPixel, qualityFactor, &bytes);
    if (status != SUCCESS) return status;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(fileName, "wb"));
    if (!file) return ERROR_FILE_OPEN;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return ERROR_FILE_WRITE;
    if (std::fclose(file.release()) != 0) return ERROR_FILE_WRITE;
    return SUCCESS;
}

int L_SaveBitmapMemory(HGLOBAL* handle, BITMAPHANDLE* bitmap, int format, int bitsPerPixel,
                       int qualityFactor, std::uint32_t* size, const SAVEFILEOPTION*) {
    if (!handle || !size) return ERROR_INV_PARAMETER;
    *handle = 0;
    std::vector<std::uint8_t> bytes;
    const int status =
        engine::file::EncodeBitmap(bitmap, format, bitsPerPixel, qualityFactor, &bytes);
    if (status != SUCCESS) return status;
    if (bytes.size() > 0xFFFFFFFFu) return ERROR_INV_SIZE;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return ERROR_NO_MEMORY;
    void* memory = GlobalLock(block);
    std::memcpy(memory, bytes.data(), bytes.size());
    GlobalUnlock(block);
    *handle = block;
    *size = static_cast<std::uint32_t>(bytes.size());
    return SUCCESS;
}

int L_SaveBitmapBuffer(std::uint8_t* buffer, std::size_t bufferSize, std::size_t* fileSize,
                       BITMAPHANDLE* bitmap, int format, int bitsPerPixel, int qualityFactor,
                       SAVEBUFFERCALLBACK callback, void* userData, const SAVEFILEOPTION*) {
    if (!fileSize) return ERROR_INV_PARAMETER;
    *fileSize = 0;
    std::vector<std::uint8_t> bytes;
    const int status =
        engine::file::EncodeBitmap(bitmap, format, bitsPerPixel, qualityFactor, &bytes);
    if (status != SUCCESS) return status;
    if (bytes.size() > bufferSize && callback) {
        const int answer = callback(bytes.size(), &buffer, &bufferSize, userData);
        if (answer != SUCCESS) return answer;
    }
    // A file cut short is worse than none: write it only whole.
    if (!buffer || bytes.size() > bufferSize) return ERROR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, bytes.data(), bytes.size());
    *fileSize = bytes.size();
    return SUCCESS;
}
