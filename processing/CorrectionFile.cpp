// ApplyCorrectionFile: bad pixels become the mean of nearby pixels off their row and column; bad
// columns and rows become copies of the nearest usable one toward the image centre.
#include "processing/CorrectionFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "engine/PixelView.h"

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
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
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
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(' ', first + 1);
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

namespace {

// One pixel's colour value as the engine's single-pixel calls give and take it; on the grey
// route the word itself, marked as a 16-bit grey level, which is what those calls make of it.
class PixelAccess {
public:
    PixelAccess(BITMAPHANDLE* bitmap, PixelRoute route) : bitmap_(bitmap), route_(route) {
        Refresh();
    }

    // Looks the pixels up again: after host code has run (an event handler may have freed or
    // replaced the image) the view may no longer be valid.
    void Refresh() {
        words_ = route_ == PixelRoute::GreyWords &&
                 engine::AccessPixels(bitmap_, &view_) == SUCCESS &&
                 engine::IsGrayFormat(view_.format);
    }

    int Width() const { return bitmap_->Width; }
    int Height() const { return bitmap_->Height; }

    // 0 outside the image, as the engine reads it.
    std::uint32_t Read(int row, int col) const {
        if (!words_) return L_GetPixelColor(bitmap_, row, col);
        if (row < 0 || row >= view_.height || col < 0 || col >= view_.width) return 0;
        return view_.Row16(row)[col] | COLOR_GRAY16_MARKER;
    }

    // Takes only colours marked as grey levels; 12-bit samples stay within 12 bits.
    void Write(int row, int col, std::uint32_t color) {
        if (!words_) {
            L_PutPixelColor(bitmap_, row, col, color);
            return;
        }
        if (row < 0 || row >= view_.height || col < 0 || col >= view_.width) return;
        const std::uint32_t level = color & 0xFFFFu;
        view_.Row16(row)[col] = static_cast<std::uint16_t>(
            view_.format == engine::PixelFormat::Gray12 ? std::min<std::uint32_t>(level, 4095)
                                                        : level);
    }

private:
    BITMAPHANDLE* bitmap_;
    PixelRoute route_;
    engine::PixelView view_;
    bool words_ = false;
};

void CopyCol(PixelAccess& pixels, int dest, int src) {
    if (dest < 0 || dest >= pixels.Width() || src < 0 || src >= pixels.Width()) return;
    for (int r = 0; r < pixels.Height(); ++r) pixels.Write(r, dest, pixels.Read(r, src));
}

void CopyRow(PixelAccess& pixels, int dest, int src) {
    if (dest < 0 || dest >= pixels.Height() || src < 0 || src >= pixels.Height()) return;
    for (int c = 0; c < pixels.Width(); ++c) pixels.Write(dest, c, pixels.Read(src, c));
}

// Window edges: 5 wide inside, on the inner side at a border.
void Window(int at, int last, int* first, int* end) {
    *first = at >= 2 ? at - 2 : (at == 1 ? 0 : 1);
    *end = at + 2 <= last ? at + 2 : (at + 1 == last ? at + 1 : at - 1);
}

void AverageNeighbours(PixelAccess& pixels, int x, int y) {
    if (x < 0 || x >= pixels.Width() || y < 0 || y >= pixels.Height()) return;
    int firstCol, lastCol, firstRow, lastRow;
    Window(x, pixels.Width() - 1, &firstCol, &lastCol);
    Window(y, pixels.Height() - 1, &firstRow, &lastRow);
    std::uint32_t sum = 0, count = 0;
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = firstCol; c <= lastCol; ++c) {
            if (r == y || c == x) continue;
            sum += pixels.Read(r, c) & 0xFFFFu;
            ++count;
        }
    }
    // A one-pixel-wide or -high image has no pixel off the row and column: left as it is.
    if (count == 0) return;
    pixels.Write(y, x, (sum / count) | COLOR_GRAY16_MARKER);
}

}  // namespace

PixelRoute RouteFor(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    return engine::AccessPixels(bitmap, &view) == SUCCESS && engine::IsGrayFormat(view.format)
               ? PixelRoute::GreyWords
               : PixelRoute::EngineColours;
}

void Repair(BITMAPHANDLE* bitmap, const std::vector<CorrectionEntry>& table, PixelRoute route,
            const ChooseSource& chooseSource) {
    PixelAccess pixels(bitmap, route);
    for (const CorrectionEntry& e : table) {
        if (e.Kind == kKindPixel) AverageNeighbours(pixels, e.X, e.Y);
    }
    // chooseSource reports to the host, whose handlers may change the image.
    for (const CorrectionEntry& e : table) {
        if (e.Kind != kKindColumn) continue;
        const int source = chooseSource(e.X, true);
        pixels.Refresh();
        CopyCol(pixels, e.X, source);
    }
    for (const CorrectionEntry& e : table) {
        if (e.Kind != kKindRow) continue;
        const int source = chooseSource(e.Y, false);
        pixels.Refresh();
        CopyRow(pixels, e.Y, source);
    }
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

// Chooses the replacement lines and reports them to the log and the event sink.
struct Corrector {
    TaxLumora& control;
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
        const auto usable = [&](int candidate) {
            return column ? !ColumnBad(candidate) : !RowBad(candidate);
        };
        int candidate = bad;
        if (bad >= 0 && bad < size / 2.0) {
            do {
                ++candidate;
                if (candidate >= size) {
                    control.FireOnLog(std::string("TaxLumora.ApplyCorrectionFile, : ") + name +
                                      " overflow...");
                    break;
                }
            } while (!usable(candidate));
        } else if (bad <= size) {
            do {
                --candidate;
                if (candidate < 0) {
                    control.FireOnLog(std::string("TaxLumora.ApplyCorrectionFile, : ") + name +
                                      " underflow...");
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
};

// The whole file, or none when it does not exist; throws when it exists but cannot be read.
std::optional<std::string> ReadCorrectionFile(const std::string& fileName) {
    struct stat info {};
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

        Corrector corrector{*this, table, log};
        BITMAPHANDLE shared = CurrentBitmap;  // shares the current bitmap's pixel memory
        correction::Repair(
            &shared, table, correction::RouteFor(&shared), [&](int bad, bool column) {
                return corrector.NextUsable(
                    bad, column ? CurrentBitmap.Width : CurrentBitmap.Height, column);
            });
        try {
            log.Close();
        } catch (...) {
        }
    });
}
