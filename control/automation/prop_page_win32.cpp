#include "control/automation/prop_page_win32.h"

#include "control/automation/dialog_size_win32.h"
#include "control/automation/module_win32.h"
#include "control/automation/ole_text_win32.h"

#include <ocidl.h>

#include <new>
#include <vector>

namespace palvex::win32 {

namespace {

// Dialog 200 and its caption, string 200 ("General").
constexpr UINT kPageDialog = 200;
constexpr UINT kIdsPageCaption = 200;

class CPalvexPropPage final : public IPropertyPage {
  public:
    CPalvexPropPage() { ModuleLock(); }
    ~CPalvexPropPage() {
        if (m_hwnd != nullptr) DestroyWindow(m_hwnd);
        SetObjects(0, nullptr);
        SetPageSite(nullptr);
        ModuleUnlock();
    }
    CPalvexPropPage(const CPalvexPropPage&) = delete;
    CPalvexPropPage& operator=(const CPalvexPropPage&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPropertyPage))
            return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IPropertyPage*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        if (site != nullptr) site->AddRef();
        if (m_site != nullptr) m_site->Release();
        m_site = site;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        if (rect == nullptr) return E_POINTER;
        if (m_hwnd != nullptr) return E_UNEXPECTED;
        HWND page = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(kPageDialog), parent,
                                       DialogProc, 0);
        if (page == nullptr) return LastError();
        m_hwnd = page;
        SetWindowPos(page, nullptr, rect->left, rect->top, rect->right - rect->left,
                     rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Deactivate() override {
        if (m_hwnd == nullptr) return E_UNEXPECTED;
        HWND page = m_hwnd;
        m_hwnd = nullptr;
        DestroyWindow(page);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        if (info == nullptr) return E_POINTER;
        LPOLESTR title = nullptr;
        HRESULT hr = LoadTaskString(ModuleInstance(), kIdsPageCaption, &title);
        if (FAILED(hr)) return hr;
        SIZE size{};
        hr = DialogTemplateSize(ModuleInstance(), kPageDialog, &size);
        if (FAILED(hr)) {
            CoTaskMemFree(title);
            return hr;
        }
        info->cb = sizeof *info;
        info->pszTitle = title;
        info->size = size;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (count > 0 && objects == nullptr) return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            if (objects[i] == nullptr) return E_POINTER;
        std::vector<IUnknown*> held;
        try {
            held.assign(objects, objects + count);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (IUnknown* o : held)
            o->AddRef();
        std::swap(held, m_objects);
        for (IUnknown* o : held)
            o->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Show(UINT command) override {
        if (m_hwnd == nullptr) return E_UNEXPECTED;
        ShowWindow(m_hwnd, static_cast<int>(command));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        if (rect == nullptr) return E_POINTER;
        if (m_hwnd == nullptr) return E_UNEXPECTED;
        if (!MoveWindow(m_hwnd, rect->left, rect->top, rect->right - rect->left,
                        rect->bottom - rect->top, TRUE))
            return LastError();
        return S_OK;
    }

    // The page has no field that could differ from the objects, and so
    // nothing to give them.
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

  private:
    // The page's only control is a static text: nothing to handle, and no
    // focus to take when the dialog starts.
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

    static HRESULT LastError() {
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }

    LONG m_refs = 1;
    HWND m_hwnd = nullptr;
    IPropertyPageSite* m_site = nullptr;
    std::vector<IUnknown*> m_objects;
};

} // namespace

HRESULT CreatePalvexPropPage(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* page = new (std::nothrow) CPalvexPropPage;
    if (page == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = page->QueryInterface(riid, ppv);
    page->Release();
    return hr;
}

} // namespace palvex::win32
