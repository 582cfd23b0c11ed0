// Engine-private pieces of the codecs: the decoder and encoder interfaces, the codec table, the
// canonical sample buffer savers write from, and the pending comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/File.h"
#include "engine/PixelView.h"

namespace engine::file {

using Bytes = std::span<const std::uint8_t>;

// What a decoder learns from the headers alone.
struct ImageInfo {
    int format = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitsPerPixel = 0;  // 1, 4, 8, 16 (grey) or 24
    bool gray = true;
    int xResolution = 0;
    int yResolution = 0;
    int lowBit = 0;
    int highBit = -1;
    int pages = 1;
    double rescaleSlope = 1;  // bitmap sample to the file's value (FILEINFO)
    double rescaleIntercept = 0;
};

class Decoder {
public:
    virtual ~Decoder() = default;
    // Reads the headers. SUCCESS or a failure status.
    virtual int ReadInfo(ImageInfo* info) = 0;
    // Decodes into *out (a fresh record; not freed by the decoder). order: ORDER_RGB or
    // ORDER_BGR for colour images. Called after ReadInfo succeeded.
    virtual int Decode(int colorOrder, BITMAPHANDLE* out) = 0;
    // Checks, without keeping pixels, the data that Decode would refuse (cut short or
    // inconsistent), so that describing a file refuses what loading refuses. Called after ReadInfo
    // succeeded, instead of Decode.
    virtual int Verify() { return SUCCESS; }
    // The file's comment `index`, if it carries one.
    virtual bool Comment(int, std::string*) { return false; }
};

struct CodecEntry {
    const char* name;
    bool (*sniff)(Bytes data);
    std::unique_ptr<Decoder> (*create)(Bytes data);
};
// The codecs, in the order they are tried.
std::span<const CodecEntry> Codecs();
// The decoder for data, or null when no codec recognises it.
std::unique_ptr<Decoder> OpenDecoder(Bytes data);

// Image as a saver needs it: top-down rows without padding, channels 1 (grey) or 3 (R, G, B),
// 8 or 16 bits per sample (16 in native byte order).
struct SampleImage {
    int width = 0;
    int height = 0;
    int channels = 1;
    int bitsPerSample = 8;
    int significantBits = 8;  // of grey 16-bit data: HighBit + 1 of the source
    int xResolution = 0;
    int yResolution = 0;
    std::vector<std::uint8_t> data;
    // The bitmap's own rows, when they already are these samples back to back; data is empty then.
    const std::uint8_t* borrowed = nullptr;
    std::size_t RowBytes() const {
        return static_cast<std::size_t>(width) * channels * (bitsPerSample / 8);
    }
    std::size_t Size() const { return RowBytes() * static_cast<std::size_t>(height); }
    const std::uint8_t* Samples() const { return borrowed ? borrowed : data.data(); }
    const std::uint8_t* Row(int y) const { return Samples() + RowBytes() * y; }
};
// Converts bitmap to channels × bitsPerSample (16-bit grey to 8 through LowBit/HighBit, grey to
// colour and back). SUCCESS or a failure status.
int ToSamples(const BITMAPHANDLE& bitmap, int channels, int bitsPerSample, SampleImage* out);

// The pending comments, copied for one save.
using Comments = std::map<int, std::string>;
Comments PendingComments();

struct EncodeRequest {
    int format = 0;
    int bitsPerPixel = 0;  // after resolving 0 to the bitmap's depth
    int quality = 0;
    Comments comments;
};
// Encodes bitmap into out. SUCCESS or a failure status.
int Encode(const BITMAPHANDLE& bitmap, const EncodeRequest& request,
           std::vector<std::uint8_t>* out);

// Per-format encoders (called by Encode with converted samples).
int EncodeBmp(const SampleImage& image, const EncodeRequest& request,
              std::vector<std::uint8_t>* out);
int EncodePng(const SampleImage& image, const EncodeRequest& request,
              std::vector<std::uint8_t>* out);
int EncodeJpeg(const SampleImage& image, const EncodeRequest& request,
               std::vector<std::uint8_t>* out);
int EncodeTiff(const SampleImage& image, const EncodeRequest& request,
               std::vector<std::uint8_t>* out);
int EncodeDicom(const SampleImage& image, const EncodeRequest& request,
                std::vector<std::uint8_t>* out);

bool SniffBmp(Bytes data);
bool SniffPng(Bytes data);
bool SniffJpeg(Bytes data);
bool SniffTiff(Bytes data);
bool SniffDicom(Bytes data);
std::unique_ptr<Decoder> CreateBmpDecoder(Bytes data);
std::unique_ptr<Decoder> CreatePngDecoder(Bytes data);
std::unique_ptr<Decoder> CreateJpegDecoder(Bytes data);
std::unique_ptr<Decoder> CreateTiffDecoder(Bytes data);
std::unique_ptr<Decoder> CreateDicomDecoder(Bytes data);

// Checks a decoded geometry against the caps, before pixels are allocated.
int CheckImageSize(std::int64_t width, std::int64_t height, int bitsPerPixel);
// A new image record for a decoder: grey 8-bit images get a grey-ramp palette.
// palette: for 1/4/8-bit images that are not grey (count entries).
int AllocateDecoded(const ImageInfo& info, int colorOrder, BITMAPHANDLE* out,
                    const RGBQUAD* palette = nullptr, unsigned paletteCount = 0);

// Decodes a DIB: header bytes (BITMAPINFOHEADER and what follows it up to the bits: masks and
// colour table) and pixel bits. Used for BMP files and packed DIBs alike.
int ReadDibInfo(Bytes header, ImageInfo* info);
int DecodeDib(Bytes header, Bytes bits, int colorOrder, BITMAPHANDLE* out);

// Released file buffers become the thread's spare (up to 64 MiB), so that loading one file after
// another reuses memory instead of faulting in fresh pages for every file.
struct SpareReturner {
    std::size_t capacity = 0;
    void operator()(std::uint8_t* block) const;
};
// A whole file's bytes. Read, not mapped: a file another program truncates while we decode it
// must not bring the process down.
struct FileBytes {
    std::unique_ptr<std::uint8_t[], SpareReturner>
        data;  // not zeroed first: every byte is read into
    std::size_t size = 0;
    Bytes View() const { return Bytes(data.get(), size); }
};
// Reads a whole file (up to MAX_FILE_BYTES). SUCCESS, ERROR_FILENOTFOUND, ERROR_FILE_OPEN,
// ERROR_FILE_READ or ERROR_INV_SIZE.
int ReadWholeFile(const char* fileName, FileBytes* out);

}  // namespace engine::file
