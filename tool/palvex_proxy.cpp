#include "tool/palvex_proxy.h"

#include "control/host/variant_args.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace dravel {

namespace {

using palvex::host::AddressArg;
using palvex::host::EmptyArg;
using palvex::host::ShortArg;
using palvex::host::StringRefArg;

constexpr std::size_t kMaxArgs = 3;

} // namespace

bool CPalvex::Call(DISPID id, std::initializer_list<VARIANT> args, bool wantsBool) {
    if (!m_control || args.size() > kMaxArgs) return false;
    std::array<VARIANT, kMaxArgs> packed{};
    DISPPARAMS params = palvex::host::PackArguments(args, packed.data());

    VARIANT result = EmptyArg();
    unsigned argErr = 0;
    const HRESULT hr = m_control->Invoke(id, params, result, argErr);
    const bool ok = SUCCEEDED(hr) && (!wantsBool || (result.vt == VT_BOOL && result.boolVal != 0));
    // A result that owns a string (none of the six methods gives one) goes
    // back to the control's module like every string it hands out.
    if (result.vt == VT_BSTR) m_control->FreeString(result.bstrVal);
    return ok;
}

BOOL CPalvex::ComInitial(short ComPort, short BaudRate, short WaitTime) {
    return Call(kDispComInitial, {ShortArg(ComPort), ShortArg(BaudRate), ShortArg(WaitTime)}, true);
}

BOOL CPalvex::SetLedProperty(short LedNum, short LedWidth, short LedHeight) {
    return Call(kDispSetLedProperty, {ShortArg(LedNum), ShortArg(LedWidth), ShortArg(LedHeight)},
                true);
}

void CPalvex::QKClose() {
    Call(kDispQKClose, {}, false);
}

BOOL CPalvex::QKGetProperty(BSTR* bStr) {
    if (bStr == nullptr) return false;
    return Call(kDispQKGetProperty, {StringRefArg(bStr)}, true);
}

void CPalvex::FreeString(BSTR s) {
    if (s != nullptr && m_control) m_control->FreeString(s);
}

BOOL CPalvex::QKSetup(LONG_PTR lpProperty) {
    return Call(kDispQKSetup, {AddressArg(reinterpret_cast<const void*>(lpProperty))}, true);
}

BOOL CPalvex::QKSetProperty(LONG_PTR lpProperty) {
    return Call(kDispQKSetProperty, {AddressArg(reinterpret_cast<const void*>(lpProperty))}, true);
}

std::string CPalvex::LastLinkError() {
    return m_control ? m_control->LastLinkError() : "";
}

bool IsSpeedRefusal(const std::string& failure) {
    // The control's text: "<link> open failed: <kind>[ (<ERRNO>)][: <detail>]".
    static constexpr std::string_view kOpenFailed = " open failed: ";
    static constexpr std::string_view kSpeedRefused = "speed refused";
    const std::size_t at = failure.find(kOpenFailed);
    if (at == std::string::npos) return false;
    const std::string_view kind = std::string_view(failure).substr(at + kOpenFailed.size());
    return kind.substr(0, kSpeedRefused.size()) == kSpeedRefused &&
           (kind.size() == kSpeedRefused.size() || kind[kSpeedRefused.size()] == ' ' ||
            kind[kSpeedRefused.size()] == ':');
}

} // namespace dravel
