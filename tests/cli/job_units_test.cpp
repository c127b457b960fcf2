// The parts of palvex's jobs that need no link: the job line, the progress
// report and its time left, the iteration with its stops and messages, the
// stop signals, and the steps the preview cuts a picture into.
#include "cli/job_args.h"
#include "cli/job_loop.h"
#include "cli/job_progress.h"
#include "cli/job_signals.h"
#include "cli/picture_preview.h"
#include "control/link/palvex_ctrl.h"
#include "tests/cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

using namespace palvex::cli;

namespace {

std::string ParseJob(const std::string& text, JobCommand& c) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    const std::vector<std::string_view> views(words.begin(), words.end());
    std::string error;
    return ParseJobCommand(views, c, error) ? "" : error;
}

TEST(JobLine, ReadsOptionsBeforeAndAfterTheVerbAndLeavesOtherLinesAlone) {
    JobCommand c;
    ASSERT_EQ(ParseJob("--net=card.local:5005 --card 0 send-picture p.png --page 3 --width=512 "
                       "--height 128 --from 60 -q",
                       c),
              "");
    EXPECT_EQ(c.verb, JobCommand::SendPicture);
    EXPECT_EQ(std::tie(c.file, c.netHost, c.netPort, c.page, c.from, c.waitMs, c.quiet),
              std::make_tuple(std::string("p.png"), std::string("card.local"), 5005u, 3, 60,
                              kDefaultWaitMs, true));
    for (const char* line : {"--trace ComInitial 3 9600 1000 : QKClose", "register", "--help"}) {
        ASSERT_EQ(ParseJob(line, c), "") << line;
        EXPECT_EQ(c.verb, JobCommand::None) << line;
    }
}

TEST(JobLine, RefusesWhatTheJobCannotUseNamingIt) {
    const std::string screen = " --card 1 --width 256 --height 64 ";
    const std::pair<std::string, std::string> cases[] = {
        {"--com 4 --baud 9600 ComInitial 4 9600 1000", "--com goes with send-font"},
        {"send-font" + screen + "lib.bin", "send-font needs a link"},
        {"--com 4 send-font" + screen + "lib.bin", "--com needs --baud"},
        {"--com 4 --baud 1200 send-font" + screen + "lib.bin", "\"1200\" is not one of the speeds"},
        {"--net h send-font" + screen + "x", "is not HOST:PORT"},
        {"--net h:1 send-font --card 1 lib.bin", "needs --card, --width and --height"},
        {"--net h:1 send-picture" + screen + "p.png", "send-picture needs --page N"},
        {"--net h:1 send-picture" + screen + "--page 64 p.png", "from 0 to 63"},
        {"--net h:1 send-font" + screen + "--page 1 lib.bin", "--page does not go with send-font"},
        {"--net h:1 send-font" + screen + "a b", "takes one FILE"},
        {"--net h:1 send-font" + screen + "--loud x", "unknown option \"--loud\""},
        {"--com 4 --baud 9600 preview p.png --width 8 --height 8 -o o.png", "--com does not go"},
        {"preview p.png --width 8 --height 8", "needs --width, --height and -o"},
    };
    for (const auto& [line, error] : cases) {
        JobCommand c;
        EXPECT_NE(ParseJob(line, c).find(error), std::string::npos)
            << line << " gives: " << ParseJob(line, c);
    }
}

TEST(JobProgress, FormatsPercentCountRateAndTimeLeft) {
    EXPECT_EQ(FormatProgress("send-font", "blocks", {109, 260, 2.0, 2260, 125.4}),
              "send-font  41% 109/260 blocks, 1130 B/s, 2:05 left");
    EXPECT_EQ(FormatProgress("send-picture page 3", "steps", {0, 64, 0, 0, -1}),
              "send-picture page 3   0% 0/64 steps, -- B/s, --:-- left");
    EXPECT_EQ(FormatProgress("f", "blocks", {5, 5, 0.5, 5190, 0}),
              "f 100% 5/5 blocks, 10380 B/s, 0:00 left");
    EXPECT_EQ(FormatDuration(3723.4), "1:02:03");
}

TEST(JobProgress, EstimatesTheTimeLeftFromTheLineSpeedThenFromWhatIsMeasured) {
    // Before any exchange: the line's time per exchange, or nothing known.
    EXPECT_DOUBLE_EQ(EstimateSecondsLeft(0, 10, 0, 0.5), 5.0);
    EXPECT_DOUBLE_EQ(EstimateSecondsLeft(0, 10, 0, 0), -1);
    // The line's figure weighs as two exchanges: (2 x 0.5 + 6 x 1.5) / 8 = 1.25 per exchange.
    EXPECT_DOUBLE_EQ(EstimateSecondsLeft(6, 4, 9.0, 0.5), 5.0);
    // A network link has no line speed: what was measured alone.
    EXPECT_DOUBLE_EQ(EstimateSecondsLeft(4, 6, 2.0, 0), 3.0);
}

