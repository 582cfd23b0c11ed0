#include "engine/File.h"

// The codecs arrive with the file formats; until then every format is one the engine lacks.
int L_SaveBitmap(const char* fileName, BITMAPHANDLE* bitmap, int, int, int, const SAVEFILEOPTION*) {
    if (!fileName || !*fileName) return ERROR_INV_PARAMETER;
    if (!bitmap || !bitmap->Addr) return ERROR_NO_BITMAP;
    return ERROR_FEATURE_NOT_SUPPORTED;
}
