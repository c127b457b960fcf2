#include "cli/cli_run.h"

#include "control/link/palvex_ctrl.h"

#include <vector>

namespace palvex::cli {

CallOutcome RunCall(CPalvexCtrl& ctrl, Call& call) {
    CallOutcome outcome;
    const std::size_t n = call.slots.size();

    // rgvarg holds the arguments last-first.
    std::vector<VARIANT> args(n);
    for (std::size_t i = 0; i < n; ++i) {
        ArgSlot& slot = call.slots[i];
        VARIANT& v = args[n - 1 - i];
        VariantInit(&v);
        slot.form.kind->bind(slot, v);
    }
    DISPPARAMS params{args.data(), nullptr, static_cast<unsigned>(n), 0};
    VARIANT result;
    VariantInit(&result);
    outcome.hr = InvokeMethod(ctrl, call.id, DISPATCH_METHOD, &params, &result, &outcome.argErr);

    if (SUCCEEDED(outcome.hr)) {
        outcome.line = call.entry->name;
        switch (result.vt) {
        case VT_BOOL:
            outcome.returnedFalse = result.boolVal == VARIANT_FALSE;
            outcome.line += outcome.returnedFalse ? " false" : " true";
            break;
        case VT_I2:
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
    VariantClear(&result);
    for (ArgSlot& slot : call.slots)
        if (slot.form.kind->release != nullptr) slot.form.kind->release(slot);
    return outcome;
}

int RunCalls(CPalvexCtrl& ctrl, std::vector<Call>& calls, std::FILE* out, std::FILE* err) {
    int status = 0;
    for (Call& call : calls) {
        const CallOutcome outcome = RunCall(ctrl, call);
        if (FAILED(outcome.hr)) {
            std::fprintf(err,
                         "palvex: %s was refused by the dispatch interface: 0x%08X (argument %u)\n",
                         call.entry->name, static_cast<unsigned>(outcome.hr), outcome.argErr);
            return 2;
        }
        std::fprintf(out, "%s\n", outcome.line.c_str());
        std::fflush(out);
        if (outcome.returnedFalse) status = 1;
    }
    return status;
}

} // namespace palvex::cli
