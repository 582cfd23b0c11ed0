// Display settings kept as plain fields: the paint size mode, the rectangle switch, the four
// rectangles (kept as edges), the bitmap's resolution and the painting flags. None of them
// recomputes or repaints; the new values take effect at the next paint.
#include "control/cvaxLumoraMain.h"

namespace {

// Width and height are derived from the edges; setting one moves Right or Bottom.
std::int32_t Width(const EdgeRect& r) { return CheckedSub(r.Right, r.Left); }
std::int32_t Height(const EdgeRect& r) { return CheckedSub(r.Bottom, r.Top); }

}  // namespace

HRESULT TaxLumora::get_PAINTSIZEMODE(LONG* Value) {
    return SafeCall([&] { *Value = PaintSizeMode; });
}
HRESULT TaxLumora::put_PAINTSIZEMODE(LONG Value) {
    return SafeCall([&] { PaintSizeMode = Value; });
}

HRESULT TaxLumora::get_AutoSetRects(VARIANT_BOOL* Value) {
    return SafeCall([&] { *Value = ToVariantBool(AutoSetRects); });
}
HRESULT TaxLumora::put_AutoSetRects(VARIANT_BOOL Value) {
    return SafeCall([&] { AutoSetRects = FromVariantBool(Value); });
}

HRESULT TaxLumora::get_BackErase(VARIANT_BOOL* Value) {
    return SafeCall([&] { *Value = ToVariantBool(BackErase); });
}
HRESULT TaxLumora::put_BackErase(VARIANT_BOOL Value) {
    return SafeCall([&] { BackErase = FromVariantBool(Value); });
}

HRESULT TaxLumora::get_AutoRepaint(VARIANT_BOOL* Value) {
    return SafeCall([&] { *Value = ToVariantBool(AutoRepaint); });
}
HRESULT TaxLumora::put_AutoRepaint(VARIANT_BOOL Value) {
    return SafeCall([&] { AutoRepaint = FromVariantBool(Value); });
}

// Painting is never switched off: the setter stores nothing, the getter writes nothing.
HRESULT TaxLumora::get_EnablePaint(VARIANT_BOOL*) {
    return SafeCall([] {});
}
HRESULT TaxLumora::put_EnablePaint(VARIANT_BOOL) {
    return SafeCall([] {});
}

HRESULT TaxLumora::get_BitmapXRes(LONG* Value) {
    return SafeCall([&] { *Value = CurrentBitmap.XResolution; });
}
HRESULT TaxLumora::put_BitmapXRes(LONG Value) {
    return SafeCall([&] { CurrentBitmap.XResolution = Value; });
}
HRESULT TaxLumora::get_BitmapYRes(LONG* Value) {
    return SafeCall([&] { *Value = CurrentBitmap.YResolution; });
}
HRESULT TaxLumora::put_BitmapYRes(LONG Value) {
    return SafeCall([&] { CurrentBitmap.YResolution = Value; });
}

// The four edge properties of each rectangle: Left and Top move one edge (so the width and
// height change); Width and Height place Right and Bottom relative to Left and Top.
#define AX_RECT_PROPERTIES(Prefix, Field)                                      \
    HRESULT TaxLumora::get_##Prefix##Left(LONG* Value) {                       \
        return SafeCall([&] { *Value = Field.Left; });                         \
    }                                                                          \
    HRESULT TaxLumora::put_##Prefix##Left(LONG Value) {                        \
        return SafeCall([&] { Field.Left = Value; });                          \
    }                                                                          \
    HRESULT TaxLumora::get_##Prefix##Top(LONG* Value) {                        \
        return SafeCall([&] { *Value = Field.Top; });                          \
    }                                                                          \
    HRESULT TaxLumora::put_##Prefix##Top(LONG Value) {                         \
        return SafeCall([&] { Field.Top = Value; });                           \
    }                                                                          \
    HRESULT TaxLumora::get_##Prefix##Width(LONG* Value) {                      \
        return SafeCall([&] { *Value = Width(Field); });                       \
    }                                                                          \
    HRESULT TaxLumora::put_##Prefix##Width(LONG Value) {                       \
        return SafeCall([&] { Field.Right = CheckedAdd(Field.Left, Value); }); \
    }                                                                          \
    HRESULT TaxLumora::get_##Prefix##Height(LONG* Value) {                     \
        return SafeCall([&] { *Value = Height(Field); });                      \
    }                                                                          \
    HRESULT TaxLumora::put_##Prefix##Height(LONG Value) {                      \
        return SafeCall([&] { Field.Bottom = CheckedAdd(Field.Top, Value); }); \
    }

AX_RECT_PROPERTIES(Src, SrcRect)
AX_RECT_PROPERTIES(SrcClip, SrcClipRect)
AX_RECT_PROPERTIES(Dst, DstRect)
AX_RECT_PROPERTIES(DstClip, DstClipRect)
#undef AX_RECT_PROPERTIES
