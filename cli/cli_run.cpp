#include "cli/cli_run.h"

#include "control/host/hosted_control.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace palvex::cli {

namespace {

void EmptyVariant(VARIANT& v) {
    std::memset(&v, 0, sizeof v);
    v.vt = VT_EMPTY;
}

// Gives back what a result owns: a string the control allocated.
void ClearResult(VARIANT& v, const StringFree& freeString) {
    if (v.vt == VT_BSTR && v.bstrVal != nullptr && freeString) freeString(v.bstrVal);
    EmptyVariant(v);
}

// The control prints its link failures on standard error itself when
// PALVEX_TRACE was on as it was made (set, not empty and not "0"; --trace
// sets it before the control is made).
bool ControlTracesToStderr() {
    const char* t = std::getenv("PALVEX_TRACE");
    return t != nullptr && *t != '\0' && *t != '0';
}

} // namespace

std::string LastLinkErrorText(IDispatch& control) {
    return host::LastLinkError(control);
}

bool ReportLinkFailure(IDispatch& control, std::FILE* err, std::string& printed) {
    const std::string text = LastLinkErrorText(control);
    if (text.empty() || text == printed) return false;
    printed = text;
    if (ControlTracesToStderr()) return false;
    std::fprintf(err, "palvex: %s\n", text.c_str());
    return true;
}

bool ResolveIds(IDispatch& control, std::vector<Call>& calls, std::string& error) {
    for (Call& call : calls) {
        DISPID id = kNoDispId;
        const HRESULT hr = IdOfName(control, call.method->name, id);
        if (FAILED(hr)) {
            error =
                "the control does not know " + call.method->name + ": " + HresultMessage(hr);
            return false;
        }
        // The line was checked against the method the type information gave
        // this name; a control that answers with another identifier would run
        // a different method with those arguments.
        if (id != call.method->id) {
            error = "the control gives " + call.method->name + " the identifier " +
                    std::to_string(id) + ", its type information " +
                    std::to_string(call.method->id);
            return false;
        }
        call.id = id;
    }
    return true;
}

CallOutcome RunCall(IDispatch& control, Call& call) {
    CallOutcome outcome;
    const std::size_t n = call.slots.size();

    // rgvarg holds the arguments last-first.
    std::vector<VARIANT> args(n);
    for (std::size_t i = 0; i < n; ++i) {
        ArgSlot& slot = call.slots[i];
        VARIANT& v = args[n - 1 - i];
        EmptyVariant(v);
        slot.form.kind->bind(slot, v);
    }
    DISPPARAMS params{n > 0 ? args.data() : nullptr, nullptr, static_cast<unsigned>(n), 0};
    VARIANT result;
    EmptyVariant(result);
    outcome.hr = host::InvokeMethod(control, call.id, params, result, outcome.argErr);

    if (SUCCEEDED(outcome.hr)) {
        outcome.line = call.method->name;
        switch (result.vt) {
        case VT_BOOL:
            outcome.returnedFalse = result.boolVal == VARIANT_FALSE;
            outcome.line += outcome.returnedFalse ? " false" : " true";
            break;
        case VT_I2:
            outcome.number = result.iVal;
            outcome.line += ' ' + std::to_string(result.iVal);
            break;
        default:
            outcome.line += " -";
            break;
        }
        if (!outcome.returnedFalse)
            for (const ArgSlot& slot : call.slots)
                if (slot.form.kind->print != nullptr)
                    slot.form.kind->print(slot, call, outcome.line);
    }
    ClearResult(result, call.freeString);
    for (ArgSlot& slot : call.slots)
        if (slot.form.kind->release != nullptr) slot.form.kind->release(slot);
    return outcome;
}

int RunCalls(IDispatch& control, std::vector<Call>& calls, std::FILE* out, std::FILE* err) {
    std::string error;
    if (!ResolveIds(control, calls, error)) {
        std::fprintf(err, "palvex: %s\n", error.c_str());
        return 2;
    }
    int status = 0;
    std::string reported; // the link failure printed last
    for (Call& call : calls) {
        const CallOutcome outcome = RunCall(control, call);
        if (FAILED(outcome.hr)) {
            std::fprintf(
                err, "palvex: %s was refused by the dispatch interface: 0x%08X (argument %u)\n",
                call.method->name.c_str(), static_cast<unsigned>(outcome.hr), outcome.argErr);
            return 2;
        }
        std::fprintf(out, "%s\n", outcome.line.c_str());
        std::fflush(out);
        if (outcome.returnedFalse) {
            status = 1;
            ReportLinkFailure(control, err, reported);
        }
    }
    return status;
}

} // namespace palvex::cli
