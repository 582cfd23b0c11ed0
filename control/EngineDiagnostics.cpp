// The engine's report lines go to the control's log (behind the DebugView switch).
#include "control/Log.h"
#include "engine/Diagnostics.h"

namespace {
const DiagnosticSink g_previousSink = L_SetDiagnosticSink(&WriteLog);
}  // namespace
