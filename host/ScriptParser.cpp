#include "host/ScriptParser.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "host/FormStatements.h"

namespace host {

Literal::Literal() = default;

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// The line up to a '#' that is outside quotes. An unterminated string is reported here so that
// a '#' inside it is not mistaken for a comment.
std::string_view StripComment(std::string_view text, int line) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '#') {
            return text.substr(0, i);
        }
    }
    if (quoted) throw ScriptError(line, "unterminated string");
    return text;
}

class Cursor {
public:
    Cursor(std::string_view text, int line) : text_(text), line_(line) {}

    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    }
    bool AtEnd() {
        SkipSpace();
        return pos_ >= text_.size();
    }
    char Peek() {
        SkipSpace();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    bool Accept(char c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    void Expect(char c, const char* what) {
        if (!Accept(c)) Fail(std::string("expected ") + what + Found());
    }
    std::string Identifier(const char* what) {
        SkipSpace();
        if (pos_ >= text_.size() || !IsIdentStart(text_[pos_]))
            Fail(std::string("expected ") + what + Found());
        const std::size_t start = pos_;
        while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }
    // The identifier at the cursor without consuming it, or empty.
    std::string_view PeekIdentifier() {
        SkipSpace();
        std::size_t end = pos_;
        if (end < text_.size() && IsIdentStart(text_[end]))
            while (end < text_.size() && IsIdentChar(text_[end])) ++end;
        return text_.substr(pos_, end - pos_);
    }
    std::string Rest() {
        SkipSpace();
        std::string rest(Trim(text_.substr(pos_)));
        pos_ = text_.size();
        return rest;
    }
    std::size_t Position() const { return pos_; }
    void SetPosition(std::size_t pos) { pos_ = pos; }

    Literal ParseLiteral();
    std::string ParsePath();

    [[noreturn]] void Fail(const std::string& message) const { throw ScriptError(line_, message); }

private:
    std::string Found() {
        SkipSpace();
        if (pos_ >= text_.size()) return " at end of line";
        std::size_t end = pos_;
        while (end < text_.size() && !IsSpace(text_[end])) ++end;
        return ", found '" + std::string(text_.substr(pos_, end - pos_)) + "'";
    }
    std::string ParseString();
    Literal ParseRecord();
    Literal ParseWord();

    std::string_view text_;
    int line_;
    std::size_t pos_ = 0;
};

std::string Cursor::ParseString() {
    // The opening quote has been seen at pos_.
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
        const char c = text_[pos_++];
        if (c == '"') return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos_ >= text_.size()) break;
        const char e = text_[pos_++];
        switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            default: Fail(std::string("unknown escape '\\") + e + "' in string");
        }
    }
    Fail("unterminated string");
}

Literal Cursor::ParseRecord() {
    const std::size_t start = pos_;
    Expect('{', "'{'");
    Literal record;
    record.kind = Literal::Kind::Record;
    if (!Accept('}')) {
        do {
            std::string field = Identifier("a field name");
            Expect('=', "'=' after the field name");
            // Refused before descending: a deep nest would otherwise exhaust the stack.
            if (Peek() == '{') Fail("records cannot be nested");
            Literal value = ParseLiteral();
            for (const auto& [name, unused] : record.fields)
                if (EqualsIgnoreCase(name, field)) Fail("field '" + field + "' given twice");
            record.fields.emplace_back(std::move(field), std::move(value));
        } while (Accept(','));
        Expect('}', "',' or '}' in the record");
    }
    record.spelling = std::string(text_.substr(start, pos_ - start));
    return record;
}

// A number or true/false: the run of characters up to a separator, read as a whole.
Literal Cursor::ParseWord() {
    SkipSpace();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != ',' &&
           text_[pos_] != '}' && text_[pos_] != '"')
        ++pos_;
    const std::string_view word = text_.substr(start, pos_ - start);
    Literal lit;
    lit.spelling = std::string(word);
    if (word.empty()) Fail("expected a value" + Found());

    if (EqualsIgnoreCase(word, "true") || EqualsIgnoreCase(word, "false")) {
        lit.kind = Literal::Kind::Boolean;
        lit.boolean = EqualsIgnoreCase(word, "true");
        return lit;
    }

    std::string_view digits = word;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    const bool hex =
        digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (hex) digits.remove_prefix(2);
    if (!digits.empty() && (hex || IsDigit(digits.front()))) {
        std::uint64_t magnitude = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, hex ? 16 : 10);
        if (ec == std::errc() && end == digits.data() + digits.size()) {
            if (negative && magnitude > (std::uint64_t{1} << 63))
                Fail("integer " + lit.spelling + " is below the 64-bit range");
            lit.kind = Literal::Kind::Integer;
            lit.magnitude = magnitude;
            lit.negative = negative && magnitude != 0;
            return lit;
        }
        if (ec == std::errc::result_out_of_range)
            Fail("integer " + lit.spelling + " is beyond the 64-bit range");
    }

    // A float: the whole word must read as one finite number.
    if (!hex && !word.empty() && (IsDigit(word.back()) || word.back() == '.')) {
        double value = 0.0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (ec == std::errc() && end == word.data() + word.size() && std::isfinite(value)) {
            lit.kind = Literal::Kind::Float;
            lit.real = value;
            return lit;
        }
    }
    if (IsIdentStart(word.front()))
        Fail("bad value '" + lit.spelling + "' (strings need double quotes)");
    Fail("bad value '" + lit.spelling + "'");
}

