#include "cli/arg_kinds.h"

#include "cli/arg_words.h"
#include "cli/code_page.h"
#include "cli/picture_file.h"
#include "control/host/variant_args.h"
#include "control/palvex_facts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace palvex::cli {
namespace {

using words::EntriesText;
using words::HexValue;
using words::IsHexDigit;
using words::ParseDecimalWord;
using words::ParseDottedAddress;
using words::Quoted;

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
    v = host::ShortArg(slot.number);
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
    v = host::LongArg(slot.number);
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
    v = host::AddressArg(address);
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

constexpr std::size_t kRecordBytes = card::kProgRecordSize;
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
    v = host::ShortRefArg(&slot.shortOut);
}

void PrintShortOut(const ArgSlot& slot, const Call&, std::string& out) {
    out += ' ';
    out += std::to_string(slot.shortOut);
}

// Arrays of shorts, passed as VT_I2 | VT_BYREF or as an address, whichever
// the parameter is declared as.
void BindShorts(ArgSlot& slot, VARIANT& v) {
    if (slot.param->vt == (VT_I2 | VT_BYREF)) {
        v = host::ShortRefArg(slot.shorts.data());
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
    v = host::StringRefArg(&slot.string);
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
    if (slot.string != nullptr && slot.freeString) slot.freeString(slot.string);
    slot.string = nullptr;
}

} // namespace

// clang-format off
const ArgKind kShort{
    "-32768..65535",
    "a decimal integer; 32768..65535 pass their 16-bit pattern (ComInitial 3 57600 800)",
    ParseShort, nullptr, BindShort, nullptr, nullptr, "@",
    {VT_I2, VT_EMPTY}};
const ArgKind kAddressOrLong{
    "a.b.c.d | N",
    "a dotted IPv4 address (a<<24 | b<<16 | c<<8 | d), or that value as a decimal integer",
    ParseAddressOrLong, nullptr, BindLong, nullptr, nullptr, "@",
    {VT_I4, VT_EMPTY}};
const ArgKind kText{
    "TEXT",
    "the word itself; the control is given the address of palvex's zero-terminated copy",
    ParseText, nullptr, BindBytes, nullptr, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
const ArgKind kDisplayText{
    "TEXT",
    "UTF-8 text, converted to the card's code page GBK before the call (\"中文\" is "
    "D6 D0 CE C4); a character GBK has no code for is a usage error. With --raw-text "
    "the word's bytes pass unchanged",
    ParseDisplayText, nullptr, BindBytes, nullptr, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
const ArgKind kPictureFile{
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
const ArgKind kProgRecords{
    "HEX16[[,]HEX16]... | -",
    "8-byte program records, each as 16 hex digits (bytes in order), with or "
    "without commas between records; - for none. A positive TotalProgNum must not "
    "exceed the records given. Printed after the call as the control normalised "
    "them, 16 upper-case digits per record, comma-separated",
    ParseRecords, nullptr, BindBytes, PrintRecords, nullptr, "@",
    {VT_ADDR, VT_EMPTY}};
const ArgKind kShortList{
    "N[,N]... | -",
    "comma-separated 16-bit entries, each -32768..65535; - for none. A positive "
    "count must not exceed the entries given",
    ParseShortList, nullptr, BindShorts, nullptr, nullptr, "@",
    {VT_ADDR, VT_I2 | VT_BYREF}};
const ArgKind kShortOut{
    nullptr,
    "takes no argument: filled by the control, printed as a decimal number",
    nullptr, PrepareShortOut, BindShortOut, PrintShortOut, nullptr, "@",
    {VT_I2 | VT_BYREF, VT_EMPTY}};
const ArgKind kShortArrayOut{
    nullptr,
    "takes no argument: filled by the control, printed as decimal numbers separated "
    "by commas (GetTestResult: one per screen row, LedHeight of the last "
    "SetLedProperty on the line); - when the control filled in nothing (capture mode)",
    nullptr, PrepareShortArrayOut, BindShorts, PrintShortArray, nullptr, "@[#]",
    {VT_ADDR, VT_I2 | VT_BYREF}};
const ArgKind kByteArrayOut{
    nullptr,
    "takes no argument: filled by the control, printed as upper-case hex",
    nullptr, PrepareByteArrayOut, BindShorts, PrintByteArrayHex, nullptr, "@:hex",
    {VT_ADDR, VT_I2 | VT_BYREF}};
const ArgKind kStringOut{
    nullptr,
    "takes no argument: filled by the control, printed in double quotes",
    nullptr, PrepareStringOut, BindStringOut, PrintStringOut, ReleaseStringOut, "\"@\"",
    {VT_BSTR | VT_BYREF, VT_EMPTY}};

const ArgKind kTextOut{
    nullptr,
    "takes no argument: a text buffer filled by the control, printed in double quotes",
    nullptr, PrepareTextOut, BindBytes, PrintTextOut, nullptr, "\"@\"",
    {VT_ADDR, VT_EMPTY}};

constexpr const ArgKind* kAllKinds[] = {
    &kShort, &kAddressOrLong, &kText, &kDisplayText, &kPictureFile, &kProgRecords, &kShortList,
    &kShortOut, &kShortArrayOut, &kByteArrayOut, &kStringOut, &kTextOut,
};
// clang-format on

std::span<const ArgKind* const> AllKinds() {
    return kAllKinds;
}

} // namespace palvex::cli
