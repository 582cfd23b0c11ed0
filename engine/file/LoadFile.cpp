// Describing and loading image files and memory blocks: every input is read whole, recognised by
// content, described from its headers, and decoded into a scratch bitmap that replaces the
// caller's only once it is complete.
#include <algorithm>
#include <cstring>

#include "engine/Kernel.h"
#include "engine/file/Codec.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/BitmapStorage.h"

namespace {

using namespace engine::file;

void FillInfo(const ImageInfo& image, std::size_t sizeDisk, const char* name, FILEINFO* info) {
    std::memset(info, 0, sizeof *info);
    info->uStructSize = FILEINFO_STRUCT_SIZE;
    if (name) std::strncpy(info->Name, name, sizeof info->Name - 1);
    info->Format = image.format;
    info->Width = static_cast<std::int32_t>(image.width);
    info->Height = static_cast<std::int32_t>(image.height);
    info->BitsPerPixel = image.bitsPerPixel;
    const std::int64_t stride = engine::PaddedStride(image.width, image.bitsPerPixel);
    info->BytesPerLine = static_cast<std::int32_t>(stride);
    info->Order = image.bitsPerPixel == 16 ? ORDER_GRAY : image.bitsPerPixel == 24 ? ORDER_BGR : 0;
    info->XResolution = image.xResolution;
    info->YResolution = image.yResolution;
    info->Layers = 1;
    info->TotalPages = image.pages;
    info->PageNumber = 1;
    info->ViewPerspective = TOP_LEFT;
    info->LowBit = image.lowBit;
    info->HighBit = image.highBit;
    info->RescaleSlope = image.rescaleSlope;
    info->RescaleIntercept = image.rescaleIntercept;
    info->SizeDisk = static_cast<std::int64_t>(sizeDisk);
    info->SizeMem = stride * info->Height;
}

int DescribeBytes(Bytes data, const char* name, FILEINFO* info) {
    if (data.size() > MAX_FILE_BYTES) return ERROR_INV_SIZE;
    auto decoder = OpenDecoder(data);
    if (!decoder) return ERROR_FILE_FORMAT;
    ImageInfo image;
    const int status = decoder->ReadInfo(&image);
    if (status != SUCCESS) return status;
    const int sized = CheckImageSize(image.width, image.height, image.bitsPerPixel);
    if (sized != SUCCESS) return sized;
    // A file that would not load is not described either: the load retry waits on exactly this
    // for a file still being written.
    const int verified = decoder->Verify();
    if (verified != SUCCESS) return verified;
    FillInfo(image, data.size(), name, info);
    return SUCCESS;
}

int LoadBytes(Bytes data, const char* name, BITMAPHANDLE* bitmap, int bitsPerPixel, int order,
              FILEINFO* info) {
    if (!bitmap) return ERROR_NO_BITMAP;
    if (data.size() > MAX_FILE_BYTES) return ERROR_INV_SIZE;
    auto decoder = OpenDecoder(data);
    if (!decoder) return ERROR_FILE_FORMAT;
    ImageInfo image;
    int status = decoder->ReadInfo(&image);
    if (status != SUCCESS) return status;
    if (bitsPerPixel != 0 && bitsPerPixel != image.bitsPerPixel) return ERROR_BITPERPIXEL;
    const int colorOrder = (order == ORDER_RGB || order == ORDER_RGBORGRAY) ? ORDER_RGB : ORDER_BGR;
    ScopedBitmap decoded;
    status = decoder->Decode(colorOrder, decoded.get());
    if (status != SUCCESS) return status;
    if (info) FillInfo(image, data.size(), name, info);
    L_FreeBitmap(bitmap);
    *bitmap = *decoded;
    // The record now names the storage; the scratch handle must not free it.
    engine::ResetRecord(decoded.get(), 0, 0, 0);
    return SUCCESS;
}

}  // namespace

int L_FileInfo(const char* fileName, FILEINFO* info, unsigned structSize, unsigned,
               const LOADFILEOPTION*) {
    if (!info || !fileName) return ERROR_INV_PARAMETER;
    if (structSize != FILEINFO_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    FileBytes data;
    const int read = ReadWholeFile(fileName, &data);
    if (read != SUCCESS) return read;
    return DescribeBytes(data.View(), fileName, info);
}

int L_FileInfoMemory(const void* buffer, FILEINFO* info, unsigned structSize,
                     std::size_t bufferSize, unsigned, const LOADFILEOPTION*) {
    if (!info || !buffer) return ERROR_INV_PARAMETER;
    if (structSize != FILEINFO_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    return DescribeBytes(Bytes(static_cast<const std::uint8_t*>(buffer), bufferSize), nullptr,
                         info);
}

int L_LoadFile(const char* fileName, BITMAPHANDLE* bitmap, unsigned structSize, int bitsPerPixel,
               int order, unsigned, FILEREADCALLBACK, void*, const LOADFILEOPTION*,
               FILEINFO* info) {
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    FileBytes data;
    const int read = ReadWholeFile(fileName, &data);
    if (read != SUCCESS) return read;
    return LoadBytes(data.View(), fileName, bitmap, bitsPerPixel, order, info);
}

int L_LoadBitmapMemory(const void* buffer, BITMAPHANDLE* bitmap, unsigned structSize,
                       int bitsPerPixel, int order, std::size_t bufferSize, const LOADFILEOPTION*,
                       FILEINFO* info) {
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (!buffer) return ERROR_INV_PARAMETER;
    return LoadBytes(Bytes(static_cast<const std::uint8_t*>(buffer), bufferSize), nullptr, bitmap,
                     bitsPerPixel, order, info);
}
