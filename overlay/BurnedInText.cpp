// Text burned into the image: the watermark, the left and right texts along the bottom and the
// caption band. The watermark and the bottom texts are drawn into one plane of a colour
// separation and merged back; grey images separate into planes of their own depth, so pixels
// outside the text keep every bit.
#include <algorithm>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Effects.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"
#include "overlay/MarkFont.h"

namespace {

constexpr unsigned kCentred = EFX_TEXT_HCENTER | EFX_TEXT_VCENTER;

// Four plane bitmaps, freed with the scope.
struct Planes {
    ScopedBitmap bitmaps[4];
    BITMAPHANDLE* handles[4] = {bitmaps[0].get(), bitmaps[1].get(), bitmaps[2].get(),
                                bitmaps[3].get()};
};

std::string SizeLine(const char* member, const RECT& box) {
    return std::string("axLumora.") + member + ", Width:" + std::to_string(box.right) +
           ", Height:" + std::to_string(box.bottom);
}

}  // namespace

// Marks are placed by the destination size; a destination larger than the image (a zoomed view)
// would put them beyond its edge, where they are lost, so the image's own size bounds it.
static void MarkArea(const TaxLumora& control, std::int32_t* width, std::int32_t* height) {
    const auto& dst = control.DstRect;
    *width = std::min(CheckedSub(dst.Right, dst.Left), ViewWidth(control.CurrentBitmap));
    *height = std::min(CheckedSub(dst.Bottom, dst.Top), ViewHeight(control.CurrentBitmap));
}

HRESULT TaxLumora::PutWaterMark(BSTR Txt) {
    return SafeCall([&] {
        if (!ImagePresent()) return;
        const std::string text = BstrToUtf8(Txt);
        const int bitsPerPixel = CurrentBitmap.BitsPerPixel;
        const int order = CurrentBitmap.Order;

        Planes planes;
        L_ColorSeparateBitmap(&CurrentBitmap, planes.handles, BITMAPHANDLE_STRUCT_SIZE, COLORSEP_CMYK);
        ScopedLeadDC dc(planes.handles[3]);
        const auto font = CreateMarkFont("PutWaterMark", "Comic Sans MS",
                                         CurrentBitmap.Width / 50 + 6, Form.pixelsPerInch);
        const TextExtent extent = font->Measure(text);
        std::int32_t dw, dh;
        MarkArea(*this, &dw, &dh);
        const RECT box{CheckedSub(CheckedSub(dw, extent.cx), 10), CheckedSub(CheckedSub(dh, extent.cy), 10),
                       CheckedSub(dw, 10), CheckedSub(dh, 10)};
        WriteLog(SizeLine("PutWaterMark", box));
        L_EfxDraw3dText(dc.get(), text.c_str(), &box, kCentred | EFX_STYLE_NORMAL, 0, 0, 0xFA6432, 0,
                        0xFFFFFF, font.get(), nullptr);
        L_ColorMergeBitmap(&CurrentBitmap, planes.handles, BITMAPHANDLE_STRUCT_SIZE, COLORSEP_CMYK);
        if (CurrentBitmap.ViewPerspective != TOP_LEFT)
            L_ChangeBitmapViewPerspective(nullptr, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TOP_LEFT);
        if (bitsPerPixel == 16 && order == ORDER_GRAY) L_GrayScaleBitmap(&CurrentBitmap, 16);
        RefreshPaintPalette(false);
    });
}

HRESULT TaxLumora::RenderLR(LONG FontSize, LONG ExtraPixelsFromBottom, BSTR TxtL, BSTR TxtR,
                            ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        if (!ImagePresent()) {
            *Value = EngineStatusToValue(ERROR_NO_BITMAP);
            return;
        }
        Planes planes;
        L_ColorSeparateBitmap(&CurrentBitmap, planes.handles, BITMAPHANDLE_STRUCT_SIZE, COLORSEP_HLS);
        ScopedLeadDC dc(planes.handles[1]);
        const auto font = CreateMarkFont("RenderLR", "Arial", FontSize, Form.pixelsPerInch);
        std::int32_t dw, dh;
        MarkArea(*this, &dw, &dh);
        const std::int32_t base = CheckedSub(dh, ExtraPixelsFromBottom);
        // The text given as TxtR goes to the left edge, TxtL to the right.
        const std::string left = BstrToUtf8(TxtR), right = BstrToUtf8(TxtL);
        const TextExtent leftExtent = font->Measure(left);
        const RECT leftBox{10, CheckedSub(base, leftExtent.cy), CheckedAdd(leftExtent.cx, 10), base};
        WriteLog(SizeLine("RenderLR", leftBox));
        L_EfxDraw3dText(dc.get(), left.c_str(), &leftBox, kCentred | EFX_STYLE_OUTLINEBLOCK, 0, 0,
                        0xFFFFFF, 0, 0, font.get(), nullptr);
        const TextExtent rightExtent = font->Measure(right);
        const RECT rightBox{CheckedSub(CheckedSub(dw, rightExtent.cx), 10),
                            CheckedSub(base, rightExtent.cy), CheckedSub(dw, 10), base};
        WriteLog(SizeLine("RenderLR", rightBox));
        L_EfxDraw3dText(dc.get(), right.c_str(), &rightBox, kCentred | EFX_STYLE_OUTLINEBLOCK, 0, 0,
                        0xFFFFFF, 0, 0, font.get(), nullptr);
        L_ColorMergeBitmap(&CurrentBitmap, planes.handles, BITMAPHANDLE_STRUCT_SIZE, COLORSEP_HLS);
        if (CurrentBitmap.ViewPerspective != TOP_LEFT)
            L_ChangeBitmapViewPerspective(nullptr, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TOP_LEFT);
        *Value = EngineStatusToValue(L_GrayScaleBitmap(&CurrentBitmap, 16));
        RefreshPaintPalette(false);
    });
}

