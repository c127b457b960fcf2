// The control's own state: the screen properties set by SetLedProperty, the
// flags that decide whether a frame goes out, and the link's wait time. One
// instance lives privately in the control; the exchange reads it.
#pragma once

#include "control/protocol/types.h"

#include <cstdint>

struct SControlState {
    short m_nLedNum = 0;     // card number and frame address
    short m_nLedWidth = 0;   // screen width in pixels
    short m_nLedHeight = 0;  // screen height in pixels; also the "W" reply length
    short m_nTotalPages = 0; // picture pages that fit the card's memory
    short m_nSendSteps = 0;  // min(height, 64)
    short m_nWaitTime = 0;   // reply time-out in milliseconds, at least 100
    std::uint8_t m_nLinkKind = 0; // 0 serial, 1 network, 2 modem
    BOOL m_bPropertySet = FALSE;  // armed by a successful SetLedProperty
    BOOL m_bSendFlag = TRUE;      // FALSE: capture mode while no link is open
};
