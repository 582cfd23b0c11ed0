// The codec table and the pieces every codec shares.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "engine/file/Codec.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/GreyRamp.h"

namespace engine::file {

namespace {
// Most specific signatures first; DICOM's preamble can hold anything, so its tag is checked at
// offset 128 and it comes first.
constexpr std::array kCodecs{
    CodecEntry{"DICOM", SniffDicom, CreateDicomDecoder},
    CodecEntry{"PNG", SniffPng, CreatePngDecoder},
    CodecEntry{"JPEG", SniffJpeg, CreateJpegDecoder},
    CodecEntry{"TIFF", SniffTiff, CreateTiffDecoder},
    CodecEntry{"BMP", SniffBmp, CreateBmpDecoder},
};
}  // namespace

std::span<const CodecEntry> Codecs() { return kCodecs; }

std::unique_ptr<Decoder> OpenDecoder(Bytes data) {
    for (const CodecEntry& codec : kCodecs)
        if (codec.sniff(data)) return codec.create(data);
    return nullptr;
}

int CheckImageSize(std::int64_t width, std::int64_t height, int bitsPerPixel) {
    if (width <= 0 || height <= 0 || width > MAX_IMAGE_DIMENSION || height > MAX_IMAGE_DIMENSION)
        return ERROR_INV_SIZE;
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32) * 4;
    if (stride * static_cast<std::uint64_t>(height) > MAX_IMAGE_BYTES) return ERROR_INV_SIZE;
    return SUCCESS;
}

int AllocateDecoded(const ImageInfo& info, int colorOrder, BITMAPHANDLE* out,
                    const RGBQUAD* palette, unsigned paletteCount) {
    const int status = CheckImageSize(info.width, info.height, info.bitsPerPixel);
    if (status != SUCCESS) return status;
    ImageSpec spec;
    spec.width = info.width;
    spec.height = info.height;
    spec.bits = info.bitsPerPixel;
    std::array<RGBQUAD, 256> ramp{};
    if (info.bitsPerPixel == 16) {
        spec.order = ORDER_GRAY;
    } else if (info.bitsPerPixel == 24) {
        spec.order = colorOrder == ORDER_RGB ? ORDER_RGB : ORDER_BGR;
    } else {
        spec.order = ORDER_BGR;
        if (info.gray) {
            const unsigned count = 1u << info.bitsPerPixel;
            FillGreyRamp(ramp.data(), count);
            spec.palette = ramp.data();
            spec.paletteCount = count;
        } else {
            spec.palette = palette;
            spec.paletteCount = paletteCount;
        }
    }
    const int allocated = AllocateImage(spec, out);
    if (allocated != SUCCESS) return allocated;
    out->XResolution = info.xResolution;
    out->YResolution = info.yResolution;
    if (info.bitsPerPixel == 16) {
        out->LowBit = info.lowBit;
        out->HighBit = info.highBit;
    }
    return SUCCESS;
}

namespace {
constexpr std::size_t kMaxSpareBytes = 64u << 20;
struct Spare {
    std::unique_ptr<std::uint8_t[]> block;
    std::size_t capacity = 0;
};
thread_local Spare spare;
}  // namespace

void SpareReturner::operator()(std::uint8_t* block) const {
    std::unique_ptr<std::uint8_t[]> owned(block);
    if (capacity <= kMaxSpareBytes && capacity > spare.capacity) {
        spare.block = std::move(owned);
        spare.capacity = capacity;
    }
}

int ReadWholeFile(const char* fileName, FileBytes* out) {
    if (!fileName || !*fileName) return ERROR_INV_PARAMETER;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(fileName, "rb"));
    if (!file) return ERROR_FILENOTFOUND;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return ERROR_FILE_READ;
    const long size = std::ftell(file.get());
    if (size < 0) return ERROR_FILE_READ;
    if (static_cast<std::uint64_t>(size) > MAX_FILE_BYTES) return ERROR_INV_SIZE;
    std::rewind(file.get());
    out->size = static_cast<std::size_t>(size);
    const std::size_t needed = std::max<std::size_t>(out->size, 1);
    if (spare.capacity >= needed) {
        out->data = {spare.block.release(), SpareReturner{spare.capacity}};
        spare.capacity = 0;
    } else {
        out->data = {std::make_unique_for_overwrite<std::uint8_t[]>(needed).release(),
                     SpareReturner{needed}};
    }
    if (size > 0 && std::fread(out->data.get(), 1, out->size, file.get()) != out->size)
        return ERROR_FILE_READ;
    return SUCCESS;
}

}  // namespace engine::file
