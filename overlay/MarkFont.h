// Fonts of the burned-in marks and of drawn text: a face and a size in points, made into pixels
// at the form's pixels per inch as a window font is.
#pragma once

#include <memory>
#include <string_view>

#include "platform/gdi/Font.h"

// A face that matches no installed font is replaced by the sans face; one log line names the
// member, the face asked for and the one used. Never fails.
std::unique_ptr<Font> CreateMarkFont(std::string_view member, std::string_view face, int points,
                                     int pixelsPerInch, bool bold = false);
