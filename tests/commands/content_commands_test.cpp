#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace testing_support;

namespace {

template <class T> LONG_PTR Addr(T* p) { return reinterpret_cast<LONG_PTR>(p); }

struct Picture {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(65536, 0);
    std::uint8_t& At(int row, int col) { return bytes[row * 512 + col]; }
};

} // namespace

TEST(PageCounts, FollowTheScreenSize) {
    CTestControl c;
    ASSERT_TRUE(c.SetLedProperty(0, 300, 16));
    EXPECT_EQ(c.GetSendStepNum(), 16);
    EXPECT_EQ(c.GetTotalPageNum(), 127);
    ASSERT_TRUE(c.SetLedProperty(0, 100, 1));
    EXPECT_EQ(c.GetSendStepNum(), 1);
    EXPECT_EQ(c.GetTotalPageNum(), 4094);
    ASSERT_TRUE(c.SetLedProperty(0, 256, 32));
    EXPECT_EQ(c.GetTotalPageNum(), 127);
    EXPECT_FALSE(c.SetLedProperty(0, 600, 32)); // counts survive a refused call
    EXPECT_EQ(c.GetTotalPageNum(), 127);
}

TEST(SendPicture, AnswersOutOfRangeStepsAndPagesWithoutSending) {
    CCaptureControl c(300, 16);
    Picture pic;
    const Bytes before = StoredBytes(c);
    EXPECT_TRUE(c.SendPicture(0, 16, Addr(pic.bytes.data())));
    EXPECT_FALSE(c.SendPicture(127, 0, Addr(pic.bytes.data())));
    EXPECT_FALSE(c.SendPicture(-1, 0, Addr(pic.bytes.data())));
    EXPECT_FALSE(c.SendPicture(0, -1, Addr(pic.bytes.data())));
    EXPECT_FALSE(c.SendPicture(0, 0, 0));
    EXPECT_EQ(StoredBytes(c), before);
}

TEST(SendPicture, CarriesTheStepRowWithPageAndStepInSixBits) {
    CCaptureControl c(512, 64);
    Picture pic;
    pic.At(5, 0) = 0xA5;
    pic.At(5, 511) = 0x3C;
    pic.At(6, 0) = 0x77;
    ASSERT_TRUE(c.SendPicture(3, 5, Addr(pic.bytes.data())));
    const Bytes body = StoredBody(c);
    ASSERT_EQ(body.size(), 515u);
    EXPECT_EQ(body[0], 'G');
    EXPECT_EQ(body[1], 3);
    EXPECT_EQ(body[2], 5);
    EXPECT_EQ(body[3], 0xA5);
    EXPECT_EQ(body[514], 0x3C);
}

TEST(SendPicture, SendsPageSixtyFourAsPageZero) {
    CCaptureControl c(256, 8); // 511 pages
    Picture pic;
    ASSERT_TRUE(c.SendPicture(64, 1, Addr(pic.bytes.data())));
    EXPECT_EQ(StoredBody(c)[1], 0);
    EXPECT_EQ(StoredBody(c).size(), 259u);
}

TEST(SendPicture, PacksTwoRowsPerByteAboveSixtyFourRows) {
    CCaptureControl c(100, 100);
    Picture pic;
    for (int row = 0; row < 128; ++row)
        for (int col = 0; col < 512; ++col) pic.At(row, col) = static_cast<std::uint8_t>((row + col) & 0x0F);
    for (int step : {0, 35}) {
        ASSERT_TRUE(c.SendPicture(0, static_cast<short>(step), Addr(pic.bytes.data())));
        const Bytes body = StoredBody(c);
        ASSERT_EQ(body.size(), 103u);
        for (int col = 0; col < 100; ++col)
            EXPECT_EQ(body[3 + col], pic.At(step, col) | (pic.At(step + 64, col) << 4)) << step;
    }
    pic.At(36, 7) = 0xA5; // a row with no partner goes out whole
    for (int step : {36, 63}) {
        ASSERT_TRUE(c.SendPicture(0, static_cast<short>(step), Addr(pic.bytes.data())));
        const Bytes body = StoredBody(c);
        for (int col = 0; col < 100; ++col) EXPECT_EQ(body[3 + col], pic.At(step, col));
    }
}

TEST(SendPicture, PutsTheUpperRowInTheLowNibbleOfATallScreensStep) {
    // 8 columns, 72 rows: step 2 carries row 2 (low nibbles) and row 66
    // (high nibbles); the two rows differ, so swapped halves cannot pass.
    CCaptureControl c(8, 72);
    Picture pic;
    const std::uint8_t upper[8] = {1, 2, 3, 4, 5, 6, 7, 0};
    const std::uint8_t lower[8] = {7, 0, 1, 2, 3, 4, 5, 6};
    for (int col = 0; col < 8; ++col) {
        pic.At(2, col) = upper[col];
        pic.At(66, col) = lower[col];
    }
    ASSERT_TRUE(c.SendPicture(0, 2, Addr(pic.bytes.data())));
    EXPECT_EQ(ToHex(StoredBytes(c)),
              "1B24514B303157000B" "470002" "7102132435465760" "B3FD");
}

