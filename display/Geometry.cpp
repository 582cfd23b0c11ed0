// Where the image lands: the four rectangles per paint size mode, the scroll ranges that follow
// the image, the rectangle setters and the bitmap-to-screen conversion.
#include "display/Geometry.h"

#include <algorithm>

#include "control/cvaxLumoraMain.h"
#include "engine/Display.h"

FitResult FitRect(std::int32_t boxW, std::int32_t boxH, std::int32_t imgW, std::int32_t imgH) {
    FitResult fit;
    const std::int32_t heightFit = MulDiv(boxW, imgH, imgW);
    if (heightFit < boxH) {
        fit.width = boxW;
        fit.height = heightFit;
        fit.y = (boxH - heightFit) / 2;
    } else {
        fit.width = MulDiv(boxH, imgW, imgH);
        fit.height = boxH;
        fit.x = (boxW - fit.width) / 2;
    }
    return fit;
}

namespace {

EdgeRect Whole(std::int32_t width, std::int32_t height) { return EdgeRect{0, 0, width, height}; }

// Fit mode never distorts: the largest rectangle of the image's aspect ratio inside the client
// area, centred. An empty image has no aspect ratio and takes the whole client area.
EdgeRect FittedDestination(std::int32_t clientWidth, std::int32_t clientHeight,
                           std::int32_t viewWidth, std::int32_t viewHeight) {
    if (viewWidth > 0 && viewHeight > 0) {
        const FitResult fit = FitRect(clientWidth, clientHeight, viewWidth, viewHeight);
        if (fit.width >= 0 && fit.height >= 0)
            return EdgeRect{fit.x, fit.y, fit.x + fit.width, fit.y + fit.height};
    }
    return Whole(clientWidth, clientHeight);
}

// Applies Left, Top, Width, Height in that order, each seeing the ones before. parent is the
// unclipped rectangle for the clip setters (FromParent), else null.
void ApplyRect(EdgeRect& rect, const EdgeRect* parent, LONG left, LONG top, LONG width,
               LONG height) {
    const bool fromParent = parent != nullptr;
    if (left != kKeep) rect.Left = fromParent && left == kFromParent ? parent->Left : left;
    if (top != kKeep) rect.Top = fromParent && top == kFromParent ? parent->Top : top;
    if (width != kKeep)
        rect.Right =
            fromParent && width == kFromParent ? parent->Right : CheckedAdd(rect.Left, width);
    if (height != kKeep)
        rect.Bottom =
            fromParent && height == kFromParent ? parent->Bottom : CheckedAdd(rect.Top, height);
}

}  // namespace

void TaxLumora::UpdatePaintRects(bool updateScrollRanges, bool fitControl, bool resetRects) {
    const bool reset = resetRects && AutoSetRects;
    const std::int32_t viewWidth = ViewWidth(CurrentBitmap), viewHeight = ViewHeight(CurrentBitmap);
    if (reset) {
        SrcRect = Whole(viewWidth, viewHeight);
        SrcClipRect = SrcRect;
    }
    switch (PaintSizeMode) {
        case PAINTSIZEMODE_NORMAL:
            if (reset) DstRect = Whole(viewWidth, viewHeight);
            if (updateScrollRanges) {
                Form.SetScrollRange(true, viewWidth);
                Form.SetScrollRange(false, viewHeight);
            }
            break;
        case PAINTSIZEMODE_FIT:
            if (reset)
                DstRect = FittedDestination(Form.ClientWidth(), Form.ClientHeight(), viewWidth,
                                            viewHeight);
            if (updateScrollRanges) {
                Form.SetScrollRange(true, 0);
                Form.SetScrollRange(false, 0);
            }
            if (fitControl) {
                const std::int32_t boxW = std::max(Form.ClientWidth(), Form.HorzScrollBar().range);
                const std::int32_t boxH = std::max(Form.ClientHeight(), Form.VertScrollBar().range);
                const FitResult fit = FitRect(boxW, boxH, viewWidth, viewHeight);
                // An empty image has no aspect ratio: the client area stays as it is.
                if (fit.width > 0 && fit.height > 0) {
                    Form.SetClientWidth(fit.width);
                    Form.SetClientHeight(fit.height);
                }
            }
            break;
        default: break;
    }
    if (reset && MainPaintBox)
        DstClipRect = Whole(MainPaintBox->ClientWidth(), MainPaintBox->ClientHeight());
}

