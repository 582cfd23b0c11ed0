// Annotations burned into bitmaps. The engine's annotation files are the graphic and text
// annotations of DICOM presentation states (PS3.3 C.10.5 Graphic Annotation Module, C.10.7
// Graphic Layer Module): a container holds what one file says, and realising draws it into a
// bitmap through a drawing context.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"
#include "platform/gdi/Gdi.h"

struct AnnContainer;  // engine-private: engine/annotation/AnnotationModel.h
using HANNOBJECT = AnnContainer*;

// Reads the annotations of a presentation-state file (UTF-8 name) into a new container.
// loadOptions: not used (null). SUCCESS; ERROR_FILENOTFOUND, ERROR_FILE_OPEN (also for what is
// not a regular file) or ERROR_FILE_READ; ERROR_FILE_FORMAT for a file that is not DICOM or not a
// presentation state; ERROR_FEATURE_NOT_SUPPORTED for a transfer syntax other than implicit or
// explicit VR little endian; ERROR_FILE_CORRUPT for files above 256 MiB, malformed data sets, and
// files whose annotation objects are all unusable. A presentation state without annotations loads
// as an empty container. On failure *container stays null.
int L_AnnLoad(const char* fileName, HANNOBJECT* container, const void* loadOptions);
// The same from a file's bytes in memory.
int L_AnnLoadMemory(const std::uint8_t* data, std::uint64_t size, HANNOBJECT* container);
// Releases a container; SUCCESS also for null.
int L_AnnDestroy(HANNOBJECT container);

// How object names are shown. The record is 120 bytes; the engine reads the fields below.
struct ANNNAMEOPTIONS {
    std::uint32_t uStructSize;  // 120
    std::uint32_t uFlags;       // which fields the call sets: ANNNAMEOPT_*
    std::uint8_t reserved1[28];
    std::uint32_t bShowName;  // offset 36: names drawn beside their objects
    std::uint8_t reserved2[80];
};
static_assert(sizeof(ANNNAMEOPTIONS) == 120);
constexpr std::uint32_t ANNNAMEOPT_SHOW = 0x10;  // bShowName is set by the call
constexpr unsigned ANNFLAG_RECURSE = 0x8;        // every object of the container

// Sets the name options of the container's objects. ERROR_INV_STRUCT_SIZE for another record
// size; ERROR_INV_PARAMETER for a null container or record.
int L_AnnSetNameOptions(HANNOBJECT container, const ANNNAMEOPTIONS* options, unsigned flags);

// Draws every object of the container into the bitmap, cut to bounds (displayed coordinates;
// null: the whole image). redactOnly: only redaction objects, which presentation states do not
// have, so nothing is drawn. ERROR_NO_BITMAP without an image; ERROR_INV_PARAMETER for a null
// container.
int L_AnnRealize(BITMAPHANDLE* bitmap, const RECT* bounds, HANNOBJECT container, int redactOnly);

// Destroys the container at the end of a scope.
class ScopedAnnContainer {
public:
    ScopedAnnContainer() = default;
    ~ScopedAnnContainer() { L_AnnDestroy(container_); }
    ScopedAnnContainer(const ScopedAnnContainer&) = delete;
    ScopedAnnContainer& operator=(const ScopedAnnContainer&) = delete;
    HANNOBJECT get() const { return container_; }
    HANNOBJECT* put() {
        L_AnnDestroy(container_);
        container_ = nullptr;
        return &container_;
    }

private:
    HANNOBJECT container_ = nullptr;
};
