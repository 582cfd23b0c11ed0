#include <atomic>

#include "engine/Diagnostics.h"

namespace {
// Constant-initialised, so a sink installed by another translation unit's start-up code is never
// overwritten by this one's.
constinit std::atomic<DiagnosticSink> g_sink{nullptr};
}  // namespace

DiagnosticSink L_SetDiagnosticSink(DiagnosticSink sink) { return g_sink.exchange(sink); }

namespace engine {
void ReportDiagnostic(std::string_view line) {
    if (const DiagnosticSink sink = g_sink.load()) sink(line);
}
}  // namespace engine
