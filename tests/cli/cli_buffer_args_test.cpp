// The buffer arguments of palvex: picture files and images, program records,
// order lists, display texts and their code page, and the arrays the control
// fills, parsed, bound and run in-process through the dispatch table.
#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "control/link/palvex_ctrl.h"
#include "tests/cli/cli_test_support.h"
#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace palvex;
using namespace palvex::cli;
using namespace cli_test;

namespace {

constexpr std::size_t kPitch = 512;
constexpr std::size_t kPicture = 65536;

struct Pixel {
    std::size_t x, y;
    std::uint8_t code;
};

// A picture buffer that is zero except for `pixels`.
Bytes PictureWith(std::initializer_list<Pixel> pixels) {
    Bytes b(kPicture, 0);
    for (const Pixel& p : pixels)
        b[p.y * kPitch + p.x] = p.code;
    return b;
}

// Where the bytes differ, for readable failures.
std::string FirstDifference(const Bytes& got, const Bytes& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.size()) + " instead of " + std::to_string(want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i])
            return "row " + std::to_string(i / kPitch) + " column " + std::to_string(i % kPitch) +
                   ": " + std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
    return "none";
}

class PictureArgument : public ::testing::Test {
  protected:
    TempDir dir;

    // The 65,536 bytes SendPicture would be given for the file at `path`,
    // read through the bound argument.
    Bytes Picture(const std::string& path) {
        Parsed p = ParseWords({"SendPicture", "0", "0", path});
        EXPECT_TRUE(p.ok) << p.error;
        if (!p.ok) return {};
        const VARIANT v = Bound(p, 2);
        EXPECT_EQ(v.vt, VT_ADDR);
        const auto* bytes = static_cast<const std::uint8_t*>(AddressIn(v));
        EXPECT_EQ(p.line.calls[0].slots[2].bytes.size(), kPicture);
        return Bytes(bytes, bytes + kPicture);
    }

    // The error for a file SendPicture must refuse.
    std::string Refusal(const std::string& path) {
        Parsed p = ParseWords({"SendPicture", "0", "0", path});
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find("SendPicture lpBuff: "), std::string::npos) << p.error;
        return p.error;
    }

    std::string WritePng(const std::string& name, const PngImage& image) {
        const Bytes png = EncodePng(image);
        EXPECT_FALSE(png.empty());
        return dir.Write(name, png);
    }
};

TEST_F(PictureArgument, PassesAFileOfExactly65536BytesUnchanged) {
    Bytes content(kPicture);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>((i * 7 + i / 512) % 251);
    const Bytes got = Picture(dir.Write("codes.bin", content));
    EXPECT_TRUE(got == content) << FirstDifference(got, content);
}

TEST_F(PictureArgument, RefusesAFileOfAnyOtherLengthSayingHowLongItIs) {
    std::string e = Refusal(dir.Write("short.bin", Bytes(kPicture - 1, 1)));
    EXPECT_NE(e.find("short.bin\" is not a picture: it has 65535 bytes"), std::string::npos) << e;
    e = Refusal(dir.Write("long.bin", Bytes(kPicture + 1, 1)));
    EXPECT_NE(e.find("more than 65536 bytes"), std::string::npos) << e;
    e = Refusal(dir.Write("empty.bin", Bytes{}));
    EXPECT_NE(e.find("it has 0 bytes"), std::string::npos) << e;
    e = Refusal(dir.Path() + "/missing.png");
    EXPECT_NE(e.find("cannot open \"" + dir.Path() + "/missing.png\""), std::string::npos) << e;
    e = Refusal(dir.Path());
    EXPECT_NE(e.find("cannot read"), std::string::npos) << e;
}

