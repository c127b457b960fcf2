// The property page on Windows: IPropertyPage over dialog 200 of the
// module, titled with string 200, shown in the property frame's window.
#include "control/automation/class_factory.h"
#include "control/automation/dialog_size_win32.h"
#include "control/automation/module_resources.h"
#include "control/automation/module_win32.h"
#include "control/automation/ole_text_win32.h"
#include "control/automation/prop_page.h"

#include <ocidl.h>

namespace palvex {

namespace {

class CPalvexPropPage final : public CPropPageBase<CPalvexPropPage, IPropertyPage> {
  public:
    static constexpr const IID& kPageIid = IID_IPropertyPage;

    ~CPalvexPropPage() {
        if (m_hwnd != nullptr) DestroyWindow(m_hwnd);
        SetPageSite(nullptr);
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
        HWND page = CreateDialogParamW(win32::ModuleInstance(),
                                       MAKEINTRESOURCEW(res::IDD_PROPPAGE_PALVEX), parent,
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
        HRESULT hr =
            win32::LoadTaskString(win32::ModuleInstance(), res::IDS_PALVEX_PPG_CAPTION, &title);
        if (FAILED(hr)) return hr;
        SIZE size{};
        hr = win32::DialogTemplateSize(win32::ModuleInstance(), res::IDD_PROPPAGE_PALVEX, &size);
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

    HWND m_hwnd = nullptr;
    IPropertyPageSite* m_site = nullptr;
};

} // namespace

HRESULT CreatePropPageObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexPropPage>(riid, ppv);
}

} // namespace palvex
