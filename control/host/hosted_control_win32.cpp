// The control made on Windows: by COM in a single-threaded apartment from
// the registered class, as any container makes it, else from the
// Palvex.ocx beside the program through the module's own class factory, as
// COM would make it. Strings it hands out are freed with SysFreeString
// (oleaut32 is the one allocator of the process).
#include "control/host/hosted_control.h"

#include "control/host/com_control_win32.h"

namespace palvex::host {

namespace {

// What keeps a control alive besides its own reference: COM on the thread
// and, when it came from the file beside the program, that module.
struct SControlHolder {
    // Declared first: COM ends after the module is gone.
    CApartment apartment;
    CModuleFile file;
};

// The control from the module file itself, as COM would make it.
HRESULT CreateFromFile(CModuleFile& file, const std::string& path, ComPtr<IDispatch>& dispatch,
                       std::string& why) {
    if (!file.Load(path, why)) return E_FAIL;
    const auto getClassObject = Export<LPFNGETCLASSOBJECT>(file.Get(), "DllGetClassObject");
    if (getClassObject == nullptr) {
        why = "is not a control module: it has no DllGetClassObject";
        return E_FAIL;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_Palvex, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr) || !factory) {
        hr = FAILED(hr) ? hr : E_POINTER;
        why = "no class factory: " + HresultText(hr);
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IDispatch, dispatch.PutVoid());
    if (SUCCEEDED(hr) && !dispatch) hr = E_POINTER;
    if (FAILED(hr)) why = "the control could not be created: " + HresultText(hr);
    return hr;
}

} // namespace

std::unique_ptr<IHostedControl> CreateHostedControl(const HostOptions&, std::string& error) {
    auto holder = std::make_shared<SControlHolder>();
    if (FAILED(holder->apartment.Result())) {
        error = "COM could not be started: " + HresultText(holder->apartment.Result());
        return nullptr;
    }
    const std::string registered = RegisteredModule();
    ComPtr<IDispatch> dispatch;
    HRESULT hr = CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  dispatch.PutVoid());
    if (SUCCEEDED(hr) && dispatch)
        return HostDispatch(std::move(dispatch), SysFreeString,
                            registered.empty() ? std::string(PALVEX_CLSID_TEXT) : registered,
                            kFromRegistration, std::move(holder));
    const std::string tried = "\n  " +
                              (registered.empty() ? std::string("no module") : registered) + " (" +
                              kFromRegistration + "): " + HresultText(FAILED(hr) ? hr : E_POINTER);

    // Not registered, or the registration does not work: the module beside
    // the program, loaded here.
    const std::string beside = ModuleBesideProgram();
    std::string why;
    if (SUCCEEDED(CreateFromFile(holder->file, beside, dispatch, why)))
        return HostDispatch(std::move(dispatch), SysFreeString, beside, kFromBesideProgram,
                            std::move(holder));
    error = std::string("no control module for ") + PALVEX_CLSID_TEXT + ", tried:" + tried +
            "\n  " + beside + " (" + kFromBesideProgram + "): " + why;
    return nullptr;
}

} // namespace palvex::host
