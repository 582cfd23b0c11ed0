#include "control/Log.h"

#include <atomic>
#include <cstdio>

#include "platform/automation/OleAuto.h"
#include "platform/debug/DebugOutput.h"

namespace {

// Written once at module initialisation, read afterwards.
std::atomic<bool> g_debugSwitch{false};

constexpr const char* kSettingsKey = "HKEY_CURRENT_USER\\Software\\Corvane\\Savonne";
constexpr const char* kDebugViewValue = "DebugView";

std::optional<std::int64_t> ParseInt64(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return std::nullopt;
        if (magnitude > (UINT64_MAX - digit) / base) return std::nullopt;
        magnitude = magnitude * base + digit;
    }
    // Hexadecimal spells the bit pattern; decimal must fit the signed range.
    if (base == 10 && magnitude > (negative ? (1ull << 63) : (1ull << 63) - 1)) return std::nullopt;
    auto value = static_cast<std::int64_t>(magnitude);
    return negative ? static_cast<std::int64_t>(0 - magnitude) : value;
}

}  // namespace

void WriteLog(std::string_view text) {
    if (!g_debugSwitch.load(std::memory_order_relaxed)) return;
    std::string line(text);
    line += "\r\n";
    OutputDebugStringA(line.c_str());
}

bool DebugSwitchOn() { return g_debugSwitch.load(std::memory_order_relaxed); }

bool SetDebugSwitchForTesting(bool on) { return g_debugSwitch.exchange(on); }

std::optional<std::int64_t> RegistryValueAsInteger(const RegistryValue& value) {
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        std::u16string wide;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            char16_t c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
            if (c == 0) break;
            wide.push_back(c);
        }
        return ParseInt64(WideToUtf8(wide));
    }
    if (value.data.size() > 8) return std::nullopt;
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < value.data.size(); ++i)
        bits |= static_cast<std::uint64_t>(value.data[i]) << (8 * i);
    return static_cast<std::int64_t>(bits);
}

void ReadDebugSwitch() {
    bool on = false;
    try {
        RegistryStore store = RegistryStore::Load(RegistryStore::DefaultPath());
        if (auto value = store.Get(kSettingsKey, kDebugViewValue))
            on = RegistryValueAsInteger(*value).value_or(0) != 0;
    } catch (...) {
        on = false;  // an unreadable registry leaves the switch off, silently
    }
    g_debugSwitch.store(on);
}

std::string HexUpper(std::uint64_t value, int minDigits) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*llX", minDigits,
                  static_cast<unsigned long long>(value));
    return buffer;
}
