// Fault-injection soak: thousands of exchanges between the control and an
// in-process simulated card, over a pseudo-terminal and over TCP, while the
// card drops, corrupts, truncates, delays and splits a seeded share of its
// replies.
//
// Every exchange must end within the bound its attempts and time-outs give,
// and either report FALSE or the right result:
// - an acknowledged command reports TRUE only when the reply it accepted (seen
//   through the control's trace hook) is exactly the acknowledgement of the
//   frame it sent, and the card's state then shows the command's effect;
// - a read reports TRUE only with the card's true data.
// A replica of the card's fault generator tells which replies were sent clean:
// a clean reply may be missed only when the machine stalls past the wait, and
// such misses must stay rare.
//
// PALVEX_SOAK_SCALE multiplies the number of exchanges (scripts/soak.sh runs
// a long soak this way); PALVEX_SOAK_SEED changes the fault sequence.
#include "control/protocol/deadline.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_model.h"
#include "sim/card_server.h"
#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kLoopback = 0x7F000001;
constexpr int kCard = 1;
constexpr int kWidth = 256;
constexpr int kHeight = 64;

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

// What the control did in one exchange, from its trace hook.
struct Attempt {
    Bytes frame;
    Bytes reply; // bytes read (possibly short)
    std::size_t wanted = 0;
};

struct TraceLog {
    std::vector<Attempt> attempts;
    static void Sink(void* self, const palvex::TraceEvent& e) {
        auto& log = static_cast<TraceLog*>(self)->attempts;
        if (e.IsLinkError()) return; // the reason of a short read, not bytes
        if (e.outgoing) {
            log.push_back(Attempt{Bytes(e.data, e.data + e.len), {}, 0});
        } else if (!log.empty()) {
            log.back().reply.assign(e.data, e.data + e.len);
            log.back().wanted = e.wanted;
        }
    }
};

enum class Link { Pty, Tcp };
void PrintTo(Link link, std::ostream* out) {
    *out << (link == Link::Pty ? "pty" : "tcp");
}

struct Tally {
    int exchanges = 0;
    int succeeded = 0;
    int cleanMissed = 0;    // a clean reply the control did not accept (a stall)
    int faultyReplies = 0;  // replies the replica says were spoilt
    std::int64_t worstMarginMs = -1000000; // elapsed minus bound, at worst
};

std::string Hex(const std::uint8_t* p, std::size_t n) {
    static const char k[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += k[p[i] >> 4];
        s += k[p[i] & 15];
    }
    return s;
}

cardsim::CivilTime HostNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

class Soak {
  public:
    Soak(Link link, std::uint32_t seed)
        : m_link(link), m_server(Card()), m_rng(seed), m_waitMs(100) {
        if (link == Link::Pty) {
            m_path = (std::filesystem::temp_directory_path() /
                      ("palvex-soak-" + std::to_string(::getpid())))
                         .string();
            EXPECT_TRUE(m_server.ServePty(m_path)) << m_server.LastError();
            ::setenv("PALVEX_COM21", m_path.c_str(), 1);
        } else {
            EXPECT_TRUE(m_server.ServeTcp(0)) << m_server.LastError();
        }
        EXPECT_TRUE(m_server.Start());
        const BOOL open =
            link == Link::Pty
                ? m_ctrl.ComInitial(21, 9600, static_cast<short>(m_waitMs))
                : m_ctrl.NetInitial(0, kLoopback, static_cast<short>(m_server.TcpPort()),
                                    static_cast<short>(m_waitMs));
        EXPECT_TRUE(open);
        EXPECT_TRUE(m_ctrl.SetLedProperty(kCard, kWidth, kHeight));
        m_ctrl.SetTraceSink(&TraceLog::Sink, &m_trace);
    }
    ~Soak() {
        m_ctrl.QKClose();
        m_server.Stop();
        ::unsetenv("PALVEX_COM21");
    }