TEST(SendPicture, SendsNothingAfterAGeometryOutsideTheScreenModel) {
    CCaptureControl c(512, 64);
    Picture pic;
    const Bytes before = StoredBytes(c);
    c.SetLedProperty(1, 600, 64); // refused; counts keep their old values
    EXPECT_FALSE(c.SendPicture(0, 0, Addr(pic.bytes.data())));
    ASSERT_TRUE(c.SetLedProperty(1, 512, 64));
    EXPECT_EQ(StoredBytes(c), before); // no 600-column body was built
}

namespace {

std::array<std::uint8_t, 8> Record(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t flag,
                                   std::uint16_t value, std::uint8_t b6) {
    return {b0, b1, b2, flag, static_cast<std::uint8_t>(value & 0xFF),
            static_cast<std::uint8_t>(value >> 8), b6, 0x99};
}

} // namespace

TEST(SendProgList, PacksRecordsAndWritesTheNormalisedValuesBack) {
    CCaptureControl c;
    std::array<std::array<std::uint8_t, 8>, 2> recs = {Record(20, 7, 3, 0, 0x8000, 0x1F),
                                                       Record(1, 1, 2, 1, 0, 0x02)};
    ASSERT_TRUE(c.SendProgList(2, Addr(recs.data())));
    const Bytes body = StoredBody(c);
    ASSERT_EQ(body.size(), 10u);
    EXPECT_EQ(ToHex(body), "4802" "E3BF0001" "12120000");
    EXPECT_EQ(ToHex(recs[0].data(), 8), "E03003000100" "0F99");
    // A record whose flag is set keeps its zero value.
    EXPECT_EQ(ToHex(recs[1].data(), 8), "10100201000002" "99");
}

TEST(SendProgList, TakesAtMostSixtyFourEntriesAndClosesTheRing) {
    CCaptureControl c;
    std::vector<std::array<std::uint8_t, 8>> recs(70, Record(1, 0, 1, 0, 5, 0));
    recs[0][3] = 1;  // entry 63 takes its flag from here
    recs[64][3] = 0; // not from here
    const auto untouched = recs[64];
    ASSERT_TRUE(c.SendProgList(70, Addr(recs.data())));
    const Bytes body = StoredBody(c);
    ASSERT_EQ(body.size(), 258u);
    EXPECT_EQ(body[1], 64);
    EXPECT_EQ(body[2 + 4 * 63 + 1] & 0x80, 0x80);
    EXPECT_EQ(body[2 + 4 * 62 + 1] & 0x80, 0x00);
    EXPECT_EQ(recs[64], untouched);
    EXPECT_EQ(recs[69], untouched);
}

TEST(SendProgList, FollowsTheListWithClockAndStartInSendingModeOnly) {
    CTestControl c;
    c.Open();
    c.link.autoAck = true;
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.now = MakeTime(2026, 12, 19, 23, 47, 38, 6);
    std::array<std::uint8_t, 8> rec{};
    EXPECT_TRUE(c.SendProgList(0, Addr(rec.data())));
    ASSERT_EQ(c.link.written.size(), 3u);
    EXPECT_EQ(ToHex(Bytes(c.link.written[0].begin() + 9, c.link.written[0].begin() + 11)), "4800");
    EXPECT_EQ(ToHex(Bytes(c.link.written[1].begin() + 9, c.link.written[1].begin() + 17)),
              "4426121923470638");
    EXPECT_EQ(c.link.written[2][9], 'F');
    EXPECT_EQ(c.link.written[2].size(), 23u);

    CCaptureControl capture;
    ASSERT_TRUE(capture.SendProgList(0, Addr(rec.data())));
    EXPECT_EQ(ToHex(StoredBody(capture)), "4800"); // the list stays the stored frame
}

TEST(SendProgList, StopsAtTheFirstFailedCommand) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::array<std::uint8_t, 8> rec{};
    EXPECT_FALSE(c.SendProgList(0, Addr(rec.data())));
    EXPECT_EQ(c.link.written.size(), 5u); // five attempts of "H", nothing after
    for (const Bytes& f : c.link.written) EXPECT_EQ(f[9], 'H');
}

TEST(SendProgList, RefusesNegativeCountsAndNullRecords) {
    CCaptureControl c;
    std::array<std::uint8_t, 8> rec{};
    EXPECT_FALSE(c.SendProgList(-1, Addr(rec.data())));
    EXPECT_FALSE(c.SendProgList(1, 0));
    EXPECT_TRUE(StoredBytes(c).empty());
}

namespace {

class FontFile {
public:
    FontFile() : m_path(std::filesystem::temp_directory_path() / ("palvex-font-" + std::to_string(::getpid()))) {
        std::ofstream out(m_path, std::ios::binary);
        for (int i = 0; i < 5 * 1024; ++i) out.put(static_cast<char>((i / 1024) * 16 + (i % 7)));
    }
    ~FontFile() {
        // Windows removes no read-only file.
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove(m_path, ec);
    }
    // The name as the control takes it: narrow characters, on every system.
    LONG_PTR Name() const { return reinterpret_cast<LONG_PTR>(m_name.c_str()); }

private:
    std::filesystem::path m_path;
    std::string m_name = m_path.string();
};

} // namespace

