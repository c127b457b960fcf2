#include "cli/cli_args.h"

#include "control/protocol/types.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace palvex::cli {
namespace {

// ---------------------------------------------------------------------------
// Reading words.

// A whole word as a decimal integer (optional sign); false for anything else.
bool ParseDecimalWord(std::string_view word, std::int64_t& value) {
    if (word.starts_with('+')) {
        word.remove_prefix(1);
        if (word.starts_with('-')) return false;
    }
    const char* end = word.data() + word.size();
    const auto [p, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc{} && p == end;
}

std::string Quoted(std::string_view word) {
    std::string s = "\"";
    s.append(word);
    s += '"';
    return s;
}

// A dotted IPv4 address a.b.c.d as a<<24 | b<<16 | c<<8 | d.
bool ParseDottedAddress(std::string_view word, std::uint32_t& value) {
    value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (word.empty() || word.front() != '.') return false;
            word.remove_prefix(1);
        }
        std::size_t digits = 0;
        while (digits < word.size() && digits < 4 && word[digits] >= '0' && word[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 3) return false;
        unsigned octet = 0;
        std::from_chars(word.data(), word.data() + digits, octet);
        if (octet > 255) return false;
        value = (value << 8) | octet;
        word.remove_prefix(digits);
    }
    return word.empty();
}

// ---------------------------------------------------------------------------
// The argument kinds.

// 16-bit parameters: -32768..65535; above 32767 the 16-bit pattern is passed
// (a baud rate of 57600 travels as the short -7936).
bool ParseShort(std::string_view word, ArgSlot& slot, std::string& error) {
    std::int64_t v = 0;
    if (!ParseDecimalWord(word, v) || v < -32768 || v > 65535) {
        error = Quoted(word) + " is not a decimal integer from -32768 to 65535";
        return false;
    }
    slot.number = v;
    return true;
}

void BindShort(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_I2;
    v.iVal = static_cast<std::int16_t>(static_cast<std::uint16_t>(slot.number));
}

// A network address: dotted a.b.c.d, or the same 32-bit value in decimal.
bool ParseAddressOrLong(std::string_view word, ArgSlot& slot, std::string& error) {
    if (word.find('.') != std::string_view::npos) {
        std::uint32_t ip = 0;
        if (!ParseDottedAddress(word, ip)) {
            error = Quoted(word) + " is not a dotted IPv4 address (a.b.c.d, each 0..255)";
            return false;
        }
        slot.number = ip;
        return true;
    }
    // The same 32-bit value in decimal, above the signed range as its pattern.
    std::int64_t v = 0;
    if (!ParseDecimalWord(word, v) || v < INT64_C(-2147483648) || v > INT64_C(4294967295)) {
        error = Quoted(word) + " is neither a dotted IPv4 address nor a decimal integer from " +
                "-2147483648 to 4294967295";
        return false;
    }
    slot.number = v;
    return true;
}

void BindLong(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_I4;
    v.lVal = static_cast<std::int32_t>(static_cast<std::uint32_t>(slot.number));
}

// Zero bytes kept after every text: methods that read a fixed number of
// characters (the property texts are read as 8 hex digits) never read past
// the copy, however short the word.
constexpr std::size_t kTextPadding = 16;

bool ParseText(std::string_view word, ArgSlot& slot, std::string&) {
    slot.bytes.assign(word.begin(), word.end());
    slot.bytes.resize(word.size() + kTextPadding, '\0');
    return true;
}

void BindAddress(const void* address, VARIANT& v) {
    v.vt = VT_ADDR;
    const auto a = reinterpret_cast<LONG_PTR>(address);
    if constexpr (VT_ADDR == VT_I8)
        v.llVal = a;
    else
        v.lVal = static_cast<std::int32_t>(a);
}

void BindText(ArgSlot& slot, VARIANT& v) {
    BindAddress(slot.bytes.data(), v);
}

// A short the control fills.
void PrepareShortOut(ArgSlot& slot) {
    slot.shortOut = 0;
}

void BindShortOut(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_I2 | VT_BYREF;
    v.piVal = &slot.shortOut;
}

void PrintShortOut(const ArgSlot& slot, const Call&, std::string& out) {
    out += ' ';
    out += std::to_string(slot.shortOut);
}

// An array of shorts the control fills with byte values, printed as
// upper-case hex without separators ("-" when empty); as many elements as
// the count parameter says are valid.
void PrepareByteArrayOut(ArgSlot& slot) {
    slot.shorts.assign(slot.form.capacity, 0);
}

void BindShortArrayOut(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_I2 | VT_BYREF;
    v.piVal = slot.shorts.data();
}

void PrintByteArrayHex(const ArgSlot& slot, const Call& call, std::string& out) {
    std::size_t n = slot.shorts.size();
    if (slot.countSlot >= 0) {
        const int count = call.slots[static_cast<std::size_t>(slot.countSlot)].shortOut;
        n = std::min(n, static_cast<std::size_t>(std::max(count, 0)));
    }
    out += ' ';
    if (n == 0) {
        out += '-';
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(slot.shorts[i]) & 0xFFu);
        out += hex;
    }
}

