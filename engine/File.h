// File operations of the engine: recognising, loading and saving image files.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"

struct SAVEFILEOPTION;  // per-save options; none are used yet

// Writes the bitmap to fileName (UTF-8) in the given FILE_TYPES format at bitsPerPixel,
// converting the depth where the format needs it. qualityFactor: the format's quality or
// compression setting (-1: the format's default).
int L_SaveBitmap(const char* fileName, BITMAPHANDLE* bitmap, int format, int bitsPerPixel,
                 int qualityFactor, const SAVEFILEOPTION* options);
