// The control's links on Windows against the simulated card, under Wine:
// COM3 is the card's pty (9600 bit/s: Wine cannot set 14400 or 28800 on a
// pty), and the card listens on the loopback port in PALVEX_TEST_TCP_PORT
// (tests/link/wine_links_test.sh starts it).
#include "control/link/palvex_ctrl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr short kCardPort = 3;
constexpr short kAbsentPort = 299;
constexpr short kLinelessPort = 9;
constexpr std::int32_t kLoopback = 0x7F000001;

short CardTcpPort() {
    const char* port = std::getenv("PALVEX_TEST_TCP_PORT");
    return port != nullptr ? static_cast<short>(std::atoi(port)) : 0;
}

// The card's property text through an open link: identification "DDDD7",
// version 2.00, and the card's 256 x 64 screen with flags 0.
void ExpectCardProperty(CPalvexCtrl& control) {
    ASSERT_TRUE(control.SetLedProperty(1, 256, 64));
    char text[CPalvexCtrl::kPropertyTextCapacity] = {};
    ASSERT_TRUE(control.QKGetProperty(text, sizeof text)) << control.LastLinkErrorText();
    const std::string got = text;
    EXPECT_EQ(got.substr(0, 8), "DDDD7200");
    EXPECT_EQ(got.substr(16, 8), "10004000");
}

TEST(WindowsLinks, ReadsTheCardPropertyOverEachLink) {
    struct Case {
        const char* link;
        bool serial;
    };
    for (const Case& c : {Case{"COM3", true}, Case{"tcp", false}}) {
        // Twice: the close gives the port back for the next open.
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(std::string(c.link) + " round " + std::to_string(round));
            CPalvexCtrl control;
            const BOOL open = c.serial ? control.ComInitial(kCardPort, 9600, 800)
                                       : control.NetInitial(0, kLoopback, CardTcpPort(), 800);
            ASSERT_TRUE(open) << control.LastLinkErrorText();
            ExpectCardProperty(control);
            control.QKClose();
        }
    }
}

TEST(WindowsLinks, RefusedOpensSayWhy) {
    struct Case {
        const char* what;
        short port;
        short baud;
        palvex::LinkErrorKind kind;
        const char* detail;
    };
    const Case cases[] = {
        {"absent port", kAbsentPort, 9600, palvex::LinkErrorKind::NoSuchDevice,
         "\\\\.\\COM299 does not exist"},
        // The test prefix reserves COM1 to COM255 with no device behind them:
        // Wine opens such a port, but it has no line settings.
        {"port without a line", kLinelessPort, 9600, palvex::LinkErrorKind::NotASerialDevice,
         "\\\\.\\COM9 is not a serial port"},
        {"speed of no card", kCardPort, 19200, palvex::LinkErrorKind::SpeedRefused,
         "19200 bit/s is not a speed of the card"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPalvexCtrl control;
        EXPECT_FALSE(control.ComInitial(c.port, c.baud, 800));
        EXPECT_EQ(control.LastLinkError().kind, c.kind) << control.LastLinkErrorText();
        EXPECT_NE(control.LastLinkErrorText().find(c.detail), std::string::npos)
            << control.LastLinkErrorText();
    }
}

} // namespace
