// The registry store and its export-file text format.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/automation/OleAuto.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryText.h"

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// Larger files are not read at all (and so never rewritten): a store this size is not ours.
constexpr off_t kMaxFileBytes = 64 << 20;
// Serialized hex lines stay within 80 columns, including the continuation backslash.
constexpr std::size_t kHexLineLimit = 79;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses 1..maxDigits hex digits making up all of `s`.
std::optional<std::uint64_t> ParseHexNumber(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<unsigned>(d);
    }
    return v;
}

// "41,00, 42" -> bytes. Each byte is one or two digits; a trailing comma is tolerated.
std::optional<std::vector<BYTE>> ParseHexList(std::string_view s) {
    std::vector<BYTE> out;
    s = TrimRight(TrimLeft(s));
    while (!s.empty()) {
        const std::size_t comma = s.find(',');
        const std::string_view item = TrimRight(TrimLeft(s.substr(0, comma)));
        const auto byte = ParseHexNumber(item, 2);
        if (!byte) return std::nullopt;
        out.push_back(static_cast<BYTE>(*byte));
        if (comma == std::string_view::npos) break;
        s = TrimLeft(s.substr(comma + 1));
    }
    return out;
}

// Reads a quoted string starting at s[0] == '"'; only \\ and \" are escapes, any other
// backslash stands for itself. Advances `s` past the closing quote.
std::optional<std::string> ParseQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[i + 1]);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return std::nullopt;  // unterminated
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Decodes the file bytes to UTF-8 text: UTF-16LE with a byte-order mark as regedit writes it,
// otherwise UTF-8 (a UTF-8 byte-order mark is dropped).
std::string DecodeFileText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < wide.size(); ++i) {
            wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                            static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
        }
        return WideToUtf8(wide);
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// A hex continuation line holds nothing but digits, commas, blanks and a final backslash; any
// other line after a trailing backslash means the value was cut short.
bool IsHexContinuation(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) {
        return HexDigit(c) >= 0 || c == ',' || c == '\\' || IsSpace(c);
    });
}

std::vector<BYTE> DwordBytes(std::uint32_t v) {
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
            static_cast<BYTE>(v >> 24)};
}

// The "text" form holds exactly the strings that come back unchanged from it: valid UTF-16
// with one terminating zero and no other zero or line break.
bool FitsQuotedForm(const std::vector<BYTE>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return false;
    const std::vector<BYTE> body(data.begin(), data.end() - 2);
    const std::string utf8 = registry_text::Utf16LeToUtf8(body);
    if (HasLineBreakOrNul(utf8)) return false;
    return registry_text::Utf8ToUtf16Le(utf8) == body;
}

void AppendHexForm(std::string& out, std::string prefix, const std::vector<BYTE>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line = std::move(prefix);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool last = i + 1 == data.size();
        const std::size_t tokenSize = last ? 2 : 3;
        // Room for the token and, unless it is the last, the continuation backslash.
        if (line.size() + tokenSize + (last ? 0 : 1) > kHexLineLimit && line.size() > 2) {
            out += line;
            out += "\\\n";
            line = "  ";
        }
        line.push_back(kDigits[data[i] >> 4]);
        line.push_back(kDigits[data[i] & 0xF]);
        if (!last) line.push_back(',');
    }
    out += line;
    out.push_back('\n');
}

std::string HexTypeName(DWORD type) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[type & 0xF]);
        type >>= 4;
    } while (type != 0);
    return digits;
}

std::vector<std::string> SplitPath(const std::string& folded) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t sep = folded.find('\\', start);
        parts.push_back(folded.substr(start, sep - start));
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return parts;
}

bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool RegistryStore::IsValidKeyPath(const std::string& keyPath) {
    if (keyPath.empty() || keyPath.front() == '-' || HasLineBreakOrNul(keyPath)) return false;
    if (keyPath.front() == '\\' || keyPath.back() == '\\') return false;
    return keyPath.find("\\\\") == std::string::npos;
}

bool RegistryStore::IsValidValueName(const std::string& name) { return !HasLineBreakOrNul(name); }

RegistryStore RegistryStore::Parse(const std::string& text) {
    bool recognised = false;
    return ParseText(text, recognised);
}

