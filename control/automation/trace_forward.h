// The control's trace events handed to a host's sink in the module's binary
// form (palvex_trace.h), the same on every system.
#pragma once

#include "control/automation/palvex_trace.h"

namespace palvex {

struct TraceEvent;

// Gives one event to the sink: frames and replies with their bytes, link
// failures with their parts and their whole text.
void ForwardTraceEvent(PALVEX_TRACE_SINK sink, void* context, const TraceEvent& e);

} // namespace palvex
