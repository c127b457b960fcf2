// COleControlParts: the control's parts on Windows (control_parts.h), the
// interfaces a container needs to place the control on a form, to activate
// it in place, to draw its design-time picture, to save it in a storage or a
// property bag and to show its property page. The control object holds one
// and hands out its interfaces from QueryInterface; their IUnknown methods
// go to the control object (the outer unknown), so the control has one
// identity and one reference count. The stream the control saves to is the
// control object's own IPersistStreamInit.
//
// Active in place, the control has a window of its own, a child of the
// container's window at the position the container gives it, which shows
// the design-time picture; the container may also have the picture drawn
// into its own context (IViewObject2).
#pragma once

#include "control/automation/control_parts.h"

#include <ocidl.h>
#include <oleidl.h>

#include <vector>

namespace palvex::win32 {

class COleControlParts;

// The design-time picture into a device context: `r` filled with white, an
// ellipse inscribed in it drawn with the context's own pen and brush. False
// when the system refused to draw.
bool DrawDesignPicture(HDC dc, const RECT& r);

// The control's one connection point, for its event interface. The event
// interface has no members, so the sinks are kept but never called. Its
// lifetime is the control's: AddRef and Release go to the outer unknown.
class CEventConnectionPoint final : public IConnectionPoint {
  public:
    explicit CEventConnectionPoint(COleControlParts& owner) : m_owner(owner) {}
    ~CEventConnectionPoint();
    CEventConnectionPoint(const CEventConnectionPoint&) = delete;
    CEventConnectionPoint& operator=(const CEventConnectionPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

  private:
    COleControlParts& m_owner;
    std::vector<CONNECTDATA> m_sinks;
    DWORD m_lastCookie = 0;
};

class COleControlParts : public IControlParts,
                         public IOleObject,
                         public IOleInPlaceObject,
                         public IOleInPlaceActiveObject,
                         public IOleControl,
                         public IViewObject2,
                         public IPersistStorage,
                         public IPersistPropertyBag,
                         public IProvideClassInfo2,
                         public IConnectionPointContainer,
                         public ISpecifyPropertyPages {
  public:
    COleControlParts(IUnknown* outer, SControlExtent& extent);
    ~COleControlParts() override;
    COleControlParts(const COleControlParts&) = delete;
    COleControlParts& operator=(const COleControlParts&) = delete;

    // The part when riid names one of these interfaces or an interface they
    // extend (IOleWindow is the IOleInPlaceObject one); nullptr otherwise.
    // IPersist and IPersistStream are the control object's
    // IPersistStreamInit, whose table begins with theirs.
    void* Find(REFIID riid) override;

    IUnknown* Outer() const { return m_outer; }

    // --- IUnknown: the outer unknown's ---------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // --- IOleObject (ole_control_win32.cpp, as are the in-place parts) ------
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation,
                                           DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index,
                                     HWND parent, LPCRECT pos) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

    // --- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject -------------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                           BOOL frameWindow) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

    // --- IOleControl ---------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // --- IViewObject2 (ole_control_data_win32.cpp, as is all below) ---------
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo,
                                   DVTARGETDEVICE* target, HDC targetDc, HDC dc, LPCRECTL bounds,
                                   LPCRECTL windowBounds,
                                   BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR),
                                   ULONG_PTR keepGoingArg) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                          DVTARGETDEVICE* target, HDC targetDc,
                                          LOGPALETTE** colours) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo,
                                     DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target,
                                        LPSIZEL size) override;

    // --- IPersistStorage, IPersistPropertyBag -------------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    // IPersistPropertyBag's.
    HRESULT STDMETHODCALLTYPE InitNew() override;
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override;
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // --- IProvideClassInfo2, IConnectionPointContainer, ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  private:
    // Brings the control in place (and, with `uiActivate`, UI-active) in the
    // site's window: the site must agree, and gives the position.
    HRESULT ActivateInPlace(IOleClientSite* site, LPCRECT pos, bool uiActivate);
    // The Properties verb: the property frame over the control's one page.
    HRESULT ShowProperties(HWND parent);
    // The control's own window in the site's window, at m_pos.
    HRESULT CreateControlWindow();
    void ReleaseInPlaceParts();

    IUnknown* m_outer;
    IOleClientSite* m_clientSite = nullptr;
    IOleAdviseHolder* m_oleAdvise = nullptr;
    // In place: the site, its frame and document windows, our position.
    IOleInPlaceSite* m_inPlaceSite = nullptr;
    IOleInPlaceFrame* m_frame = nullptr;
    IOleInPlaceUIWindow* m_document = nullptr;
    bool m_uiActive = false;
    RECT m_pos{};
    HWND m_window = nullptr; // in place: the control's own
    // The extent in HIMETRIC, the control object's (it saves it).
    SControlExtent& m_extent;
    // The one view sink (IViewObject::SetAdvise).
    IAdviseSink* m_viewSink = nullptr;
    DWORD m_viewAspects = 0;
    DWORD m_viewFlags = 0;
    CEventConnectionPoint m_events{*this};
};

} // namespace palvex::win32
