// ApplyCorrectionFile: bad pixels become the mean of nearby pixels off their row and column; bad
// columns and rows become copies of the nearest usable one toward the image centre.
#include "processing/CorrectionFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

namespace correction {

std::int32_t ParseField(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return -1;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return -1;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return -1;
    }
    std::int64_t result;
    if (base == 16) {
        // Hexadecimal names the 32 bits themselves.
        result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    } else {
        result = static_cast<std::int64_t>(value);
    }
    if (negative) result = -result;
    if (result < INT32_MIN || result > INT32_MAX) return -1;
    return static_cast<std::int32_t>(result);
}

std::vector<std::string> SplitLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r' || content[i] == '\n') {
            lines.emplace_back(content.substr(start, i - start));
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < content.size()) lines.emplace_back(content.substr(start));
    return lines;
}

namespace {

std::string_view TrimControls(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
    return text;
}

std::int32_t Binned(std::int32_t v) { return static_cast<std::int32_t>(std::trunc(v / 2.0 + 0.5)); }

}  // namespace

std::vector<CorrectionEntry> ParseEntries(const std::vector<std::string>& lines, bool binning) {
    std::vector<CorrectionEntry> entries;
    const std::size_t considered = std::min<std::size_t>(lines.size(), kMaxLines);
    for (std::size_t n = 0; n < considered; ++n) {
        const std::string_view line = TrimControls(lines[n]);
        if (line.empty()) continue;
        // Fields by position of the spaces: X before the first, Y up to the second, Kind the rest.
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        const std::string_view x = line.substr(0, first);
        const std::string_view y = first == std::string_view::npos
                                       ? std::string_view{}
                                       : line.substr(first + 1, second - (first + 1));
        const std::string_view kind =
            second == std::string_view::npos ? std::string_view{} : line.substr(second + 1);
        CorrectionEntry entry{ParseField(x), ParseField(y), ParseField(kind)};
        if (entry.X == -1 || entry.Y == -1 || entry.Kind == -1) continue;
        if (binning) {
            entry.X = Binned(entry.X);
            entry.Y = Binned(entry.Y);
        }
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace correction

namespace {

using correction::CorrectionEntry;

// The correction log; once a write fails nothing more is written.
class CorrectionLog {
public:
    bool Open(const std::string& fileName, bool binning) {
        if (fileName.empty()) return false;
        file_.open(fileName, std::ios::binary | std::ios::trunc);
        if (!file_) return false;
        Line("-*- BEGIN OF FILE -*-");
        Line(binning ? "Binning ON" : "Binning OFF");
        file_.flush();
        if (!file_) file_.close();
        return file_.is_open();
    }
    void Line(const std::string& text) {
        if (file_.is_open()) file_ << text << "\r\n";
    }
    void Close() {
        if (!file_.is_open()) return;
        Line("-*- END OF FILE -*-");
        file_.close();
    }

private:
    std::ofstream file_;
};

struct Corrector {
    TaxLumora& control;
    BITMAPHANDLE bitmap;  // shares the current bitmap's pixel memory
    const std::vector<CorrectionEntry>& table;
    CorrectionLog& log;

    bool ColumnBad(int column) const { return Listed(correction::kKindColumn, column, true); }
    bool RowBad(int row) const { return Listed(correction::kKindRow, row, false); }
    bool Listed(std::int32_t kind, int at, bool column) const {
        for (const CorrectionEntry& e : table) {
            if (e.Kind == kind && (column ? e.X : e.Y) == at) return true;
        }
        return false;
    }

    // The nearest usable line toward the centre; out of the image after an over- or underflow.
    int NextUsable(int bad, int size, bool column) {
        const char* const name = column ? "CheckForNextCol" : "CheckForNextRow";
        const auto usable = [&](int candidate) { return column ? !ColumnBad(candidate) : !RowBad(candidate); };
        int candidate = bad;
        if (bad >= 0 && bad < size / 2.0) {
            do {
                ++candidate;
                if (candidate >= size) {
                    control.FireOnLog(std::string("TaxLumora.ApplyCorrectionFile, : ") + name + " overflow...");
                    break;
                }
            } while (!usable(candidate));
        } else if (bad <= size) {
            do {
                --candidate;
                if (candidate < 0) {
                    control.FireOnLog(std::string("TaxLumora.ApplyCorrectionFile, : ") + name + " underflow...");
                    break;
                }
            } while (!usable(candidate));
        } else {
            candidate = -1;
        }
        log.Line(std::string(column ? "Bad col:" : "Bad row:") + std::to_string(bad) +
                 (column ? " Used col:" : " Used row:") + std::to_string(candidate));
        return candidate;
    }

    void CopyCol(int dest, int src) {
        if (dest < 0 || dest >= bitmap.Width || src < 0 || src >= bitmap.Width) return;
        for (int r = 0; r < bitmap.Height; ++r) {
            L_PutPixelColor(&bitmap, r, dest, L_GetPixelColor(&bitmap, r, src));
        }
    }
    void CopyRow(int dest, int src) {
        if (dest < 0 || dest >= bitmap.Height || src < 0 || src >= bitmap.Height) return;
        for (int c = 0; c < bitmap.Width; ++c) {
            L_PutPixelColor(&bitmap, dest, c, L_GetPixelColor(&bitmap, src, c));
        }
    }

    // Window edges: 5 wide inside, on the inner side at a border.
    static void Window(int at, int last, int* first, int* end) {
        *first = at >= 2 ? at - 2 : (at == 1 ? 0 : 1);
        *end = at + 2 <= last ? at + 2 : (at + 1 == last ? at + 1 : at - 1);
    }

    void AverageNeighbours(int x, int y) {
        if (x < 0 || x >= bitmap.Width || y < 0 || y >= bitmap.Height) return;
        int firstCol, lastCol, firstRow, lastRow;
        Window(x, bitmap.Width - 1, &firstCol, &lastCol);
        Window(y, bitmap.Height - 1, &firstRow, &lastRow);
        std::uint32_t sum = 0, count = 0;
        for (int r = firstRow; r <= lastRow; ++r) {
            for (int c = firstCol; c <= lastCol; ++c) {
                if (r == y || c == x) continue;
                sum += L_GetPixelColor(&bitmap, r, c) & 0xFFFFu;
                ++count;
            }
        }
        // A one-pixel-wide or -high image has no pixel off the row and column: left as it is.
        if (count == 0) return;
        L_PutPixelColor(&bitmap, y, x, (sum / count) | COLOR_GRAY16_MARKER);
    }
};

// The whole file, or none when it does not exist; throws when it exists but cannot be read.
std::optional<std::string> ReadCorrectionFile(const std::string& fileName) {
    struct stat info{};
    if (::stat(fileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open()) throw std::runtime_error("Cannot open " + fileName);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("Cannot read " + fileName);
    return content;
}

}  // namespace

HRESULT TaxLumora::ApplyCorrectionFile(BSTR FnCorrection, BSTR FnLog, VARIANT_BOOL Binning,
                                       ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        const bool binning = FromVariantBool(Binning);
        const auto content = ReadCorrectionFile(BstrToUtf8(FnCorrection));
        if (!content) return;
        std::vector<std::string> lines = correction::SplitLines(*content);

        CorrectionLog log;
        const std::string logName = BstrToUtf8(FnLog);
        if (!log.Open(logName, binning)) {
            FireOnLog("TaxLumora.ApplyCorrectionFile, : Could not create " + logName);
        }
        const std::vector<CorrectionEntry> table = correction::ParseEntries(lines, binning);
        for (const CorrectionEntry& e : table) {
            log.Line("n:" + std::to_string(e.X) + " m:" + std::to_string(e.Y) +
                     " p:" + std::to_string(e.Kind));
        }
        lines.clear();

        Corrector corrector{*this, CurrentBitmap, table, log};
        for (const CorrectionEntry& e : table) {
            if (e.Kind == correction::kKindPixel) corrector.AverageNeighbours(e.X, e.Y);
        }
        for (const CorrectionEntry& e : table) {
            if (e.Kind != correction::kKindColumn) continue;
            corrector.CopyCol(e.X, corrector.NextUsable(e.X, CurrentBitmap.Width, true));
        }
        for (const CorrectionEntry& e : table) {
            if (e.Kind != correction::kKindRow) continue;
            corrector.CopyRow(e.Y, corrector.NextUsable(e.Y, CurrentBitmap.Height, false));
        }
        try {
            log.Close();
        } catch (...) {
        }
    });
}