RegistryStore RegistryStore::ParseText(const std::string& rawText, bool& recognised) {
    RegistryStore store;
    recognised = false;
    const std::string text = DecodeFileText(rawText);
    const std::vector<std::string_view> lines = SplitLines(text);

    std::size_t i = 0;
    while (i < lines.size() && TrimLeft(TrimRight(lines[i])).empty()) ++i;
    if (i == lines.size()) return store;
    const std::string_view header = TrimLeft(TrimRight(lines[i]));
    if (header != kHeader5 && header != kHeader4) return store;
    recognised = true;
    // REGEDIT4 files carry expandable and multi-strings as 8-bit text, not UTF-16.
    const bool eightBitStrings = header == kHeader4;
    ++i;

    std::optional<std::string> currentKey;
    for (; i < lines.size(); ++i) {
        std::string_view line = TrimRight(TrimLeft(lines[i]));
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            currentKey.reset();
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close == 0) continue;
            std::string_view path = line.substr(1, close - 1);
            if (!path.empty() && path.front() == '-') {
                store.DeleteTree(std::string(path.substr(1)));
                continue;
            }
            std::string keyPath(path);
            if (!IsValidKeyPath(keyPath)) continue;
            store.CreateKey(keyPath);
            currentKey = std::move(keyPath);
            continue;
        }

        // A value line: "Name"=... or @=...
        std::string name;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            auto quoted = ParseQuoted(rest);
            if (!quoted || quoted->empty()) continue;  // "" is not a name; the default is @
            name = std::move(*quoted);
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') continue;
        rest = TrimLeft(rest.substr(1));
        if (!currentKey || !IsValidValueName(name)) continue;

        if (rest == "-") {
            store.DeleteValue(*currentKey, name);
            continue;
        }
        if (!rest.empty() && rest.front() == '"') {
            auto str = ParseQuoted(rest);
            if (!str || !TrimLeft(rest).empty()) continue;
            store.Set(*currentKey, name,
                      {REG_SZ, registry_text::Utf8ToUtf16Le(*str, /*terminate=*/true)});
            continue;
        }
        if (rest.substr(0, 6) == "dword:") {
            const auto v = ParseHexNumber(rest.substr(6), 8);
            if (!v) continue;
            store.Set(*currentKey, name, {REG_DWORD, DwordBytes(static_cast<std::uint32_t>(*v))});
            continue;
        }
        if (rest.substr(0, 3) != "hex") continue;
        rest.remove_prefix(3);
        DWORD type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos) continue;
            const auto t = ParseHexNumber(rest.substr(1, close - 1), 8);
            if (!t) continue;
            type = static_cast<DWORD>(*t);
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') continue;
        rest.remove_prefix(1);

        // Gather continuation lines: a list ending in a backslash goes on in the next line.
        std::string list(rest);
        bool truncated = false;
        while (!list.empty() && TrimRight(list).back() == '\\') {
            list.erase(TrimRight(list).size() - 1);
            if (i + 1 >= lines.size()) break;  // a lone backslash at the end: take what we have
            const std::string_view next = lines[i + 1];
            if (!IsHexContinuation(next)) {
                truncated = true;
                break;
            }
            list += next;
            ++i;
        }
        if (truncated) continue;
        auto bytes = ParseHexList(list);
        if (!bytes) continue;
        if (eightBitStrings && (type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
            const std::string utf8(bytes->begin(), bytes->end());
            *bytes = registry_text::Utf8ToUtf16Le(utf8, /*terminate=*/false);
        }
        store.Set(*currentKey, name, {type, std::move(*bytes)});
    }
    return store;
}

std::string RegistryStore::Serialize() const {
    std::string out(kHeader5);
    out += "\n\n";

    // Keys in path order component by component, so a key is followed by its subkeys.
    std::vector<std::pair<std::vector<std::string>, const Key*>> ordered;
    ordered.reserve(keys_.size());
    for (const auto& [folded, key] : keys_) ordered.emplace_back(SplitPath(folded), &key);
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    for (const auto& [parts, key] : ordered) {
        out += "[" + key->path + "]\n";
        for (const auto& [folded, entry] : key->values) {
            const auto& [name, value] = entry;
            std::string prefix = name.empty() ? std::string("@") : Quote(name);
            prefix += "=";
            if (value.type == REG_SZ && FitsQuotedForm(value.data)) {
                const std::vector<BYTE> body(value.data.begin(), value.data.end() - 2);
                out += prefix + Quote(registry_text::Utf16LeToUtf8(body)) + "\n";
            } else if (value.type == REG_DWORD && value.data.size() == 4) {
                static constexpr char kDigits[] = "0123456789abcdef";
                std::uint32_t v = registry_text::ReadLe32(value.data.data());
                std::string digits(8, '0');
                for (int d = 7; d >= 0; --d, v >>= 4) digits[d] = kDigits[v & 0xF];
                out += prefix + "dword:" + digits + "\n";
            } else if (value.type == REG_BINARY) {
                AppendHexForm(out, prefix + "hex:", value.data);
            } else {
                AppendHexForm(out, prefix + "hex(" + HexTypeName(value.type) + "):", value.data);
            }
        }
        out += "\n";
    }
    return out;
}

