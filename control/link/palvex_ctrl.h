// The link control: one instance talks to one controller card over a serial
// line, a modem on a serial line, or a TCP connection.
#pragma once

#include "control/commands/command_set.h"
#include "control/link/link_socket.h"
#include "control/link/serial_line.h"

class CPalvexCtrl : public CCommandSet {
public:
    CPalvexCtrl();
    ~CPalvexCtrl() override;

    // Automation methods of the link.
    BOOL ComInitial(short ComPort, short BaudRate, short WaitTime);
    BOOL NetInitial(short LocalPort, std::int32_t RemoteIP, short RemotePort, short WaitTime);
    BOOL ModemInitial(short ModemPort, short WaitTime);
    BOOL SendModemCmd(LONG_PTR lpCmdStr, LONG_PTR lpRetStr);
    void QKClose();

    // How long a command the modem has only echoed may take to answer, in
    // milliseconds (a minute; tests shorten it).
    void SetModemSlowCommandWait(int ms) { m_nModemSlowWaitMs = ms; }

    // Host hook: runs during every network wait, so a graphical host can keep
    // its window alive while the control waits for a card.
    void SetIdleCallback(palvex::IdleCallback fn, void* context) {
        m_socket.SetIdleCallback(fn, context);
    }

    palvex::CSerialLine m_hComm;   // serial and modem lines
    palvex::CLinkSocket m_socket;  // network link

protected:
    palvex::ILinkTransport* ActiveTransport() override;

private:
    palvex::CSocketTransport m_socketLink{m_socket};
    int m_nModemSlowWaitMs = 60000;
};

// The speeds a card may run at; BaudRate arrives as its 16-bit pattern.
bool IsSupportedBaudRate(unsigned baud);