HRESULT TaxLumora::AddTextToBottom(BSTR Txt, VARIANT_BOOL AddSpaceOnBottom, VARIANT_BOOL Center,
                                   ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        const bool addSpace = FromVariantBool(AddSpaceOnBottom);
        const std::string text = BstrToUtf8(Txt);
        // The image as displayed: a transposed view gets its band along the displayed bottom.
        const std::int32_t width = ViewWidth(CurrentBitmap), height = ViewHeight(CurrentBitmap);
        const int points = width <= 1000 ? 10 : (width - 1000) / 150 + 10;
        const auto font = CreateMarkFont("AddTextToBottom", "Arial Unicode MS", points, Form.pixelsPerInch);
        const TextExtent extent = font->Measure(text);
        const std::int32_t th = extent.cy;

        RECT box;
        box.left = FromVariantBool(Center) ? CheckedSub(width, extent.cx) / 2 : 2;
        box.right = CheckedAdd<std::int32_t>(box.left, extent.cx);
        box.top = addSpace ? CheckedAdd(height, 1) : CheckedSub(CheckedSub(height, th), 1);
        box.bottom = CheckedAdd<std::int32_t>(box.top, th);

        auto logFailure = [](const char* call, int status) {
            if (status != SUCCESS)
                WriteLog(std::string("axLumora.AddTextToBottom, ") + call + ":" + std::to_string(status));
        };
        const int order = L_IsGrayScaleBitmap(&CurrentBitmap) > 0 ? ORDER_RGB : CurrentBitmap.Order;
        ScopedBitmap band;
        logFailure("L_InitBitmap", L_InitBitmap(band.get(), BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0));
        const std::int32_t bandHeight = addSpace ? CheckedAdd(CheckedAdd(height, th), 2) : height;
        const int created = L_CreateBitmap(band.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV,
                                           static_cast<unsigned>(std::max(width, 0)),
                                           static_cast<unsigned>(std::max(bandHeight, 0)), 24,
                                           static_cast<unsigned>(order), nullptr, TOP_LEFT, nullptr, 0);
        logFailure("L_CreateBitmap", created);
        const std::int32_t imageRows = addSpace ? height : CheckedSub(CheckedSub(height, th), 2);
        const RECT imageRect{0, 0, width, imageRows};
        logFailure("L_SetBitmapRgnRect",
                   L_SetBitmapRgnRect(band.get(), nullptr, &imageRect, L_RGN_SETNOT));
        logFailure("L_FillBitmap", L_FillBitmap(band.get(), 0));
        logFailure("L_FreeBitmapRgn", L_FreeBitmapRgn(band.get()));
        {
            ScopedLeadDC dc(band.get());
            L_EfxDraw3dText(dc.get(), text.c_str(), &box, kCentred | EFX_STYLE_NORMAL, 0, 0, 0xFFFFFF,
                            0, 0, font.get(), nullptr);
        }
        if (CurrentBitmap.BitsPerPixel == 16 || CurrentBitmap.BitsPerPixel == 12)
            L_GrayScaleBitmap(band.get(), 16);
        const std::int32_t copyRows = addSpace ? band->Height : band->Height - th - 2;
        logFailure("L_CombineBitmap", L_CombineBitmap(band.get(), 0, 0, band->Width, copyRows,
                                                      &CurrentBitmap, 0, 0, COMBINE_COPY));
        // A band that could not be made must not replace the image.
        if (created != SUCCESS || band->Addr == nullptr) {
            *Value = EngineStatusToValue(created != SUCCESS ? created : ERROR_NO_BITMAP);
            return;
        }
        // The new bitmap takes the current one's place; the old image is freed with the scope.
        std::swap(CurrentBitmap, *band);
        if (addSpace) UpdatePaintRects(true, true, true);
        RefreshPaintPalette(false);
        *Value = 1;
    });
}
