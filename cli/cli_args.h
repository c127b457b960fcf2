// The command line of `palvex`, the command-line automation host:
//
//   palvex [--verbose] [--trace] [--raw-text] METHOD [ARG]... [: METHOD [ARG]...]...
//
// (the module commands register, unregister, typelib and draw are in
// cli/module_commands.h)
//
// Every call is looked up in the method table palvex reads from the loaded
// module's type information (cli/method_table.h), and every argument word
// is checked before the first call runs (files named by arguments are read
// then too). How a parameter is given on the command line (a 16-bit number,
// an address, text, a picture file, a list, or storage the control fills) is
// decided by its argument kind (cli/arg_kinds.h): the forms table
// (cli/param_forms.cpp) names, by method and parameter name, the parameters
// that do not use the default kind of their type, and each kind says which
// parameter types it can pass. Words are read by cli/arg_words.h, calls
// checked by cli/call_parse.cpp, and --help written by cli/help_text.cpp.
#pragma once

#include "cli/method_table.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace palvex::cli {

// The identifier of a call not yet looked up.
constexpr DISPID kNoDispId = -1;

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
    // The parameter types the kind can pass (VT_EMPTY: none more).
    VARTYPE passes[2];

    bool TakesWord() const { return parse != nullptr; }
    bool Passes(VARTYPE vt) const { return vt != VT_EMPTY && (passes[0] == vt || passes[1] == vt); }
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
    const MethodParam* param = nullptr;
    ParamForm form{};
    StringFree freeString;            // frees a string the control allocated
    std::int64_t number = 0;          // integer words
    std::int16_t shortOut = 0;        // a short the control fills
    std::vector<std::uint8_t> bytes;  // texts (zero-padded), pictures, records
    std::vector<std::int16_t> shorts; // lists of shorts, arrays the control fills
    BSTR string = nullptr;            // a string the control allocates
    int countSlot = -1;               // slot of the form's countParam
    std::size_t listLength = 0;       // lists given as a word: entries given
    std::size_t shownLength = 0;      // out-arrays without a count slot: elements printed
};

// One call: the method (an entry of the table the line was checked
// against, which must outlive the call) and one slot per parameter.
struct Call {
    DISPID id = kNoDispId; // the table's identifier of the method
    const MethodInfo* method = nullptr;
    StringFree freeString;      // the table's: frees what the control hands out
    std::vector<ArgSlot> slots;      // parameter order
};

struct CommandLine {
    bool verbose = false; // say which control module runs the calls
    bool trace = false;
    bool rawText = false;
    bool help = false;
    std::vector<Call> calls;
};

// The form of one parameter of one method: the kind table's entry, else the
// default of its type (16-bit integers). kind is nullptr when the
// command line has no form for it.
ParamForm FormOf(const MethodInfo& method, const MethodParam& param);

// Whether a method can be called from the command line: every parameter has
// a form whose kind passes the parameter's type. Otherwise `why` says which
// parameter cannot be given.
bool Callable(const MethodInfo& method, std::string& why);

// Reads the options before the first method (--verbose, --trace, --raw-text,
// --help) into `out` and sets `firstCall` to the index of the first word
// after them. They need no module, so a line whose options are wrong, or
// that has no method, is refused here, before any module is loaded. False
// with a message; with --help the rest of the line is not looked at.
bool ParseOptions(std::span<const std::string_view> words, CommandLine& out, std::size_t& firstCall,
                  std::string& error);

// Checks the whole line (without the program name) against the methods of
// `methods`. On success `out` holds every call ready to run; otherwise
// `error` says what is wrong and nothing may run. The calls point into
// `methods`.
bool ParseCommandLine(std::span<const std::string_view> words, const MethodTable& methods,
                      CommandLine& out, std::string& error);

// Short usage (for no arguments and usage errors) and the full --help text.
// Without a table (no module could be loaded) the help says that the list of
// methods and their arguments comes from the module.
std::string UsageText();
std::string HelpText(const MethodTable* methods);

} // namespace palvex::cli
