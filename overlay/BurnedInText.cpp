// Text burned into the image: the watermark, the left and right texts along the bottom and the
// caption band. The watermark and the bottom texts are drawn into one plane of a colour
// separation and merged back; for grey images that plane is the image at its own depth, so
// pixels outside the text keep every bit.
#include <algorithm>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Effects.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"
#include "overlay/MarkFont.h"

namespace {

constexpr unsigned kCentred = EFX_TEXT_HCENTER | EFX_TEXT_VCENTER;

// Drawing into one plane of a colour separation, merged back when done. For a grey image the
// plane that carries the grey level (lightness in HLS, the black plate in CMYK, inverted) is the
// image itself at its own depth, so the drawing goes straight into the image with the colours the
// plane turns them into: the same pixels as separating, drawing and merging, without touching
// the rest of the image. (For the black plate the blend of the inverted level is the inverted
// blend, rounding included.)
class PlaneDrawing {
public:
    PlaneDrawing(BITMAPHANDLE* bitmap, unsigned mode, int plane)
        : bitmap_(bitmap), mode_(mode), direct_(DrawsOnGreyLevel(*bitmap, mode, plane)) {
        if (!direct_) {
            L_ColorSeparateBitmap(bitmap, handles_, BITMAPHANDLE_STRUCT_SIZE, mode);
            target_ = handles_[plane];
        }
        dc_ = L_CreateLeadDC(target_);
    }
    ~PlaneDrawing() {
        if (dc_) L_DeleteLeadDC(dc_);
    }
    PlaneDrawing(const PlaneDrawing&) = delete;
    PlaneDrawing& operator=(const PlaneDrawing&) = delete;

    HDC dc() const { return dc_; }
    // What a colour drawn on the plane becomes in the image drawn into.
    COLORREF Color(COLORREF color) const {
        if (!direct_ || mode_ != COLORSEP_CMYK) return color;
        const std::uint32_t ink = 255 - (299 * (color & 0xFF) + 587 * ((color >> 8) & 0xFF) +
                                         114 * ((color >> 16) & 0xFF) + 500) /
                                            1000;
        return ink | (ink << 8) | (ink << 16);
    }
    // Merges the planes back into the bitmap (nothing to do when drawn directly).
    void Merge() {
        if (dc_) L_DeleteLeadDC(dc_);
        dc_ = nullptr;
        if (!direct_) L_ColorMergeBitmap(bitmap_, handles_, BITMAPHANDLE_STRUCT_SIZE, mode_);
    }

private:
    static bool DrawsOnGreyLevel(const BITMAPHANDLE& bitmap, unsigned mode, int plane) {
        const bool greyPlane =
            (mode == COLORSEP_CMYK && plane == 3) || (mode == COLORSEP_HLS && plane == 1);
        const int grey = L_IsGrayScaleBitmap(&bitmap);
        const bool deep =
            (bitmap.BitsPerPixel == 12 || bitmap.BitsPerPixel == 16) && grey != GRAY_NO;
        const bool ramp = bitmap.BitsPerPixel == 8 && grey == GRAY_ORDEREDNORMAL;
        return greyPlane && (deep || ramp);
    }

    BITMAPHANDLE* bitmap_;
    unsigned mode_;
    bool direct_;
    ScopedBitmap planes_[4];
    BITMAPHANDLE* handles_[4] = {planes_[0].get(), planes_[1].get(), planes_[2].get(),
                                 planes_[3].get()};
    BITMAPHANDLE* target_ = bitmap_;
    HDC dc_ = nullptr;
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

        PlaneDrawing black(&CurrentBitmap, COLORSEP_CMYK, 3);
        const auto font = CreateMarkFont("PutWaterMark", "Comic Sans MS",
                                         CurrentBitmap.Width / 50 + 6, Form.pixelsPerInch);
        const TextExtent extent = font->Measure(text);
        std::int32_t dw, dh;
        MarkArea(*this, &dw, &dh);
        const RECT box{CheckedSub(CheckedSub(dw, extent.cx), 10),
                       CheckedSub(CheckedSub(dh, extent.cy), 10), CheckedSub(dw, 10),
                       CheckedSub(dh, 10)};
        WriteLog(SizeLine("PutWaterMark", box));
        L_EfxDraw3dText(black.dc(), text.c_str(), &box, kCentred | EFX_STYLE_NORMAL, 0, 0,
                        black.Color(0xFA6432), black.Color(0), black.Color(0xFFFFFF), font.get(),
                        nullptr);
        black.Merge();
        if (CurrentBitmap.ViewPerspective != TOP_LEFT)
            L_ChangeBitmapViewPerspective(nullptr, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE,
                                          TOP_LEFT);
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
        PlaneDrawing lightness(&CurrentBitmap, COLORSEP_HLS, 1);
        const auto font = CreateMarkFont("RenderLR", "Arial", FontSize, Form.pixelsPerInch);
        std::int32_t dw, dh;
        MarkArea(*this, &dw, &dh);
        const std::int32_t base = CheckedSub(dh, ExtraPixelsFromBottom);
        // The text given as TxtR goes to the left edge, TxtL to the right.
        const std::string left = BstrToUtf8(TxtR), right = BstrToUtf8(TxtL);
        const TextExtent leftExtent = font->Measure(left);
        const RECT leftBox{10, CheckedSub(base, leftExtent.cy), CheckedAdd(leftExtent.cx, 10),
                           base};
        WriteLog(SizeLine("RenderLR", leftBox));
        L_EfxDraw3dText(lightness.dc(), left.c_str(), &leftBox, kCentred | EFX_STYLE_OUTLINEBLOCK,
                        0, 0, 0xFFFFFF, 0, 0, font.get(), nullptr);
        const TextExtent rightExtent = font->Measure(right);
        const RECT rightBox{CheckedSub(CheckedSub(dw, rightExtent.cx), 10),
                            CheckedSub(base, rightExtent.cy), CheckedSub(dw, 10), base};
        WriteLog(SizeLine("RenderLR", rightBox));
        L_EfxDraw3dText(lightness.dc(), right.c_str(), &rightBox, kCentred | EFX_STYLE_OUTLINEBLOCK,
                        0, 0, 0xFFFFFF, 0, 0, font.get(), nullptr);
        lightness.Merge();
        if (CurrentBitmap.ViewPerspective != TOP_LEFT)
            L_ChangeBitmapViewPerspective(nullptr, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE,
                                          TOP_LEFT);
        *Value = EngineStatusToValue(L_GrayScaleBitmap(&CurrentBitmap, 16));
        RefreshPaintPalette(false);
    });
}

