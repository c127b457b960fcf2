#include "tool/palvex_proxy.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace dravel {

namespace {

VARIANT EmptyVariant() {
    VARIANT v{};
    v.vt = VT_EMPTY;
    return v;
}

VARIANT ShortArg(short value) {
    VARIANT v = EmptyVariant();
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT AddressArg(LONG_PTR address) {
    VARIANT v = EmptyVariant();
    v.vt = VT_ADDR;
    if constexpr (VT_ADDR == VT_I8)
        v.llVal = static_cast<std::int64_t>(address);
    else
        v.lVal = static_cast<std::int32_t>(address);
    return v;
}

VARIANT StringRefArg(BSTR* target) {
    VARIANT v = EmptyVariant();
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = target;
    return v;
}

constexpr std::size_t kMaxArgs = 3;

} // namespace

bool CPalvex::Call(DISPID id, std::initializer_list<VARIANT> args, bool wantsBool) {
    if (!m_control || args.size() > kMaxArgs) return false;
    // Automation passes the arguments last-first.
    std::array<VARIANT, kMaxArgs> packed{};
    std::size_t i = args.size();
    for (const VARIANT& a : args)
        packed[--i] = a;
    DISPPARAMS params{packed.data(), nullptr, static_cast<unsigned>(args.size()), 0};

    VARIANT result = EmptyVariant();
    unsigned argErr = 0;
    const HRESULT hr = m_control->Invoke(id, DISPATCH_METHOD, &params, &result, &argErr);
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
    return Call(kDispQKSetup, {AddressArg(lpProperty)}, true);
}

BOOL CPalvex::QKSetProperty(LONG_PTR lpProperty) {
    return Call(kDispQKSetProperty, {AddressArg(lpProperty)}, true);
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
