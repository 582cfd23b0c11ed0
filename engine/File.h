// File operations of the engine: recognising, describing, loading and saving image files held on
// disk or in memory, file comments, and packed DIBs. Formats are recognised by content only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"
#include "platform/handles/GlobalMemory.h"

// File format numbers (the type library's FILE_TYPES values where it names them). In a namespace
// of their own: the control also sees the type library's enumerators of the same names.
namespace filefmt {
constexpr int FILE_TIF = 3;  // TIFF with a compression other than LZW or JPEG
constexpr int FILE_BMP = 6;
constexpr int FILE_JPEG = 10;
constexpr int FILE_TIF_JPEG = 11;
constexpr int FILE_TIFLZW = 17;
constexpr int FILE_JPEG_422 = 23;
constexpr int FILE_TIF_JPEG_422 = 24;
constexpr int FILE_PNG = 75;
constexpr int FILE_DICOM_GRAY = 89;
constexpr int FILE_DICOM_COLOR = 90;
constexpr int FILE_DICOM_RLE_GRAY = 125;
constexpr int FILE_DICOM_RLE_COLOR = 126;
constexpr int FILE_DICOM_JPEG_GRAY = 127;
constexpr int FILE_DICOM_JPEG_COLOR = 128;
constexpr int FILE_DICOM_J2K_GRAY = 293;
constexpr int FILE_DICOM_J2K_COLOR = 294;
}  // namespace filefmt

// The structure size of FILEINFO that callers pass.
constexpr unsigned FILEINFO_STRUCT_SIZE = 1144;

// What L_FileInfo reports about a file. Fields the format does not carry are 0.
struct FILEINFO {
    std::uint32_t uStructSize;
    char Name[260];       // the file name given, truncated; empty for memory
    std::int32_t Format;  // FILE_* number
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t BitsPerPixel;  // as a loaded bitmap holds it: 1, 4, 8, 16 or 24
    std::int32_t BytesPerLine;
    std::int32_t Order;        // ORDER_GRAY for grey above 8 bits, ORDER_BGR for colour, else 0
    std::int32_t XResolution;  // dots per inch
    std::int32_t YResolution;
    std::int32_t Layers;
    std::int32_t TotalPages;
    std::int32_t PageNumber;
    std::int32_t ViewPerspective;
    std::int32_t LowBit;  // significant bits of grey data; HighBit -1: none recorded
    std::int32_t HighBit;
    std::int64_t SizeDisk;  // bytes of the file
    std::int64_t SizeMem;   // bytes the image needs in memory (BytesPerLine × Height)
    std::uint32_t Flags;
    std::uint32_t Reserved0;
    // The modality rescale of deep grey samples as loaded: bitmap sample × RescaleSlope +
    // RescaleIntercept is the file's value in its own units (Hounsfield units for CT). Slope 1 and
    // intercept 0 where the file gives none.
    double RescaleSlope;
    double RescaleIntercept;
    std::uint8_t Reserved[784];
};
static_assert(sizeof(FILEINFO) == FILEINFO_STRUCT_SIZE);

// Load options. Flags is the fourth 32-bit field.
struct LOADFILEOPTION {
    std::uint32_t uStructSize;
    std::int32_t XResolution;
    std::int32_t YResolution;
    std::uint32_t Flags;  // ELO_*
    std::int32_t PageNumber;
    std::int32_t Reserved[11];
};
// Always load into newly allocated memory (the only way this engine loads).
constexpr std::uint32_t ELO_NEW_MEMORY = 0x10;

struct SAVEFILEOPTION {
    std::uint32_t uStructSize;
    std::int32_t Reserved[15];
};

// Load flags of L_LoadFile (the loaders always allocate and store; the bits are accepted).
constexpr unsigned LOADFILE_ALLOCATE = 0x01;
constexpr unsigned LOADFILE_STORE = 0x02;
constexpr unsigned LOADFILE_REPLACE = 0x40;

// Inputs larger than this are refused before anything is allocated.
constexpr std::uint64_t MAX_FILE_BYTES = 1ull << 30;
// Images whose width or height exceeds this, or whose pixel memory would exceed MAX_IMAGE_BYTES,
// are refused with ERROR_INV_SIZE before their pixels are allocated.
constexpr std::int64_t MAX_IMAGE_DIMENSION = 32768;
constexpr std::uint64_t MAX_IMAGE_BYTES = 1ull << 30;

// Describes a file. info->uStructSize is set; structSize must be FILEINFO_STRUCT_SIZE.
int L_FileInfo(const char* fileName, FILEINFO* info, unsigned structSize, unsigned flags,
               const LOADFILEOPTION* options);
int L_FileInfoMemory(const void* buffer, FILEINFO* info, unsigned structSize,
                     std::size_t bufferSize, unsigned flags, const LOADFILEOPTION* options);

