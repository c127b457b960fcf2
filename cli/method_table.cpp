#include "cli/method_table.h"

#include "cli/type_description.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace palvex::cli {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// A name the type information gave, as ASCII text; false for characters
// outside ASCII (names are matched and printed byte for byte) and for the
// zero character.
bool AsciiName(BSTR s, std::string& name) {
    name.clear();
    const unsigned n = BstrLength(s);
    for (unsigned i = 0; i < n; ++i) {
        if (s[i] == 0 || s[i] > 0x7F) return false;
        name += static_cast<char>(s[i]);
    }
    return !name.empty();
}

// The type attributes, given back when the holder goes.
struct TypeAttrHolder {
    ITypeInfo& info;
    TYPEATTR* attr = nullptr;
    ~TypeAttrHolder() {
        if (attr != nullptr) info.ReleaseTypeAttr(attr);
    }
};

struct FuncDescHolder {
    ITypeInfo& info;
    FUNCDESC* desc = nullptr;
    ~FuncDescHolder() {
        if (desc != nullptr) info.ReleaseFuncDesc(desc);
    }
};

// Strings handed out by the module, freed with its function.
struct StringsHolder {
    const StringFree& freeString;
    std::vector<BSTR> strings;
    ~StringsHolder() {
        for (BSTR s : strings)
            if (s != nullptr) freeString(s);
    }
};

std::string MemberText(MEMBERID memid) {
    return "member " + std::to_string(memid);
}

// One method from its function description: its names (the method's, then
// the parameters') and the types.
bool ReadMethod(ITypeInfo& info, const StringFree& freeString, const FUNCDESC& desc, MethodInfo& method,
                std::string& error) {
    if (desc.cParams < 0 || (desc.cParams > 0 && desc.lprgelemdescParam == nullptr)) {
        error = MemberText(desc.memid) + " has a malformed parameter list";
        return false;
    }
    const auto paramCount = static_cast<unsigned>(desc.cParams);
    StringsHolder names{freeString, std::vector<BSTR>(paramCount + 1, nullptr)};
    UINT got = 0;
    const HRESULT hr = info.GetNames(desc.memid, names.strings.data(), paramCount + 1, &got);
    if (FAILED(hr)) {
        // A refused call hands out nothing (what it wrote, it took back).
        names.strings.clear();
        error = "the names of " + MemberText(desc.memid) +
                " cannot be read: " + HresultMessage(hr);
        return false;
    }
    if (got > paramCount + 1) got = paramCount + 1;
    // Names beyond `got` were never written: nothing to free there.
    names.strings.resize(got);
    if (got != paramCount + 1) {
        error = MemberText(desc.memid) + " gives " + std::to_string(got) + " of the " +
                std::to_string(paramCount + 1) + " names it needs (its own and one per parameter)";
        return false;
    }

    method.id = desc.memid;
    method.result = TypeOf(desc.elemdescFunc);
    if (!AsciiName(names.strings[0], method.name)) {
        error = MemberText(desc.memid) + " has an empty or non-ASCII name";
        return false;
    }
    method.params.clear();
    for (unsigned i = 0; i < paramCount; ++i) {
        MethodParam p;
        p.vt = TypeOf(desc.lprgelemdescParam[i]);
        if (!AsciiName(names.strings[i + 1], p.name)) {
            error = method.name + ": parameter " + std::to_string(i + 1) +
                    " has an empty or non-ASCII name";
            return false;
        }
        for (const MethodParam& q : method.params)
            if (SameNameIgnoringCase(q.name, p.name)) {
                error = method.name + " names two parameters " + p.name;
                return false;
            }
        method.params.push_back(std::move(p));
    }
    return true;
}

} // namespace

unsigned BstrLength(BSTR s) {
    if (s == nullptr) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - sizeof bytes, sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

const MethodInfo* MethodTable::Find(std::string_view name) const {
    for (const MethodInfo& m : m_methods)
        if (SameNameIgnoringCase(m.name, name)) return &m;
    return nullptr;
}

bool ReadMethodTable(ITypeInfo& info, StringFree freeString, MethodTable& out, std::string& error) {
    out = MethodTable();
    if (!freeString) {
        error = "no function to free the module's strings";
        return false;
    }
    TypeAttrHolder attr{info};
    HRESULT hr = info.GetTypeAttr(&attr.attr);
    if (FAILED(hr) || attr.attr == nullptr) {
        error = "the type attributes cannot be read: " +
                HresultMessage(FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    if (attr.attr->typekind != TKIND_DISPATCH) {
        error = "the type information describes no dispatch interface (type kind " +
                std::to_string(attr.attr->typekind) + ")";
        return false;
    }

    std::vector<MethodInfo> methods;
    for (unsigned i = 0; i < attr.attr->cFuncs; ++i) {
        FuncDescHolder desc{info};
        hr = info.GetFuncDesc(i, &desc.desc);
        if (FAILED(hr) || desc.desc == nullptr) {
            error = "function description " + std::to_string(i) +
                    " cannot be read: " + HresultMessage(FAILED(hr) ? hr : E_POINTER);
            return false;
        }
        // Only methods can be called from the command line, and only those
        // meant for hosts.
        if ((desc.desc->invkind & INVOKE_FUNC) == 0 || Restricted(*desc.desc)) continue;
        MethodInfo method;
        if (!ReadMethod(info, freeString, *desc.desc, method, error)) return false;
        for (const MethodInfo& m : methods) {
            if (m.id == method.id) {
                error = m.name + " and " + method.name + " have the same identifier " +
                        std::to_string(m.id);
                return false;
            }
            if (SameNameIgnoringCase(m.name, method.name)) {
                error = "two methods are called " + method.name;
                return false;
            }
        }
        methods.push_back(std::move(method));
    }
    out = MethodTable(std::move(methods), freeString);
    return true;
}

bool ReadMethodTable(IDispatch& control, StringFree freeString, MethodTable& out,
                     std::string& error) {
    out = MethodTable();
    UINT count = 0;
    HRESULT hr = control.GetTypeInfoCount(&count);
    if (FAILED(hr) || count == 0) {
        error = "the control offers no type information" +
                (FAILED(hr) ? ": " + HresultMessage(hr) : std::string());
        return false;
    }
    ITypeInfo* info = nullptr;
    hr = control.GetTypeInfo(0, 0, &info);
    if (FAILED(hr) || info == nullptr) {
        error = "the control's type information cannot be had: " +
                HresultMessage(FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    const bool read = ReadMethodTable(*info, freeString, out, error);
    info->Release();
    if (!read) {
        error = "the control's type information is unusable: " + error;
        return false;
    }
    return true;
}

} // namespace palvex::cli
