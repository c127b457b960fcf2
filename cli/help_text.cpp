#include "cli/arg_kinds.h"
#include "cli/cli_args.h"
#include "cli/job_args.h"
#include "cli/param_forms.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace palvex::cli {
namespace {

// The parameter names that take `kind`, once each; a name whose form belongs
// to one method is shown with it ("lpBuff (SendPicture)").
std::vector<std::string> ParamsOfKind(const MethodTable& methods, const ArgKind* kind) {
    std::vector<std::string> names;
    for (const MethodInfo& m : methods.All())
        for (const MethodParam& p : m.params) {
            const ParamForm form = FormOf(m, p);
            if (form.kind != kind) continue;
            std::string n = p.name;
            if (form.method != nullptr) n += std::string(" (") + form.method + ")";
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
        }
    return names;
}

const char* ResultText(VARTYPE vt) {
    switch (vt) {
    case VT_BOOL:
        return "true|false";
    case VT_I2:
        return "number";
    default:
        return "-";
    }
}

// Appends `items` separated by `separator`, starting a new line indented by
// `indent` spaces before an item that would pass column `width`. `column` is
// where the text starts on the current line.
void AppendWrapped(std::string& s, const std::vector<std::string>& items, const char* separator,
                   std::size_t column, std::size_t indent, std::size_t width) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string piece = (i > 0 ? separator : "") + items[i];
        if (i > 0 && column + piece.size() > width) {
            s += '\n';
            s.append(indent, ' ');
            s += items[i];
            column = indent + items[i].size();
        } else {
            s += piece;
            column += piece.size();
        }
    }
}

constexpr std::size_t kHelpWidth = 79;

// The list of methods with their arguments and what they print, in the
// order of the module's type information.
void AppendMethods(std::string& s, const MethodTable& methods) {
    s += "Methods (names ignore case), their arguments -> what they print:\n";
    std::size_t nameWidth = 0;
    std::vector<std::string> args;
    std::vector<std::string> shown;
    for (const MethodInfo& m : methods.All()) {
        std::string a;
        std::string o = ResultText(m.result);
        std::string why;
        if (!Callable(m, why)) o = "(not callable from the command line)";
        for (const MethodParam& p : m.params) {
            const ParamForm form = FormOf(m, p);
            const ArgKind* kind = form.kind;
            if (kind == nullptr || !kind->Passes(p.vt)) continue;
            if (kind->TakesWord()) {
                if (!a.empty()) a += ' ';
                a += p.name;
            }
            if (kind->print != nullptr && why.empty()) {
                std::string v = kind->shownAs;
                v.replace(v.find('@'), 1, p.name);
                if (const std::size_t hash = v.find('#'); hash != std::string::npos)
                    v.replace(hash, 1,
                              form.screenRows ? std::string(kScreenHeightParam)
                                              : std::to_string(form.capacity));
                o += ' ' + v;
            }
        }
        nameWidth = std::max(nameWidth, m.name.size());
        args.push_back(std::move(a));
        shown.push_back(std::move(o));
    }
    std::size_t k = 0;
    for (const MethodInfo& m : methods.All()) {
        char head[160];
        std::snprintf(head, sizeof head, "  %3d  %-*s  ", static_cast<int>(m.id),
                      static_cast<int>(nameWidth), m.name.c_str());
        std::string line = head + args[k];
        const std::string result = "-> " + shown[k];
        // The result goes on a line of its own, under the arguments, when the
        // line would be too long.
        if (line.size() + 1 + result.size() > kHelpWidth)
            line += "\n" + std::string(std::strlen(head), ' ') + result;
        else
            line += (args[k].empty() ? "" : " ") + result;
        s += line + '\n';
        ++k;
    }
}

