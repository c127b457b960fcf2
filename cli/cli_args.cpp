#include "cli/cli_args.h"

#include "cli/code_page.h"
#include "cli/job_args.h"
#include "cli/picture_file.h"
#include "control/link/palvex_ctrl.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

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
bool ParseShort(std::string_view word, const ParseContext&, ArgSlot& slot, std::string& error) {
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
bool ParseAddressOrLong(std::string_view word, const ParseContext&, ArgSlot& slot,
                        std::string& error) {
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

bool ParseText(std::string_view word, const ParseContext&, ArgSlot& slot, std::string&) {
    slot.bytes.assign(word.begin(), word.end());
    slot.bytes.resize(word.size() + kTextPadding, 0);
    return true;
}

void BindAddress(const void* address, VARIANT& v) {
    v.vt = VT_ADDR;
    const auto a = reinterpret_cast<std::intptr_t>(address);
    if constexpr (VT_ADDR == VT_I8)
        v.llVal = a;
    else
        v.lVal = static_cast<std::int32_t>(a);
}

void BindBytes(ArgSlot& slot, VARIANT& v) {
    BindAddress(slot.bytes.data(), v);
}

// Text to be drawn on the screen: converted from UTF-8 to the card's code
// page, unless --raw-text passes the word's bytes as they are.
bool ParseDisplayText(std::string_view word, const ParseContext& context, ArgSlot& slot,
                      std::string& error) {
    if (context.rawText) return ParseText(word, context, slot, error);
    std::string converted;
    if (!ToCardCodePage(word, converted, error)) {
        error += " (--raw-text passes texts unconverted)";
        return false;
    }
    return ParseText(converted, context, slot, error);
}

// A picture file: 65,536 bytes of pixel codes, or a PNG or PGM image
// converted to them (see picture_file.h).
bool ParsePictureFile(std::string_view word, const ParseContext&, ArgSlot& slot,
                      std::string& error) {
    return LoadPictureFile(std::string(word), slot.bytes, error);
}

// Lists given as one word hold at most as many entries as a positive 16-bit
// count can count.
constexpr std::size_t kMaxListEntries = 32767;

std::string EntriesText(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

unsigned HexValue(char c) {
    if (c <= '9') return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

constexpr std::size_t kRecordBytes = CPalvexCtrl::kProgRecordSize;
constexpr std::size_t kRecordDigits = 2 * kRecordBytes;

// Program records: 16 hex digits per 8-byte record, bytes in memory order,
// records one after another with or without a comma between them; "-" for
// none. The storage always holds at least one record, so the address passed
// is never null.
bool ParseRecords(std::string_view word, const ParseContext&, ArgSlot& slot, std::string& error) {
    slot.bytes.clear();
    slot.listLength = 0;
    if (word == "-") {
        slot.bytes.assign(kRecordBytes, 0);
        return true;
    }
    if (word.empty()) {
        error = "no records given (- stands for none)";
        return false;
    }
    std::size_t pos = 0;
    for (;;) {
        std::size_t digits = 0;
        while (digits < kRecordDigits && pos + digits < word.size() &&
               IsHexDigit(word[pos + digits]))
            ++digits;
        const std::size_t record = slot.listLength + 1;
        if (digits < kRecordDigits) {
            const std::size_t at = pos + digits;
            if (at < word.size() && word[at] != ',') {
                error = "character " + std::to_string(at + 1) + " (" + Quoted(word.substr(at, 1)) +
                        ") of " + Quoted(word) + " is neither a hex digit nor a comma";
            } else {
                error = "record " + std::to_string(record) + " of " + Quoted(word) + " has " +
                        EntriesText(digits, "hex digit", "hex digits") + "; each record is " +
                        std::to_string(kRecordDigits) + " (" + std::to_string(kRecordBytes) +
                        " bytes)";
            }
            return false;
        }
        if (record > kMaxListEntries) {
            error = "more than " + std::to_string(kMaxListEntries) +
                    " records: a 16-bit count cannot count them";
            return false;
        }
        for (std::size_t i = 0; i < kRecordBytes; ++i)
            slot.bytes.push_back(static_cast<std::uint8_t>((HexValue(word[pos + 2 * i]) << 4) |
                                                           HexValue(word[pos + 2 * i + 1])));
        slot.listLength = record;
        pos += kRecordDigits;
        if (pos == word.size()) return true;
        if (word[pos] == ',') ++pos;
        if (pos == word.size()) {
            error = Quoted(word) + " ends with a comma";
            return false;
        }
    }
}

// The records after the call, as the control left them: 16 upper-case hex
// digits each, comma-separated; "-" for none.
void PrintRecords(const ArgSlot& slot, const Call&, std::string& out) {
    out += ' ';
    if (slot.listLength == 0) {
        out += '-';
        return;
    }
    for (std::size_t r = 0; r < slot.listLength; ++r) {
        if (r > 0) out += ',';
        for (std::size_t i = 0; i < kRecordBytes; ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", slot.bytes[r * kRecordBytes + i]);
            out += hex;
        }
    }
}

// A list of 16-bit values: comma-separated, each -32768..65535 like the
// 16-bit arguments; "-" for none. The storage always holds at least one
// element, so the address passed is never null.
bool ParseShortList(std::string_view word, const ParseContext&, ArgSlot& slot, std::string& error) {
    slot.shorts.clear();
    slot.listLength = 0;
    if (word == "-") {
        slot.shorts.assign(1, 0);
        return true;
    }
    if (word.empty()) {
        error = "no entries given (- stands for none)";
        return false;
    }
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(word.find(',', start), word.size());
        const std::string_view item = word.substr(start, comma - start);
        std::int64_t v = 0;
        if (!ParseDecimalWord(item, v) || v < -32768 || v > 65535) {
            error = "entry " + std::to_string(slot.shorts.size() + 1) + " (" + Quoted(item) +
                    ") of " + Quoted(word) + " is not a decimal integer from -32768 to 65535";
            return false;
        }
        if (slot.shorts.size() == kMaxListEntries) {
            error = "more than " + std::to_string(kMaxListEntries) +
                    " entries: a 16-bit count cannot count them";
            return false;
        }
        slot.shorts.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
        if (comma == word.size()) break;
        start = comma + 1;
    }
    slot.listLength = slot.shorts.size();
    return true;
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

// Arrays of shorts, passed as VT_I2 | VT_BYREF or as an address, whichever
// the parameter is declared as.
void BindShorts(ArgSlot& slot, VARIANT& v) {
    if (slot.param->vt == (VT_I2 | VT_BYREF)) {
        v.vt = VT_I2 | VT_BYREF;
        v.piVal = slot.shorts.data();
    } else {
        BindAddress(slot.shorts.data(), v);
    }
}

// An array of shorts the control fills with byte values, printed as
// upper-case hex without separators ("-" when empty); as many elements as
// the count parameter says are valid.
void PrepareByteArrayOut(ArgSlot& slot) {
    slot.shorts.assign(slot.form.capacity, 0);
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

// An array of shorts the control fills with numbers, printed in decimal,
// comma-separated. The storage is filled with a value before the call that
// the readers never store in every element (they store clock fields, byte
// values and signed bytes), so an array that still holds only that value was
// not written, as in capture mode, and is printed as "-".
constexpr std::int16_t kUnwritten = -32768;

void PrepareShortArrayOut(ArgSlot& slot) {
    slot.shorts.assign(slot.form.capacity, kUnwritten);
    slot.shownLength = slot.form.capacity;
}

void PrintShortArray(const ArgSlot& slot, const Call&, std::string& out) {
    const auto shown = std::span(slot.shorts).first(std::min(slot.shownLength, slot.shorts.size()));
    out += ' ';
    if (std::all_of(shown.begin(), shown.end(), [](std::int16_t v) { return v == kUnwritten; })) {
        out += '-';
        return;
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (i > 0) out += ',';
        out += std::to_string(shown[i]);
    }
}

// A string the control allocates; printed in double quotes, each 16-bit
// character back to its byte, then freed.
// A text buffer the control fills (the modem's answer): zeroed storage of
// the form's capacity, printed up to its terminator.
void PrepareTextOut(ArgSlot& slot) {
    slot.bytes.assign(slot.form.capacity, 0);
}

// Line ends and other control characters are written as escapes so that
// each call keeps to one output line: \r, \n, \t, \\, \" and \xHH.
void PrintTextOut(const ArgSlot& slot, const Call&, std::string& out) {
    static const char kHex[] = "0123456789ABCDEF";
    out += " \"";
    for (std::uint8_t b : slot.bytes) {
        if (b == 0) break;
        switch (b) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            if (b < 0x20 || b == 0x7F) {
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 15];
            } else {
                out += static_cast<char>(b);
            }
        }
    }
    out += '"';
}

void PrepareStringOut(ArgSlot& slot) {
    slot.string = nullptr;
}

void BindStringOut(ArgSlot& slot, VARIANT& v) {
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = &slot.string;
}

void PrintStringOut(const ArgSlot& slot, const Call&, std::string& out) {
    out += " \"";
    const unsigned n = BstrLength(slot.string);
    for (unsigned i = 0; i < n; ++i)
        out += static_cast<char>(slot.string[i] & 0xFF);
    out += '"';
}

// The string belongs to the module: its own function frees it.
void ReleaseStringOut(ArgSlot& slot) {
    if (slot.string != nullptr && slot.freeString != nullptr) slot.freeString(slot.string);
    slot.string = nullptr;
}

// clang-format off
constexpr ArgKind kShort{
    "-32768..65535",
    "a decimal integer; 32768..65535 pass their 16-bit pattern (ComInitial 3 57600 800)",
    ParseShort, nullptr, BindShort, nullptr, nullptr, "@",
    {VT_I2, VT_EMPTY}};
constexpr ArgKind kAddressOrLong{
    "a.b.c.d | N",
    "a dotted IPv4 address (a<<24 | b<<16 | c<<8 | d), or that value as a decimal integer",
    ParseAddressOrLong, nullptr, BindLong, nullptr, nullptr, "@",
    {VT_I4, VT_EMPTY}};
constexpr ArgKind kText{
    "TEXT",
    "the word itself; the control is given the address of palvex's zero-terminated copy",
    ParseText, nullptr, BindBytes, nullptr, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
constexpr ArgKind kDisplayText{
    "TEXT",
    "UTF-8 text, converted to the card's code page GBK before the call (\"中文\" is "
    "D6 D0 CE C4); a character GBK has no code for is a usage error. With --raw-text "
    "the word's bytes pass unchanged",
    ParseDisplayText, nullptr, BindBytes, nullptr, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
constexpr ArgKind kPictureFile{
    "FILE",
    "a picture of 128 rows of 512 one-byte pixel codes (row r, column c at byte "
    "512 * r + c). A PNG image, or a PGM image (P5 or P2), is converted: its "
    "top-left 512 x 128 pixels give the codes at the same rows and columns, the rest "
    "of the picture is 0; a grey pixel gives 1 when it is at least half of white, "
    "else 0; a colour pixel gives bit 0 red, bit 1 green, bit 2 blue, each set when "
    "that channel is at least half of full; transparent pixels count as black "
    "(channels are scaled by opacity). Any other file must hold exactly 65536 bytes, "
    "which are passed as they are",
    ParsePictureFile, nullptr, BindBytes, nullptr, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
constexpr ArgKind kProgRecords{
    "HEX16[[,]HEX16]... | -",
    "8-byte program records, each as 16 hex digits (bytes in order), with or "
    "without commas between records; - for none. A positive TotalProgNum must not "
    "exceed the records given. Printed after the call as the control normalised "
    "them, 16 upper-case digits per record, comma-separated",
    ParseRecords, nullptr, BindBytes, PrintRecords, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
constexpr ArgKind kShortList{
    "N[,N]... | -",
    "comma-separated 16-bit entries, each -32768..65535; - for none. A positive "
    "count must not exceed the entries given",
    ParseShortList, nullptr, BindShorts, nullptr, nullptr, "@",
    {VT_ADDR, VT_I2 | VT_BYREF}};
constexpr ArgKind kShortOut{
    nullptr,
    "takes no argument: filled by the control, printed as a decimal number",
    nullptr, PrepareShortOut, BindShortOut, PrintShortOut, nullptr, "@",
    {VT_I2 | VT_BYREF, VT_EMPTY}};
constexpr ArgKind kShortArrayOut{
    nullptr,
    "takes no argument: filled by the control, printed as decimal numbers separated "
    "by commas (GetTestResult: one per screen row, LedHeight of the last "
    "SetLedProperty on the line); - when the control filled in nothing (capture mode)",
    nullptr, PrepareShortArrayOut, BindShorts, PrintShortArray, nullptr, "@[#]",
    {VT_ADDR, VT_I2 | VT_BYREF}};
constexpr ArgKind kByteArrayOut{
    nullptr,
    "takes no argument: filled by the control, printed as upper-case hex",
    nullptr, PrepareByteArrayOut, BindShorts, PrintByteArrayHex, nullptr, "@:hex",
    {VT_ADDR, VT_I2 | VT_BYREF}};
constexpr ArgKind kStringOut{
    nullptr,
    "takes no argument: filled by the control, printed in double quotes",
    nullptr, PrepareStringOut, BindStringOut, PrintStringOut, ReleaseStringOut, "\"@\"",
    {VT_BSTR | VT_BYREF, VT_EMPTY}};

constexpr ArgKind kTextOut{
    nullptr,
    "takes no argument: a text buffer filled by the control, printed in double quotes",
    nullptr, PrepareTextOut, BindBytes, PrintTextOut, nullptr, "\"@\"",
    {VT_ADDR, VT_EMPTY}};

constexpr const ArgKind* kAllKinds[] = {
    &kShort, &kAddressOrLong, &kText, &kDisplayText, &kPictureFile, &kProgRecords, &kShortList,
    &kShortOut, &kShortArrayOut, &kByteArrayOut, &kStringOut, &kTextOut,
};

// Parameters that do not take the default form of their type (VT_I2: kShort).
// 32-bit and address parameters have no default: each needs a line here
// before its method can be called from the command line. A name that means
// different things in different methods (lpBuff, Resultx) has a line per
// method.
constexpr ParamForm kParamForms[] = {
    {nullptr, "RemoteIP", &kAddressOrLong, 0, nullptr, false},
    {nullptr, "lpProperty", &kText, 0, nullptr, false},
    {nullptr, "lpCmdStr", &kText, 0, nullptr, false},
    {nullptr, "lpLibFileName", &kText, 0, nullptr, false},
    {"ShowString", "lpstr", &kDisplayText, 0, nullptr, false},
    {"SendPicture", "lpBuff", &kPictureFile, 0, nullptr, false},
    {"SendProgList", "lpProgList", &kProgRecords, 0, "TotalProgNum", false},
    {"SetOrderList", "lptrList", &kShortList, 0, "count", false},
    {nullptr, "bStr", &kStringOut, 0, nullptr, false},
    {"SendModemCmd", "lpRetStr", &kTextOut, 128, nullptr, false},
    {"GetTime", "lpBuff", &kShortArrayOut, 6, nullptr, false},
    {"GetAllResult", "lpPara", &kShortArrayOut, 13, nullptr, false},
    {"GetTestResult", "Resultx", &kShortArrayOut, 128, nullptr, true},
    {"GetPowerState", "Resultx", &kShortArrayOut, 128, nullptr, false},
    {"GetSendString", "lpCount", &kShortOut, 0, nullptr, false},
    {"GetSendString", "lpRetBuff", &kByteArrayOut, 1600, "lpCount", false},
};
// clang-format on

// ---------------------------------------------------------------------------

// The 16-bit value a slot of the default kind passes, as the control sees it.
std::int16_t ShortValue(const ArgSlot& slot) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(slot.number));
}

// What earlier calls on the line tell the parse of a later one.
struct LineState {
    ParseContext context;
    // LedHeight of the last SetLedProperty so far, when there was one.
    std::optional<int> screenRows;
};

constexpr std::string_view kScreenMethod = "SetLedProperty";
constexpr std::string_view kScreenHeightParam = "LedHeight";

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

// The type of a parameter or result, as a message names it.
std::string TypeText(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_ADDR:
        return "address";
    case VT_I2 | VT_BYREF:
        return "short*";
    case VT_BSTR | VT_BYREF:
        return "BSTR*";
    case VT_BOOL:
        return "boolean";
    case VT_VOID:
        return "void";
    default:
        return "variant type " + std::to_string(vt);
    }
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
    for (const ArgKind* kind : kAllKinds) {
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

ParamForm FormOf(const MethodInfo& method, const MethodParam& param) {
    for (const ParamForm& f : kParamForms)
        if ((f.method == nullptr || method.name == f.method) && param.name == f.param) return f;
    if (param.vt == VT_I2) return {nullptr, param.name.c_str(), &kShort, 0, nullptr, false};
    return {nullptr, param.name.c_str(), nullptr, 0, nullptr, false};
}

bool Callable(const MethodInfo& method, std::string& why) {
    for (const MethodParam& p : method.params) {
        const ParamForm form = FormOf(method, p);
        if (form.kind == nullptr) {
            why = method.name + " cannot be called from the command line: parameter " + p.name +
                  " (" + TypeText(p.vt) + ") has no argument form";
            return false;
        }
        // The module's type information decides the type; a form made for
        // another type would pass a VARIANT the control refuses or misreads.
        if (!form.kind->Passes(p.vt)) {
            why = method.name + " cannot be called from the command line: parameter " + p.name +
                  " is " + TypeText(p.vt) + ", which its argument form cannot pass";
            return false;
        }
    }
    return true;
}

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

std::string UsageText() {
    return "usage: palvex [--verbose] [--trace] [--raw-text] METHOD [ARG]... [: METHOD "
           "[ARG]...]...\n"
           "       palvex [--verbose] register [MODULE] | unregister | typelib\n"
           "       palvex [--verbose] draw FILE.png [WIDTHxHEIGHT]\n" +
           std::string(JobUsageText()) + "       palvex --help\n";
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