TEST_F(PictureArgument, TurnsGreyPixelsOnFromHalfWhite) {
    const int grey[2][3] = {{0, 127, 128}, {255, 200, 1}};
    const auto png = MakePng(3, 2, PNG_COLOR_TYPE_GRAY, 1,
                             [&](unsigned x, unsigned y, unsigned) { return grey[y][x]; });
    const Bytes want = PictureWith({{2, 0, 1}, {0, 1, 1}, {1, 1, 1}});
    const Bytes got = Picture(WritePng("grey.png", png));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

TEST_F(PictureArgument, GivesColourPixelsRedGreenAndBlueBits) {
    const int rgb[7][3] = {{255, 0, 0},     {0, 255, 0},   {0, 0, 255}, {255, 255, 255},
                           {127, 128, 127}, {128, 0, 128}, {0, 0, 0}};
    const auto png = MakePng(7, 1, PNG_COLOR_TYPE_RGB, 3,
                             [&](unsigned x, unsigned, unsigned c) { return rgb[x][c]; });
    const Bytes want =
        PictureWith({{0, 0, 1}, {1, 0, 2}, {2, 0, 4}, {3, 0, 7}, {4, 0, 2}, {5, 0, 5}});
    const Bytes got = Picture(WritePng("rgb.png", png));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

TEST_F(PictureArgument, ScalesChannelsByOpacity) {
    // White opaque, white transparent, red at just over and just under half
    // opacity.
    const int rgba[4][4] = {
        {255, 255, 255, 255}, {255, 255, 255, 0}, {255, 0, 0, 128}, {255, 0, 0, 127}};
    auto png = MakePng(4, 1, PNG_COLOR_TYPE_RGB_ALPHA, 4,
                       [&](unsigned x, unsigned, unsigned c) { return rgba[x][c]; });
    Bytes want = PictureWith({{0, 0, 7}, {2, 0, 1}});
    Bytes got = Picture(WritePng("rgba.png", png));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    const int greyAlpha[3][2] = {{255, 128}, {255, 127}, {128, 255}};
    png = MakePng(3, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 2,
                  [&](unsigned x, unsigned, unsigned c) { return greyAlpha[x][c]; });
    want = PictureWith({{0, 0, 1}, {2, 0, 1}});
    got = Picture(WritePng("grey_alpha.png", png));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

TEST_F(PictureArgument, ReadsPaletteSixteenBitAndOneBitImages) {
    PngImage palette =
        MakePng(3, 1, PNG_COLOR_TYPE_PALETTE, 1, [](unsigned x, unsigned, unsigned) { return x; });
    palette.palette = {0, 0, 0, 255, 0, 0, 0, 200, 255};
    Bytes want = PictureWith({{1, 0, 1}, {2, 0, 6}});
    Bytes got = Picture(WritePng("palette.png", palette));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    // 16-bit samples, big-endian: 0x7FFF is below half, 0x8000 is not.
    PngImage deep;
    deep.width = 2;
    deep.height = 1;
    deep.colorType = PNG_COLOR_TYPE_GRAY;
    deep.bitDepth = 16;
    deep.rows = {{0x7F, 0xFF, 0x80, 0x00}};
    want = PictureWith({{1, 0, 1}});
    got = Picture(WritePng("deep.png", deep));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    // One bit per pixel, the first pixel in the top bit: 1 0 1.
    PngImage bits;
    bits.width = 3;
    bits.height = 1;
    bits.colorType = PNG_COLOR_TYPE_GRAY;
    bits.bitDepth = 1;
    bits.rows = {{0xA0}};
    want = PictureWith({{0, 0, 1}, {2, 0, 1}});
    got = Picture(WritePng("bits.png", bits));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

// The code of pixel (x, y) in the large test images: every code 0..7, in a
// pattern that differs from row to row.
std::uint8_t PatternCode(unsigned x, unsigned y) {
    return static_cast<std::uint8_t>((x + 3 * y) % 8);
}

TEST_F(PictureArgument, KeepsTheTopLeft512By128PixelsOfALargerImage) {
    Bytes want(kPicture);
    for (unsigned y = 0; y < 128; ++y)
        for (unsigned x = 0; x < 512; ++x)
            want[y * kPitch + x] = PatternCode(x, y);
    for (const bool interlaced : {false, true}) {
        auto png = MakePng(600, 200, PNG_COLOR_TYPE_RGB, 3, [](unsigned x, unsigned y, unsigned c) {
            return ((PatternCode(x, y) >> c) & 1) != 0 ? 255 : 0;
        });
        png.interlaced = interlaced;
        const Bytes got = Picture(WritePng(interlaced ? "adam7.png" : "large.png", png));
        EXPECT_TRUE(got == want) << (interlaced ? "interlaced: " : "")
                                 << FirstDifference(got, want);
    }
}

TEST_F(PictureArgument, RefusesADamagedPng) {
    const auto png = MakePng(40, 40, PNG_COLOR_TYPE_GRAY, 1,
                             [](unsigned x, unsigned y, unsigned) { return (x * y) & 0xFF; });
    Bytes encoded = EncodePng(png);
    ASSERT_GT(encoded.size(), 60u);

    const Bytes cut(encoded.begin(),
                    encoded.begin() + static_cast<std::ptrdiff_t>(encoded.size() / 2));
    std::string e = Refusal(dir.Write("cut.png", cut));
    EXPECT_NE(e.find("cut.png\" is not a readable PNG image: "), std::string::npos) << e;

    Bytes garbage(encoded.begin(), encoded.begin() + 8);
    garbage.resize(200, 0x55);
    e = Refusal(dir.Write("garbage.png", garbage));
    EXPECT_NE(e.find("is not a readable PNG image"), std::string::npos) << e;
}

TEST_F(PictureArgument, ReadsBinaryAndPlainPgmLikeGreyPng) {
    const Bytes want = PictureWith({{2, 0, 1}, {0, 1, 1}, {1, 1, 1}});
    std::string p5 = "P5\n3 2\n255\n";
    p5 += std::string("\x00\x7F\x80\xFF\xC8\x01", 6);
    Bytes got = Picture(dir.Write("binary.pgm", p5));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    // Maximum 15: on from 7.5, so 7 is off and 8 is on; comments in the header.
    got = Picture(dir.Write("plain.pgm", "P2\n# drawn by hand\n3 2 # size\n15\n0 7 8\n15 9\n1\n"));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    // Two bytes per sample above 255, most significant first: 499 of 1000 is
    // off, 500 is on.
    got = Picture(dir.Write("deep.pgm", std::string("P5 2 1 1000\n\x01\xF3\x01\xF4", 16)));
    const Bytes deepWant = PictureWith({{1, 0, 1}});
    EXPECT_TRUE(got == deepWant) << FirstDifference(got, deepWant);
}

TEST_F(PictureArgument, KeepsTheTopLeftOfALargePgmAtRowPitch512) {
    std::string pgm = "P5\n600 130\n255\n";
    Bytes want(kPicture);
    for (unsigned y = 0; y < 130; ++y)
        for (unsigned x = 0; x < 600; ++x) {
            const bool on = PatternCode(x, y) & 1;
            pgm += static_cast<char>(on ? 200 : 20);
            if (x < 512 && y < 128) want[y * kPitch + x] = on ? 1 : 0;
        }
    const Bytes got = Picture(dir.Write("large.pgm", pgm));
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

TEST_F(PictureArgument, RefusesADamagedPgm) {
    std::string e = Refusal(dir.Write("cut.pgm", std::string("P5\n3 2\n255\n\x01\x02", 13)));
    EXPECT_NE(e.find("cut.pgm\" is not a readable PGM image: it ends before its pixel data does"),
              std::string::npos)
        << e;
    e = Refusal(dir.Write("bright.pgm", "P2 2 1 15 3 16\n"));
    EXPECT_NE(e.find("a sample exceeds its maximum value 15"), std::string::npos) << e;
    e = Refusal(dir.Write("size.pgm", "P2 2 x 15\n"));
    EXPECT_NE(e.find("is not a readable PGM image"), std::string::npos) << e;
    e = Refusal(dir.Write("empty.pgm", "P5 0 1 255\n"));
    EXPECT_NE(e.find("at least 1"), std::string::npos) << e;
}

// ---------------------------------------------------------------------------

// A control whose link is a scripted fake, so readers get data.
class LinkedControl : public CPalvexCtrl {
  public:
    testing_support::CFakeLink link;

    LinkedControl() { AttachTransport(&link, 100); }
    void Reply(const std::string& hex) { link.replies.push_back(testing_support::Hex(hex)); }
};

TEST(PictureRun, SendsTheRowOfTheStepAndPacksTwoRowsOnTallScreens) {
    TempDir dir;
    // Red at (0, 0), white at (1, 0), green at (0, 64), blue at (3, 64).
    const auto png = MakePng(4, 65, PNG_COLOR_TYPE_RGB, 3, [](unsigned x, unsigned y, unsigned c) {
        const int code = (x == 0 && y == 0)    ? 1
                         : (x == 1 && y == 0)  ? 7
                         : (x == 0 && y == 64) ? 2
                         : (x == 3 && y == 64) ? 4
                                               : 0;
        return ((code >> c) & 1) != 0 ? 255 : 0;
    });
    const std::string path = dir.Write("tall.png", EncodePng(png));

    CPalvexCtrl tall;
    int status = -1;
    auto lines = RunLines(tall,
                          ParseWords({"SetSendFlag", "0", ":", "SetLedProperty", "1", "4", "128",
                                      ":", "SendPicture", "0", "0", path, ":", "GetSendString"}),
                          &status);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "SendPicture true");
    EXPECT_EQ(Hex(FramePayload(lines[3])), "47000021070040");

    CPalvexCtrl shortScreen;
    lines = RunLines(shortScreen,
                     ParseWords({"SetSendFlag", "0", ":", "SetLedProperty", "1", "4", "64", ":",
                                 "SendPicture", "0", "0", path, ":", "GetSendString"}),
                     &status);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Hex(FramePayload(lines[3])), "47000001070000");
}

// ---------------------------------------------------------------------------

TEST(ProgListArgument, ReadsSixteenHexDigitsPerRecordWithOrWithoutCommas) {
    for (const char* records :
         {"0102030405060708a0b0c0d0e0f0ff00", "0102030405060708,A0B0C0D0E0F0FF00"}) {
        Parsed p = Parse(std::string("SendProgList 2 ") + records);
        ASSERT_TRUE(p.ok) << p.error;
        const VARIANT v = Bound(p, 1);
        EXPECT_EQ(v.vt, VT_ADDR);
        const auto* bytes = static_cast<const std::uint8_t*>(AddressIn(v));
        EXPECT_EQ(Hex(Bytes(bytes, bytes + 16)), "0102030405060708A0B0C0D0E0F0FF00") << records;
    }
}

TEST(ProgListArgument, RefusesRecordsThatAreNotSixteenHexDigits) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"010203040506070", "record 1 of \"010203040506070\" has 15 hex digits"},
        {"01020304050607080", "record 2 of \"01020304050607080\" has 1 hex digit;"},
        {"0102030405060708,,0102030405060708", "record 2 of"},
        {",0102030405060708", "record 1 of"},
        {"0102030405060708,", "ends with a comma"},
        {"01020304050607G8", "character 15 (\"G\")"},
        {"0102030405060708;0102030405060708", "character 17 (\";\")"},
        {"", "no records given"},
    };
    for (const auto& [records, message] : cases) {
        Parsed p = ParseWords({"SendProgList", "1", records});
        EXPECT_FALSE(p.ok) << records;
        EXPECT_NE(p.error.find("SendProgList lpProgList: "), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(message), std::string::npos) << p.error;
    }
}