// A string the control allocates; printed in double quotes, each 16-bit
// character back to its byte, then freed.
void PrepareStringOut(ArgSlot& slot) {
    slot.string = nullptr;
}

void BindStringOut(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = &slot.string;
}

void PrintStringOut(const ArgSlot& slot, const Call&, std::string& out) {
    out += " \"";
    const unsigned n = SysStringLen(slot.string);
    for (unsigned i = 0; i < n; ++i)
        out += static_cast<char>(slot.string[i] & 0xFF);
    out += '"';
}

void ReleaseStringOut(ArgSlot& slot) {
    SysFreeString(slot.string);
    slot.string = nullptr;
}

// clang-format off
constexpr ArgKind kShort{
    "-32768..65535",
    "a decimal integer; 32768..65535 pass their 16-bit pattern (ComInitial 3 57600 800)",
    ParseShort, nullptr, BindShort, nullptr, nullptr, "@"};
constexpr ArgKind kAddressOrLong{
    "a.b.c.d | N",
    "a dotted IPv4 address (a<<24 | b<<16 | c<<8 | d), or that value as a decimal integer",
    ParseAddressOrLong, nullptr, BindLong, nullptr, nullptr, "@"};
constexpr ArgKind kText{
    "TEXT",
    "the word itself; the control is given the address of palvex's zero-terminated copy",
    ParseText, nullptr, BindText, nullptr, nullptr, "@"};
constexpr ArgKind kShortOut{
    nullptr,
    "takes no argument: filled by the control, printed as a decimal number",
    nullptr, PrepareShortOut, BindShortOut, PrintShortOut, nullptr, "@"};
constexpr ArgKind kByteArrayOut{
    nullptr,
    "takes no argument: filled by the control, printed as upper-case hex",
    nullptr, PrepareByteArrayOut, BindShortArrayOut, PrintByteArrayHex, nullptr, "@:hex"};
constexpr ArgKind kStringOut{
    nullptr,
    "takes no argument: filled by the control, printed in double quotes",
    nullptr, PrepareStringOut, BindStringOut, PrintStringOut, ReleaseStringOut, "\"@\""};

constexpr const ArgKind* kAllKinds[] = {
    &kShort, &kAddressOrLong, &kText, &kShortOut, &kByteArrayOut, &kStringOut,
};

// Parameters that do not take the default form of their type (VT_I2: kShort).
// 32-bit and address parameters have no default: each needs a line here
// before its method can be called from the command line.
constexpr ParamForm kParamForms[] = {
    {nullptr, "RemoteIP", &kAddressOrLong, 0, nullptr},
    {nullptr, "lpProperty", &kText, 0, nullptr},
    {nullptr, "lpstr", &kText, 0, nullptr},
    {nullptr, "lpCmdStr", &kText, 0, nullptr},
    {nullptr, "lpLibFileName", &kText, 0, nullptr},
    {nullptr, "bStr", &kStringOut, 0, nullptr},
    {nullptr, "Resultx", &kShortOut, 0, nullptr},
    {"GetSendString", "lpCount", &kShortOut, 0, nullptr},
    {"GetSendString", "lpRetBuff", &kByteArrayOut, 1600, "lpCount"},
};
// clang-format on

// ---------------------------------------------------------------------------

bool ParseCall(std::span<const std::string_view> words, Call& call, std::string& error) {
    const std::string_view name = words.front();
    if (FAILED(GetIdOfName(name, &call.id))) {
        error = "unknown method " + Quoted(name) + " (palvex --help lists the methods)";
        return false;
    }
    call.entry = FindEntryById(call.id);
    const DispatchEntry& e = *call.entry;

    std::vector<ParamForm> forms;
    std::string wanted;
    std::size_t wordCount = 0;
    for (const DispatchParam& p : e.Params()) {
        forms.push_back(FormOf(e, p));
        if (forms.back().kind == nullptr) {
            error = std::string(e.name) + " cannot be called from the command line: parameter " +
                    p.name + " has no argument form";
            return false;
        }
        if (forms.back().kind->TakesWord()) {
            ++wordCount;
            wanted += ' ';
            wanted += p.name;
        }
    }
    const std::size_t given = words.size() - 1;
    if (given != wordCount) {
        error = std::string(e.name) + " takes " + std::to_string(wordCount) +
                (wordCount == 1 ? " argument" : " arguments") +
                (wordCount > 0 ? " (" + wanted.substr(1) + ")" : std::string()) + ", " +
                std::to_string(given) + " given";
        return false;
    }

    call.slots.resize(e.paramCount);
    std::size_t w = 1;
    for (std::size_t i = 0; i < e.paramCount; ++i) {
        ArgSlot& slot = call.slots[i];
        slot.param = &e.params[i];
        slot.form = forms[i];
        const ArgKind& kind = *slot.form.kind;
        if (kind.TakesWord()) {
            std::string why;
            if (!kind.parse(words[w++], slot, why)) {
                error = std::string(e.name) + " " + slot.param->name + ": " + why;
                return false;
            }
        }
        if (kind.prepare != nullptr) kind.prepare(slot);
        if (slot.form.countParam != nullptr) {
            for (std::size_t j = 0; j < e.paramCount; ++j)
                if (std::string_view(e.params[j].name) == slot.form.countParam)
                    slot.countSlot = static_cast<int>(j);
        }
    }
    return true;
}

