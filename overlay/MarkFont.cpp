#include "overlay/MarkFont.h"

#include <string>

#include "control/Log.h"

std::unique_ptr<Font> CreateMarkFont(std::string_view member, std::string_view face, int points,
                                     int pixelsPerInch, bool bold) {
    auto font = Font::Create(face, FontHeightFromPoints(points, pixelsPerInch), bold);
    if (font->Substituted()) {
        WriteLog("axLumora." + std::string(member) + ", Font not found: " + std::string(face) +
                 ", using " + font->Family());
    }
    return font;
}