TEST(ProgListArgument, RefusesAPositiveCountAboveTheRecordsGiven) {
    const std::string two = "0102030405060708,0102030405060708";
    Parsed p = Parse("SendProgList 3 " + two);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("SendProgList: TotalProgNum is 3 but lpProgList gives only 2 entries"),
              std::string::npos)
        << p.error;
    EXPECT_FALSE(Parse("SendProgList 1 -").ok);

    // Counts the control refuses itself, or that need no more records.
    for (const char* count : {"2", "1", "0", "-1", "65535", "40000"})
        EXPECT_TRUE(Parse(std::string("SendProgList ") + count + " " + two).ok) << count;
    EXPECT_TRUE(Parse("SendProgList 0 -").ok);
}

TEST(ProgListRun, PrintsTheRecordsAsTheControlNormalisedThem) {
    CPalvexCtrl ctrl;
    int status = -1;
    // Record 1: mode 0xFF is clamped to 14 and moved up, 7 keeps its two low
    // bits moved up, 15 is clamped to 14, a zero value with flag 0 becomes 1.
    // Record 2 is beyond the count and comes back as it was given.
    const auto lines = RunLines(ctrl,
                                "SetSendFlag 0 : SetLedProperty 1 256 64 : "
                                "SendProgList 1 FF070F0000000000,FF070F0000000000 : "
                                "SendProgList 2 FF070F0000000000,0102030405060708 : "
                                "SendProgList 0 -",
                                &status);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "SendProgList true E0300E0001000000,FF070F0000000000");
    EXPECT_EQ(lines[3], "SendProgList true E0300E0001000000,1020030405060708");
    EXPECT_EQ(lines[4], "SendProgList true -");
    EXPECT_EQ(status, 0);
}

