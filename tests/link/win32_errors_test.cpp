// The reasons and details the links give for the codes of the Windows calls.
#include "control/link/port_diagnosis.h"
#include "control/link/win32_errors.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

// Wine lets a second program open a serial port; Windows refuses it with
// ERROR_ACCESS_DENIED (or ERROR_SHARING_VIOLATION). What the control makes
// of the codes of the system is checked here.
TEST(WindowsErrors, SystemErrorsBecomeReasonsWithShortDetails) {
    using palvex::LinkErrorKind;
    using palvex::LinkOperation;
    struct Case {
        DWORD code;
        LinkOperation op;
        LinkErrorKind kind;
        const char* detail; // for an open of \\.\COM3 at 14400 bit/s
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, LinkOperation::Open, LinkErrorKind::NoSuchDevice,
         "\\\\.\\COM3 does not exist"},
        {ERROR_ACCESS_DENIED, LinkOperation::Open, LinkErrorKind::Busy,
         "COM3 is in use by another program"},
        {ERROR_SHARING_VIOLATION, LinkOperation::Open, LinkErrorKind::Busy,
         "COM3 is in use by another program"},
        {ERROR_NOT_SUPPORTED, LinkOperation::Open, LinkErrorKind::NotASerialDevice,
         "\\\\.\\COM3 is not a serial port"},
        {ERROR_ACCESS_DENIED, LinkOperation::Read, LinkErrorKind::Disconnected, nullptr},
        {ERROR_DEVICE_REMOVED, LinkOperation::Write, LinkErrorKind::Disconnected, nullptr},
        {ERROR_SEM_TIMEOUT, LinkOperation::Write, LinkErrorKind::TimedOut, nullptr},
        {ERROR_CRC, LinkOperation::Read, LinkErrorKind::IoError, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const palvex::LinkError error = palvex::LinkErrorFromWin32(c.op, c.code);
        EXPECT_EQ(error.kind, c.kind);
        if (c.detail != nullptr) {
            EXPECT_EQ(palvex::OpenFailureDetail("\\\\.\\COM3", error, 14400), c.detail);
        }
    }
    EXPECT_EQ(palvex::OpenFailureDetail("\\\\.\\COM3",
                                        palvex::LinkError{LinkErrorKind::SpeedRefused, 0}, 14400),
              "COM3 does not take 14400 bit/s");
    EXPECT_EQ(palvex::LinkErrorFromWinsock(LinkOperation::Open, WSAECONNREFUSED).kind,
              LinkErrorKind::ConnectionRefused);
    EXPECT_EQ(palvex::LinkErrorFromWinsock(LinkOperation::Read, WSAECONNRESET).kind,
              LinkErrorKind::Disconnected);
}

} // namespace
