// The control and the simulated card through a real pseudo terminal: what
// the control sends shows on the card's screen and in its snapshot file,
// and the card's device state reads back through the control.
#include "control/link/linux_termios2.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include "png_reader.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <thread>

using cardsim::CardConfig;
using cardsim::CCardServer;
using simtest::Bytes;

namespace {

constexpr int kComPort = 14;

// A card on a pty mapped to COM14 and a control that has opened it and set
// the card's screen size.
class CCardOnPty {
  public:
    explicit CCardOnPty(const CardConfig& card) : m_server(card) {
        EXPECT_TRUE(m_server.ServePty(m_dir.File("com"))) << m_server.LastError();
        ::setenv(("PALVEX_COM" + std::to_string(kComPort)).c_str(), m_dir.File("com").c_str(), 1);
        EXPECT_TRUE(m_server.Start());
        EXPECT_TRUE(control.ComInitial(kComPort, 9600, 200));
        EXPECT_TRUE(control.SetLedProperty(static_cast<short>(card.cardNumber),
                                           static_cast<short>(card.width),
                                           static_cast<short>(card.height)));
    }
    ~CCardOnPty() {
        control.QKClose();
        m_server.Stop();
    }
    CCardServer& Server() { return m_server; }
    std::string File(const std::string& name) const { return m_dir.File(name); }

    CPalvexCtrl control;

