#include "platform/gdi/Font.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace {

// Desktop faces that hosts name and the installed faces that stand in for them (metric-compatible
// where such a face exists). fontconfig's own aliases may already cover some; this table makes
// the answer independent of the machine's configuration.
struct FaceAlias {
    const char* desktop;
    const char* standIn;
};
constexpr FaceAlias kFaceAliases[] = {
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Comic Sans MS", "Comic Neue"},
    {"Arial Unicode MS", "DejaVu Sans"},
    {"Tahoma", "DejaVu Sans"},
    {"Verdana", "DejaVu Sans"},
    {"Segoe UI", "DejaVu Sans"},
    {"Lucida Console", "DejaVu Sans Mono"},
};
constexpr const char* kFallbackFamily = "sans-serif";
constexpr double kMaxEmPixels = 16384;  // far beyond any image; keeps Cairo's coordinates sane
constexpr double kOutlineFromEm = 256;  // above this, glyphs are filled as paths, not cached

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsGenericFamily(std::string_view name) {
    return SameName(name, "sans-serif") || SameName(name, "serif") || SameName(name, "monospace") ||
           SameName(name, "sans") || SameName(name, "mono");
}

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

// A resolved face, kept for the life of the process (faces are few and Cairo caches glyphs per
// face).
struct ResolvedFace {
    cairo_font_face_t* face = nullptr;
    std::string family;
    bool substituted = false;
};

std::mutex g_faceMutex;
std::map<std::tuple<std::string, bool, bool>, ResolvedFace> g_faces;

std::string FamilyOf(FcPattern* pattern, int index = 0) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, FC_FAMILY, index, &value) != FcResultMatch || !value) return {};
    return reinterpret_cast<const char*>(value);
}

// The first family of the default sans list, as substitution expands it.
std::string DefaultListStart() {
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return {};
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(kFallbackFamily));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    for (int i = 0;; ++i) {
        const std::string family = FamilyOf(pattern.get(), i);
        if (family.empty()) return {};
        if (!IsGenericFamily(family)) return family;
    }
}

// Matches a family; accepted tells whether the font found is the family asked for (or a stand-in
// named for it before fontconfig's generic fallbacks), rather than the last resort.
PatternPtr Match(const std::string& family, bool bold, bool italic, bool* accepted) {
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return nullptr;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    for (const auto& alias : kFaceAliases) {
        if (SameName(family, alias.desktop))
            FcPatternAddString(pattern.get(), FC_FAMILY,
                               reinterpret_cast<const FcChar8*>(alias.standIn));
    }
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return nullptr;
    if (accepted) {
        // fontconfig replaces an unknown family by the whole default list in place; the families
        // before the start of that list are the ones asked for and their aliases.
        static const std::string defaultStart = DefaultListStart();
        const std::string found = FamilyOf(match.get());
        *accepted = false;
        for (int i = 0;; ++i) {
            const std::string wanted = FamilyOf(pattern.get(), i);
            if (wanted.empty() || IsGenericFamily(wanted)) break;
            if (i > 0 && SameName(wanted, defaultStart)) break;
            if (SameName(wanted, found)) {
                *accepted = true;
                break;
            }
        }
    }
    return match;
}

