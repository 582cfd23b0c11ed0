// The current bitmap as an engine handle (Bitmap), its depth (BitmapBits) and new empty images
// (CreateBitmap).
#include <cmath>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "platform/handles/HandleTable.h"

HRESULT TaxLumora::get_Bitmap(ULONG* Value) {
    return SafeCall([&] {
        WriteLog("axLumora.Get_Bitmap");
        *Value = ImagePresent() ? CurrentBitmapKey() : 0;
    });
}

HRESULT TaxLumora::put_Bitmap(ULONG Value) {
    return SafeCall([&] {
        WriteLog("axLumora.Set_Bitmap");
        const BITMAPHANDLE* source = LookupHandleAs<BITMAPHANDLE>(HandleKind::EngineBitmap, Value);
        // Writing the control's own handle back must not free the image before it is copied.
        ScopedBitmap selfCopy;
        if (source == &CurrentBitmap) {
            L_CopyBitmap(selfCopy.get(), source, BITMAPHANDLE_STRUCT_SIZE);
            source = selfCopy.get();
        }
        L_FreeBitmap(&CurrentBitmap);
        L_InitBitmap(&CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
        if (Value == 0) return;
        // An unknown handle copies nothing: the control is left without an image.
        if (source) L_CopyBitmap(&CurrentBitmap, source, BITMAPHANDLE_STRUCT_SIZE);
        ImageReplaced();
    });
}

HRESULT TaxLumora::get_BitmapBits(LONG* Value) {
    return SafeCall([&] { *Value = ImagePresent() ? CurrentBitmap.BitsPerPixel : -1; });
}

HRESULT TaxLumora::CreateBitmap(FLOAT fWidth, FLOAT fHeight, SHORT iBitsPerPixel, LONG iOrder,
                                LONG* Value) {
    return SafeCall([&] {
        L_FreeBitmap(&CurrentBitmap);
        *Value = L_InitBitmap(&CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
        if (*Value == SUCCESS) {
            const auto width = CheckedTrunc<std::uint32_t>(fWidth);
            const auto height = CheckedTrunc<std::uint32_t>(fHeight);
            *Value = L_CreateBitmap(&CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width,
                                    height, CheckedUnsigned(iBitsPerPixel), CheckedUnsigned(iOrder),
                                    nullptr, TOP_LEFT, nullptr, 0);
            UpdatePaintRects(true, true, true);
        }
        *Value = EngineStatusToValue(*Value);
    });
}
