#include "engine/file/DicomValues.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace engine::file {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool ValidDate(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    const int last = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= last;
}

// YYYYMMDD, or YYYY-MM-DD / YYYY:MM:DD / YYYY.MM.DD (the last is the ACR-NEMA form PS3.5 still
// mentions), as the eight digits of DA.
std::optional<std::string> DatePart(std::string_view s) {
    std::string digits;
    if (s.size() == 8 && AllDigits(s)) {
        digits = s;
    } else if (s.size() == 10 && (s[4] == '-' || s[4] == ':' || s[4] == '.') && s[7] == s[4] &&
               AllDigits(s.substr(0, 4)) && AllDigits(s.substr(5, 2)) &&
               AllDigits(s.substr(8, 2))) {
        digits =
            std::string(s.substr(0, 4)) + std::string(s.substr(5, 2)) + std::string(s.substr(8, 2));
    } else {
        return std::nullopt;
    }
    if (!ValidDate(Number(digits.substr(0, 4)), Number(digits.substr(4, 2)),
                   Number(digits.substr(6, 2))))
        return std::nullopt;
    return digits;
}

// A fraction of a second ".F" with 1 to 6 digits, kept as given; empty is fine.
bool ValidFraction(std::string_view s) {
    return s.empty() || (s.size() >= 2 && s.size() <= 7 && s[0] == '.' && AllDigits(s.substr(1)));
}

// HH, HHMM, HHMMSS[.F] or HH:MM, HH:MM:SS[.F], as TM (PS3.5 6.2: HH 00-23, MM 00-59, SS 00-60).
std::optional<std::string> TimePart(std::string_view s) {
    const std::size_t dot = s.find('.');
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view{} : s.substr(dot);
    std::string_view clock = s.substr(0, dot);
    std::string digits;
    if (clock.find(':') != std::string_view::npos) {
        if (!(clock.size() == 5 || clock.size() == 8)) return std::nullopt;
        for (std::size_t i = 0; i < clock.size(); ++i) {
            if (i % 3 == 2) {
                if (clock[i] != ':') return std::nullopt;
            } else {
                if (!IsDigit(clock[i])) return std::nullopt;
                digits.push_back(clock[i]);
            }
        }
    } else {
        if (!AllDigits(clock) || (clock.size() != 2 && clock.size() != 4 && clock.size() != 6))
            return std::nullopt;
        digits = clock;
    }
    if (!ValidFraction(fraction) || (!fraction.empty() && digits.size() != 6)) return std::nullopt;
    if (Number(digits.substr(0, 2)) > 23) return std::nullopt;
    if (digits.size() >= 4 && Number(digits.substr(2, 2)) > 59) return std::nullopt;
    if (digits.size() == 6 && Number(digits.substr(4, 2)) > 60) return std::nullopt;
    return digits + std::string(fraction);
}

// A date and a time joined by a space or 'T' (EXIF, ISO 8601).
bool SplitDateTime(std::string_view s, std::string_view* date, std::string_view* time) {
    const std::size_t at = s.find_first_of(" T");
    if (at == std::string_view::npos) return false;
    *date = s.substr(0, at);
    *time = Trim(s.substr(at + 1));
    return true;
}

// A UTC offset: "Z", +HH:MM, +HHMM (or -), as DT's &ZZXX.
std::optional<std::string> Offset(std::string_view s) {
    if (s == "Z") return std::string("+0000");
    if (s.size() < 5 || (s[0] != '+' && s[0] != '-')) return std::nullopt;
    std::string digits;
    for (char c : s.substr(1))
        if (c != ':') digits.push_back(c);
    if (digits.size() != 4 || !AllDigits(digits) || (s.size() == 6 && s[3] != ':') || s.size() > 6)
        return std::nullopt;
    if (Number(digits.substr(0, 2)) > 14 || Number(digits.substr(2, 2)) > 59) return std::nullopt;
    return std::string(1, s[0]) + digits;
}

std::optional<std::string> ToDate(std::string_view s) {
    if (auto date = DatePart(s)) return date;
    std::string_view date, time;
    if (SplitDateTime(s, &date, &time) && TimePart(time)) return DatePart(date);
    return std::nullopt;
}