// The band is made on its own, TH + 2 rows high, and the image and the band are then copied into
// the result: the same pixels as blacking out and writing into a whole new image before copying
// the image over it, at the cost of one image copy.
HRESULT TaxLumora::AddTextToBottom(BSTR Txt, VARIANT_BOOL AddSpaceOnBottom, VARIANT_BOOL Center,
                                   ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        const bool addSpace = FromVariantBool(AddSpaceOnBottom);
        const std::string text = BstrToUtf8(Txt);
        // The image as displayed: a transposed view gets its band along the displayed bottom.
        const std::int32_t width = ViewWidth(CurrentBitmap), height = ViewHeight(CurrentBitmap);
        const int points = width <= 1000 ? 10 : (width - 1000) / 150 + 10;
        const auto font =
            CreateMarkFont("AddTextToBottom", "Arial Unicode MS", points, Form.pixelsPerInch);
        const TextExtent extent = font->Measure(text);
        const std::int32_t th = extent.cy;
        const std::int32_t bandRows = CheckedAdd(th, 2);
        // First row of the band in the result; the image's rows above it are kept.
        const std::int32_t bandTop = addSpace ? height : CheckedSub(height, bandRows);
        const std::int32_t resultHeight = addSpace ? CheckedAdd(height, bandRows) : height;

        // The text box, in the band's rows: one row free above and below the text.
        RECT box;
        box.left = FromVariantBool(Center) ? CheckedSub(width, extent.cx) / 2 : 2;
        box.right = CheckedAdd<std::int32_t>(box.left, extent.cx);
        box.top = 1;
        box.bottom = CheckedAdd<std::int32_t>(1, th);

        auto logFailure = [](const char* call, int status) {
            if (status != SUCCESS)
                WriteLog(std::string("axLumora.AddTextToBottom, ") + call + ":" +
                         std::to_string(status));
            return status;
        };
        const int order = L_IsGrayScaleBitmap(&CurrentBitmap) > 0 ? ORDER_RGB : CurrentBitmap.Order;
        const bool deepGrey = CurrentBitmap.BitsPerPixel == 16 || CurrentBitmap.BitsPerPixel == 12;
        const auto toUnsigned = [](std::int32_t v) {
            return static_cast<unsigned>(std::max(v, 0));
        };

        ScopedBitmap band;
        logFailure("L_InitBitmap", L_InitBitmap(band.get(), BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0));
        logFailure("L_CreateBitmap",
                   L_CreateBitmap(band.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV,
                                  toUnsigned(width), toUnsigned(bandRows), 24,
                                  static_cast<unsigned>(order), nullptr, TOP_LEFT, nullptr, 0));
        // Black everywhere outside the image, which in the band's rows is all of it.
        const RECT imageRect{0, -bandTop, width, 0};
        logFailure("L_SetBitmapRgnRect",
                   L_SetBitmapRgnRect(band.get(), nullptr, &imageRect, L_RGN_SETNOT));
        logFailure("L_FillBitmap", L_FillBitmap(band.get(), 0));
        logFailure("L_FreeBitmapRgn", L_FreeBitmapRgn(band.get()));
        {
            ScopedLeadDC dc(band.get());
            L_EfxDraw3dText(dc.get(), text.c_str(), &box, kCentred | EFX_STYLE_NORMAL, 0, 0,
                            0xFFFFFF, 0, 0, font.get(), nullptr);
        }
        if (deepGrey) L_GrayScaleBitmap(band.get(), 16);

        ScopedBitmap result;
        L_InitBitmap(result.get(), BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
        const int created = logFailure(
            "L_CreateBitmap",
            L_CreateBitmap(result.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, toUnsigned(width),
                           toUnsigned(resultHeight), deepGrey ? 16 : 24,
                           static_cast<unsigned>(deepGrey ? ORDER_GRAY : order), nullptr, TOP_LEFT,
                           nullptr, 0));
        // A result that could not be made must not replace the image.
        if (created != SUCCESS) {
            *Value = EngineStatusToValue(created);
            return;
        }
        logFailure("L_CombineBitmap", L_CombineBitmap(result.get(), 0, 0, width, bandTop,
                                                      &CurrentBitmap, 0, 0, COMBINE_COPY));
        logFailure("L_CombineBitmap", L_CombineBitmap(result.get(), 0, bandTop, width, bandRows,
                                                      band.get(), 0, 0, COMBINE_COPY));
        // The pixel size is the image's, whatever was written into it.
        result->XResolution = CurrentBitmap.XResolution;
        result->YResolution = CurrentBitmap.YResolution;
        // The new bitmap takes the current one's place; the old image is freed with the scope.
        std::swap(CurrentBitmap, *result);
        if (addSpace) UpdatePaintRects(true, true, true);
        RefreshPaintPalette(false);
        *Value = 1;
    });
}
