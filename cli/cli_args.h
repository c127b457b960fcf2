// The command line of `palvex`, the command-line automation host:
//
//   palvex [--trace] [--raw-text] METHOD [ARG]... [: METHOD [ARG]...]...
//
// Every call is looked up in the dispatch table and every argument word is
// checked before the first call runs (files named by arguments are read then
// too). How a parameter is given on the command line (a 16-bit number, an
// address, text, a picture file, a list, or storage the control fills) is
// decided by its argument kind: the kind table (kParamForms in cli_args.cpp)
// names the parameters that do not use the default kind of their type.
#pragma once

#include "control/automation/dispatch_table.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace palvex::cli {

struct ArgSlot;
struct Call;

// What the rest of the line tells the reader of one word.
struct ParseContext {
    bool rawText = false; // --raw-text: display texts pass without conversion
};

// How one parameter is supplied and, for out-parameters, printed.
struct ArgKind {
    // For --help: what the word looks like ("-32768..65535"); nullptr for
    // kinds that take no word (storage the control fills).
    const char* syntax;
    // For --help: what the form means.
    const char* description;
    // Reads the word into the slot; false with a message when it does not
    // fit. nullptr for kinds that take no word.
    bool (*parse)(std::string_view word, const ParseContext& context, ArgSlot& slot,
                  std::string& error);
    // Makes the slot's storage (out-parameters); nullptr when there is none.
    void (*prepare)(ArgSlot& slot);
    // The VARIANT that passes the slot. Storage it points at belongs to the
    // slot, which must stay in place until the call returns.
    void (*bind)(ArgSlot& slot, VARIANT& v);
    // Appends " value" after a call that succeeded; nullptr prints nothing.
    // Kinds that take a word and print are in/out: the control rewrites what
    // the word gave.
    void (*print)(const ArgSlot& slot, const Call& call, std::string& out);
    // Gives back what the control handed over; nullptr when nothing is owned.
    void (*release)(ArgSlot& slot);
    // For --help: how a printed out-value is shown, '@' standing for the name
    // and '#' for the number of elements.
    const char* shownAs;

    bool TakesWord() const { return parse != nullptr; }
};

// The command-line form of one parameter.
struct ParamForm {
    const char* method; // nullptr: every method with a parameter of this name
    const char* param;
    const ArgKind* kind;
    std::size_t capacity; // out-arrays: number of elements
    // Out-arrays: the parameter holding how many elements are valid. Lists
    // given as a word: the parameter saying how many entries the control
    // reads; a positive count above the entries given is refused.
    const char* countParam;
    // Out-arrays: one valid element per screen row, the LedHeight of the last
    // SetLedProperty before the call on the line (all of them without one).
    bool screenRows;
};

// One argument of one call, with whatever storage its kind needs.
struct ArgSlot {
    const DispatchParam* param = nullptr;
    ParamForm form{};
    std::int64_t number = 0;          // integer words
    std::int16_t shortOut = 0;        // a short the control fills
    std::vector<std::uint8_t> bytes;  // texts (zero-padded), pictures, records
    std::vector<std::int16_t> shorts; // lists of shorts, arrays the control fills
    BSTR string = nullptr;            // a string the control allocates
    int countSlot = -1;               // slot of the form's countParam
    std::size_t listLength = 0;       // lists given as a word: entries given
    std::size_t shownLength = 0;      // out-arrays without a count slot: elements printed
};

struct Call {
    DISPID id = DISPID_UNKNOWN;
    const DispatchEntry* entry = nullptr;
    std::vector<ArgSlot> slots; // parameter order
};

struct CommandLine {
    bool trace = false;
    bool rawText = false;
    bool help = false;
    std::vector<Call> calls;
};

// The form of one parameter of one method: the kind table's entry, else the
// default of its type (16-bit integers). kind is nullptr when the
// command line has no form for it.
ParamForm FormOf(const DispatchEntry& method, const DispatchParam& param);

// All argument kinds, for --help and for tests.
std::span<const ArgKind* const> AllArgKinds();

// Checks the whole line (without the program name). On success `out` holds
// every call ready to run; otherwise `error` says what is wrong and nothing
// may run.
bool ParseCommandLine(std::span<const std::string_view> words, CommandLine& out,
                      std::string& error);

// Short usage (for no arguments and usage errors) and the full --help text.
std::string UsageText();
std::string HelpText();

} // namespace palvex::cli
