// palvex's command line: the input is split into words at newlines and
// parsed as the words after the program name. A line that parses and opens no
// port or connection is then run on a control in capture mode, so every
// argument kind binds its storage to a real call.
//
// The process works in a directory of its own holding a few picture and font
// files; inputs with a '/' in any word are skipped, so no file outside that
// directory is ever opened.
//
// Checked beyond "no crash": a refused line says why; an accepted one has
// complete calls (or asks for help); a parsed line is never refused by the
// dispatch interface when it runs, and its out-values print.
#include "cli/cli_args.h"
#include "cli/method_table.h"
#include "control/automation/dispatch_table.h"
#include "control/link/palvex_ctrl.h"
#include "fuzz/fuzz_sandbox.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace palvex::cli;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "cli_args_fuzzer: %s\n", what);
    std::abort();
}

void WriteFile(const char* name, const std::string& bytes) {
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Binds the call's slots as palvex does and invokes it on the control through
// the dispatch table; returns the invoke's result code.
HRESULT RunOnControl(CPalvexCtrl& ctrl, Call& call) {
    const std::size_t n = call.slots.size();
    std::vector<VARIANT> args(n); // last argument first
    for (std::size_t i = 0; i < n; ++i) {
        VARIANT& v = args[n - 1 - i];
        VariantInit(&v);
        call.slots[i].form.kind->bind(call.slots[i], v);
    }
    DISPPARAMS params{n ? args.data() : nullptr, nullptr, static_cast<unsigned>(n), 0};
    VARIANT result;
    VariantInit(&result);
    unsigned argErr = 0;
    const HRESULT hr =
        palvex::InvokeMethod(ctrl, call.id, DISPATCH_METHOD, &params, &result, &argErr);
    // Out-values are printed after every call that did not return false.
    if (SUCCEEDED(hr) && !(result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE)) {
        std::string out;
        for (const ArgSlot& slot : call.slots)
            if (slot.form.kind->print != nullptr) slot.form.kind->print(slot, call, out);
    }
    VariantClear(&result);
    for (ArgSlot& slot : call.slots)
        if (slot.form.kind->release != nullptr) slot.form.kind->release(slot);
    return hr;
}

bool OpensALink(const Call& call) {
    const std::string_view name = call.method->name;
    return name == "ComInitial" || name == "NetInitial" || name == "ModemInitial";
}

MethodTable g_methods;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::MakeSandbox("cli-fuzz", true);
    // A grey PGM, a plain PGM, raw pixel codes, a short file and a font block.
    std::string pgm = "P5\n4 2\n255\n";
    pgm += std::string("\x00\x80\xff\x7f\x10\x90\x20\xa0", 8);
    WriteFile("p.pgm", pgm);
    WriteFile("q.pgm", "P2\n# plain\n3 1\n15\n0 8 15\n");
    WriteFile("raw.bin", std::string(65536, '\x03'));
    WriteFile("short.bin", "abc");
    WriteFile("font.bin", std::string(2048, '\x55'));
    // The methods as the control module describes them: the dispatch table.
    std::vector<MethodInfo> methods;
    for (const palvex::DispatchEntry& e : palvex::AllDispatchEntries()) {
        MethodInfo m{e.id, e.name, {}, e.result};
        for (const palvex::DispatchParam& p : e.Params())
            m.params.push_back({p.name, p.vt});
        methods.push_back(std::move(m));
    }
    g_methods = MethodTable(std::move(methods), SysFreeString);
    (void)HelpText(&g_methods);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.find('/') != std::string::npos) return 0;
    std::vector<std::string_view> words;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        words.emplace_back(input.data() + start, end - start);
        start = end + 1;
    }

    CommandLine line;
    std::string error;
    if (!ParseCommandLine(words, g_methods, line, error)) {
        if (error.empty()) Fail("a refused line without a reason");
        return 0;
    }
    if (line.help) return 0;
    if (line.calls.empty()) Fail("an accepted line without calls");
    for (const Call& call : line.calls) {
        if (call.method == nullptr || call.slots.size() != call.method->params.size())
            Fail("incomplete call");
        if (OpensALink(call)) return 0;
    }

    CPalvexCtrl ctrl;
    ctrl.SetSendFlag(0);
    for (Call& call : line.calls) {
        if (FAILED(RunOnControl(ctrl, call)))
            Fail("a checked line was refused by the dispatch interface");
    }
    return 0;
}
