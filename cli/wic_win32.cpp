#include "cli/wic_win32.h"

#include <cstdio>

namespace palvex::cli {

ComPtr<IWICImagingFactory> ImagingFactory(std::string& why) {
    ComPtr<IWICImagingFactory> factory;
    const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWICImagingFactory, factory.PutVoid());
    if (FAILED(hr)) why = CodecFailure("the Windows Imaging Component could not start", hr);
    return factory;
}

std::string CodecFailure(const char* what, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return std::string(what) + ": " + code;
}

} // namespace palvex::cli