    // Runs `count` exchanges with `faults` on the card. With `replayable`,
    // every delay is shorter than the wait, so each reply's fate is known
    // from the replica of the fault generator.
    void Run(const cardsim::FaultConfig& faults, int count, bool replayable) {
        m_server.SetFaults(faults);
        cardsim::CFaultPlan replica(faults);
        m_replayable = replayable;
        for (int i = 0; i < count && !::testing::Test::HasFatalFailure(); ++i) {
            OneExchange(replica);
            if (::testing::Test::HasFailure()) return; // the first finding is enough
        }
    }

    void CheckTotals() {
        // Every frame written reached the card whole: the serving loop may
        // lag a little behind the control, so it is given a moment.
        const palvex::CDeadline settle(2000);
        while (!settle.Expired() && m_server.Stats().framesOk < m_framesWritten)
            ::usleep(2000);
        const cardsim::ServerStats s = m_server.Stats();
        EXPECT_EQ(s.framesOk, m_framesWritten);
        EXPECT_EQ(s.badCrc, 0u);
        EXPECT_EQ(s.garbageBytes, 0u);
    }

    Tally tally;

  private:
    static cardsim::CardConfig Card() {
        cardsim::CardConfig c;
        c.cardNumber = kCard;
        c.baud = 9600;
        c.width = kWidth;
        c.height = kHeight;
        return c;
    }

    // The longest an exchange with a reply of `replyLen` bytes may take: on a
    // serial line each attempt waits 4 ms per byte plus the wait time; on the
    // network each attempt has wait time / 20 waits of up to 20 ms. Writes
    // take no time to speak of on either; the slack covers a loaded machine.
    std::int64_t BoundMs(std::size_t replyLen) const {
        const std::int64_t perAttempt = m_link == Link::Pty
                                            ? 4 * static_cast<std::int64_t>(replyLen) + m_waitMs
                                            : (m_waitMs / 20) * 20;
        return 5 * perAttempt;
    }
    static constexpr std::int64_t kSlackMs = 1500;

