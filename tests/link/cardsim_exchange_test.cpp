// Whole exchanges between the control and the simulated card, over a real
// pseudo-terminal and a real loopback connection, with faults on the replies.
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"
#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

constexpr int kPort = 11;
constexpr std::int32_t kLoopback = 0x7F000001;

std::string TempLink() {
    static int n = 0;
    return (std::filesystem::temp_directory_path() /
            ("palvex-test-com-" + std::to_string(::getpid()) + "-" + std::to_string(++n)))
        .string();
}

struct PropertyText {
    char text[CPalvexCtrl::kPropertyTextCapacity] = {};
    std::string Narrow() const { return text; }
};

// A card on a pty mapped to COM11, or on a loopback port, and a control
// connected to it.
class CardFixture {
public:
    enum class Link { Serial, Network };

    CardFixture(Link link, cardsim::CardConfig card = {}, cardsim::FaultConfig faults = {})
        : m_server(card, faults), m_link(link) {
        if (link == Link::Serial) {
            m_path = TempLink();
            EXPECT_TRUE(m_server.ServePty(m_path)) << m_server.LastError();
            ::setenv(("PALVEX_COM" + std::to_string(kPort)).c_str(), m_path.c_str(), 1);
        } else {
            EXPECT_TRUE(m_server.ServeTcp(0)) << m_server.LastError();
        }
        EXPECT_TRUE(m_server.Start());
    }
    ~CardFixture() {
        control.QKClose();
        m_server.Stop();
        ::unsetenv(("PALVEX_COM" + std::to_string(kPort)).c_str());
    }

    bool Open(short baud = 9600, short waitTime = 100) {
        if (m_link == Link::Serial) return control.ComInitial(kPort, baud, waitTime);
        return control.NetInitial(0, kLoopback, static_cast<short>(m_server.TcpPort()), waitTime);
    }
    cardsim::CCardServer& Server() { return m_server; }
    std::uint64_t Frames(char letter) const { return m_server.Stats().perLetter[static_cast<std::uint8_t>(letter)]; }

    CPalvexCtrl control;

private:
    cardsim::CCardServer m_server;
    Link m_link;
    std::string m_path;
};

class Exchange : public ::testing::TestWithParam<CardFixture::Link> {};

LONG_PTR Addr(const char* s) { return reinterpret_cast<LONG_PTR>(s); }

cardsim::CardConfig Card(int number, unsigned baud, int width, int height) {
    cardsim::CardConfig c;
    c.cardNumber = number;
    c.baud = baud;
    c.width = width;
    c.height = height;
    return c;
}

} // namespace

TEST_P(Exchange, ConfiguresACardAndReadsTheNewSettingsBack) {
    CardFixture card(GetParam());
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    PropertyText before;
    ASSERT_TRUE(card.control.QKGetProperty(before.text, sizeof before.text));
    EXPECT_EQ(before.Narrow().substr(0, 8), "DDDD7200");
    EXPECT_EQ(before.Narrow().substr(16, 8), "10004000"); // 256 x 64, flags 0

    ASSERT_TRUE(card.control.QKSetProperty(Addr("20004081")));
    ASSERT_TRUE(card.control.QKSetup(Addr("DDDD7215")));
    PropertyText after;
    ASSERT_TRUE(card.control.QKGetProperty(after.text, sizeof after.text));
    EXPECT_EQ(after.Narrow().size(), 28u);
    EXPECT_EQ(after.Narrow().substr(0, 8), "DDDD7215");
    EXPECT_EQ(after.Narrow().substr(16, 8), "20004081");
    EXPECT_EQ(card.control.GetVersion(), 0x0181);
    EXPECT_EQ(card.Frames('A'), 3u);
}

TEST_P(Exchange, HearsNothingFromAnotherCardNumber) {
    CardFixture card(GetParam(), Card(2, 9600, 256, 64));
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(card.control.Reset());
    EXPECT_EQ(card.Server().Stats().wrongAddress, 5u);
    ASSERT_TRUE(card.control.SetLedProperty(2, 256, 64));
    EXPECT_TRUE(card.control.Reset());
}

