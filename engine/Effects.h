// Drawing into bitmaps: a device context opened on an engine bitmap, and the effects drawn through
// it (three-dimensional text, frames, pattern fills). Whatever is drawn is composited into the
// bitmap in its own format at once, so pixels the drawing does not cover keep their exact values
// at every depth. Coordinates are those of the displayed bitmap (after its view perspective).
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"
#include "platform/gdi/Drawing.h"
#include "platform/gdi/Font.h"

// A context drawing into bitmap, or null when the bitmap holds no image. The bitmap must outlive
// the context's use; drawing after its image is freed does nothing.
HDC L_CreateLeadDC(BITMAPHANDLE* bitmap);
// Closes a context from L_CreateLeadDC; FALSE for null or unknown contexts.
BOOL L_DeleteLeadDC(HDC dc);

// Closes the context at the end of a scope.
class ScopedLeadDC {
public:
    explicit ScopedLeadDC(BITMAPHANDLE* bitmap) : dc_(L_CreateLeadDC(bitmap)) {}
    ~ScopedLeadDC() {
        if (dc_) L_DeleteLeadDC(dc_);
    }
    ScopedLeadDC(const ScopedLeadDC&) = delete;
    ScopedLeadDC& operator=(const ScopedLeadDC&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// ---- three-dimensional text ------------------------------------------------------------------
// Flag word: bits 0–3 the style; alignment of the text in its rectangle.
constexpr unsigned EFX_TEXT_STYLE_MASK = 0x00F;
constexpr unsigned EFX_TEXT_HCENTER = 0x010;
constexpr unsigned EFX_TEXT_RIGHT = 0x020;
constexpr unsigned EFX_TEXT_VCENTER = 0x100;
constexpr unsigned EFX_TEXT_BOTTOM = 0x200;

// Styles: light comes from the top left. Inset text is engraved (shadow above-left, highlight
// below-right), raised text embossed (the reverse); the depth grows from extra light to extra
// heavy. Drop shadow: one copy in the shadow colour behind; block shadow: the text extruded
// towards the bottom right in the shadow colour; outline block: the extrusion, then the text
// outlined in the highlight colour.
enum EfxTextStyle : unsigned {
    EFX_STYLE_NORMAL = 0,
    EFX_STYLE_INSET_LIGHT = 1,
    EFX_STYLE_INSET_HEAVY = 2,
    EFX_STYLE_RAISED_LIGHT = 3,
    EFX_STYLE_RAISED_HEAVY = 4,
    EFX_STYLE_DROPSHADOW = 5,
    EFX_STYLE_BLOCKSHADOW = 6,
    EFX_STYLE_OUTLINEBLOCK = 7,
    EFX_STYLE_INSET_EXTRALIGHT = 8,
    EFX_STYLE_INSET_EXTRAHEAVY = 9,
    EFX_STYLE_RAISED_EXTRALIGHT = 10,
    EFX_STYLE_RAISED_EXTRAHEAVY = 11,
};

// Draws one line of text (UTF-8) placed in rect by the alignment bits (left and top without
// them; the text is not cut to the rectangle, only to the bitmap). xDepth and yDepth: the offset
// of the shadow, the block's extrusion or the bevel in pixels; 0 and 0 take a depth from the
// style and the font's height. Colours are 0x00BBGGRR. foreground: not used (null).
// SUCCESS; ERROR_NO_DC; ERROR_INV_PARAMETER for a null text, rectangle or font or a style above 11.
int L_EfxDraw3dText(HDC dc, const char* text, const RECT* rect, unsigned flags, int xDepth,
                    int yDepth, COLORREF textColor, COLORREF shadowColor, COLORREF highlightColor,
                    HFONT font, HDC foreground);
// The same, rotated about the centre of rect by angle tenths of a degree, counter-clockwise on
// screen for positive angles.
int L_EfxDrawRotated3dText(HDC dc, const char* text, const RECT* rect, int angle, unsigned flags,
                           int xDepth, int yDepth, COLORREF textColor, COLORREF shadowColor,
                           COLORREF highlightColor, HFONT font, HDC foreground);

// ---- frames and fills ------------------------------------------------------------------------
constexpr unsigned EFX_FRAME_OUTER_RAISED = 0x01;  // outer bevel lit at the top left (else inset)
constexpr unsigned EFX_FRAME_INNER_RAISED = 0x10;  // inner bevel lit at the top left (else inset)

// A frame inside rect, from the outside in: a bevel outerWidth wide (colour1 on the lit sides,
// colour2 on the others), the frame band frameWidth wide in frameColor, a bevel innerWidth wide.
// Exact pixels, no antialiasing. Widths of 0 draw nothing; negative widths: ERROR_INV_PARAMETER.
int L_EfxDrawFrame(HDC dc, const RECT* rect, unsigned flags, int frameWidth, COLORREF frameColor,
                   int innerWidth, COLORREF innerColor1, COLORREF innerColor2, int outerWidth,
                   COLORREF outerColor1, COLORREF outerColor2);

// Fill patterns: solid in the foreground colour, or an 8-pixel hatch of foreground lines on the
// background, anchored at the context's origin.
constexpr int EFX_PATTERN_SOLID = 0;
constexpr int EFX_PATTERN_HORZ_LINE = 1;
constexpr int EFX_PATTERN_VERT_LINE = 2;
constexpr int EFX_PATTERN_FDIAG_LINE = 3;  // top left to bottom right
constexpr int EFX_PATTERN_BDIAG_LINE = 4;  // bottom left to top right
constexpr int EFX_PATTERN_CROSS = 5;
constexpr int EFX_PATTERN_DIAG_CROSS = 6;
// Fills rect (right and bottom excluded). ERROR_INV_PARAMETER for an unknown pattern.
int L_EfxPatternFillRect(HDC dc, const RECT* rect, int pattern, COLORREF background,
                         COLORREF foreground);
