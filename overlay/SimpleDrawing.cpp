// Simple drawing for the host: frames and lines either into the image (persistent) or over the
// picture on screen, filled rectangles and text into the image.
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Effects.h"
#include "engine/Kernel.h"
#include "overlay/MarkFont.h"

namespace {

// 12- and 16-bit grey images become 24-bit colour before anything coloured is drawn into them.
void PromoteDeepGrey(BITMAPHANDLE* bitmap) {
    if (L_IsGrayScaleBitmap(bitmap) != GRAY_NO &&
        (bitmap->BitsPerPixel == 12 || bitmap->BitsPerPixel == 16)) {
        L_ColorResBitmap(bitmap, bitmap, BITMAPHANDLE_STRUCT_SIZE, 24, COLORRES_BYTEORDER_BGR,
                         nullptr, nullptr, 0, nullptr, nullptr);
    }
}

int RopFromPenMode(LONG penMode) { return penMode == 3 ? R2_NOT : R2_COPYPEN; }

// The fill and text colour. A host written for byte-swapped drawing on 24-bit RGB-ordered images
// passes any colour there (the top byte is dropped); elsewhere a colour with the top bit set is out
// of range. The engine's context honours the bitmap's byte order itself, so the colour is handed on
// as the host meant it.
COLORREF FillColorFor(const BITMAPHANDLE& bitmap, OLE_COLOR color) {
    if (bitmap.BitsPerPixel == 24 && bitmap.Order == ORDER_RGB) return color & 0xFFFFFFu;
    return static_cast<COLORREF>(Checked<std::int32_t>(color));
}

unsigned AlignmentBits(LONG textAlign) {
    static constexpr unsigned kBits[] = {0x000, 0x100, 0x200, 0x010, 0x110,
                                         0x210, 0x020, 0x120, 0x220};
    return textAlign >= 0 && textAlign <= 8 ? kBits[textAlign] : 0x000;
}

RECT RectFrom(LONG left, LONG top, LONG width, LONG height) {
    return RECT{left, top, CheckedAdd(left, width), CheckedAdd(top, height)};
}

// A pen selected into a context for the scope, with its raster operation and a hollow brush.
class SelectedPen {
public:
    SelectedPen(HDC dc, LONG width, COLORREF color, int rop2)
        : dc_(dc), pen_(CreatePen(PS_SOLID, width, color)) {
        previousPen_ = SelectObject(dc_, pen_);
        previousBrush_ = SelectObject(dc_, GetStockObject(HOLLOW_BRUSH));
        previousRop_ = SetROP2(dc_, rop2);
    }
    ~SelectedPen() {
        SetROP2(dc_, previousRop_);
        SelectObject(dc_, previousBrush_);
        SelectObject(dc_, previousPen_);
        DeleteObject(pen_);
    }
    SelectedPen(const SelectedPen&) = delete;
    SelectedPen& operator=(const SelectedPen&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ previousPen_ = nullptr, previousBrush_ = nullptr;
    int previousRop_ = R2_COPYPEN;
};

}  // namespace

HRESULT TaxLumora::DrawSimpleFrame(LONG Left, LONG Top, LONG Width, LONG Height, LONG PenWidth,
                                   OLE_COLOR PenColor, LONG PenMode, VARIANT_BOOL Persistent,
                                   LONG* Value) {
    return SafeCall([&] {
        if (!FromVariantBool(Persistent)) {
            const auto color = static_cast<COLORREF>(Checked<std::int32_t>(PenColor));
            const RECT rect = RectFrom(Left, Top, Width, Height);
            HDC canvas = MainPaintBox ? MainPaintBox->CanvasDC() : nullptr;
            if (canvas) {
                SelectedPen pen(canvas, PenWidth, color, RopFromPenMode(PenMode));
                Rectangle(canvas, rect.left, rect.top, rect.right, rect.bottom);
            }
            *Value = 0;
            return;
        }
        const int frameWidth = static_cast<int>(CheckedUnsigned(PenWidth));
        PromoteDeepGrey(&CurrentBitmap);
        const RECT rect = RectFrom(Left, Top, Width, Height);
        ScopedLeadDC dc(&CurrentBitmap);
        if (!dc.get()) {
            *Value = -2;
            WriteLog("axLumora.DrawSimpleFrame, LeadDC=0!");
            return;
        }
        *Value = EngineStatusToValue(
            L_EfxDrawFrame(dc.get(), &rect, 0, frameWidth, PenColor, 0, 0, 0, 0, 0, 0));
    });
}

HRESULT TaxLumora::DrawSimpleRectangle(LONG Left, LONG Top, LONG Width, LONG Height,
                                       OLE_COLOR FillColor, LONG* Value) {
    return SafeCall([&] {
        WriteLog("axLumora.DrawSimpleRectangle, Order:" + std::to_string(CurrentBitmap.Order) +
                 ", Bits:" + std::to_string(CurrentBitmap.BitsPerPixel) + ", Color:$" +
                 HexUpper(FillColor, 6));
        const RECT rect = RectFrom(Left, Top, Width, Height);
        ScopedLeadDC dc(&CurrentBitmap);
        const COLORREF color = FillColorFor(CurrentBitmap, FillColor);
        *Value = EngineStatusToValue(
            L_EfxPatternFillRect(dc.get(), &rect, EFX_PATTERN_SOLID, color, color));
    });
}

HRESULT TaxLumora::DrawSimpleText(BSTR Text, LONG Left, LONG Top, LONG Width, LONG Height,
                                  LONG TextAlign, LONG TextStyle, LONG TextAngle, BSTR FontName,
                                  LONG FontStyle, LONG FontSize, OLE_COLOR FontColor, LONG* Value) {
    return SafeCall([&] {
        std::string face = BstrToUtf8(FontName);
        if (face.empty()) face = "Comic Sans MS";
        const auto font =
            CreateMarkFont("DrawSimpleText", face, FontSize, Form.pixelsPerInch, FontStyle == 1);
        const std::string text = BstrToUtf8(Text);
        if (Width == 0 || Height == 0) {
            const TextExtent extent = font->Measure(text);
            if (Width == 0) Width = extent.cx;
            if (Height == 0) Height = extent.cy;
        }
        const RECT rect = RectFrom(Left, Top, Width, Height);
        PromoteDeepGrey(&CurrentBitmap);
        ScopedLeadDC dc(&CurrentBitmap);
        const COLORREF color = FillColorFor(CurrentBitmap, FontColor);
        const unsigned style =
            TextStyle >= 0 && TextStyle <= 11 ? static_cast<unsigned>(TextStyle) : 0;
        const unsigned flags = AlignmentBits(TextAlign) | style;
        *Value = EngineStatusToValue(L_EfxDrawRotated3dText(dc.get(), text.c_str(), &rect,
                                                            TextAngle, flags, 0, 0, color, 0,
                                                            0xFFFFFF, font.get(), nullptr));
    });
}

HRESULT TaxLumora::DrawSimpleLine(LONG x1, LONG y1, LONG x2, LONG y2, LONG PenWidth,
                                  OLE_COLOR PenColor, LONG PenMode, VARIANT_BOOL Persistent,
                                  LONG* Value) {
    return SafeCall([&] {
        InnerHandler(
            *Value,
            [&] {
                const int rop2 = RopFromPenMode(PenMode);
                if (!FromVariantBool(Persistent)) {
                    if (HDC canvas = MainPaintBox ? MainPaintBox->CanvasDC() : nullptr) {
                        SelectedPen pen(canvas, PenWidth, ColorToRGB(PenColor), rop2);
                        MoveToEx(canvas, x1, y1, nullptr);
                        LineTo(canvas, x2, y2);
                    }
                    *Value = 0;
                    return;
                }
                PromoteDeepGrey(&CurrentBitmap);
                ScopedLeadDC dc(&CurrentBitmap);
                if (!dc.get()) {
                    *Value = -2;
                    WriteLog("axLumora.DrawSimpleLine, LeadDC=0!");
                    return;
                }
                SelectedPen pen(dc.get(), PenWidth, PenColor & 0xFFFFFFu, rop2);
                MoveToEx(dc.get(), x1, y1, nullptr);
                LineTo(dc.get(), x2, y2);
                *Value = 0;
            },
            [](const std::string& message) { WriteLog("axLumora.DrawSimpleLine, " + message); });
    });
}