// Reads an image and replaces what bitmap held, on success only: a failure leaves the bitmap as
// it was. bitsPerPixel 0 keeps the file's depth (the only depth offered). order chooses the byte
// order of colour images (ORDER_RGB/ORDER_RGBORGRAY: R, G, B; otherwise B, G, R); grey images
// stay grey. info, when given, receives the file's description.
using FILEREADCALLBACK = int (*)(FILEINFO*, BITMAPHANDLE*, void*);
int L_LoadFile(const char* fileName, BITMAPHANDLE* bitmap, unsigned structSize, int bitsPerPixel,
               int order, unsigned flags, FILEREADCALLBACK callback, void* userData,
               const LOADFILEOPTION* options, FILEINFO* info);
int L_LoadBitmapMemory(const void* buffer, BITMAPHANDLE* bitmap, unsigned structSize,
                       int bitsPerPixel, int order, std::size_t bufferSize,
                       const LOADFILEOPTION* options, FILEINFO* info);

// Writes the bitmap in the given format at bitsPerPixel (0: the bitmap's own), converting the
// depth where needed: 12/16-bit grey to 8 bits through LowBit/HighBit, grey to colour and back.
// qualityFactor: the format's quality or compression setting, see the README (-1 or 0: default).
// The pending comments (L_SetComment) go into formats that carry them.
int L_SaveBitmap(const char* fileName, BITMAPHANDLE* bitmap, int format, int bitsPerPixel,
                 int qualityFactor, const SAVEFILEOPTION* options);
// Same, into a new global memory block that the caller owns (*handle, *size bytes).
int L_SaveBitmapMemory(HGLOBAL* handle, BITMAPHANDLE* bitmap, int format, int bitsPerPixel,
                       int qualityFactor, std::uint32_t* size, const SAVEFILEOPTION* options);
// Same, into the caller's buffer. When the file does not fit, callback (if any) is called with
// the required size and may enlarge the buffer (set *buffer and *bufferSize). If it still does
// not fit nothing is written, *fileSize is 0 and the result is ERROR_BUFFER_TOO_SMALL (or the
// callback's own failure code).
using SAVEBUFFERCALLBACK = int (*)(std::size_t requiredSize, std::uint8_t** buffer,
                                   std::size_t* bufferSize, void* userData);
int L_SaveBitmapBuffer(std::uint8_t* buffer, std::size_t bufferSize, std::size_t* fileSize,
                       BITMAPHANDLE* bitmap, int format, int bitsPerPixel, int qualityFactor,
                       SAVEBUFFERCALLBACK callback, void* userData, const SAVEFILEOPTION* options);

// Comment indexes the savers and readers know (the type library's CMNT values where it names them).
namespace cmnt {
constexpr int CMNT_SZDATETIME = 2;
constexpr int CMNT_SZDESC = 5;
constexpr int CMNT_SZPATIENTNAME = 10;
constexpr int CMNT_SZPATIENTID = 11;
constexpr int CMNT_SZPATIENTBIRTHDATE = 12;
constexpr int CMNT_SZPATIENTSEX = 13;
constexpr int CMNT_SZSTUDYINSTANCE = 14;
constexpr int CMNT_SZSTUDYDATE = 15;
constexpr int CMNT_SZSTUDYTIME = 16;
constexpr int CMNT_SZSTUDYREFERRINGPHYSICIAN = 17;
constexpr int CMNT_SZSERIESMODALITY = 18;
constexpr int CMNT_SZSERIESID = 19;
constexpr int CMNT_SZSERIESNUMBER = 20;
constexpr int CMNT_SZDATETIMEORIGINAL = 22;
}  // namespace cmnt
constexpr int CMNT_LAST = 255;

// Size of comment `index` of a file including its terminating zero (buffer null, length 0), or
// fills buffer with it. 0 when the file lacks the comment, negative when it cannot be read.
int L_ReadFileComment(const char* fileName, int index, std::uint8_t* buffer, unsigned bufferLength,
                      const LOADFILEOPTION* options);
// Sets the pending comment `index` (process-wide) that later saves write; text of length bytes
// including its terminating zero. text null or length 0 clears it. Returns 0 when accepted,
// ERROR_INV_PARAMETER for an index outside 0 … CMNT_LAST.
int L_SetComment(int index, const std::uint8_t* text, unsigned length);

// A Windows BITMAPINFOHEADER (40 bytes, little-endian).
#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// Replaces the bitmap by the image of a packed DIB: header (with its colour table or bit-field
// masks after biSize bytes) and pixel bits. bitsSize: bytes readable at bits; rows that would
// lie past it are refused (ERROR_FILE_CORRUPT). A failure leaves the bitmap as it was.
int L_ConvertFromDIB(BITMAPHANDLE* bitmap, unsigned structSize, const BITMAPINFOHEADER* header,
                     std::size_t headerBytes, const std::uint8_t* bits, std::size_t bitsSize);
