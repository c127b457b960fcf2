#include "control/automation/type_library.h"

#include "control/automation/com_object.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/module_resources.h"
#include "control/automation/oleauto.h"

#include <vector>

namespace palvex {

namespace {

// uuid(...) spells an identifier without braces.
std::string UuidAttribute(const GUID& g) {
    const std::string text = GuidText(g);
    return "uuid(" + text.substr(1, text.size() - 2) + ")";
}

void AppendMethod(std::string& out, const DispatchEntry& e) {
    out += "            [id(" + std::to_string(e.id) + ")] " + IdlTypeName(e.result) + " " +
           e.name + "(";
    for (std::size_t i = 0; i < e.paramCount; ++i) {
        if (i > 0) out += ", ";
        out += IdlTypeName(e.params[i].vt);
        out += ' ';
        out += e.params[i].name;
    }
    out += ");\n";
}

// ---------------------------------------------------------------------------
// The function descriptions, made once from the dispatch table.

struct FunctionTable {
    std::vector<FUNCDESC> funcs;
    std::vector<std::vector<ELEMDESC>> params;
};

const FunctionTable& Functions() {
    static const FunctionTable table = [] {
        FunctionTable t;
        const auto entries = AllDispatchEntries();
        t.params.reserve(entries.size());
        for (const DispatchEntry& e : entries) {
            std::vector<ELEMDESC> params;
            for (const DispatchParam& p : e.Params())
                params.push_back({p.vt, 0});
            t.params.push_back(std::move(params));
            FUNCDESC f{};
            f.memid = e.id;
            f.funckind = FUNC_DISPATCH;
            f.invkind = INVOKE_FUNC;
            f.cParams = static_cast<std::int16_t>(e.paramCount);
            f.lprgelemdescParam = t.params.back().empty() ? nullptr : t.params.back().data();
            f.elemdescFunc = {e.result, 0};
            t.funcs.push_back(f);
        }
        return t;
    }();
    return table;
}

BSTR NewString(const char* text) {
    return BstrFromBytes(text);
}

class CDispatchTypeInfo final : public com::CComObject {
  public:
    CDispatchTypeInfo() : m_info(&kTable, this) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (SameGuid(*riid, IID_IUnknown) || SameGuid(*riid, IID_IPalvexTypeInfo))
            return Hand(&m_info.iface, ppv);
        return E_NOINTERFACE;
    }

  private:
    using Self = CDispatchTypeInfo;