std::optional<std::string> ToTime(std::string_view s) {
    if (auto time = TimePart(s)) return time;
    std::string_view date, time;
    if (SplitDateTime(s, &date, &time) && DatePart(date)) return TimePart(time);
    return std::nullopt;
}

// A DT value as given: YYYY[MM[DD[HH[MM[SS[.F]]]]]][&ZZXX].
bool ValidDateTime(std::string_view s) {
    std::string_view offset;
    if (const std::size_t sign = s.find_first_of("+-"); sign != std::string_view::npos) {
        offset = s.substr(sign);
        s = s.substr(0, sign);
        if (offset.size() != 5 || !Offset(offset)) return false;
    }
    const std::size_t dot = s.find('.');
    const std::string_view digits = s.substr(0, dot);
    if (dot != std::string_view::npos && (digits.size() != 14 || !ValidFraction(s.substr(dot))))
        return false;
    if (!AllDigits(digits) || digits.size() % 2 || digits.size() < 4 || digits.size() > 14)
        return false;
    const int year = Number(digits.substr(0, 4));
    const int month = digits.size() >= 6 ? Number(digits.substr(4, 2)) : 1;
    const int day = digits.size() >= 8 ? Number(digits.substr(6, 2)) : 1;
    if (!ValidDate(year, month, day)) return false;
    return digits.size() <= 8 || TimePart(digits.substr(8)).has_value();
}

std::optional<std::string> ToDateTime(std::string_view s) {
    if (ValidDateTime(s)) return std::string(s);
    if (auto date = DatePart(s)) return date;
    std::string_view date, rest;
    if (!SplitDateTime(s, &date, &rest)) return std::nullopt;
    const auto day = DatePart(date);
    if (!day) return std::nullopt;
    std::string_view time = rest, zone;
    if (const std::size_t at = rest.find_first_of("Z+-"); at != std::string_view::npos) {
        time = Trim(rest.substr(0, at));
        zone = rest.substr(at);
    }
    auto clock = TimePart(time);
    if (!clock) return std::nullopt;
    std::string value = *day + *clock;
    if (!zone.empty()) {
        const auto offset = Offset(zone);
        if (!offset) return std::nullopt;
        value += *offset;
    }
    return value;
}

// Characters of UTF-8 text (code points); -1 when the bytes are not UTF-8.
long Utf8Length(std::string_view s) {
    long count = 0;
    for (std::size_t i = 0; i < s.size(); ++count) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        if (c < 0x80) extra = 0;
        else if (c >= 0xC2 && c <= 0xDF) extra = 1;
        else if ((c & 0xF0) == 0xE0) extra = 2;
        else if (c >= 0xF0 && c <= 0xF4) extra = 3;
        else return -1;
        if (extra > s.size() - i - 1) return -1;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
        i += extra + 1;
    }
    return count;
}

// Control characters other than ESC (ISO 2022 escapes) are not part of the string VRs; LT also
// takes CR, LF and FF (PS3.5 6.2).
bool CleanControls(std::string_view s, bool text) {
    return std::none_of(s.begin(), s.end(), [&](char c) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0x1B) return false;
        if (text && (u == '\r' || u == '\n' || u == '\f')) return false;
        return u < 0x20 || u == 0x7F;
    });
}

std::optional<std::string> ToString(std::string_view s, long maxCharacters, bool text,
                                    std::string* problem) {
    const long length = Utf8Length(s);
    if (length < 0) return *problem = "not UTF-8 text", std::nullopt;
    if (!CleanControls(s, text)) return *problem = "holds control characters", std::nullopt;
    if (!text && s.find('\\') != std::string_view::npos)
        return *problem = "holds a backslash, the value delimiter", std::nullopt;
    if (length > maxCharacters)
        return *problem = "longer than " + std::to_string(maxCharacters) + " characters",
               std::nullopt;
    return std::string(s);
}

