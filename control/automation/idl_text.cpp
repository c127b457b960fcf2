#include "control/automation/idl_text.h"

#include "control/automation/dispatch_table.h"
#include "control/automation/module_resources.h"
#include "control/automation/palvex_guids.h"

#include <cstdio>
#include <span>
#include <string_view>

namespace palvex {

namespace {

// uuid(...) spells an identifier without braces.
std::string UuidAttribute(const GUID& g) {
    char text[64];
    std::snprintf(text, sizeof text, "uuid(%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X)",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

// The IDL type of a parameter or result. The address parameters are those of
// the address type whose names begin with "lp" (where addresses are 32 bits
// wide, a long has the same type). A type the interface does not carry
// yields a name no IDL declares, so widl refuses the file.
std::string IdlType(VARTYPE vt, std::string_view name = {}) {
    if (vt == VT_ADDR && name.starts_with("lp")) return "__int3264";
    switch (vt) {
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_I2 | VT_BYREF:
        return "short*";
    case VT_BSTR | VT_BYREF:
        return "BSTR*";
    case VT_BOOL:
        return "VARIANT_BOOL";
    case VT_VOID:
        return "void";
    default:
        return "unsupported_vartype_" + std::to_string(vt);
    }
}

void AppendMethod(std::string& out, const DispatchEntry& e) {
    out += "        [id(" + std::to_string(e.id) + ")] " + IdlType(e.result) + " " + e.name + "(";
    for (std::size_t i = 0; i < e.paramCount; ++i) {
        if (i > 0) out += ", ";
        out += IdlType(e.params[i].vt, e.params[i].name) + " " + e.params[i].name;
    }
    out += ");\n";
}

// A dispatch interface with its methods; `hidden` keeps it out of object
// browsers (a control's default interface is reached through its class).
void AppendDispinterface(std::string& out, const IID& iid, const char* help, const char* name,
                         std::span<const DispatchEntry> methods, bool hidden,
                         const std::string& properties = {}) {
    out += "    [\n        " + UuidAttribute(iid) + ",\n";
    out += std::string("        helpstring(\"") + help + "\")" + (hidden ? ",\n        hidden" : "") +
           "\n    ]\n";
    out += std::string("    dispinterface ") + name + "\n    {\n";
    out += "    properties:\n" + properties + "    methods:\n";
    for (const DispatchEntry& e : methods)
        AppendMethod(out, e);
    out += "    };\n\n";
}

// A class of the library: its default interface, and its default source
// interface when it has events.
void AppendCoclass(std::string& out, const CLSID& clsid, const char* help, const char* attributes,
                   const char* name, const char* dispatch, const char* source) {
    out += "    [\n        " + UuidAttribute(clsid) + ",\n";
    out += std::string("        helpstring(\"") + help + "\"),\n";
    out += std::string("        ") + attributes + "\n    ]\n";
    out += std::string("    coclass ") + name + "\n    {\n";
    out += std::string("        [default] dispinterface ") + dispatch + ";\n";
    if (source != nullptr)
        out += std::string("        [default, source] dispinterface ") + source + ";\n";
    out += "    };\n";
}

constexpr const char* kPreamble =
    R"(// Palvex.idl: the type library PALVEXLib of the Palvex control module.
// Generated from the dispatch table (control/automation/idl_text.cpp); do not
// edit. After changing the table, build the target palvex_idl_update on Linux
// and commit the new file.
//
// widl has no system IDL files: the standard types named here are declared
// below, and IDispatch itself comes from stdole2.tlb. __int3264 is an integer
// as wide as a pointer (VT_I4 in the 32-bit library, VT_I8 in the 64-bit
// one); it carries the address parameters, whose names begin with "lp".

typedef short VARIANT_BOOL;
typedef unsigned short* BSTR;

[
    object,
    local,
    uuid(00000000-0000-0000-C000-000000000046)
]
interface IUnknown
{
}

[
    object,
    local,
    uuid(00020400-0000-0000-C000-000000000046)
]
interface IDispatch : IUnknown
{
}

)";

} // namespace

std::string PalvexIdlText() {
    std::string out = kPreamble;
    out += "[\n    " + UuidAttribute(LIBID_PALVEXLib) + ",\n";
    out += "    version(" + std::to_string(res::kLibraryMajor) + "." +
           std::to_string(res::kLibraryMinor) + "),\n";
    out += std::string("    helpstring(\"") + res::kLibraryHelp + "\"),\n";
    out += std::string("    helpfile(\"") + res::kHelpFile + "\"),\n";
    out += "    helpcontext(0),\n    control\n]\n";
    out += std::string("library ") + res::kLibraryName + "\n{\n";
    out += "    importlib(\"stdole2.tlb\");\n\n";

    AppendDispinterface(out, DIID__DPalvex, res::kDispatchHelp, res::kDispatchName,
                        AllDispatchEntries(), true);
    AppendDispinterface(out, DIID__DPalvexEvents, res::kEventsHelp, res::kEventsName, {}, false);
    AppendCoclass(out, CLSID_Palvex, res::kControlTypeName, "control", res::kCoclassName,
                  res::kDispatchName, res::kEventsName);
    out += "\n";
    // The control's second dispatch interface, and a class that names it for
    // hosts that declare variables by class; the control is the only object
    // that has it.
    AppendDispinterface(out, DIID__DPalvexDiagnostics, res::kDiagnosticsHelp,
                        res::kDiagnosticsName, {}, false,
                        "        [id(" + std::to_string(kDispidLastLinkError) +
                            "), readonly] BSTR " + kLastLinkErrorName + ";\n");
    AppendCoclass(out, CLSID_PalvexDiagnostics, res::kDiagnosticsHelp, "noncreatable",
                  res::kDiagnosticsCoclassName, res::kDiagnosticsName, nullptr);
    out += "};\n";
    return out;
}

} // namespace palvex