const ResolvedFace& Resolve(const std::string& requested, bool bold, bool italic) {
    std::lock_guard lock(g_faceMutex);
    const auto key = std::make_tuple(requested, bold, italic);
    if (auto it = g_faces.find(key); it != g_faces.end()) return it->second;

    ResolvedFace resolved;
    bool accepted = false;
    PatternPtr match;
    if (!requested.empty()) match = Match(requested, bold, italic, &accepted);
    if (!match || !accepted) {
        resolved.substituted = !requested.empty();
        match = Match(kFallbackFamily, bold, italic, nullptr);
    }
    if (match) {
        resolved.family = FamilyOf(match.get());
        // The face keeps its own reference to the pattern.
        resolved.face = cairo_ft_font_face_create_for_pattern(match.get());
    }
    if (!resolved.face || cairo_font_face_status(resolved.face) != CAIRO_STATUS_SUCCESS) {
        // No font file at all: Cairo's built-in face still draws and measures.
        if (resolved.face) cairo_font_face_destroy(resolved.face);
        resolved.face =
            cairo_toy_font_face_create(kFallbackFamily, CAIRO_FONT_SLANT_NORMAL,
                                       bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    return g_faces.emplace(key, std::move(resolved)).first->second;
}

cairo_scaled_font_t* ScaledFont(cairo_font_face_t* face, double em) {
    cairo_matrix_t fontMatrix, ctm;
    cairo_matrix_init_scale(&fontMatrix, em, em);
    cairo_matrix_init_identity(&ctm);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    // Whole-pixel advances and extents, as a window font measures.
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &fontMatrix, &ctm, options);
    cairo_font_options_destroy(options);
    return scaled;
}

// Valid UTF-8 for Cairo: each byte that starts no valid sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        bool valid = length != 0 && i + length <= text.size();
        std::uint32_t code = length == 1   ? c
                             : length == 2 ? c & 0x1F
                             : length == 3 ? c & 0x0F
                                           : c & 0x07;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (valid) {
            static constexpr std::uint32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
            valid = code >= kMinimum[length] && code <= 0x10FFFF &&
                    (code < 0xD800 || code > 0xDFFF) && code != 0;
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

struct Glyphs {
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    ~Glyphs() { cairo_glyph_free(glyphs); }
};

}  // namespace

int FontHeightFromPoints(int points, int pixelsPerInch) {
    const int pixels = MulDiv(points, pixelsPerInch > 0 ? pixelsPerInch : 96, 72);
    if (pixels == -1 && points != 0) return points < 0 ? 1 : -static_cast<int>(kMaxEmPixels);
    return -pixels;
}

std::unique_ptr<Font> Font::Create(std::string_view faceName, int height, bool bold, bool italic) {
    auto font = std::make_unique<Font>(PrivateTag{});
    font->requested_ = std::string(faceName);
    const ResolvedFace& resolved = Resolve(font->requested_, bold, italic);
    font->family_ = resolved.family;
    font->substituted_ = resolved.substituted;

    // A cell height becomes the em that gives it: measure the face at 1000 pixels.
    double em = 16;
    if (height < 0) {
        em = -static_cast<double>(height);
    } else {
        const double cell = height > 0 ? height : 16;
        cairo_scaled_font_t* probe = ScaledFont(resolved.face, 1000);
        cairo_font_extents_t extents{};
        cairo_scaled_font_extents(probe, &extents);
        cairo_scaled_font_destroy(probe);
        const double cellAt1000 = extents.ascent + extents.descent;
        em = cellAt1000 > 0 ? cell * 1000 / cellAt1000 : cell;
    }
    font->em_ = std::clamp(em, 1.0, kMaxEmPixels);
    font->scaled_ = ScaledFont(resolved.face, font->em_);
    cairo_font_extents_t extents{};
    cairo_scaled_font_extents(font->scaled_, &extents);
    font->ascent_ = static_cast<int>(std::ceil(extents.ascent));
    font->descent_ = static_cast<int>(std::ceil(extents.descent));
    return font;
}

Font::~Font() {
    if (scaled_) cairo_scaled_font_destroy(scaled_);
}

TextExtent Font::Measure(std::string_view text) const {
    TextExtent extent{0, Height()};
    if (text.empty()) return extent;
    const std::string valid = ValidUtf8(text);
    Glyphs glyphs;
    if (cairo_scaled_font_text_to_glyphs(
            scaled_, 0, 0, valid.data(), static_cast<int>(valid.size()), &glyphs.glyphs,
            &glyphs.count, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS ||
        glyphs.count == 0)
        return extent;
    // The pen's end: the last glyph's position plus its advance.
    cairo_text_extents_t last{};
    cairo_scaled_font_glyph_extents(scaled_, &glyphs.glyphs[glyphs.count - 1], 1, &last);
    const double width = glyphs.glyphs[glyphs.count - 1].x + last.x_advance;
    extent.cx = static_cast<int>(std::lround(std::min(width, 2147483647.0)));
    return extent;
}

void Font::Draw(cairo_t* cr, double x, double top, std::string_view text,
                double strokeWidth) const {
    if (text.empty()) return;
    const std::string valid = ValidUtf8(text);
    Glyphs glyphs;
    if (cairo_scaled_font_text_to_glyphs(
            scaled_, x, top + ascent_, valid.data(), static_cast<int>(valid.size()), &glyphs.glyphs,
            &glyphs.count, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS ||
        glyphs.count == 0)
        return;
    // Keep the glyphs whose cell, widened by an em for overhangs, meets the clip.
    double clipLeft, clipTop, clipRight, clipBottom;
    cairo_clip_extents(cr, &clipLeft, &clipTop, &clipRight, &clipBottom);
    const double reach = 2 * em_ + strokeWidth;
    std::vector<cairo_glyph_t> visible;
    if (top + Height() + reach >= clipTop && top - reach <= clipBottom) {
        for (int i = 0; i < glyphs.count; ++i) {
            const double gx = glyphs.glyphs[i].x;
            if (gx + reach >= clipLeft && gx - reach <= clipRight)
                visible.push_back(glyphs.glyphs[i]);
        }
    }
    if (visible.empty()) return;
    cairo_set_scaled_font(cr, scaled_);
    if (strokeWidth > 0) {
        cairo_new_path(cr);
        cairo_glyph_path(cr, visible.data(), static_cast<int>(visible.size()));
        cairo_set_line_width(cr, strokeWidth);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke(cr);
    } else if (em_ <= kOutlineFromEm) {
        cairo_show_glyphs(cr, visible.data(), static_cast<int>(visible.size()));
    } else {
        cairo_new_path(cr);
        cairo_glyph_path(cr, visible.data(), static_cast<int>(visible.size()));
        cairo_fill(cr);
    }
}