// Names of the parameters (in the whole table) that take `kind`, once each.
std::string ParamsOfKind(const ArgKind* kind) {
    std::vector<std::string_view> names;
    for (const DispatchEntry& e : AllDispatchEntries())
        for (const DispatchParam& p : e.Params())
            if (FormOf(e, p).kind == kind &&
                std::find(names.begin(), names.end(), p.name) == names.end())
                names.push_back(p.name);
    std::string s;
    for (std::string_view n : names) {
        if (!s.empty()) s += ' ';
        s.append(n);
    }
    return s;
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

} // namespace

ParamForm FormOf(const DispatchEntry& method, const DispatchParam& param) {
    for (const ParamForm& f : kParamForms)
        if ((f.method == nullptr || std::string_view(f.method) == method.name) &&
            std::string_view(f.param) == param.name)
            return f;
    if (param.vt == VT_I2) return {nullptr, param.name, &kShort, 0, nullptr};
    return {nullptr, param.name, nullptr, 0, nullptr};
}

std::span<const ArgKind* const> AllArgKinds() {
    return kAllKinds;
}

bool ParseCommandLine(std::span<const std::string_view> words, CommandLine& out,
                      std::string& error) {
    out = CommandLine{};
    std::size_t i = 0;
    for (; i < words.size() && words[i].starts_with("-") && words[i] != "-"; ++i) {
        if (words[i] == "--trace") {
            out.trace = true;
        } else if (words[i] == "--help" || words[i] == "-h") {
            out.help = true;
            return true;
        } else {
            error = "unknown option " + Quoted(words[i]);
            return false;
        }
    }
    if (i == words.size()) {
        error = "no method given";
        return false;
    }

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
        if (!ParseCall(words.subspan(i, end - i), call, error)) return false;
        out.calls.push_back(std::move(call));
        i = end + 1;
    }
    return true;
}

std::string UsageText() {
    return "usage: palvex [--trace] METHOD [ARG]... [: METHOD [ARG]...]...\n"
           "       palvex --help\n";
}

std::string HelpText() {
    std::string s = UsageText();
    s += "\n"
         "Calls methods of one Palvex link control through its dispatch interface, in\n"
         "order. A lone ':' separates the calls. The whole line is checked first: an\n"
         "unknown method, a wrong argument count or a malformed argument stops palvex\n"
         "with status 2 before anything is sent.\n"
         "\n"
         "Options (before the first method):\n"
         "  --trace   set PALVEX_TRACE=1: every frame and reply is printed as hex on\n"
         "            standard error, with the port and the attempt number\n"
         "  --help    this text\n"
         "\n"
         "Methods (names ignore case):\n";

    std::size_t nameWidth = 0;
    std::size_t argWidth = 0;
    std::vector<std::string> args;
    std::vector<std::string> shown;
    for (const DispatchEntry& e : AllDispatchEntries()) {
        std::string a;
        std::string o = ResultText(e.result);
        for (const DispatchParam& p : e.Params()) {
            const ArgKind* kind = FormOf(e, p).kind;
            if (kind == nullptr) {
                o = "(not callable from the command line)";
                continue;
            }
            if (kind->TakesWord()) {
                if (!a.empty()) a += ' ';
                a += p.name;
            } else if (kind->print != nullptr) {
                std::string v = kind->shownAs;
                v.replace(v.find('@'), 1, p.name);
                o += ' ' + v;
            }
        }
        nameWidth = std::max(nameWidth, std::strlen(e.name));
        argWidth = std::max(argWidth, a.size());
        args.push_back(std::move(a));
        shown.push_back(std::move(o));
    }
    std::size_t k = 0;
    for (const DispatchEntry& e : AllDispatchEntries()) {
        char line[512];
        std::snprintf(line, sizeof line, "  %3d  %-*s  %-*s  -> %s\n", static_cast<int>(e.id),
                      static_cast<int>(nameWidth), e.name, static_cast<int>(argWidth),
                      args[k].c_str(), shown[k].c_str());
        s += line;
        ++k;
    }

    s += "\n"
         "Arguments:\n";
    for (const ArgKind* kind : kAllKinds) {
        const std::string names = ParamsOfKind(kind);
        if (names.empty()) continue;
        s += "  ";
        s += names;
        if (kind->syntax != nullptr) {
            s += ": ";
            s += kind->syntax;
        }
        s += "\n      ";
        s += kind->description;
        s += '\n';
    }
    s += "\n"
         "Output: one line per call, the method name and its result (true or false,\n"
         "a number, or - for none); after a true result the values the control\n"
         "filled in follow. Exit status: 0 when every true|false call returned true,\n"
         "1 when any returned false, 2 for usage errors.\n"
         "\n"
         "Example, building frames without a card (capture mode):\n"
         "  palvex SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : "
         "GetSendString\n";
    return s;
}

} // namespace palvex::cli
