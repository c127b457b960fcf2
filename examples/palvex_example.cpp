// A C++ host of the Palvex control on Windows: it creates the control by its
// class identifier and calls it through IDispatch, as any automation client
// does. It opens a serial port, sets the screen, reads the card's property
// text and closes the port.
//
//   x86_64-w64-mingw32-g++ -I<install folder>\include palvex_example.cpp
//       -o palvex_example.exe -lole32 -loleaut32 -luuid
//   (Visual C++: cl /EHsc /I<install folder>\include palvex_example.cpp
//       ole32.lib oleaut32.lib)
//
//   palvex_example.exe [COM port number, default 3]
//
// A 64-bit program uses the 64-bit Palvex.ocx, a 32-bit one the 32-bit
// module: each must be registered with the regsvr32 of its own bitness (the
// installer registers both).
#include "palvex_win32.h"

#include <cstdio>
#include <cstdlib>

namespace {

// COM on this thread, in a single-threaded apartment: the control is
// apartment-threaded.
struct Apartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Apartment() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

// Calls the method `name` with `count` arguments given in call order;
// IDispatch::Invoke takes them last first. The result goes to *result.
HRESULT CallMethod(IDispatch* ctrl, const wchar_t* name, VARIANT* args, UINT count,
                   VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = ctrl->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    VARIANT reversed[8];
    for (UINT i = 0; i < count && i < 8; ++i)
        reversed[i] = args[count - 1 - i];
    DISPPARAMS params = {reversed, nullptr, count, 0};
    VariantInit(result);
    return ctrl->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                        nullptr, nullptr);
}

// A method that answers True or False: true when it said True.
bool CallBool(IDispatch* ctrl, const wchar_t* name, VARIANT* args, UINT count) {
    VARIANT result;
    const HRESULT hr = CallMethod(ctrl, name, args, count, &result);
    const bool ok = SUCCEEDED(hr) && result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
    VariantClear(&result);
    return ok;
}

VARIANT Long(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4; // the control converts to its short parameters
    v.lVal = value;
    return v;
}

// Why the link failed, from the control's diagnostics interface.
void PrintLinkError(IDispatch* ctrl) {
    IPalvexDiagnostics* diagnostics = nullptr;
    if (FAILED(
            ctrl->QueryInterface(IID_IPalvexDiagnostics, reinterpret_cast<void**>(&diagnostics))))
        return;
    char text[512] = "";
    ULONG length = 0;
    if (SUCCEEDED(diagnostics->GetLastLinkError(text, sizeof text, &length)))
        std::fprintf(stderr, "  %s\n", text);
    diagnostics->Release();
}

} // namespace

int main(int argc, char** argv) {
    const LONG port = argc > 1 ? std::atol(argv[1]) : 3;
    Apartment com;
    if (FAILED(com.hr)) return 2;

    IDispatch* ctrl = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&ctrl));
    if (FAILED(hr)) {
        std::fprintf(stderr, "the control is not registered (0x%08lX)\n",
                     static_cast<unsigned long>(hr));
        return 2;
    }

    int status = 1;
    // ComInitial(ComPort, BaudRate, WaitTime in ms)
    VARIANT open[] = {Long(port), Long(9600), Long(1000)};
    if (CallBool(ctrl, L"ComInitial", open, 3)) {
        // SetLedProperty(LedNum, LedWidth, LedHeight): screen 1, 256 x 64 dots
        VARIANT screen[] = {Long(1), Long(256), Long(64)};
        CallBool(ctrl, L"SetLedProperty", screen, 3);

        // QKGetProperty(BSTR* bStr): the control puts a new string, which the
        // caller frees, into the variable passed by reference.
        BSTR text = nullptr;
        VARIANT byRef;
        VariantInit(&byRef);
        byRef.vt = VT_BSTR | VT_BYREF;
        byRef.pbstrVal = &text;
        if (CallBool(ctrl, L"QKGetProperty", &byRef, 1)) {
            std::printf("card: %ls\n", text != nullptr ? text : L"");
            status = 0;
        } else {
            std::fprintf(stderr, "COM%ld: the card did not answer\n", port);
            PrintLinkError(ctrl);
        }
        SysFreeString(text);

        VARIANT none;
        CallMethod(ctrl, L"QKClose", nullptr, 0, &none);
    } else {
        std::fprintf(stderr, "COM%ld could not be opened\n", port);
        PrintLinkError(ctrl);
    }
    ctrl->Release();
    return status;
}
