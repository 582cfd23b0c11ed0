#include "host/FormStatements.h"

#include <png.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/form/Form.h"

namespace host {

namespace {

constexpr std::array<std::string_view, 11> kKeywords = {
    "snapshot",  "paint",   "resize", "scroll",   "wheel", "mousedown",
    "mousemove", "mouseup", "click",  "dblclick", "key"};

constexpr std::array<std::pair<std::string_view, WORD>, 6> kScrollCodes = {
    {{"top", SB_TOP},
     {"bottom", SB_BOTTOM},
     {"lineup", SB_LINEUP},
     {"linedown", SB_LINEDOWN},
     {"pageup", SB_PAGEUP},
     {"pagedown", SB_PAGEDOWN}}};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The words of the statement; a quoted string is one word with its quotes.
std::vector<std::string> Words(std::string_view text, int line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSpace(text[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
            if (i >= text.size()) throw ScriptError(line, "unterminated string");
            ++i;
        } else {
            while (i < text.size() && !IsSpace(text[i])) ++i;
        }
        words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

Literal Word(std::string_view word) {
    Literal lit;
    lit.kind = Literal::Kind::String;
    lit.text = std::string(word);
    lit.spelling = lit.text;
    return lit;
}

Literal Number(std::uint64_t value, std::string_view spelling) {
    Literal lit;
    lit.kind = Literal::Kind::Integer;
    lit.magnitude = value;
    lit.spelling = std::string(spelling);
    return lit;
}

// An integer within [low, high]; `what` names it in messages.
Literal Integer(const std::string& word, std::int64_t low, std::int64_t high, const char* what,
                int line) {
    const Literal lit = ParseLiteral(word, line);
    const auto value = lit.AsInt64();
    if (lit.kind != Literal::Kind::Integer || !value || *value < low || *value > high)
        throw ScriptError(line, std::string(what) + " must be an integer from " +
                                    std::to_string(low) + " to " + std::to_string(high) +
                                    ", found '" + word + "'");
    return lit;
}

std::int32_t ValueOf(const Literal& lit) { return static_cast<std::int32_t>(*lit.AsInt64()); }

void ExpectWords(const std::vector<std::string>& words, std::size_t count, const char* usage,
                 int line) {
    if (words.size() != count) throw ScriptError(line, std::string("usage: ") + usage);
}

// Client coordinates travel as 16-bit signed halves of lParam.
void ParsePoint(const std::vector<std::string>& words, std::size_t from, Statement& st) {
    st.args.push_back(Integer(words[from], -32768, 32767, "X", st.line));
    st.args.push_back(Integer(words[from + 1], -32768, 32767, "Y", st.line));
}

WPARAM ButtonBit(std::string_view button) {
    if (button == "right") return MK_RBUTTON;
    if (button == "middle") return MK_MBUTTON;
    return MK_LBUTTON;
}

UINT ButtonMessage(WPARAM bit, bool down) {
    if (bit == MK_RBUTTON) return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    if (bit == MK_MBUTTON) return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
}

form::Form* FormOf(IDispatch* control, int line) {
    ComPtr<IOleWindow> window;
    HWND hwnd = nullptr;
    if (!control || FAILED(control->QueryInterface(IID_IOleWindow, window.put_void())) ||
        FAILED(window->GetWindow(&hwnd)) || !hwnd)
        throw ScriptError(line, "the control has no window");
    auto* form = dynamic_cast<form::Form*>(hwnd);
    if (!form) throw ScriptError(line, "the control's window is not a form");
    return form;
}

std::string Joined(const Statement& st) {
    std::string text = st.member;
    for (const Literal& arg : st.args) text += " " + arg.spelling;
    return text;
}

}  // namespace

bool IsFormStatement(std::string_view word) {
    for (std::string_view keyword : kKeywords)
        if (word == keyword) return true;
    return false;
}

Statement ParseFormStatement(const std::string& keyword, std::string_view rest,
                             std::string_view source, int line) {
    Statement st;
    st.kind = Statement::Kind::Form;
    st.line = line;
    st.member = keyword;
    st.source = std::string(source);
    const std::vector<std::string> words = Words(rest, line);

    if (keyword == "snapshot") {
        if (!words.empty() && words[0].front() == '"') {
            ExpectWords(words, 1, "snapshot FILE.png", line);
            st.path = ParseLiteral(words[0], line).text;
        } else if (!words.empty()) {
            st.path = std::string(rest.substr(rest.find_first_not_of(" \t")));
        }
        while (!st.path.empty() && IsSpace(st.path.back())) st.path.pop_back();
        if (st.path.empty()) throw ScriptError(line, "usage: snapshot FILE.png");
    } else if (keyword == "paint") {
        ExpectWords(words, 0, "paint", line);
    } else if (keyword == "resize") {
        ExpectWords(words, 2, "resize WIDTH HEIGHT", line);
        st.args.push_back(Integer(words[0], 0, 65535, "WIDTH", line));
        st.args.push_back(Integer(words[1], 0, 65535, "HEIGHT", line));
    } else if (keyword == "scroll") {
        const char* usage =
            "scroll h|v POSITION (or top, bottom, lineup, linedown, pageup, pagedown)";
        ExpectWords(words, 2, usage, line);
        if (words[0] != "h" && words[0] != "v")
            throw ScriptError(line, std::string("usage: ") + usage);
        st.args.push_back(Word(words[0]));
        bool named = false;
        for (const auto& [name, code] : kScrollCodes)
            if (words[1] == name) {
                st.args.push_back(Word(name));
                named = true;
            }
        if (!named) st.args.push_back(Integer(words[1], 0, 65535, "POSITION", line));
    } else if (keyword == "wheel") {
        ExpectWords(words, 1, "wheel DELTA", line);
        st.args.push_back(Integer(words[0], -32768, 32767, "DELTA", line));
    } else if (keyword == "mousedown" || keyword == "mouseup") {
        const std::string usage = keyword + " left|right|middle X Y";
        ExpectWords(words, 3, usage.c_str(), line);
        if (words[0] != "left" && words[0] != "right" && words[0] != "middle")
            throw ScriptError(line, "usage: " + usage);
        st.args.push_back(Word(words[0]));
        ParsePoint(words, 1, st);
    } else if (keyword == "mousemove" || keyword == "click" || keyword == "dblclick") {
        const std::string usage = keyword + " X Y";
        ExpectWords(words, 2, usage.c_str(), line);
        ParsePoint(words, 0, st);
    } else if (keyword == "key") {
        ExpectWords(words, 1, "key CHAR (a, \"#\", or a character code such as 13)", line);
        const std::string& word = words[0];
        if (word.front() == '"') {
            const Literal text = ParseLiteral(word, line);
            if (text.text.size() != 1)
                throw ScriptError(line, "key takes one character, found " + word);
            st.args.push_back(Number(static_cast<unsigned char>(text.text[0]), word));
        } else if (word.size() == 1) {
            st.args.push_back(Number(static_cast<unsigned char>(word[0]), word));
        } else {
            st.args.push_back(Integer(word, 0, 255, "a character code", line));
        }
    }
    return st;
}

std::string FormDriver::Execute(IDispatch* control, const Statement& st) {
    form::Form* form = FormOf(control, st.line);
    const std::string& what = st.member;
    auto point = [&](std::size_t at) {
        return MAKELPARAM(ValueOf(st.args[at]), ValueOf(st.args[at + 1]));
    };
    auto button = [&](UINT msg, WPARAM bit, LPARAM at) {
        const bool down = msg != WM_LBUTTONUP && msg != WM_RBUTTONUP && msg != WM_MBUTTONUP;
        if (down) heldButtons_ |= bit;
        else heldButtons_ &= ~bit;
        // A release reports the buttons still held; a press includes its own.
        SendMessage(form, msg, heldButtons_, at);
    };

    if (what == "snapshot") {
        UpdateWindow(form);
        const int width = form->ClientWidth(), height = form->ClientHeight();
        if (width <= 0 || height <= 0) throw ScriptError(st.line, "the client area is empty");
        const std::vector<std::uint32_t> pixels = form->CaptureClient();
        std::string error;
        if (!WritePng(st.path, pixels.data(), width, height, error))
            throw ScriptError(st.line, "cannot write '" + st.path + "': " + error);
        return "snapshot " + QuoteString(st.path) + " (" + std::to_string(width) + "x" +
               std::to_string(height) + ")";
    }
    if (what == "paint") {
        UpdateWindow(form);
    } else if (what == "resize") {
        SendMessage(form, WM_SIZE, 0, MAKELPARAM(ValueOf(st.args[0]), ValueOf(st.args[1])));
    } else if (what == "scroll") {
        const UINT msg = st.args[0].text == "h" ? WM_HSCROLL : WM_VSCROLL;
        WORD code = SB_THUMBPOSITION;
        int position = 0;
        if (st.args[1].kind == Literal::Kind::String) {
            for (const auto& [name, value] : kScrollCodes)
                if (st.args[1].text == name) code = value;
        } else {
            position = ValueOf(st.args[1]);
        }
        SendMessage(form, msg, MAKEWPARAM(code, position), 0);
    } else if (what == "wheel") {
        SendMessage(form, WM_MOUSEWHEEL,
                    MAKEWPARAM(static_cast<int>(heldButtons_), ValueOf(st.args[0])), 0);
    } else if (what == "mousedown" || what == "mouseup") {
        const WPARAM bit = ButtonBit(st.args[0].text);
        button(ButtonMessage(bit, what == "mousedown"), bit, point(1));
    } else if (what == "mousemove") {
        SendMessage(form, WM_MOUSEMOVE, heldButtons_, point(0));
    } else if (what == "click") {
        button(WM_LBUTTONDOWN, MK_LBUTTON, point(0));
        button(WM_LBUTTONUP, MK_LBUTTON, point(0));
    } else if (what == "dblclick") {
        button(WM_LBUTTONDOWN, MK_LBUTTON, point(0));
        button(WM_LBUTTONUP, MK_LBUTTON, point(0));
        button(WM_LBUTTONDBLCLK, MK_LBUTTON, point(0));
        button(WM_LBUTTONUP, MK_LBUTTON, point(0));
    } else if (what == "key") {
        SendMessage(form, WM_CHAR, static_cast<WPARAM>(ValueOf(st.args[0])), 0);
    }
    return Joined(st);
}

bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string& error) {
    std::vector<png_byte> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              3);
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
        rgb[3 * i] = static_cast<png_byte>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<png_byte>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<png_byte>(pixels[i]);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) return true;
    error = image.message;
    png_image_free(&image);
    return false;
}

}  // namespace host
