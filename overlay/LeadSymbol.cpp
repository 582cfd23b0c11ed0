// PutSymbolOnLead_16Bit: the lead symbol burned into the lower right corner of a 16-bit image,
// scaled up by whole pixels.
#include <algorithm>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "overlay/LeadSymbol.h"

namespace {

// Images up to this size take the symbol at scale 1; each further step adds one.
constexpr int kPixelsPerScaleStep = 600;
// Margin to the right and bottom edge, in glyph cells.
constexpr int kMarginCells = 3;

int AutomaticScale(int width, int height) {
    return (height > width ? height : width) / kPixelsPerScaleStep + 1;
}

}  // namespace

// Symbol and Position choose nothing: there is one symbol and one corner. The symbol is placed in
// memory rows and columns, whatever the view perspective.
HRESULT TaxLumora::PutSymbolOnLead_16Bit(BYTE /*Symbol*/, BYTE /*Position*/, BYTE Factor) {
    return SafeCall([&] {
        using namespace leadsymbol;
        if (!ImagePresent() || CurrentBitmap.BitsPerPixel != 16) return;
        const int width = CurrentBitmap.Width;
        const int height = CurrentBitmap.Height;
        const int scale = Factor != 0 ? Factor : AutomaticScale(width, height);
        const int symbolWidth = kGlyphWidth * scale;
        const int symbolHeight = kGlyphHeight * scale;
        const int left = width - symbolWidth - kMarginCells * scale;
        const int top = height - symbolHeight - kMarginCells * scale;

        // Every pixel the engine refuses (outside a small image) costs a log line. When nothing
        // is logged those pixels are not visited at all, so a large scale on a thin image does not
        // spend its time on writes that cannot land.
        int firstRow = 0, lastRow = symbolHeight - 1, firstCol = 0, lastCol = symbolWidth - 1;
        if (!DebugSwitchOn()) {
            firstRow = std::max(firstRow, -top);
            lastRow = std::min(lastRow, height - 1 - top);
            firstCol = std::max(firstCol, -left);
            lastCol = std::min(lastCol, width - 1 - left);
        }
        for (int y = firstRow; y <= lastRow; ++y) {
            const auto& cells = LeadSymbolGlyph[y / scale];
            for (int x = firstCol; x <= lastCol; ++x) {
                const std::uint8_t cell = cells[x / scale];
                if (cell == kTransparent) continue;
                // The sample is the cell × 256, handed over as a marked 16-bit grey level.
                const std::uint8_t buffer[4] = {0, cell, 0, COLOR_GRAY16_MARKER >> 24};
                const int result = L_PutPixelData(&CurrentBitmap, buffer, top + y, left + x, 4);
                if (result != SUCCESS) {
                    WriteLog("axLumora.PutSymbolOnLead_16Bit; Res:" + std::to_string(result));
                }
            }
        }
    });
}