std::optional<std::string> ToPersonName(std::string_view s, std::string* problem) {
    auto value = ToString(s, 64 * 3 + 2, false, problem);
    if (!value) return value;
    // Up to three component groups (alphabetic, ideographic, phonetic), each of at most five
    // components and 64 characters.
    std::size_t groups = 0, start = 0;
    for (;;) {
        const std::size_t end = value->find('=', start);
        const std::string_view group = std::string_view(*value).substr(
            start, end == std::string::npos ? std::string::npos : end - start);
        ++groups;
        if (Utf8Length(group) > 64)
            return *problem = "a name group longer than 64 characters", std::nullopt;
        if (std::count(group.begin(), group.end(), '^') > 4)
            return *problem = "more than five name components", std::nullopt;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (groups > 3) return *problem = "more than three name groups", std::nullopt;
    return value;
}

std::optional<std::string> ToCode(std::string_view s, std::string* problem) {
    std::string value;
    for (char c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || IsDigit(c) || c == ' ' || c == '_'))
            return *problem = "holds characters CS does not take (A-Z, 0-9, space, _)",
                   std::nullopt;
        value.push_back(c);
    }
    if (value.size() > 16) return *problem = "longer than 16 characters", std::nullopt;
    return value;
}

std::optional<std::string> ToUid(std::string_view s, std::string* problem) {
    bool valid = !s.empty() && s.size() <= 64 && s.front() != '.' && s.back() != '.';
    for (std::size_t i = 0; valid && i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.') valid = s[i - 1] != '.';
        else if (!IsDigit(c)) valid = false;
        // No component starts with 0 unless it is 0 (PS3.5 9.1).
        else if (c == '0' && (i == 0 || s[i - 1] == '.') && i + 1 < s.size() && s[i + 1] != '.')
            valid = false;
    }
    if (!valid) return *problem = "not a UID (digits and dots, at most 64)", std::nullopt;
    return std::string(s);
}

std::optional<std::string> ToInteger(std::string_view s, std::string* problem) {
    std::string_view digits = s;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    if (!AllDigits(digits) || s.size() > 12)
        return *problem = "not an integer string", std::nullopt;
    const long long value = std::strtoll(std::string(s).c_str(), nullptr, 10);
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return *problem = "outside the range of IS", std::nullopt;
    return std::string(s);
}

}  // namespace

std::optional<std::string> ToDicomValue(DicomVr vr, std::string_view text, std::string* problem) {
    // Leading and trailing spaces carry no meaning in these VRs (LT keeps its leading ones).
    std::string_view s = vr == DicomVr::LT ? text : Trim(text);
    if (vr == DicomVr::LT)
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty()) return std::string();
    switch (vr) {
        case DicomVr::DA:
            if (auto value = ToDate(s)) return value;
            return *problem = "not a date", std::nullopt;
        case DicomVr::TM:
            if (auto value = ToTime(s)) return value;
            return *problem = "not a time", std::nullopt;
        case DicomVr::DT:
            if (auto value = ToDateTime(s)) return value;
            return *problem = "not a date and time", std::nullopt;
        case DicomVr::PN: return ToPersonName(s, problem);
        case DicomVr::LO: return ToString(s, 64, false, problem);
        case DicomVr::SH: return ToString(s, 16, false, problem);
        case DicomVr::LT: return ToString(s, 10240, true, problem);
        case DicomVr::CS: return ToCode(s, problem);
        case DicomVr::UI: return ToUid(s, problem);
        case DicomVr::IS: return ToInteger(s, problem);
    }
    return std::nullopt;
}

bool NeedsExtendedCharacters(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string SpacingOfResolution(int dotsPerInch) {
    if (dotsPerInch <= 0) return {};
    char text[32];
    // Ten significant digits keep every whole dpi apart and fit DS's 16 characters.
    std::snprintf(text, sizeof text, "%.10g", 25.4 / dotsPerInch);
    return text;
}

int ResolutionOfSpacing(std::string_view millimetres) {
    const std::string text(Trim(millimetres));
    if (text.empty()) return 0;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !(value > 0) || !std::isfinite(value))
        return 0;
    const double dpi = std::round(25.4 / value);
    if (!(dpi >= 1 && dpi <= std::numeric_limits<std::int32_t>::max())) return 0;
    return static_cast<int>(dpi);
}

}  // namespace engine::file
