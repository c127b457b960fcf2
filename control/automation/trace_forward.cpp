#include "control/automation/trace_forward.h"

#include "control/protocol/link_error.h"
#include "control/protocol/transport.h"

#include <string>

namespace palvex {

void ForwardTraceEvent(PALVEX_TRACE_SINK sink, void* context, const TraceEvent& e) {
    PALVEX_TRACE_EVENT out{};
    out.link = e.link != nullptr ? e.link : "";
    out.attempt = e.attempt;
    out.maxAttempts = e.maxAttempts;
    out.operation = "";
    out.errorKind = "";
    out.text = "";
    std::string text;
    if (e.IsLinkError()) {
        out.kind = PALVEX_TRACE_LINK_ERROR;
        out.operation = LinkOperationText(e.operation);
        out.errorKind = LinkErrorKindText(e.error.kind);
        out.sysErrno = e.error.sysErrno;
        try {
            text =
                LinkFailureText(e.link, e.operation, e.error, e.detail, e.attempt, e.maxAttempts);
            out.text = text.c_str();
        } catch (...) {
            // Out of memory: the event still goes out, with the parts.
        }
    } else {
        out.kind = e.outgoing ? PALVEX_TRACE_FRAME_OUT : PALVEX_TRACE_REPLY_IN;
        out.data = e.data;
        out.length = e.len;
        out.wanted = e.wanted;
    }
    sink(context, &out);
}

} // namespace palvex
