// The methods palvex can call, as the loaded control module describes them:
// read once from the type information of the control's dispatch interface
// (IDispatch::GetTypeInfo, then the type attributes, every function
// description and every member's names). The command line is checked
// against this table; nothing of the control's own code is needed for it.
#pragma once

#include "control/automation/com_support.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace palvex::cli {

// Frees a string the module handed out (through the hosted control, or the
// allocator's own function for a control in the same program).
using StringFree = std::function<void(BSTR)>;

// The length in characters of a string in the interface's layout: the 4-byte
// byte count in front of the characters (0 for a null string).
unsigned BstrLength(BSTR s);

struct MethodParam {
    std::string name;
    VARTYPE vt; // VT_I2, VT_I4, VT_ADDR, VT_I2|VT_BYREF, VT_BSTR|VT_BYREF, ...
};

struct MethodInfo {
    DISPID id;
    std::string name;
    std::vector<MethodParam> params; // call order
    VARTYPE result;                  // VT_BOOL, VT_I2, VT_VOID, ...
};

class MethodTable {
  public:
    MethodTable() = default;
    // `freeString` frees the strings the module hands out during calls.
    MethodTable(std::vector<MethodInfo> methods, StringFree freeString)
        : m_methods(std::move(methods)), m_freeString(std::move(freeString)) {}

    // Every method in the order of the type information (identifier order).
    std::span<const MethodInfo> All() const { return m_methods; }
    // The method whose name matches, ignoring ASCII case, or nullptr.
    const MethodInfo* Find(std::string_view name) const;
    const StringFree& FreeString() const { return m_freeString; }
    bool Empty() const { return m_methods.empty(); }

  private:
    std::vector<MethodInfo> m_methods;
    StringFree m_freeString;
};

// Reads the table from a dispatch interface's type information. Names and
// other strings the type information hands out are freed with `freeString`.
// False with a message when the type information is missing or does not
// describe a usable dispatch interface (not a dispinterface, a member
// without all its names, a name that is empty, not ASCII or given twice, an
// identifier given twice); `out` is then empty.
bool ReadMethodTable(ITypeInfo& info, StringFree freeString, MethodTable& out, std::string& error);

// The same for the first type information of a control (GetTypeInfo(0)).
bool ReadMethodTable(IDispatch& control, StringFree freeString, MethodTable& out,
                     std::string& error);

} // namespace palvex::cli