TEST(SendHZLib, SendsTheNamedBlockWithItsAddress) {
    CCaptureControl c;
    FontFile font;
    ASSERT_TRUE(c.SendHZLib(3, font.Name()));
    Bytes body = StoredBody(c);
    ASSERT_EQ(body.size(), 1027u);
    EXPECT_EQ(ToHex(Bytes(body.begin(), body.begin() + 3)), "49000C");
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(body[3 + i], 3 * 16 + ((3 * 1024 + i) % 7)) << i;

    ASSERT_TRUE(c.SendHZLib(64, font.Name()));
    body = StoredBody(c);
    EXPECT_EQ(ToHex(Bytes(body.begin(), body.begin() + 3)), "490100");
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(body[3 + i], 0); // beyond the end: zeros

    ASSERT_TRUE(c.SendHZLib(16384, font.Name()));
    body = StoredBody(c);
    EXPECT_EQ(ToHex(Bytes(body.begin(), body.begin() + 3)), "490000");
}

TEST(SendHZLib, RefusesMissingFilesWithoutSending) {
    CCaptureControl c;
    const std::string missing = "/nonexistent/font.lib";
    const std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_FALSE(c.SendHZLib(0, reinterpret_cast<LONG_PTR>(missing.c_str())));
    EXPECT_FALSE(c.SendHZLib(0, reinterpret_cast<LONG_PTR>(dir.c_str())));
    EXPECT_FALSE(c.SendHZLib(0, 0));
    FontFile font;
    EXPECT_FALSE(c.SendHZLib(-1, font.Name()));
    EXPECT_TRUE(StoredBytes(c).empty());
}

TEST(SendHZLib, RefusesAReadOnlyLibraryWhoeverRunsIt) {
    // Decided by the permission bits: the superuser, who may open the file
    // for update all the same, gets the same answer as anybody else.
    CCaptureControl c;
    FontFile font;
    namespace fs = std::filesystem;
    const fs::path path(reinterpret_cast<const char*>(font.Name()));
    for (fs::perms mode : {fs::perms::owner_read, fs::perms::owner_read | fs::perms::group_read |
                                                      fs::perms::others_read}) {
        fs::permissions(path, mode);
        EXPECT_FALSE(c.SendHZLib(0, font.Name())) << static_cast<int>(mode);
        EXPECT_TRUE(StoredBytes(c).empty());
    }
    // Somebody may write it: not read-only. Windows keeps only a read-only
    // flag, no group bits; there the owner's write bit says the same.
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_write);
    if ((fs::status(path).permissions() & fs::perms::group_write) == fs::perms::none)
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(c.SendHZLib(0, font.Name()));
}

TEST(SetOrderList, SendsTheLowByteOfEachEntry) {
    CCaptureControl c;
    short list[] = {5, 0x0102, 7};
    ASSERT_TRUE(c.SetOrderList(3, Addr(list)));
    EXPECT_EQ(ToHex(StoredBody(c)), "7803050207");
    ASSERT_TRUE(c.SetOrderList(0, Addr(list)));
    EXPECT_EQ(ToHex(StoredBody(c)), "7800");
}

TEST(SetOrderList, RefusesCountsTheBufferCannotHold) {
    CCaptureControl c;
    std::vector<short> list(200, 1);
    EXPECT_TRUE(c.SetOrderList(99, Addr(list.data())));
    EXPECT_EQ(StoredBody(c).size(), 101u);
    const Bytes before = StoredBytes(c);
    EXPECT_FALSE(c.SetOrderList(100, Addr(list.data())));
    EXPECT_FALSE(c.SetOrderList(-1, Addr(list.data())));
    EXPECT_FALSE(c.SetOrderList(1, 0));
    EXPECT_EQ(StoredBytes(c), before);
}

TEST(ContentCommands, AllFailWhileTheScreenIsNotSet) {
    CTestControl c;
    Picture pic;
    std::array<std::uint8_t, 8> rec{};
    short list[1] = {1};
    FontFile font;
    // Counts of one step and a page remain from a screen that QKClose disarmed.
    ASSERT_TRUE(c.SetLedProperty(1, 1, 1));
    c.QKClose();
    c.SetSendFlag(0);
    EXPECT_FALSE(c.SendPicture(0, 0, Addr(pic.bytes.data())));
    EXPECT_FALSE(c.SendProgList(1, Addr(rec.data())));
    EXPECT_FALSE(c.SendHZLib(0, font.Name()));
    EXPECT_FALSE(c.SetOrderList(1, Addr(list)));
    ASSERT_TRUE(c.SetLedProperty(1, 1, 1));
    EXPECT_TRUE(StoredBytes(c).empty());
}