std::string RegistryStore::DefaultPath() {
    const char* explicitPath = std::getenv("AXLUMORA_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    // The base directory specification ignores relative values of $XDG_CONFIG_HOME.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/axlumora/registry.reg";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else {
        std::vector<char> buffer(16384);
        struct passwd pw {};
        struct passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty()) return {};
    return home + "/.config/axlumora/registry.reg";
}

RegistryStore RegistryStore::Load(const std::string& path) {
    LoadStatus status;
    return Load(path, status);
}

RegistryStore RegistryStore::Load(const std::string& path, LoadStatus& status) {
    status = LoadStatus::Missing;
    if (path.empty()) return {};
    // Non-blocking open so that a FIFO in the file's place cannot hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) status = LoadStatus::Unreadable;
        return {};
    }
    const registry_text::FileDescriptor file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        status = LoadStatus::Unreadable;
        return {};
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            status = LoadStatus::Unreadable;
            return {};
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.size() > static_cast<std::size_t>(kMaxFileBytes)) {
            status = LoadStatus::Unreadable;
            return {};
        }
    }
    bool recognised = false;
    RegistryStore store = ParseText(bytes, recognised);
    const bool blank =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return IsSpace(c) || c == '\n'; });
    status = recognised || blank ? LoadStatus::Loaded : LoadStatus::Unrecognised;
    return store;
}

bool RegistryStore::Save(const std::string& path) const {
    if (path.empty()) return false;
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir)) return false;

    // Write a temporary file beside the target and rename it over: readers in other processes
    // see either the old store or the new one, never half of it.
    std::string tempPath = path + ".XXXXXX";
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok;
    {
        const registry_text::FileDescriptor file(fd);
        ok = WriteAll(fd, Serialize()) && ::fsync(fd) == 0;
    }
    if (ok) ok = ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tempPath.c_str());
    return ok;
}

std::optional<RegistryValue> RegistryStore::Get(const std::string& keyPath,
                                                const std::string& name) const {
    const auto key = keys_.find(registry_text::FoldAscii(keyPath));
    if (key == keys_.end()) return std::nullopt;
    const auto value = key->second.values.find(registry_text::FoldAscii(name));
    if (value == key->second.values.end()) return std::nullopt;
    return value->second.second;
}

void RegistryStore::Set(const std::string& keyPath, const std::string& name, RegistryValue value) {
    if (!IsValidKeyPath(keyPath) || !IsValidValueName(name)) return;
    CreateKey(keyPath);
    Key& key = keys_[registry_text::FoldAscii(keyPath)];
    auto [it, inserted] = key.values.try_emplace(registry_text::FoldAscii(name), name, value);
    if (!inserted) it->second.second = std::move(value);  // keeps the name as first written
}

bool RegistryStore::DeleteValue(const std::string& keyPath, const std::string& name) {
    const auto key = keys_.find(registry_text::FoldAscii(keyPath));
    if (key == keys_.end()) return false;
    return key->second.values.erase(registry_text::FoldAscii(name)) > 0;
}

void RegistryStore::CreateKey(const std::string& keyPath) {
    if (!IsValidKeyPath(keyPath)) return;
    keys_.try_emplace(registry_text::FoldAscii(keyPath), Key{keyPath, {}});
}

bool RegistryStore::KeyExists(const std::string& keyPath) const {
    const std::string folded = registry_text::FoldAscii(keyPath);
    if (folded.empty()) return false;
    if (keys_.count(folded)) return true;
    const std::string prefix = folded + "\\";
    const auto below = keys_.lower_bound(prefix);
    return below != keys_.end() && below->first.compare(0, prefix.size(), prefix) == 0;
}

bool RegistryStore::DeleteTree(const std::string& keyPath) {
    const std::string folded = registry_text::FoldAscii(keyPath);
    if (folded.empty()) return false;
    const std::size_t before = keys_.size();
    keys_.erase(folded);
    const std::string prefix = folded + "\\";
    auto it = keys_.lower_bound(prefix);
    while (it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0)
        it = keys_.erase(it);
    return keys_.size() != before;
}
