// C++ helpers over the automation interfaces, for the module and for its
// hosts alike, on every system: comparing and writing identifiers, asking a
// dispatch interface for a method's identifier, and ComPtr, which holds one
// reference to an interface and gives it back when it goes. The types are
// the system's (palvex_automation_types.h, which the build points at
// automation_types_linux.h or automation_types_win32.h).
#pragma once

#include "control/automation/hresult_text.h"
#include "palvex_automation_types.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace palvex {

inline bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as registry keys
// spell it.
inline std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

// IDispatch::GetIDsOfNames for one method name. Method names are ASCII: each
// byte is one character.
inline HRESULT IdOfName(IDispatch& dispatch, std::string_view name, DISPID& id) {
    std::basic_string<OLECHAR> wide(name.begin(), name.end());
    LPOLESTR names[] = {wide.data()};
    return dispatch.GetIDsOfNames(IID_NULL, names, 1, 0, &id);
}

// One counted reference to an interface.
template <class I> class ComPtr {
  public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(I* p) {
        ComPtr c;
        c.m_p = p;
        return c;
    }
    ComPtr(const ComPtr& other) : m_p(other.m_p) {
        if (m_p != nullptr) m_p->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (I* p = std::exchange(m_p, nullptr)) p->Release();
    }
    I* Get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For functions that hand out a reference: releases what was held and
    // gives the slot to fill.
    I** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Gives up the reference without releasing it.
    I* Detach() { return std::exchange(m_p, nullptr); }

    // Another interface of the same object; empty when it has none.
    template <class J> ComPtr<J> Query(const IID& iid) const {
        ComPtr<J> other;
        if (m_p != nullptr) m_p->QueryInterface(iid, other.PutVoid());
        return other;
    }

  private:
    I* m_p = nullptr;
};

} // namespace palvex
