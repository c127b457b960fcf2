// For the tests of the Windows build until the links have Windows files: the
// serial line, the socket and the COM port map of the control refuse to
// open, so ComInitial and NetInitial fail as for a port or card that is not
// there. The tests drive the control over their scripted link
// (AttachTransport), which these never touch.
#include "control/link/link_socket.h"
#include "control/link/serial_line.h"
#include "platform/ports/port_map.h"

namespace palvex {

namespace {

constexpr LinkError kNoDevice{LinkErrorKind::NoSuchDevice, 0};

} // namespace

bool CSerialLine::Open(const std::string& /*path*/, unsigned /*baud*/, const char* name) {
    m_strName = name != nullptr ? name : "";
    return Fail(kNoDevice);
}

void CSerialLine::Close() {}

void CSerialLine::Purge() {}

bool CSerialLine::Write(const std::uint8_t* /*data*/, std::size_t /*n*/) {
    return Fail(kNoDevice);
}

std::size_t CSerialLine::ReadExact(std::uint8_t* /*buf*/, std::size_t /*n*/,
                                   const CDeadline& /*deadline*/) {
    return ShortRead(0, kNoDevice);
}

bool CLinkSocket::Create() {
    Note(LinkError{LinkErrorKind::Unreachable, 0});
    return false;
}

bool CLinkSocket::Connect(const char* /*address*/, unsigned /*port*/) {
    Note(LinkError{LinkErrorKind::Unreachable, 0});
    return false;
}

int CLinkSocket::Send(const void* /*buf*/, int /*len*/) {
    return SOCKET_ERROR;
}

int CLinkSocket::Receive(void* /*lpBuf*/, int /*nBufLen*/, int /*nFlags*/) {
    return SOCKET_ERROR;
}

int CLinkSocket::Discard() {
    return 0;
}

void CLinkSocket::Close() {}

} // namespace palvex

namespace palvex::ports {

SComPort ResolveComPort(int n) {
    SComPort port;
    port.number = n;
    port.note = "the Windows build has no serial ports yet";
    return port;
}

} // namespace palvex::ports