TEST(JobProgress, WritesOneLineEachTenthOnAPipeAndRedrawsInPlaceOnATerminal) {
    CProgressMeter lines(CProgressMeter::Lines, "send-font", "blocks", 20, 5, 100, 0);
    std::string all;
    for (int done = 5; done <= 20; ++done)
        all += lines.Update(done, done - 5);
    EXPECT_EQ(all, "palvex: send-font  30% 6/20 blocks, 100 B/s, 0:14 left\n"
                   "palvex: send-font  40% 8/20 blocks, 100 B/s, 0:12 left\n"
                   "palvex: send-font  50% 10/20 blocks, 100 B/s, 0:10 left\n"
                   "palvex: send-font  60% 12/20 blocks, 100 B/s, 0:08 left\n"
                   "palvex: send-font  70% 14/20 blocks, 100 B/s, 0:06 left\n"
                   "palvex: send-font  80% 16/20 blocks, 100 B/s, 0:04 left\n"
                   "palvex: send-font  90% 18/20 blocks, 100 B/s, 0:02 left\n"
                   "palvex: send-font 100% 20/20 blocks, 100 B/s, 0:00 left\n");
    EXPECT_EQ(lines.Finish(), "");

    CProgressMeter term(CProgressMeter::Terminal, "j", "steps", 4, 0, 10, 0.25);
    EXPECT_EQ(term.Update(0, 0), "\rpalvex: j   0% 0/4 steps, -- B/s, 0:01 left\x1b[K");
    EXPECT_EQ(term.Update(1, 0.1), ""); // too soon to redraw
    EXPECT_EQ(term.Update(2, 0.5), "\rpalvex: j  50% 2/4 steps, 40 B/s, 0:01 left\x1b[K");
    EXPECT_EQ(term.Update(4, 0.55), "\rpalvex: j 100% 4/4 steps, 73 B/s, 0:00 left\x1b[K");
    EXPECT_EQ(term.Finish(), "\n");
}

TEST(JobItems, StopsAtAFailureOrASignalAndSaysWhereToResume) {
    const JobWords font{"send-font", "block", "SendHZLib"};
    struct Case {
        int from, failAt, signalAt, signal;
        JobOutcome::End end;
        int next, status;
        std::string message;
    };
    const Case cases[] = {
        {0, -1, -1, 0, JobOutcome::Done, 6, 0, "send-font: blocks 0 to 5 of 6 sent"},
        {2, -1, -1, 0, JobOutcome::Done, 6, 0, "send-font: blocks 2 to 5 of 6 sent"},
        {0, 3, -1, 0, JobOutcome::Failed, 3, 1,
         "send-font: block 3 of 6 failed: SendHZLib returned false (no acknowledgement from the "
         "card); resume with --from 3"},
        {1, -1, 4, SIGINT, JobOutcome::Stopped, 4, 130,
         "send-font: stopped by SIGINT after block 3 of 6; resume with --from 4"},
        {4, -1, 4, SIGTERM, JobOutcome::Stopped, 4, 143,
         "send-font: stopped by SIGTERM before block 4 of 6; resume with --from 4"},
    };
    for (const Case& c : cases) {
        std::vector<int> sent, reported;
        JobItems items;
        items.from = c.from;
        items.total = 6;
        items.exchange = [&](int k) {
            sent.push_back(k);
            return k == c.failAt ? ItemResult::Failed : ItemResult::Acknowledged;
        };
        items.stopSignal = [&] {
            return static_cast<int>(sent.size()) + c.from == c.signalAt ? c.signal : 0;
        };
        items.progress = [&](int done) { reported.push_back(done); };
        const JobOutcome o = RunJobItems(items);
        EXPECT_EQ(o.end, c.end);
        EXPECT_EQ(o.next, c.next);
        EXPECT_EQ(ExitStatus(o), c.status);
        EXPECT_EQ(OutcomeMessage(font, o, c.from, 6), c.message);
        EXPECT_EQ(sent.empty() ? c.from : sent.front(), c.from);
        EXPECT_EQ(reported.size(), std::size_t(c.next - c.from));
    }
    EXPECT_EQ(FontBlockCount(265792), 260);
    EXPECT_EQ(FontBlockCount(1024), 1);
    EXPECT_EQ(FontBlockCount(0), 0);
    EXPECT_EQ(FontBlockCount(16385 * 1024), kMaxFontBlocks + 1);
}

TEST(JobSignals, HoldsASignalBackUntilTheExchangeIsOver) {
    CStopSignals signals;
    {
        CStopSignals::CExchange exchange;
        ASSERT_EQ(raise(SIGINT), 0);
        EXPECT_EQ(signals.Received(), 0);
    }
    EXPECT_EQ(signals.Received(), SIGINT);
    ASSERT_EQ(raise(SIGTERM), 0); // the first signal is the one reported
    EXPECT_EQ(signals.Received(), SIGINT);
}

TEST(PicturePreview, CutsStepsAsTheControlSendsThem) {
    cli_test::TempDir dir;
    cli_test::Bytes picture(65536);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>((i * 7 + i / 512) % 16);
    const std::string path = dir.Write("picture.bin", picture);
    // 100 rows: steps 0-35 carry two rows, 36-63 one.
    for (const auto& [height, step] : {std::pair{100, 0}, {100, 35}, {100, 36}, {40, 39}}) {
        CPalvexCtrl ctrl;
        int status = -1;
        const auto lines = cli_test::RunLines(
            ctrl,
            cli_test::ParseWords({"SetSendFlag", "0", ":", "SetLedProperty", "1", "100",
                                  std::to_string(height), ":", "SendPicture", "0",
                                  std::to_string(step), path, ":", "GetSendString"}),
            &status);
        ASSERT_EQ(lines.size(), 4u);
        const cli_test::Bytes payload = cli_test::FramePayload(lines[3]);
        EXPECT_EQ(cli_test::Bytes(payload.begin() + 3, payload.end()),
                  PictureStep(picture, 100, height, step))
            << height << " rows, step " << step;
    }
}

} // namespace
