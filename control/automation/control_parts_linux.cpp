// The control's own parts on Linux: IPalvexControl, with the design-time
// picture painted on a host's canvas (drawing.h), the status flags, the type
// name and the property page list. Its IUnknown is the control object's.
#include "control/automation/control_parts.h"

#include "control/automation/drawing.h"
#include "control/automation/module_resources.h"
#include "control/palvex_facts.h"

namespace palvex {

namespace {

class CLinuxControlParts final : public IControlParts, public IPalvexControl {
  public:
    explicit CLinuxControlParts(IUnknown& outer) : m_outer(outer) {}

    void* Find(REFIID riid) override {
        return SameGuid(riid, IID_IPalvexControl) ? static_cast<IPalvexControl*>(this) : nullptr;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return m_outer.QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_outer.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_outer.Release(); }

    HRESULT STDMETHODCALLTYPE Draw(const PALVEX_CANVAS* canvas, const RECTL* bounds,
                                   const RECTL* invalid) override {
        if (canvas == nullptr || bounds == nullptr) return E_POINTER;
        return DrawDesignPicture(*canvas, *bounds, invalid);
    }

    // The flags belong to the content aspect; other aspects have none.
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override {
        if (status == nullptr) return E_POINTER;
        *status = aspect == PALVEX_DVASPECT_CONTENT ? module::kMiscStatus : 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetUserTypeName(const char** name) override {
        if (name == nullptr) return E_POINTER;
        *name = res::ModuleString(res::IDS_PALVEX);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPropPageIDs(CLSID* pages, ULONG capacity, ULONG* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        if (capacity < 1) return E_NOT_SUFFICIENT_BUFFER;
        if (pages == nullptr) return E_POINTER;
        pages[0] = CLSID_PalvexPropPage;
        return S_OK;
    }

  private:
    IUnknown& m_outer;
};

} // namespace

// The control has no container that sizes it here: the extent is only kept
// and saved.
std::unique_ptr<IControlParts> CreateControlParts(IUnknown& outer, SControlExtent&) {
    return std::make_unique<CLinuxControlParts>(outer);
}

} // namespace palvex