    void OneExchange(cardsim::CFaultPlan& replica) {
        const int kind = static_cast<int>(m_rng() % 100);
        m_trace.attempts.clear();
        char letter = 0;
        BOOL ok = FALSE;
        std::string what;
        const std::int64_t start = palvex::CDeadline::NowNs();

        char text[CPalvexCtrl::kPropertyTextCapacity] = {};
        short values[13] = {};
        short power[128] = {};
        std::uint8_t brightness = 0;
        std::uint8_t flags = 0;
        int bank = 0;
        if (kind < 20) {
            letter = 'A';
            what = "QKGetProperty";
            ok = m_ctrl.QKGetProperty(text, sizeof text);
        } else if (kind < 35) {
            letter = 'Y';
            what = "GetAllResult";
            ok = m_ctrl.GetAllResult(reinterpret_cast<LONG_PTR>(values), 0);
        } else if (kind < 55) {
            letter = 'P';
            brightness = static_cast<std::uint8_t>(m_rng());
            what = "SetBrightness " + std::to_string(brightness);
            ok = m_ctrl.SetBrightness(brightness);
        } else if (kind < 65) {
            letter = 'C';
            flags = static_cast<std::uint8_t>(m_rng());
            const std::string property = "100040" + Hex(&flags, 1);
            what = "QKSetProperty " + property;
            ok = m_ctrl.QKSetProperty(reinterpret_cast<LONG_PTR>(property.c_str()));
        } else if (kind < 75) {
            letter = 'E';
            what = "GetTime";
            ok = m_ctrl.GetTime(reinterpret_cast<LONG_PTR>(values));
        } else if (kind < 85) {
            letter = 'L';
            bank = static_cast<int>(m_rng() % 4);
            what = "SwitchToBank " + std::to_string(bank);
            ok = m_ctrl.SwitchToBank(static_cast<short>(bank));
        } else if (kind < 95 || m_link == Link::Tcp) {
            letter = 'K';
            const short x = static_cast<short>(m_rng() % kWidth);
            what = "Line";
            ok = m_ctrl.Line(static_cast<short>(m_rng() % 2), x, 0, x, kHeight - 1, 1);
        } else {
            // The longest reply (129 bytes), on the serial line only: cut
            // into pieces on the network it would need more waits than the
            // wait time allows.
            letter = 'V';
            what = "GetPowerState";
            ok = m_ctrl.GetPowerState(power);
        }
        const std::int64_t elapsedMs = (palvex::CDeadline::NowNs() - start) / 1000000;
        const bool data = palvex::IsDataReplyLetter(static_cast<std::uint8_t>(letter));
        const std::size_t replyLen =
            static_cast<std::size_t>(palvex::ExpectedReplyCount(letter, kHeight)) + 1;
        const std::string where = what + " (exchange " + std::to_string(tally.exchanges) + ")";
        ++tally.exchanges;
        if (ok) ++tally.succeeded;

        // Bounded: never longer than the attempts and time-outs allow.
        const std::int64_t bound = BoundMs(replyLen);
        tally.worstMarginMs = std::max(tally.worstMarginMs, elapsedMs - bound);
        EXPECT_LE(elapsedMs, bound + kSlackMs) << where << " took " << elapsedMs << " ms";

        const auto& attempts = m_trace.attempts;
        ASSERT_GE(attempts.size(), 1u) << where;
        ASSERT_LE(attempts.size(), 5u) << where;
        m_framesWritten += attempts.size();
        if (!ok) {
            EXPECT_EQ(attempts.size(), 5u) << where << " gave up early";
        }

        // The fate of every reply, from the replica of the card's generator.
        int firstClean = -1;
        for (std::size_t i = 0; i < attempts.size(); ++i) {
            const cardsim::FaultDecision d = replica.Next(replyLen, data);
            const bool clean = !(d.drop || d.corrupt || d.truncate || d.silent);
            if (!clean) ++tally.faultyReplies;
            if (clean && firstClean < 0) firstClean = static_cast<int>(i);
        }
        if (m_replayable && firstClean >= 0 && firstClean != static_cast<int>(attempts.size()) - 1)
            ++tally.cleanMissed; // a clean reply came back but was not taken

        if (ok) {
            // The reply accepted is the last one read, and it is right.
            const Attempt& last = attempts.back();
            ASSERT_EQ(last.reply.size(), replyLen) << where;
            EXPECT_EQ(last.reply[0], replyLen - 1) << where;
            if (!data) {
                std::uint8_t ack[5];
                palvex::ExpectedAck(last.frame.data(), ack);
                EXPECT_EQ(Hex(last.reply.data() + 1, 5), Hex(ack, 5))
                    << where << ": an acknowledgement that does not match was taken as success";
            }
        }
        CheckEffect(letter, ok, where, text, values, brightness, flags, bank);
    }

    // A result that disagrees with the card fails the test, on every link:
    // a reply that comes after its attempt gave up must never pass for the
    // answer to a later exchange.
    void Check(bool agrees, const std::string& what) {
        if (!agrees) ADD_FAILURE() << what;
    }

    // The card's state agrees with what the control reported.
    void CheckEffect(char letter, BOOL ok, const std::string& where, const char* text,
                     const short* values,
                     std::uint8_t brightness, std::uint8_t flags, int bank) {
        const auto block = m_server.PropertyBlock();
        switch (letter) {
        case 'A':
            if (ok) {
                const std::string got = text;
                Check(got == Hex(block.data(), block.size()) + "00",
                      where + ": not the card's block " + got);
            }
            break;
        case 'C':
            // A success is a change the card made; a failure may or may not
            // have reached it (its reply may be what was lost).
            if (ok) {
                Check(block[11] == flags, where + ": the card's flags were not set");
            }
            EXPECT_EQ(cardsim::BlockWidth(block), kWidth) << where;
            break;
        case 'P':
            // Known once a success has set it; a failure may have set it too.
            if (ok)
                m_brightness = {brightness};
            else if (!m_brightness.empty())
                m_brightness.insert(brightness);
            break;
        case 'Y':
            if (ok) {
                Check(values[0] == kCard,
                      where + ": another card number " + std::to_string(values[0]));
                // Only in replayable phases is every reply fresh.
                if (m_replayable) {
                    EXPECT_TRUE(m_brightness.empty() ||
                                m_brightness.count(static_cast<std::uint8_t>(values[6])) == 1)
                        << where << ": brightness " << values[6] << " was never set";
                }
            }
            break;
        case 'E':
            if (ok) {
                cardsim::CivilTime card{values[0], values[1], values[2],
                                        values[3], values[4], values[5]};
                const std::int64_t diff =
                    cardsim::CivilToSeconds(card) - cardsim::CivilToSeconds(HostNow());
                Check(std::llabs(diff) <= 5,
                      where + ": the card's clock is off by " + std::to_string(diff) + " s");
            }
            break;
        case 'L':
            if (ok) {
                Check(m_server.DisplayedBank() == (bank & 1),
                      where + ": the card shows the other bank");
            }
            break;
        default:
            break;
        }
    }

