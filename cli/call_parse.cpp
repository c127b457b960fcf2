#include "cli/cli_args.h"

#include "cli/arg_kinds.h"
#include "cli/arg_words.h"
#include "cli/param_forms.h"

#include <algorithm>
#include <optional>

namespace palvex::cli {
namespace {

using words::EntriesText;
using words::Quoted;

// What earlier calls on the line tell the parse of a later one.
struct LineState {
    ParseContext context;
    // LedHeight of the last SetLedProperty so far, when there was one.
    std::optional<int> screenRows;
};

// Each list given as a word holds at least the entries its positive count
// asks for, so the control never reads past the list's storage. Zero and
// negative counts pass: the control answers them itself.
bool CheckListCounts(const Call& call, std::string& error) {
    for (const ArgSlot& slot : call.slots) {
        if (!slot.form.kind->TakesWord() || slot.countSlot < 0) continue;
        const ArgSlot& countSlot = call.slots[static_cast<std::size_t>(slot.countSlot)];
        const int count = ShortValue(countSlot);
        if (count > 0 && static_cast<std::size_t>(count) > slot.listLength) {
            error = call.method->name + ": " + countSlot.param->name + " is " +
                    std::to_string(count) + " but " + slot.param->name + " gives only " +
                    EntriesText(slot.listLength, "entry", "entries") + "; give at least " +
                    std::to_string(count) + " or lower " + countSlot.param->name;
            return false;
        }
    }
    return true;
}
bool ParseCall(std::span<const std::string_view> words, const MethodTable& methods,
               const LineState& line, Call& call, std::string& error) {
    const std::string_view name = words.front();
    call.method = methods.Find(name);
    if (call.method == nullptr) {
        error = "unknown method " + Quoted(name) + " (palvex --help lists the methods)";
        return false;
    }
    const MethodInfo& m = *call.method;
    call.id = m.id;
    call.freeString = methods.FreeString();
    if (!Callable(m, error)) return false;

    std::vector<ParamForm> forms;
    std::string wanted;
    std::size_t wordCount = 0;
    for (const MethodParam& p : m.params) {
        forms.push_back(FormOf(m, p));
        if (forms.back().kind->TakesWord()) {
            ++wordCount;
            wanted += ' ';
            wanted += p.name;
        }
    }
    const std::size_t given = words.size() - 1;
    if (given != wordCount) {
        error = m.name + " takes " + std::to_string(wordCount) +
                (wordCount == 1 ? " argument" : " arguments") +
                (wordCount > 0 ? " (" + wanted.substr(1) + ")" : std::string()) + ", " +
                std::to_string(given) + " given";
        return false;
    }

    const std::size_t paramCount = m.params.size();
    call.slots.resize(paramCount);
    std::size_t w = 1;
    for (std::size_t i = 0; i < paramCount; ++i) {
        ArgSlot& slot = call.slots[i];
        slot.param = &m.params[i];
        slot.form = forms[i];
        slot.freeString = methods.FreeString();
        const ArgKind& kind = *slot.form.kind;
        if (kind.TakesWord()) {
            std::string why;
            if (!kind.parse(words[w++], line.context, slot, why)) {
                error = m.name + " " + slot.param->name + ": " + why;
                return false;
            }
        }
        if (kind.prepare != nullptr) kind.prepare(slot);
        if (slot.form.screenRows && line.screenRows.has_value())
            slot.shownLength = static_cast<std::size_t>(
                std::clamp(*line.screenRows, 0, static_cast<int>(slot.form.capacity)));
        if (slot.form.countParam != nullptr) {
            for (std::size_t j = 0; j < paramCount; ++j)
                if (m.params[j].name == slot.form.countParam) slot.countSlot = static_cast<int>(j);
        }
    }
    return CheckListCounts(call, error);
}

} // namespace

bool ParseOptions(std::span<const std::string_view> words, CommandLine& out, std::size_t& firstCall,
                  std::string& error) {
    out = CommandLine{};
    std::size_t i = 0;
    for (; i < words.size() && words[i].starts_with("-") && words[i] != "-"; ++i) {
        if (words[i] == "--verbose" || words[i] == "-v") {
            out.verbose = true;
        } else if (words[i] == "--trace") {
            out.trace = true;
        } else if (words[i] == "--raw-text") {
            out.rawText = true;
        } else if (words[i] == "--help" || words[i] == "-h") {
            out.help = true;
            firstCall = i + 1;
            return true;
        } else {
            error = "unknown option " + Quoted(words[i]);
            return false;
        }
    }
    firstCall = i;
    if (i == words.size()) {
        error = "no method given";
        return false;
    }
    return true;
}

bool ParseCommandLine(std::span<const std::string_view> words, const MethodTable& methods,
                      CommandLine& out, std::string& error) {
    std::size_t i = 0;
    if (!ParseOptions(words, out, i, error)) return false;
    if (out.help) return true;

    LineState line;
    line.context.rawText = out.rawText;
    while (i <= words.size()) {
        std::size_t end = i;
        while (end < words.size() && words[end] != ":")
            ++end;
        if (end == i) {
            error =
                out.calls.empty() ? "a call is missing before ':'" : "a call is missing after ':'";
            return false;
        }
        Call call;
        if (!ParseCall(words.subspan(i, end - i), methods, line, call, error)) return false;
        // A fresh control knows the screen only from SetLedProperty, so the
        // rows GetTestResult reports are the height given there.
        if (call.method->name == kScreenMethod)
            for (const ArgSlot& slot : call.slots)
                if (slot.param->name == kScreenHeightParam) line.screenRows = ShortValue(slot);
        out.calls.push_back(std::move(call));
        i = end + 1;
    }
    return true;
}

} // namespace palvex::cli