// Every argument kind some parameter of the table takes: the parameters'
// names, the kind's syntax and what it means.
void AppendArgumentKinds(std::string& s, const MethodTable& methods) {
    s += "\n"
         "Arguments:\n";
    for (const ArgKind* kind : AllKinds()) {
        const std::vector<std::string> names = ParamsOfKind(methods, kind);
        if (names.empty()) continue;
        s += "  ";
        std::vector<std::string> items = names;
        if (kind->syntax != nullptr) items.back() += std::string(": ") + kind->syntax;
        AppendWrapped(s, items, " ", 2, 4, kHelpWidth);
        s += "\n      ";
        std::vector<std::string> words;
        for (std::string_view d = kind->description; !d.empty();) {
            const std::size_t blank = std::min(d.find(' '), d.size());
            words.emplace_back(d.substr(0, blank));
            d.remove_prefix(std::min(blank + 1, d.size()));
        }
        AppendWrapped(s, words, " ", 6, 6, kHelpWidth);
        s += '\n';
    }
}
} // namespace

std::string UsageText() {
    return "usage: palvex [--verbose] [--trace] [--raw-text] METHOD [ARG]... [: METHOD "
           "[ARG]...]...\n"
           "       palvex [--verbose] register [MODULE] | unregister | typelib\n"
           "       palvex [--verbose] draw FILE.png [WIDTHxHEIGHT]\n"
           "       palvex ports [--json] | --forget COM<n> | --map COM<n> DEVICE\n" +
           std::string(JobUsageText()) + "       palvex --help | --version\n";
}

std::string HelpText(const MethodTable* methods) {
    std::string s = UsageText();
    s += "\n"
         "Calls methods of one Palvex link control through its dispatch interface, in\n"
         "order. A lone ':' separates the calls. The whole line is checked first: an\n"
         "unknown method, a wrong argument count, a malformed argument or an unusable\n"
         "file stops palvex with status 2 before anything is sent.\n"
         "\n"
         "The control is the module registered for its class identifier in the\n"
         "per-user store; without a registration, the module installed beside palvex\n"
         "(or, for a palvex in its build tree, the module built with it).\n"
         "\n"
         "Module commands:\n"
         "  register [MODULE]  register the module (default: the one beside palvex)\n"
         "                     for the current user\n"
         "  unregister         remove the registration\n"
         "  typelib            print the module's type library as IDL\n"
         "  draw FILE.png [WIDTHxHEIGHT]\n"
         "                     write the control's design-time picture (default\n"
         "                     200x100) as a PNG image\n"
         "\n"
         "Serial ports:\n"
         "  ports [--json]     one line per COM number: the device, where the number\n"
         "                     comes from (environment, registry, automatic) and what\n"
         "                     the device is; --json gives the same as JSON\n"
         "  ports --forget COM<n>\n"
         "                     release the number from the per-user port map\n"
         "  ports --map COM<n> DEVICE\n"
         "                     map the number by hand to DEVICE (an absolute path)\n"
         "\n"
         "Options (before the first method):\n"
         "  --verbose   say which control module runs the calls, and why\n"
         "  --trace     set PALVEX_TRACE=1: every frame and reply is printed as hex on\n"
         "              standard error, with the port and the attempt number\n"
         "  --raw-text  pass ShowString's text as its bytes, without converting it from\n"
         "              UTF-8 to the card's code page GBK\n"
         "  --help      this text\n"
         "\n";
    s += JobHelpText();
    if (methods != nullptr) {
        AppendMethods(s, *methods);
        AppendArgumentKinds(s, *methods);
    } else {
        s += "Methods: palvex reads them, with their arguments, from the control module's\n"
             "type information, and no control module could be loaded.\n";
    }
    s += "\n"
         "Output: one line per call, the method name and its result (true or false,\n"
         "a number, or - for none); after a true result the values the control\n"
         "filled in follow, e.g.\n"
         "  GetTime true 2026,12,8,14,5,9\n"
         "  SendProgList true E000000000010000,1010020001000000\n"
         "Exit status: 0 when every true|false call returned true, 1 when any\n"
         "returned false (or a registration failed), 2 for usage errors, 3 when no\n"
         "control module could be loaded.\n"
         "\n"
         "Examples, building frames without a card (capture mode):\n"
         "  palvex SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : "
         "GetSendString\n"
         "  palvex SetSendFlag 0 : SetLedProperty 1 256 64 : ShowString 0 0 0 1 中文 : "
         "GetSendString\n"
         "  palvex SetSendFlag 0 : SetLedProperty 1 512 64 : SendPicture 0 0 logo.png : "
         "GetSendString\n";
    return s;
}

} // namespace palvex::cli