    Link m_link;
    cardsim::CCardServer m_server;
    CPalvexCtrl m_ctrl;
    std::mt19937 m_rng;
    int m_waitMs;
    std::string m_path;
    TraceLog m_trace;
    bool m_replayable = true;
    std::uint64_t m_framesWritten = 0;
    std::set<std::uint8_t> m_brightness; // values the card may hold (empty: not known yet)
};

class FaultSoak : public ::testing::TestWithParam<Link> {};

TEST_P(FaultSoak, EveryExchangeIsRightOrFalseWithinItsBoundAndNoBadReplyPasses) {
    const int scale = std::max(1, EnvInt("PALVEX_SOAK_SCALE", 1));
    const auto seed = static_cast<std::uint32_t>(EnvInt("PALVEX_SOAK_SEED", 20261207));
    const bool pty = GetParam() == Link::Pty;
    Soak soak(GetParam(), seed);
    ASSERT_FALSE(HasFailure());

    // Lost, damaged and short replies, and replies late but inside the wait.
    soak.Run({.drop = 0.03,
              .corrupt = 0.06,
              .truncate = 0.03,
              .delayShare = 0.1,
              .delayMs = 20,
              .seed = seed},
             600 * scale, true);
    // The same, every reply written in pieces.
    soak.Run({.drop = 0.02,
              .corrupt = 0.04,
              .truncate = 0.02,
              .splitBytes = pty ? 1 : 8,
              .splitGapMs = 1,
              .seed = seed + 1},
             200 * scale, true);
    // Replies later than the wait: they arrive during a later attempt or a
    // later exchange, where they must never pass for that one's reply.
    soak.Run({.drop = 0.02, .corrupt = 0.03, .delayShare = 0.08, .delayMs = 160, .seed = seed + 2},
             150 * scale, false);
    ASSERT_FALSE(HasFailure());
    const Tally usual = soak.tally;
    // A card that spoils most replies: many exchanges run out of attempts.
    soak.Run({.drop = 0.05, .corrupt = 0.75, .truncate = 0.02, .seed = seed + 3}, 100 * scale,
             true);
    soak.CheckTotals();

    const Tally& t = soak.tally;
    std::printf(
        "soak over %s: %d exchanges, %d succeeded, %d replies spoilt by the card, "
        "%d clean replies missed, worst time %+lld ms "
        "against the bound\n",
        pty ? "pty" : "tcp", t.exchanges, t.succeeded, t.faultyReplies, t.cleanMissed,
        static_cast<long long>(t.worstMarginMs));
    // The faults did happen, and most exchanges still got through them.
    EXPECT_GT(usual.faultyReplies, usual.exchanges / 20);
    EXPECT_GT(usual.succeeded, usual.exchanges * 9 / 10);
    // Against the spoiling card both outcomes occurred.
    const int hostileOk = t.succeeded - usual.succeeded;
    const int hostile = t.exchanges - usual.exchanges;
    EXPECT_GT(hostileOk, hostile / 5);
    EXPECT_LT(hostileOk, hostile * 9 / 10);
    // A clean reply is missed only when the machine stalls past the wait.
    EXPECT_LE(t.cleanMissed, std::max(3, t.exchanges / 100));
}

INSTANTIATE_TEST_SUITE_P(OverPtyAndTcp, FaultSoak, ::testing::Values(Link::Pty, Link::Tcp),
                         [](const auto& info) { return info.param == Link::Pty ? "Pty" : "Tcp"; });

} // namespace
