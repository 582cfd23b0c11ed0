// Texts of presentation states as UTF-8: ST, LT and UT values are in the data set's character
// set (PS3.5 6.1, 6.2; PS3.3 C.12.1.1.2), and GDCM hands over their bytes unconverted.
#include <algorithm>

#include "engine/annotation/PresentationState.h"

namespace engine::annotation {
namespace {

void AppendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | c >> 6));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | c >> 12));
        out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | c >> 18));
        out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of UTF-8 text at *pos; U+FFFD for a byte that starts no valid sequence.
char32_t NextUtf8(std::string_view text, std::size_t* pos) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(*pos);
    ++*pos;
    if (lead < 0x80) return lead;
    int more;
    char32_t c, min;
    if (lead >= 0xC2 && lead <= 0xDF) more = 1, c = lead & 0x1F, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) more = 2, c = lead & 0x0F, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) more = 3, c = lead & 0x07, min = 0x10000;
    else return kReplacement;
    std::size_t at = *pos;
    for (int i = 0; i < more; ++i, ++at) {
        if (at >= text.size() || (byte(at) & 0xC0) != 0x80) return kReplacement;
        c = c << 6 | (byte(at) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
    *pos = at;
    return c;
}

}  // namespace

// Specific Character Set (0008,0005). Values other than the default, ISO_IR 100 and ISO_IR 192
// are read as the default repertoire: their ASCII survives, other bytes become U+FFFD.
Charset CharsetOf(std::string_view value, Charset inherited) {
    if (value.empty()) return inherited;
    Charset charset = Charset::Ascii;
    while (!value.empty()) {
        const std::size_t split = value.find('\\');
        const std::string_view term = TrimmedText(value.substr(0, split));
        if (term == "ISO_IR 192") return Charset::Utf8;
        if (term == "ISO_IR 100" || term == "ISO 2022 IR 100") charset = Charset::Latin1;
        if (split == std::string_view::npos) break;
        value.remove_prefix(split + 1);
    }
    return charset;
}

// Text as UTF-8. Line breaks and tabs stay; other control characters and ISO 2022 escape
// sequences (PS3.5 6.1.2.5) are dropped; trailing padding goes.
std::string TextToUtf8(std::string_view raw, Charset charset) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t pos = 0; pos < raw.size();) {
        char32_t c;
        if (raw[pos] == '\x1B' && charset != Charset::Utf8) {
            ++pos;
            while (pos < raw.size() && raw[pos] >= 0x20 && raw[pos] <= 0x2F) ++pos;
            if (pos < raw.size() && raw[pos] >= 0x30 && raw[pos] <= 0x7E) ++pos;
            continue;
        }
        if (charset == Charset::Utf8) {
            c = NextUtf8(raw, &pos);
        } else {
            c = static_cast<unsigned char>(raw[pos++]);
            if (c >= 0x80 && charset == Charset::Ascii) c = kReplacement;
        }
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (control && c != '\n' && c != '\r' && c != '\t') continue;
        AppendUtf8(&out, c);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

}  // namespace engine::annotation
