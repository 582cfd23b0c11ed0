#include "platform/registry/RegistryText.h"

#include "platform/automation/OleAuto.h"

namespace registry_text {

std::string FoldAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Utf16LeToUtf8(const std::vector<BYTE>& bytes) {
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return WideToUtf8(wide);
}

std::vector<BYTE> Utf8ToUtf16Le(std::string_view text, bool terminate) {
    const std::u16string wide = Utf8ToWide(text);
    std::vector<BYTE> out;
    out.reserve(2 * wide.size() + 2);
    for (char16_t c : wide) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminate) out.insert(out.end(), {0, 0});
    return out;
}

}  // namespace registry_text