void TaxLumora::UpdateViewRects() {
    if (!AutoSetRects) return;
    switch (PaintSizeMode) {
        case PAINTSIZEMODE_NORMAL:
            // The paint box already sits at (−position) and carries the scroll offset; shifting
            // the destination as well would move the image twice and hide its top-left part.
            DstRect = Whole(ViewWidth(CurrentBitmap), ViewHeight(CurrentBitmap));
            break;
        case PAINTSIZEMODE_FIT:
            DstRect = FittedDestination(Form.ClientWidth(), Form.ClientHeight(),
                                        ViewWidth(CurrentBitmap), ViewHeight(CurrentBitmap));
            break;
        default: break;
    }
    if (MainPaintBox)
        DstClipRect = Whole(MainPaintBox->ClientWidth(), MainPaintBox->ClientHeight());
}

HRESULT TaxLumora::get_AutoScrollbars(VARIANT_BOOL* Value) {
    return SafeCall([&] { *Value = ToVariantBool(AutoScrollbars); });
}
HRESULT TaxLumora::put_AutoScrollbars(VARIANT_BOOL Value) {
    return SafeCall([&] {
        AutoScrollbars = FromVariantBool(Value);
        Form.SetScrollVisible(false, AutoScrollbars);
        Form.SetScrollVisible(true, AutoScrollbars);
    });
}

HRESULT TaxLumora::SetSrcRect(LONG Left, LONG Top, LONG Width, LONG Height, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        ApplyRect(SrcRect, nullptr, Left, Top, Width, Height);
    });
}
HRESULT TaxLumora::SetSrcClipRect(LONG Left, LONG Top, LONG Width, LONG Height, LONG*) {
    return SafeCall([&] { ApplyRect(SrcClipRect, &SrcRect, Left, Top, Width, Height); });
}
HRESULT TaxLumora::SetDstRect(LONG Left, LONG Top, LONG Width, LONG Height, LONG*) {
    return SafeCall([&] { ApplyRect(DstRect, nullptr, Left, Top, Width, Height); });
}
HRESULT TaxLumora::SetDstClipRect(LONG Left, LONG Top, LONG Width, LONG Height, LONG*) {
    return SafeCall([&] { ApplyRect(DstClipRect, &DstRect, Left, Top, Width, Height); });
}

HRESULT TaxLumora::SetPaintScalingMode(LONG Mode, LONG* Value) {
    return SafeCall([&] {
        *Value = -1;
        if (Mode == 1) {
            L_SetDisplayMode(DISP_RESAMPLE, 0);
            *Value = 0;
        } else if (Mode == 2) {
            L_SetDisplayMode(DISP_RESAMPLE, DISP_RESAMPLE);
            *Value = 0;
        }
    });
}

HRESULT TaxLumora::b2sConvertS(FLOAT BitX, FLOAT BitY, FLOAT* SX, FLOAT* SY, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        float kx = 0, ky = 0;
        try {
            const std::int32_t srcWidth = CheckedSub(SrcRect.Right, SrcRect.Left);
            const std::int32_t srcHeight = CheckedSub(SrcRect.Bottom, SrcRect.Top);
            const std::int32_t dstWidth = CheckedSub(DstRect.Right, DstRect.Left);
            const std::int32_t dstHeight = CheckedSub(DstRect.Bottom, DstRect.Top);
            if (srcWidth == 0 || srcHeight == 0) {
                *Value = -1;
                return;
            }
            kx = static_cast<float>(static_cast<long double>(dstWidth) / srcWidth);
            ky = static_cast<float>(static_cast<long double>(dstHeight) / srcHeight);
        } catch (const OverflowError&) {
            *Value = -1;
            return;
        }
        *SX = static_cast<float>(static_cast<long double>(BitX) * kx -
                                 static_cast<long double>(SrcRect.Left) * kx + DstRect.Left);
        *SY = static_cast<float>(static_cast<long double>(BitY) * ky -
                                 static_cast<long double>(SrcRect.Top) * ky + DstRect.Top);
    });
}