TEST(ProgListRun, PrintsNoRecordsWhenTheCallFails) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines = RunLines(ctrl, "SendProgList 1 FF070F0000000000", &status);
    EXPECT_EQ(lines, std::vector<std::string>{"SendProgList false"});
    EXPECT_EQ(status, 1);
}

// ---------------------------------------------------------------------------

TEST(OrderListArgument, ReadsCommaSeparatedSixteenBitEntries) {
    Parsed p = Parse("SetOrderList 5 1,-2,65535,32768,+7");
    ASSERT_TRUE(p.ok) << p.error;
    const VARIANT v = Bound(p, 1);
    EXPECT_EQ(v.vt, VT_ADDR);
    const auto* entries = static_cast<const std::int16_t*>(AddressIn(v));
    EXPECT_EQ(std::vector<std::int16_t>(entries, entries + 5),
              (std::vector<std::int16_t>{1, -2, -1, -32768, 7}));
}

TEST(OrderListArgument, RefusesMalformedEntriesNamingThem) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1,,2", "entry 2 (\"\")"},   {"1,2,", "entry 3 (\"\")"},       {",1", "entry 1 (\"\")"},
        {"1;2", "entry 1 (\"1;2\")"}, {"65536", "entry 1 (\"65536\")"}, {"0,-32769", "entry 2"},
        {"0x10", "entry 1"},          {"", "no entries given"},
    };
    for (const auto& [list, message] : cases) {
        Parsed p = ParseWords({"SetOrderList", "1", list});
        EXPECT_FALSE(p.ok) << list;
        EXPECT_NE(p.error.find("SetOrderList lptrList: "), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(message), std::string::npos) << p.error;
    }
}