  private:
    simtest::CTempDir m_dir; // before the server: the link lives in it
    CCardServer m_server;
};

Bytes LibraryFile() {
    std::ifstream in(FONT_LIBRARY_PATH, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LONG_PTR Addr(const void* p) {
    return reinterpret_cast<LONG_PTR>(p);
}

// Every LED of a snapshot as a code (0 for an LED that is off).
std::vector<std::uint8_t> SnapshotCodes(const cardsim::RgbImage& img, int width, int height) {
    std::vector<std::uint8_t> codes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            codes.push_back(static_cast<std::uint8_t>(std::max(0, simtest::LedCode(img, x, y))));
    return codes;
}

// Reads the snapshot file until it shows `expected`, for a short while:
// the card writes it once its reply is out.
bool SnapshotShows(const std::string& path, const std::vector<std::uint8_t>& expected, int width,
                   int height) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(simtest::kWaitMs);
    do {
        const auto img = simtest::ReadPng(path);
        if (img && img->width == width * cardsim::kSnapshotCell &&
            SnapshotCodes(*img, width, height) == expected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

} // namespace

TEST(SimDisplayEndToEnd, APicturePageAChineseTextAndALineShowOnTheScreenAndInTheSnapshot) {
    CardConfig card;
    card.width = 256;
    card.height = 80; // over 64 rows: two rows per step
    simtest::CTempDir out;
    card.snapshotPath = out.File("screen.png");
    CCardOnPty c(card);
    CPalvexCtrl& ctrl = c.control;

    const Bytes library = LibraryFile();
    const std::string libraryPath = FONT_LIBRARY_PATH;
    for (std::size_t k = 0; k * 1024 < library.size(); ++k)
        ASSERT_TRUE(ctrl.SendHZLib(static_cast<short>(k), Addr(libraryPath.c_str())))
            << "block " << k;

    std::vector<std::uint8_t> buffer(CPalvexCtrl::kPictureBufferSize, 0);
    std::vector<std::uint8_t> expected(256 * 80);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 256; ++x) {
            // Rows s and s + 64 differ, so the two rows of a step cannot swap unseen.
            const auto code = static_cast<std::uint8_t>((x / 16 + y / 5) % 8);
            buffer[static_cast<std::size_t>(y) * CPalvexCtrl::kPictureRowPitch + x] = code;
            expected[static_cast<std::size_t>(y) * 256 + x] = code;
        }
    ASSERT_EQ(ctrl.GetSendStepNum(), 64);
    for (short s = 0; s < ctrl.GetSendStepNum(); ++s)
        ASSERT_TRUE(ctrl.SendPicture(3, s, Addr(buffer.data())));
    EXPECT_EQ(c.Server().DisplayPixels(), expected);

    const char zhongWen[] = "\xD6\xD0\xCE\xC4"; // 中文 in GBK
    ASSERT_TRUE(ctrl.ShowString(0, 100, 20, 2, Addr(zhongWen)));
    ASSERT_TRUE(ctrl.Line(0, 255, 70, 0, 70, 12)); // colour 12 travels as 4
    // Both glyphs from the library file, in green, over the picture.
    for (int i = 0; i < 2; ++i) {
        const std::size_t at = 4096 +
                               (static_cast<std::size_t>(zhongWen[2 * i] & 0xFF) - 0xA1) * 94 * 32 +
                               ((zhongWen[2 * i + 1] & 0xFF) - 0xA1) * 32;
        for (int r = 0; r < 16; ++r)
            for (int col = 0; col < 16; ++col)
                if ((library[at + 2 * r + col / 8] >> (7 - col % 8)) & 1)
                    expected[static_cast<std::size_t>(20 + r) * 256 + 100 + 16 * i + col] = 2;
    }
    for (int x = 0; x < 256; ++x)
        expected[70 * 256 + x] = 4;
    EXPECT_EQ(c.Server().DisplayPixels(), expected);

    // The file the card rewrites by itself, and one written on request.
    EXPECT_TRUE(SnapshotShows(card.snapshotPath, expected, 256, 80));
    ASSERT_TRUE(c.Server().WriteSnapshot(out.File("asked.png"))) << c.Server().LastError();
    const auto asked = simtest::ReadPng(out.File("asked.png"));
    ASSERT_TRUE(asked.has_value());
    EXPECT_EQ(asked->width, 256 * cardsim::kSnapshotCell);
    EXPECT_EQ(asked->height, 80 * cardsim::kSnapshotCell);
    EXPECT_EQ(SnapshotCodes(*asked, 256, 80), expected);
    EXPECT_GE(c.Server().Stats().snapshotsWritten, 2u);
}

TEST(SimDisplayEndToEnd, BankCommandsChangeWhatTheScreenShows) {
    CardConfig card;
    card.width = 64;
    card.height = 16;
    CCardOnPty c(card);
    CPalvexCtrl& ctrl = c.control;
    ASSERT_TRUE(ctrl.Line(1, 0, 0, 63, 0, 1));
    EXPECT_EQ(c.Server().DisplayedBank(), 0);
    EXPECT_EQ(c.Server().DisplayPixels(), std::vector<std::uint8_t>(64 * 16, 0));
    ASSERT_TRUE(ctrl.SwitchToBank(3));
    EXPECT_EQ(c.Server().DisplayedBank(), 1);
    EXPECT_EQ(c.Server().DisplayPixels()[63], 1);
    ASSERT_TRUE(ctrl.CopyToBank(0));
    EXPECT_EQ(c.Server().BankPixels(0), c.Server().BankPixels(1));
    ASSERT_TRUE(ctrl.ClearBank(1));
    EXPECT_EQ(c.Server().DisplayPixels(), std::vector<std::uint8_t>(64 * 16, 0));
    EXPECT_EQ(c.Server().BankPixels(0)[0], 1);
}

TEST(SimCardOverTheLink, TheSelfTestRunsAndFindsTheDeadLed) {
    CardConfig card;
    card.width = 32;
    card.height = 8;
    card.deadLeds = {{9, 4}};
    CCardOnPty c(card);
    CPalvexCtrl& ctrl = c.control;
    EXPECT_EQ(ctrl.GetTestState(), 0);
    ASSERT_TRUE(ctrl.StartTest());
    EXPECT_EQ(ctrl.GetTestState(), 1);
    EXPECT_EQ(ctrl.GetTestState(), 2);
    short rows[8] = {};
    ASSERT_TRUE(ctrl.GetTestResult(0, 1, rows));
    EXPECT_EQ(std::vector<short>(rows, rows + 8), (std::vector<short>{0, 0, 0, 0, 0x40, 0, 0, 0}));
}

TEST(SimCardOverTheLink, PowerCutsShowInThePowerCheckUntilCleared) {
    CardConfig card;
    card.width = 128;
    card.height = 32; // two supplies
    CCardOnPty c(card);
    CPalvexCtrl& ctrl = c.control;
    ASSERT_TRUE(ctrl.SetRelay(0, 1, 0));
    short checks[128] = {};
    ASSERT_TRUE(ctrl.GetPowerState(checks));
    EXPECT_EQ(checks[0], 1);
    EXPECT_EQ(checks[1], 1);
    EXPECT_EQ(checks[2], 0);
    ASSERT_TRUE(ctrl.ClearPowerCheckResult());
    ASSERT_TRUE(ctrl.GetPowerState(checks));
    EXPECT_EQ(checks[0], 0);
}

TEST(SimCardOverTheLink, TheStatusRecordPassesTheControlsChecksumAndFollowsTheCommands) {
    CardConfig card;
    card.width = 32;
    card.height = 8;
    CCardOnPty c(card);
    CPalvexCtrl& ctrl = c.control;
    std::vector<std::uint8_t> page(CPalvexCtrl::kPictureBufferSize, 1);
    for (short p = 0; p < 2; ++p)
        for (short s = 0; s < 8; ++s)
            ASSERT_TRUE(ctrl.SendPicture(p, s, Addr(page.data())));
    std::uint8_t records[2 * 8] = {0, 0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 30, 0, 0, 0};
    ASSERT_TRUE(ctrl.SendProgList(2, Addr(records))); // list, clock, start
    ASSERT_TRUE(ctrl.SetTemperatureOffset(-30));
    ASSERT_TRUE(ctrl.SetBrightness(300));
    ASSERT_TRUE(ctrl.LockHZLib(1));
    ASSERT_TRUE(ctrl.SetCommTimeOut(20));
    short status[13] = {};
    ASSERT_TRUE(ctrl.GetAllResult(Addr(status), 1));
    EXPECT_EQ(status[0], 1);  // card number
    EXPECT_EQ(status[1], -5); // 25 degrees less 30
    EXPECT_EQ(status[4], 0);  // the run shows page 0 first
    EXPECT_EQ(status[6], 44); // brightness 300 travels as 44
    EXPECT_EQ(status[7], 2);  // programs
    EXPECT_EQ(status[9], 1);  // library locked, none sent
    EXPECT_EQ(status[12], 20);
    const short order[] = {1};
    ASSERT_TRUE(ctrl.SetOrderList(1, Addr(order)));
    ASSERT_TRUE(ctrl.GetAllResult(Addr(status), 1));
    EXPECT_EQ(status[4], 1);
    EXPECT_EQ(status[8], 1); // order entries
    ASSERT_TRUE(ctrl.Reset());
    ASSERT_TRUE(ctrl.GetAllResult(Addr(status), 1));
    EXPECT_EQ(status[4], 1); // the run starts over on its only page
}

TEST(SimCardOverTheLink, TheClockRunsOnFromTheTimeSet) {
    CardConfig card;
    CCardOnPty c(card);
    ASSERT_TRUE(c.control.SetTime());
    short t[6] = {};
    ASSERT_TRUE(c.control.GetTime(Addr(t)));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const cardsim::CivilTime host{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                  local.tm_hour,        local.tm_min,     local.tm_sec};
    const cardsim::CivilTime read{t[0], t[1], t[2], t[3], t[4], t[5]};
    EXPECT_LE(std::abs(cardsim::CivilToSeconds(host) - cardsim::CivilToSeconds(read)), 2);
}

TEST(SimPacedLine, AReplyTakesTheWireTimeOfTheFrameAndTheReply) {
    CardConfig card;
    card.pace = true;
    card.baud = 9600;
    simtest::CTempDir dir;
    CCardServer server(card);
    ASSERT_TRUE(server.ServePty(dir.File("com")));
    ASSERT_TRUE(server.Start());
    cardsim::CUniqueFd line(
        ::open(dir.File("com").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(palvex::SetRaw8N1(line.Get(), 9600));
    Bytes payload = {'G', 0, 0};
    payload.resize(67, 0); // 64 columns: a 78-byte frame, then a 6-byte reply
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(simtest::WriteAll(line.Get(), simtest::MakeFrame(1, payload)));
    EXPECT_EQ(simtest::ReadUpTo(line.Get(), 6).size(), 6u);
    const auto took = std::chrono::steady_clock::now() - start;
    // 84 bytes of 10 bits at 9600 bit/s: 87.5 ms.
    EXPECT_GE(took, std::chrono::microseconds(87500));
}
