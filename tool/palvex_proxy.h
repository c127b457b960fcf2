// CPalvex: the typed proxy through which the dialogs call their link control.
// Each method is one automation call by the control's fixed dispatch
// identifier; numbers travel as 16-bit integers, caller addresses as
// address-width integers, the property text as a string by reference.
#pragma once

#include "control/palvex_facts.h"
#include "tool/control_site.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace dravel {

// Address-width integer of the "lp..." arguments: a caller address.
using LONG_PTR = std::intptr_t;

// Dispatch identifiers of the six methods the tool uses.
constexpr DISPID kDispComInitial = palvex::dispid::ComInitial;
constexpr DISPID kDispSetLedProperty = palvex::dispid::SetLedProperty;
constexpr DISPID kDispQKClose = palvex::dispid::QKClose;
constexpr DISPID kDispQKGetProperty = palvex::dispid::QKGetProperty;
constexpr DISPID kDispQKSetup = palvex::dispid::QKSetup;
constexpr DISPID kDispQKSetProperty = palvex::dispid::QKSetProperty;

class CPalvex {
  public:
    CPalvex() = default;
    explicit CPalvex(std::unique_ptr<IHostedControl> control) : m_control(std::move(control)) {}

    bool IsBound() const { return m_control != nullptr; }

    // A call the control refuses, or a proxy bound to no control, gives
    // FALSE: the callers act only on the result.
    BOOL ComInitial(short ComPort, short BaudRate, short WaitTime);
    BOOL SetLedProperty(short LedNum, short LedWidth, short LedHeight);
    void QKClose();
    // On TRUE *bStr holds a new string that the caller frees with FreeString.
    BOOL QKGetProperty(BSTR* bStr);
    // Frees a string the control handed out, through the control's module
    // (the tool has no string functions of its own).
    void FreeString(BSTR s);
    BOOL QKSetup(LONG_PTR lpProperty);
    BOOL QKSetProperty(LONG_PTR lpProperty);
    // Why the control's link last failed, in the control's English text;
    // "" when nothing failed or no control is bound.
    std::string LastLinkError();

  private:
    // Invokes a method with the arguments in call order; true when the
    // control ran it and returned an automation boolean true (for methods
    // without a result: when it ran).
    bool Call(DISPID id, std::initializer_list<VARIANT> args, bool wantsBool);

    std::unique_ptr<IHostedControl> m_control;
};

// Whether `failure`, a text of LastLinkError, says that the port opened but
// would not run at the asked speed ("COM3 open failed: speed refused ...").
// Such a port may still have a card at another speed.
bool IsSpeedRefusal(const std::string& failure);

} // namespace dravel