    static HRESULT GetTypeAttr(ITypeInfo*, TYPEATTR** attr) {
        if (attr == nullptr) return E_POINTER;
        *attr = nullptr;
        try {
            auto* a = new TYPEATTR{};
            a->guid = DIID__DPalvex;
            a->typekind = TKIND_DISPATCH;
            a->cFuncs = static_cast<std::uint16_t>(Functions().funcs.size());
            a->wTypeFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE;
            a->wMajorVerNum = res::kLibraryMajor;
            a->wMinorVerNum = res::kLibraryMinor;
            *attr = a;
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT GetFuncDesc(ITypeInfo*, unsigned index, FUNCDESC** desc) {
        if (desc == nullptr) return E_POINTER;
        *desc = nullptr;
        const auto& funcs = Functions().funcs;
        if (index >= funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
        try {
            *desc = new FUNCDESC(funcs[index]);
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT GetNames(ITypeInfo*, MEMBERID memid, BSTR* names, unsigned maxNames,
                            unsigned* count) {
        if (count == nullptr || (names == nullptr && maxNames > 0)) return E_POINTER;
        *count = 0;
        const DispatchEntry* e = FindEntryById(memid);
        if (e == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        std::vector<const char*> all{e->name};
        for (const DispatchParam& p : e->Params())
            all.push_back(p.name);
        unsigned n = 0;
        for (; n < maxNames && n < all.size(); ++n) {
            names[n] = NewString(all[n]);
            if (names[n] == nullptr) {
                while (n > 0)
                    SysFreeString(names[--n]);
                return E_OUTOFMEMORY;
            }
        }
        *count = n;
        return S_OK;
    }

    static HRESULT GetIDsOfNames(ITypeInfo*, OLECHAR** names, unsigned count, MEMBERID* ids) {
        return palvex::GetIDsOfNames(names, count, ids);
    }

    static HRESULT GetDocumentation(ITypeInfo*, MEMBERID memid, BSTR* name, BSTR* docString,
                                    DWORD* helpContext, BSTR* helpFile) {
        const char* memberName = res::kDispatchName;
        const char* doc = res::kDispatchHelp;
        if (memid != MEMBERID_NIL) {
            const DispatchEntry* e = FindEntryById(memid);
            if (e == nullptr) return TYPE_E_ELEMENTNOTFOUND;
            memberName = e->name;
            doc = nullptr;
        }
        BSTR texts[3] = {NewString(memberName), doc ? NewString(doc) : nullptr,
                         NewString(res::kHelpFile)};
        if (texts[0] == nullptr || (doc != nullptr && texts[1] == nullptr) || texts[2] == nullptr) {
            for (BSTR s : texts)
                SysFreeString(s);
            return E_OUTOFMEMORY;
        }
        BSTR* targets[3] = {name, docString, helpFile};
        for (int i = 0; i < 3; ++i) {
            if (targets[i] != nullptr)
                *targets[i] = texts[i];
            else
                SysFreeString(texts[i]);
        }
        if (helpContext != nullptr) *helpContext = 0;
        return S_OK;
    }

    static void ReleaseTypeAttr(ITypeInfo*, TYPEATTR* attr) { delete attr; }
    static void ReleaseFuncDesc(ITypeInfo*, FUNCDESC* desc) { delete desc; }

    static constexpr ITypeInfoVtbl kTable = {
        com::QueryInterfaceThunk<Self, ITypeInfo>,
        com::AddRefThunk<Self, ITypeInfo>,
        com::ReleaseThunk<Self, ITypeInfo>,
        GetTypeAttr,
        GetFuncDesc,
        GetNames,
        GetIDsOfNames,
        GetDocumentation,
        ReleaseTypeAttr,
        ReleaseFuncDesc,
    };

    com::InterfaceOf<ITypeInfo, Self> m_info;
};

} // namespace

const char* IdlTypeName(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_I8:
        return "LONG_PTR";
    case VT_I2 | VT_BYREF:
        return "short*";
    case VT_BSTR | VT_BYREF:
        return "BSTR*";
    case VT_BOOL:
        return "boolean";
    case VT_VOID:
    case VT_EMPTY:
        return "void";
    default:
        return "VARIANT";
    }
}

std::string TypeLibraryText() {
    std::string out;
    out += "// PALVEXLib: the type library of the Palvex control module.\n";
    if (VT_ADDR == VT_I8)
        out += "// LONG_PTR: the address of caller memory, an integer as wide as a pointer.\n";
    out += "\n[\n    " + UuidAttribute(LIBID_PALVEXLib) + ",\n";
    out += "    version(" + std::to_string(res::kLibraryMajor) + "." +
           std::to_string(res::kLibraryMinor) + "),\n";
    out += std::string("    helpstring(\"") + res::kLibraryHelp + "\"),\n";
    out += std::string("    helpfile(\"") + res::kHelpFile + "\"),\n";
    out += "    helpcontext(0),\n    control\n]\n";
    out += std::string("library ") + res::kLibraryName + "\n{\n";
    out += "    importlib(\"stdole2.tlb\");\n\n";

    out += "    [\n        " + UuidAttribute(DIID__DPalvex) + ",\n";
    out += std::string("        helpstring(\"") + res::kDispatchHelp + "\"),\n";
    out += "        hidden\n    ]\n";
    out += std::string("    dispinterface ") + res::kDispatchName + "\n    {\n";
    out += "        properties:\n        methods:\n";
    for (const DispatchEntry& e : AllDispatchEntries())
        AppendMethod(out, e);
    out += "    };\n\n";

    out += "    [\n        " + UuidAttribute(DIID__DPalvexEvents) + ",\n";
    out += std::string("        helpstring(\"") + res::kEventsHelp + "\")\n    ]\n";
    out += std::string("    dispinterface ") + res::kEventsName + "\n    {\n";
    out += "        properties:\n        methods:\n    };\n\n";

    out += "    [\n        " + UuidAttribute(CLSID_Palvex) + ",\n";
    out += std::string("        helpstring(\"") + res::LoadString(res::IDS_PALVEX) + "\"),\n";
    out += "        control\n    ]\n";
    out += std::string("    coclass ") + res::kCoclassName + "\n    {\n";
    out += std::string("        [default] dispinterface ") + res::kDispatchName + ";\n";
    out += std::string("        [default, source] dispinterface ") + res::kEventsName + ";\n";
    out += "    };\n};\n";
    return out;
}

HRESULT CreateDispatchTypeInfo(ITypeInfo** info) {
    return com::CreateAndQuery<CDispatchTypeInfo>(&IID_IPalvexTypeInfo,
                                                  reinterpret_cast<void**>(info));
}

} // namespace palvex