TEST(OrderListArgument, RefusesAPositiveCountAboveTheEntriesGiven) {
    Parsed p = Parse("SetOrderList 4 1,2,3");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("SetOrderList: count is 4 but lptrList gives only 3 entries"),
              std::string::npos)
        << p.error;
    EXPECT_FALSE(Parse("SetOrderList 100 1").ok);
    EXPECT_FALSE(Parse("SetOrderList 1 -").ok);
    for (const char* line : {"SetOrderList 3 1,2,3", "SetOrderList 2 1,2,3", "SetOrderList 0 -",
                             "SetOrderList -1 1", "SetOrderList 65535 1"})
        EXPECT_TRUE(Parse(line).ok) << line;
}

TEST(OrderListArgument, TakesNoMoreEntriesThanASixteenBitCountCounts) {
    std::string list = "0";
    for (int i = 1; i < 32767; ++i)
        list += ",0";
    Parsed p = ParseWords({"SetOrderList", "32767", list});
    EXPECT_TRUE(p.ok) << p.error;
    p = ParseWords({"SetOrderList", "1", list + ",0"});
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("more than 32767 entries"), std::string::npos) << p.error;
}

TEST(OrderListRun, SendsTheLowByteOfEachEntry) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines = RunLines(
        ctrl, "SetSendFlag 0 : SetLedProperty 1 256 64 : SetOrderList 3 1,258,-1 : GetSendString",
        &status);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "SetOrderList true");
    EXPECT_EQ(Hex(FramePayload(lines[3])), "78030102FF");
}

