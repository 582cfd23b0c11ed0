// The engine's report channel: a line for work it did otherwise than asked without failing (a
// value it left out of a file it wrote). The control routes the lines to its log; without a
// sink they are dropped.
#pragma once

#include <string_view>

using DiagnosticSink = void (*)(std::string_view line);

// Installs sink (null: none) and returns the one it replaces.
DiagnosticSink L_SetDiagnosticSink(DiagnosticSink sink);

namespace engine {
// Hands line to the installed sink, if any.
void ReportDiagnostic(std::string_view line);
}  // namespace engine