TEST_P(Exchange, ReadsAFiveRowTestResultAsData) {
    CardFixture card(GetParam(), Card(1, 9600, 64, 5));
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 64, 5));
    short rows[6] = {-1, -1, -1, -1, -1, -7};
    ASSERT_TRUE(card.control.GetTestResult(0, 3, rows));
    for (int i = 0; i < 5; ++i) EXPECT_GE(rows[i], 0);
    EXPECT_EQ(rows[5], -7);
    EXPECT_EQ(card.Frames('W'), 1u);
}

// For a seeded fault plan, which attempt of each exchange the card answers
// cleanly: the control must succeed exactly there, or fail after five.
TEST_P(Exchange, RetriesExactlyUntilAReplyPassesTheCheck) {
    const cardsim::FaultConfig faults{.drop = 0.3, .corrupt = 0.2, .truncate = 0.2, .seed = 7};
    CardFixture card(GetParam(), {}, faults);
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    cardsim::CFaultPlan plan(faults);
    for (int exchange = 0; exchange < 12; ++exchange) {
        const char letter = exchange % 2 ? 'A' : 'Z';
        const bool data = letter == 'A';
        int attempts = 0;
        bool expectOk = false;
        while (attempts < 5 && !expectOk) {
            const cardsim::FaultDecision d = plan.Next(data ? 14 : 6, data);
            ++attempts;
            expectOk = !(d.drop || d.corrupt || d.truncate || d.silent);
        }
        const auto before = card.Frames(letter);
        BOOL ok;
        if (data) {
            PropertyText text;
            ok = card.control.QKGetProperty(text.text, sizeof text.text);
            if (ok) {
                EXPECT_EQ(text.Narrow().substr(0, 5), "DDDD7");
            }
        } else {
            ok = card.control.Reset();
        }
        EXPECT_EQ(ok != FALSE, expectOk) << "exchange " << exchange;
        EXPECT_EQ(card.Frames(letter) - before, static_cast<std::uint64_t>(attempts))
            << "exchange " << exchange;
    }
}

// On a serial line the reply has one deadline however it is cut; on the
// network every piece that is not there yet costs one of the permitted waits.
TEST_P(Exchange, GathersRepliesWrittenInPieces) {
    const int piece = GetParam() == CardFixture::Link::Serial ? 1 : 40;
    CardFixture card(GetParam(), {}, cardsim::FaultConfig{.splitBytes = piece, .splitGapMs = 1});
    ASSERT_TRUE(card.Open(9600, 300));
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    short power[128];
    EXPECT_TRUE(card.control.GetPowerState(power));
    EXPECT_EQ(card.Frames('V'), 1u);
}

TEST_P(Exchange, GivesUpOnASilentCardAfterFiveAttempts) {
    CardFixture card(GetParam(), {}, cardsim::FaultConfig{.silent = true});
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_EQ(card.control.GetVersion(), -1);
    EXPECT_EQ(card.Frames('A'), 5u);
}

INSTANTIATE_TEST_SUITE_P(OverPtyAndTcp, Exchange,
                         ::testing::Values(CardFixture::Link::Serial, CardFixture::Link::Network),
                         [](const auto& info) {
                             return info.param == CardFixture::Link::Serial ? "Pty" : "Tcp";
                         });

TEST(SerialExchange, FindsTheCardOnlyAtItsOwnSpeed) {
    CardFixture card(CardFixture::Link::Serial, Card(1, 28800, 256, 64));
    ASSERT_TRUE(card.Open(9600));
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(card.control.Reset());
    EXPECT_EQ(card.Server().Stats().wrongSpeed, 5u);
    card.control.QKClose();
    ASSERT_TRUE(card.Open(28800));
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(card.control.Reset());
}

TEST(NetworkExchange, FailsWhenTheCardClosesTheConnection) {
    CardFixture card(CardFixture::Link::Network, {}, cardsim::FaultConfig{.closeAfter = 1});
    ASSERT_TRUE(card.Open());
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(card.control.Reset());
    EXPECT_FALSE(card.control.Reset());
    card.control.QKClose();
    ASSERT_TRUE(card.Open()); // a new connection works again
    ASSERT_TRUE(card.control.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(card.control.Reset());
}