// ---------------------------------------------------------------------------

// The bytes ShowString's text argument passes, up to its zero padding.
Bytes DisplayBytes(const std::vector<std::string>& options, const std::string& text) {
    std::vector<std::string> words = options;
    for (const char* w : {"ShowString", "0", "0", "0", "1"})
        words.push_back(w);
    words.push_back(text);
    Parsed p = ParseWords(words);
    EXPECT_TRUE(p.ok) << p.error;
    if (!p.ok) return {};
    const Bytes& stored = p.line.calls[0].slots[4].bytes;
    const VARIANT v = Bound(p, 4);
    EXPECT_EQ(AddressIn(v), stored.data());
    // Sixteen zero bytes follow the text, whatever its length.
    EXPECT_GE(stored.size(), 16u);
    EXPECT_EQ(Bytes(stored.end() - 16, stored.end()), Bytes(16, 0));
    return Bytes(stored.begin(), stored.end() - 16);
}

TEST(DisplayText, IsConvertedFromUtf8ToGbk) {
    EXPECT_EQ(Hex(DisplayBytes({}, "中文")), "D6D0CEC4");
    EXPECT_EQ(Hex(DisplayBytes({}, "Hi 9")), "48692039");
    EXPECT_EQ(Hex(DisplayBytes({"--trace"}, "温度25")), "CEC2B6C83235");
}

TEST(DisplayText, RefusesACharacterGbkHasNoCodeFor) {
    Parsed p = Parse("ShowString 0 0 0 1 a😀");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("ShowString lpstr: \"😀\" (byte 2 of the text) has no code in GBK"),
              std::string::npos)
        << p.error;
    EXPECT_NE(p.error.find("--raw-text"), std::string::npos) << p.error;
}

TEST(DisplayText, RefusesTextThatIsNotUtf8) {
    for (const std::string bad : {"\xFF", "ab\xE4\xB8", "\xC0\xAF"}) {
        Parsed p = ParseWords({"ShowString", "0", "0", "0", "1", bad});
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find("is not valid UTF-8"), std::string::npos) << p.error;
    }
}

TEST(DisplayText, PassesItsBytesUnchangedWithRawText) {
    EXPECT_EQ(Hex(DisplayBytes({"--raw-text"}, "中文")), "E4B8ADE69687");
    EXPECT_EQ(Hex(DisplayBytes({"--raw-text", "--trace"}, "\xD6\xD0\xFF")), "D6D0FF");
    Parsed p = Parse("--raw-text GetVersion");
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.line.rawText);
    EXPECT_FALSE(Parse("GetVersion").line.rawText);
    // Only before the first method.
    EXPECT_FALSE(Parse("ShowString 0 0 0 1 x --raw-text").ok);
}

TEST(DisplayText, IsTheOnlyTextThatIsConverted) {
    // File names and property digits pass as the command line gives them.
    Parsed p = Parse("SendHZLib 0 字库.bin : QKSetProperty 中");
    ASSERT_TRUE(p.ok) << p.error;
    const auto* name = static_cast<const char*>(AddressIn(Bound(p, 1, 0)));
    EXPECT_STREQ(name, "字库.bin");
    EXPECT_STREQ(static_cast<const char*>(AddressIn(Bound(p, 0, 1))), "中");
}

// ---------------------------------------------------------------------------

TEST(OutArrays, AreStorageOfTheirFullLengthPassedTheWayEachMethodDeclares) {
    Parsed p = Parse("GetTime : GetAllResult 0 : SetLedProperty 1 256 5 : GetTestResult 0 1 : "
                     "GetPowerState");
    ASSERT_TRUE(p.ok) << p.error;
    const std::vector<std::tuple<std::size_t, std::size_t, VARTYPE, std::size_t>> expected = {
        {0, 0, VT_ADDR, 6},
        {1, 0, VT_ADDR, 13},
        {3, 2, VT_I2 | VT_BYREF, 128},
        {4, 0, VT_I2 | VT_BYREF, 128}};
    for (const auto& [call, param, vt, size] : expected) {
        const VARIANT v = Bound(p, param, call);
        const auto& shorts = p.line.calls[call].slots[param].shorts;
        EXPECT_EQ(v.vt, vt) << call;
        EXPECT_EQ(shorts.size(), size) << call;
        EXPECT_EQ(vt == VT_ADDR ? AddressIn(v) : v.piVal, shorts.data()) << call;
    }
}

