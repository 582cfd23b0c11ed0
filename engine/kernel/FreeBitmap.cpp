#include "engine/Kernel.h"
#include "engine/kernel/BitmapStorage.h"

// Idempotent: a record whose storage is already gone (a second free, a stale copy of a freed
// record) is only cleared.
int L_FreeBitmap(BITMAPHANDLE* bitmap) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    engine::ReleaseStorage(*bitmap);
    engine::ResetRecord(bitmap, 0, 0, 0);
    return SUCCESS;
}