Literal Cursor::ParseLiteral() {
    const char c = Peek();
    if (c == '"') {
        const std::size_t start = pos_;
        Literal lit;
        lit.kind = Literal::Kind::String;
        lit.text = ParseString();
        lit.spelling = std::string(text_.substr(start, pos_ - start));
        return lit;
    }
    if (c == '&') {
        ++pos_;
        Literal lit;
        lit.kind = Literal::Kind::BufferAddress;
        lit.text = Identifier("a buffer name after '&'");
        lit.spelling = "&" + lit.text;
        return lit;
    }
    if (c == '@') {
        ++pos_;
        Literal lit;
        lit.kind = Literal::Kind::BufferArray;
        lit.text = Identifier("a buffer name after '@'");
        lit.spelling = "@" + lit.text;
        return lit;
    }
    if (c == '{') return ParseRecord();
    if (c == '\0') Fail("expected a value at end of line");
    return ParseWord();
}

std::string Cursor::ParsePath() {
    if (Peek() == '"') {
        std::string path = ParseString();
        if (!AtEnd()) Fail("unexpected text after the file name" + Found());
        if (path.empty()) Fail("empty file name");
        return path;
    }
    std::string path = Rest();
    if (path.empty()) Fail("expected a file name");
    return path;
}

Statement ParseStatement(Cursor& in, std::string_view source, int line) {
    Statement st;
    st.line = line;
    st.source = std::string(source);

    const std::string first = in.Identifier("a member name or 'buffer'/'save'");
    if (first == "buffer") {
        st.buffer = in.Identifier("a buffer name after 'buffer'");
        if (in.Accept('<')) {
            st.kind = Statement::Kind::BufferLoad;
            st.path = in.ParsePath();
            return st;
        }
        if (in.Accept('=')) {
            st.kind = Statement::Kind::BufferAlloc;
            Literal size = in.ParseLiteral();
            if (size.kind != Literal::Kind::Integer || size.negative)
                in.Fail("buffer size must be a non-negative integer, found '" + size.spelling +
                        "'");
            if (!in.AtEnd()) in.Fail("unexpected text after the buffer size");
            st.size = size.magnitude;
            return st;
        }
        in.Fail("expected '< FILE' or '= SIZE' after 'buffer " + st.buffer + "'");
    }
    // `save NAME > FILE`; anything else starting with "save" is a call of the member SAVE.
    if (first == "save") {
        const std::size_t mark = in.Position();
        const std::string_view name = in.PeekIdentifier();
        if (!name.empty()) {
            std::string buffer(name);
            in.Identifier("a buffer name");
            if (in.Accept('>')) {
                st.kind = Statement::Kind::BufferSave;
                st.buffer = std::move(buffer);
                st.path = in.ParsePath();
                return st;
            }
        }
        in.SetPosition(mark);
    }

    if (IsFormStatement(first)) return ParseFormStatement(first, in.Rest(), source, line);

    st.member = first;
    if (in.Accept('=')) {
        st.kind = Statement::Kind::PropertyPut;
        st.args.push_back(in.ParseLiteral());
        if (!in.AtEnd()) in.Fail("a property takes one value after '='");
        return st;
    }
    st.kind = Statement::Kind::Call;
    while (!in.AtEnd()) {
        if (in.Accept('>')) {
            st.buffer = in.Identifier("a buffer name after '>'");
            if (!in.AtEnd()) in.Fail("unexpected text after '> " + st.buffer + "'");
            break;
        }
        in.Accept(',');  // commas between arguments are optional
        st.args.push_back(in.ParseLiteral());
    }
    return st;
}

}  // namespace

std::optional<std::int64_t> Literal::AsInt64() const {
    if (kind != Kind::Integer) return std::nullopt;
    if (negative) {
        if (magnitude > (std::uint64_t{1} << 63)) return std::nullopt;
        return static_cast<std::int64_t>(0 - magnitude);
    }
    if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::optional<Statement> ParseLine(std::string_view text, int line) {
    const std::string_view source = Trim(StripComment(text, line));
    if (source.empty()) return std::nullopt;
    Cursor in(source, line);
    return ParseStatement(in, source, line);
}

std::vector<Statement> ParseScript(std::string_view text, std::vector<ScriptError>& errors) {
    std::vector<Statement> statements;
    int line = 0;
    while (!text.empty() || line == 0) {
        ++line;
        const std::size_t eol = text.find('\n');
        const std::string_view current = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        try {
            if (auto st = ParseLine(current, line)) statements.push_back(std::move(*st));
        } catch (const ScriptError& e) {
            errors.push_back(e);
        }
        if (text.empty()) break;
    }
    return statements;
}

Literal ParseLiteral(std::string_view text, int line) {
    Cursor in(text, line);
    Literal lit = in.ParseLiteral();
    if (!in.AtEnd()) in.Fail("'" + std::string(Trim(text)) + "' is not one value");
    return lit;
}

std::string QuoteString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    out += '"';
    return out;
}

}  // namespace host