TEST(OutArrays, PrintADashWhenCaptureModeReadsNothing) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines = RunLines(ctrl,
                                "SetSendFlag 0 : SetLedProperty 1 256 64 : GetTime : "
                                "GetAllResult 3 : GetTestResult 0 1 : GetPowerState",
                                &status);
    const std::vector<std::string> expected = {"SetSendFlag -",        "SetLedProperty true",
                                               "GetTime true -",       "GetAllResult true -",
                                               "GetTestResult true -", "GetPowerState true -"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(status, 0);
}

TEST(OutArrays, PrintTheClockTheCardReports) {
    LinkedControl ctrl;
    ctrl.Reply("06 26 12 08 14 05 09");
    int status = -1;
    const auto lines = RunLines(ctrl, "SetLedProperty 1 256 64 : GetTime", &status);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "GetTime true 2026,12,8,14,5,9");
}

TEST(OutArrays, PrintAllThirteenStatusValues) {
    LinkedControl ctrl;
    // Fourteen data bytes and their sum: four signed bytes, a 16-bit value,
    // eight signed bytes.
    Bytes data = {0xFB, 0x1E, 0x00, 0x01, 0x12, 0x34, 0x05,
                  0x80, 0x7F, 0x00, 0x01, 0x02, 0x03, 0x04};
    std::uint8_t sum = 0;
    for (std::uint8_t b : data)
        sum = static_cast<std::uint8_t>(sum + b);
    data.push_back(sum);
    ctrl.Reply("0F" + Hex(data));
    data.back() = static_cast<std::uint8_t>(sum + 1);
    ctrl.Reply("0F" + Hex(data));
    int status = -1;
    const auto lines =
        RunLines(ctrl, "SetLedProperty 1 256 64 : GetAllResult 1 : GetAllResult 1", &status);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "GetAllResult true -5,30,0,1,4660,5,-128,127,0,1,2,3,4");
    EXPECT_EQ(lines[2], "GetAllResult false"); // wrong sum: nothing printed
    EXPECT_EQ(status, 1);
}

TEST(OutArrays, PrintOneTestResultPerRowOfTheLastScreenSet) {
    LinkedControl ctrl;
    ctrl.Reply("05 FF 00 4F 4B 80");
    ctrl.Reply("03 01 02 03");
    int status = -1;
    const auto lines = RunLines(ctrl,
                                "SetLedProperty 1 256 5 : GetTestResult 0 1 : "
                                "SetLedProperty 1 256 64 : SetLedProperty 1 256 3 : "
                                "GetTestResult 1 2",
                                &status);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "GetTestResult true 255,0,79,75,128");
    EXPECT_EQ(lines[4], "GetTestResult true 1,2,3");
}

TEST(OutArrays, PrintAll128PowerStates) {
    LinkedControl ctrl;
    Bytes reply = {0x80};
    std::string want = "GetPowerState true ";
    for (int i = 0; i < 128; ++i) {
        reply.push_back(static_cast<std::uint8_t>(2 * i));
        want += (i > 0 ? "," : "") + std::to_string(2 * i);
    }
    ctrl.Reply(Hex(reply));
    int status = -1;
    const auto lines = RunLines(ctrl, "SetLedProperty 1 256 64 : GetPowerState", &status);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], want);
}

TEST(OutArrays, PrintNothingWhenTheCardDoesNotAnswer) {
    LinkedControl ctrl;
    ctrl.link.attempts = 1;
    int status = -1;
    const auto lines = RunLines(ctrl, "SetLedProperty 1 256 64 : GetTime : GetPowerState", &status);
    const std::vector<std::string> expected = {"SetLedProperty true", "GetTime false",
                                               "GetPowerState false"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(status, 1);
}

} // namespace
