// Showing the current bitmap: the paint box's buffer-paint handler, the paint message of the
// control's own window, the paint palette, repaint requests, painting into a host's device
// context and the paint lookup table.
#include "control/cvaxLumoraMain.h"
#include "engine/Display.h"
#include "platform/handles/HandleTable.h"
#include "platform/handles/MemoryRegions.h"

namespace {

RECT ToRect(const EdgeRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// Selects a palette into a context for the scope and puts the previous one back.
class SelectedPalette {
public:
    SelectedPalette(HDC dc, HPALETTE palette, BOOL background, BOOL restoreBackground)
        : dc_(dc), restoreBackground_(restoreBackground) {
        if (!palette) return;
        previous_ = SelectPalette(dc, palette, background);
        realized_ = RealizePalette(dc);
        selected_ = true;
    }
    ~SelectedPalette() {
        if (selected_) SelectPalette(dc_, previous_, restoreBackground_);
    }
    SelectedPalette(const SelectedPalette&) = delete;
    SelectedPalette& operator=(const SelectedPalette&) = delete;
    UINT realized() const { return realized_; }

private:
    HDC dc_;
    HPALETTE previous_ = nullptr;
    BOOL restoreBackground_;
    UINT realized_ = 0;
    bool selected_ = false;
};

struct PaletteDeleter {
    void operator()(Palette* palette) const { DeletePalette(palette); }
};

}  // namespace

void TaxLumora::PaintImage(form::PaintBox& box) {
    HDC dc = box.CanvasDC();
    if (!dc) return;
    const RECT whole{0, 0, box.Width(), box.Height()};
    const COLORREF background = ColorToRGB(Form.color);
    if (!ImagePresent()) {
        FillSolidRect(dc, whole, background);
        return;
    }
    SelectedPalette palette(dc, static_cast<HPALETTE>(PaintPalette), TRUE, TRUE);
    if (BackErase) FillSolidRect(dc, whole, background);
    const RECT src = ToRect(SrcRect), srcClip = ToRect(SrcClipRect);
    const RECT dst = ToRect(DstRect), dstClip = ToRect(DstClipRect);
    L_PaintDC(dc, &CurrentBitmap, &src, &srcClip, &dst, &dstClip, SRCCOPY);
}

void TaxLumora::PaintMessage() {
    if (!ImagePresent()) return;
    HDC dc = Form.GetDC();
    SelectedPalette palette(dc, static_cast<HPALETTE>(PaintPalette), TRUE, TRUE);
    const RECT src = ToRect(SrcRect), srcClip = ToRect(SrcClipRect);
    const RECT dst = ToRect(DstRect), dstClip = ToRect(DstClipRect);
    L_PaintDC(dc, &CurrentBitmap, &src, &srcClip, &dst, &dstClip, SRCCOPY);
}

bool TaxLumora::RealizePaintPalette(bool background) {
    if (PaintPalette) {
        DeletePalette(static_cast<HPALETTE>(PaintPalette));
        PaintPalette = nullptr;
    }
    if (!MainPaintBox || !MainPaintBox->CanvasDC()) return false;
    // The paint box's buffer is what the display shows, so the palette is made for it.
    HDC dc = MainPaintBox->CanvasDC();
    HPALETTE palette = L_CreatePaintPalette(dc, &CurrentBitmap);
    PaintPalette = palette;
    UINT changed = 0;
    if (palette) {
        SelectedPalette selected(dc, palette, background ? TRUE : FALSE, TRUE);
        changed = selected.realized();
    }
    if (changed == 0) return false;
    RequestRepaint();
    return true;
}

void TaxLumora::RefreshPaintPalette(bool background) { RealizePaintPalette(background); }

void TaxLumora::RequestRepaint() {
    if (MainPaintBox) MainPaintBox->Invalidate();
}

HRESULT TaxLumora::Repaint() {
    return SafeCall([&] { RequestRepaint(); });
}

HRESULT TaxLumora::ForceRepaint() {
    return SafeCall([&] {
        UpdatePaintRects(true, true, true);
        if (MainPaintBox) MainPaintBox->Repaint();
    });
}

HRESULT TaxLumora::get_BackColor(LONG* Value) {
    return SafeCall([&] { *Value = static_cast<LONG>(Form.color); });
}
HRESULT TaxLumora::put_BackColor(LONG Value) {
    return SafeCall([&] { Form.color = static_cast<OLE_COLOR>(Value); });
}

HRESULT TaxLumora::RenderDC(ULONGLONG HandleDC, TaxLumora_Rect SrcRectArg,
                            TaxLumora_Rect SrcClipRectArg, TaxLumora_Rect DstRectArg,
                            TaxLumora_Rect DstClipRectArg, ULONG uROP3, ULONGLONG, LONG* Value) {
    return SafeCall([&] {
        HDC dc = DeviceContextFromHandle(CheckedLow32(HandleDC));
        std::unique_ptr<Palette, PaletteDeleter> palette(L_CreatePaintPalette(dc, &CurrentBitmap));
        SelectedPalette selected(dc, palette.get(), FALSE, FALSE);
        RECT rects[4];
        const RECT* given[4];
        const TaxLumora_Rect* records[4] = {&SrcRectArg, &SrcClipRectArg, &DstRectArg,
                                            &DstClipRectArg};
        for (int i = 0; i < 4; ++i) {
            rects[i] =
                RECT{records[i]->Left, records[i]->Top, records[i]->Right, records[i]->Bottom};
            given[i] = FromVariantBool(records[i]->bEmpty) ? nullptr : &rects[i];
        }
        *Value = EngineStatusToValue(
            L_PaintDC(dc, &CurrentBitmap, given[0], given[1], given[2], given[3], uROP3));
    });
}

HRESULT TaxLumora::SetPaintLUT(ULONGLONG pLUT, LONG LUTLength, LONG*) {
    return SafeCall([&] {
        const std::uint32_t length = CheckedUnsigned(LUTLength);
        // A table running past the end of a known buffer is refused before it is read.
        if (pLUT != 0 &&
            !ReadableWithinKnownRegion(pLUT, std::uint64_t{length} * sizeof(RGBQUAD))) {
            WriteLog("axLumora.SetPaintLUT, Table of " + std::to_string(length) +
                     " entries runs past the end of its buffer");
            return;
        }
        int lowBit = CurrentBitmap.PaintLowBit, highBit = CurrentBitmap.PaintHighBit;
        // A bitmap that never had a paint window is shown over its whole sample range; keep
        // showing that range, or the engine would refuse the table for a window of no bits.
        if (highBit < lowBit) {
            lowBit = 0;
            highBit = CurrentBitmap.BitsPerPixel - 1;
        }
        const int status = L_WindowLevel(&CurrentBitmap, lowBit, highBit,
                                         reinterpret_cast<const RGBQUAD*>(pLUT), length, 0);
        if (status != SUCCESS)
            WriteLog("axLumora.SetPaintLUT, L_WindowLevel Res:" + std::to_string(status));
    });
}
