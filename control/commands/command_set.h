// The card's command families as methods of the control. Each method builds
// one payload (or hands a letter to ExecuteCommand) and reports the exchange's
// result; none of them touches a link directly.
#pragma once

#include "control/automation/oleauto.h"
#include "control/protocol/frame_protocol.h"

class CCommandSet : public CFrameProtocol {
public:
    // Configuration: screen properties and the card property block.
    BOOL SetLedProperty(short LedNum, short LedWidth, short LedHeight);
    BOOL QKGetProperty(BSTR* bStr);
    short GetVersion();
    BOOL QKSetup(LONG_PTR lpProperty);
    BOOL QKSetProperty(LONG_PTR lpProperty);

private:
    BOOL SendPropertyString(BYTE letter, LONG_PTR lpProperty);
};
