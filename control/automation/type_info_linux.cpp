// The type information of _DPalvex on Linux, where there is no type library
// to load: the reduced ITypeInfo of palvex_com.h, generated from the
// dispatch table, as IDispatch::GetTypeInfo serves it.
#include "control/automation/control_parts.h"

#include "control/automation/com_object.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/module_resources.h"
#include "control/automation/oleauto.h"

#include <vector>

namespace palvex {

namespace {

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

class CDispatchTypeInfo final : public com::CComObject<CDispatchTypeInfo, ITypeInfo> {
  public:
    void* Find(REFIID riid) {
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_IPalvexTypeInfo))
            return static_cast<ITypeInfo*>(this);
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attr) override {
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

    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** desc) override {
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

    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT maxNames,
                                       UINT* count) override {
        if (count == nullptr || (names == nullptr && maxNames > 0)) return E_POINTER;
        *count = 0;
        const DispatchEntry* e = FindEntryById(memid);
        if (e == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        std::vector<const char*> all{e->name};
        for (const DispatchParam& p : e->Params())
            all.push_back(p.name);
        UINT n = 0;
        for (; n < maxNames && n < all.size(); ++n) {
            names[n] = BstrFromBytes(all[n]);
            if (names[n] == nullptr) {
                while (n > 0)
                    SysFreeString(names[--n]);
                return E_OUTOFMEMORY;
            }
        }
        *count = n;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        return palvex::GetIDsOfNames(names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                               DWORD* helpContext, BSTR* helpFile) override {
        const char* memberName = res::kDispatchName;
        const char* doc = res::kDispatchHelp;
        if (memid != MEMBERID_NIL) {
            const DispatchEntry* e = FindEntryById(memid);
            if (e == nullptr) return TYPE_E_ELEMENTNOTFOUND;
            memberName = e->name;
            doc = nullptr;
        }
        BSTR texts[3] = {BstrFromBytes(memberName), doc ? BstrFromBytes(doc) : nullptr,
                         BstrFromBytes(res::kHelpFile)};
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

    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override { delete desc; }
};

} // namespace

HRESULT DispatchTypeInfo(REFIID iid, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (!SameGuid(iid, DIID__DPalvex)) return TYPE_E_ELEMENTNOTFOUND;
    return com::CreateAndQuery<CDispatchTypeInfo>(IID_IPalvexTypeInfo,
                                                  reinterpret_cast<void**>(info));
}

} // namespace palvex
