// Host texts made into values of a DICOM value representation (PS3.5 6.2), and the pixel spacing
// the bitmap's resolution stands for.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine::file {

enum class DicomVr { DA, TM, DT, PN, LO, SH, CS, UI, IS, LT };

// The value text becomes in vr: the common date and time spellings are rewritten (YYYY-MM-DD,
// YYYY:MM:DD, the EXIF "YYYY:MM:DD HH:MM:SS", HH:MM:SS, ISO 8601 date-times), CS is upper-cased,
// insignificant spaces trimmed. None when no valid value says the same; *problem then tells why.
// Nothing is cut short: a name or identifier that does not fit is refused, not altered.
std::optional<std::string> ToDicomValue(DicomVr vr, std::string_view text, std::string* problem);

// True when text needs more than the default repertoire (ISO-IR 6), i.e. holds non-ASCII bytes.
bool NeedsExtendedCharacters(std::string_view text);

// Millimetres between pixel centres for a resolution in dots per inch (25.4 / dpi), as a DS
// value of at most 16 characters; empty for an unknown resolution (0 or less).
std::string SpacingOfResolution(int dotsPerInch);
// Dots per inch for a spacing in millimetres, rounded to the nearest integer (the bitmap keeps
// whole dots per inch, so 0.02 mm is exactly 1270 but 0.035 mm becomes 726); 0 when the text
// is no positive number or the result does not fit.
int ResolutionOfSpacing(std::string_view millimetres);

}  // namespace engine::file
