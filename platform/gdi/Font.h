// Fonts: a face name resolved through fontconfig to an installed font (metric-compatible stand-ins
// for the desktop faces where one is installed), read by FreeType and drawn through Cairo, with
// the measures GDI gives a window font.
#pragma once

#include <memory>
#include <string>
#include <string_view>

typedef struct _cairo cairo_t;
typedef struct _cairo_scaled_font cairo_scaled_font_t;

struct TextExtent {
    int cx = 0;  // advance width in pixels
    int cy = 0;  // cell height: ascent + descent
};

class Font {
public:
    // height as a LOGFONT gives it: negative, the character (em) height in pixels; positive, the
    // cell height; 0, a default cell of 16 pixels. A face that matches no installed font falls
    // back to the sans face (Substituted() tells); creating a font never fails.
    static std::unique_ptr<Font> Create(std::string_view faceName, int height, bool bold,
                                        bool italic = false);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const std::string& RequestedFace() const { return requested_; }
    const std::string& Family() const { return family_; }  // of the font actually used
    bool Substituted() const { return substituted_; }
    double EmPixels() const { return em_; }
    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }
    int Height() const { return ascent_ + descent_; }

    // The extent of a line of text (UTF-8; invalid sequences count as U+FFFD), as
    // GetTextExtentPoint32 measures it.
    TextExtent Measure(std::string_view text) const;
    // Fills the text's glyphs with the current source, the line's top-left cell corner at
    // (x, top) in user space. Only glyphs that may touch the clip are drawn, so a long text far
    // outside costs little; very large sizes are drawn as outlines rather than cached bitmaps.
    // strokeWidth above 0 strokes the glyphs' outlines that wide (round joins) instead.
    void Draw(cairo_t* cr, double x, double top, std::string_view text,
              double strokeWidth = 0) const;

private:
    struct PrivateTag {
        explicit PrivateTag() = default;
    };

public:
    explicit Font(PrivateTag) {}

private:
    std::string requested_;
    std::string family_;
    bool substituted_ = false;
    double em_ = 0;
    int ascent_ = 0;
    int descent_ = 0;
    cairo_scaled_font_t* scaled_ = nullptr;  // owned
};
using HFONT = Font*;

// The em height in pixels of a window font of `points` points on a display of pixelsPerInch,
// as LOGFONT's lfHeight (negative); a negative point size gives a positive (cell) height.
int FontHeightFromPoints(int points, int pixelsPerInch);
