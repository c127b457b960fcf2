// The card's facts in one place: the serial speeds, the screen limits, the
// layout of the card property block and of its text, the caller buffer
// sizes and the dispatch identifiers of the automation methods.
//
// Header only and without dependencies, so the control, palvex and dravel
// all include it and palvex and dravel still link nothing of the control.
// The simulated card keeps tables of its own on purpose (a wrong length here
// would otherwise pass both sides); its tests cross-check them with these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace palvex::card {

// ---------------------------------------------------------------------------
// Serial speeds, bit/s: the only ones the card runs at. 38400 and 57600
// travel as the unsigned pattern of a 16-bit argument.
inline constexpr std::array<unsigned, 5> kBaudRates = {9600, 14400, 28800, 38400, 57600};

constexpr bool IsBaudRate(long baud) {
    for (unsigned b : kBaudRates)
        if (baud == static_cast<long>(b)) return true;
    return false;
}

// The ports a card is looked for on, COM1 to COM<kSearchedPorts>, and the
// only ones the configuration tool's search and forced setup offer.
inline constexpr int kSearchedPorts = 8;

// ---------------------------------------------------------------------------
// Screen: card numbers 0..kMaxLedNum, 1..kMaxLedWidth columns and
// 1..kMaxLedHeight rows. A picture is sent in min(height, kMaxSendSteps)
// steps into kPictureMemoryBytes of picture memory.
inline constexpr int kMaxLedNum = 31;
inline constexpr int kMaxLedWidth = 512;
inline constexpr int kMaxLedHeight = 128;
inline constexpr int kMaxSendSteps = 64;
inline constexpr long kPictureMemoryBytes = 1048576;

constexpr bool ScreenFits(long width, long height) {
    return width >= 1 && width <= kMaxLedWidth && height >= 1 && height <= kMaxLedHeight;
}

// ---------------------------------------------------------------------------
// Caller buffers the methods read or fill (sizes in their elements).
inline constexpr int kPictureRowPitch = 512; // SendPicture: bytes per row
inline constexpr int kPictureRows = 128;     // SendPicture: rows
inline constexpr int kPictureBufferSize = kPictureRowPitch * kPictureRows; // bytes
inline constexpr int kProgRecordSize = 8;      // SendProgList: bytes per record
inline constexpr int kMaxProgEntries = 64;     // SendProgList: records the card keeps
inline constexpr int kFontBlockSize = 1024;    // SendHZLib: bytes per block
inline constexpr int kFontBlockHeader = 3;     // SendHZLib: letter and block address
inline constexpr int kPictureStepHeader = 3;   // SendPicture: letter, page and step
inline constexpr int kMaxOrderEntries = 99;    // SetOrderList: entries
inline constexpr int kMaxTextLength = 1092;    // ShowString: bytes of text
inline constexpr int kModemAnswerBytes = 128;  // SendModemCmd: lpRetStr, terminator included
inline constexpr int kClockShorts = 6;         // GetTime: lpBuff
inline constexpr int kStatusRecordShorts = 13; // GetAllResult: lpPara
inline constexpr int kTestResultShorts = kMaxLedHeight; // GetTestResult: one per row at most
inline constexpr int kPowerStateShorts = 128;           // GetPowerState: Resultx
inline constexpr int kCapturedFrameShorts = 1600; // GetSendString: lpRetBuff, one per frame byte

// ---------------------------------------------------------------------------
// The frame around every payload: 0x1B "$QK", two address digits, "W", two
// length bytes, then the payload and two CRC bytes. An acknowledgement is a
// count byte and five bytes.
inline constexpr std::size_t kFrameOverhead = 11;
inline constexpr std::size_t kAckBytes = 6;

// ---------------------------------------------------------------------------
// The card property block, the 13 data bytes that answer command "A", and
// the text QKGetProperty gives for it (two upper-case hex digits per byte).
namespace property {

inline constexpr std::size_t kBlockBytes = 13;

// Byte offsets in the block.
inline constexpr std::size_t kIdentificationByte = 0; // 0xDD 0xDD, then 0x7v
inline constexpr std::size_t kVersionByte = 2;        // low nibble: major digit
inline constexpr std::size_t kMinorVersionByte = 3;   // BCD
inline constexpr std::size_t kYearByte = 4;           // two BCD bytes
inline constexpr std::size_t kMonthByte = 6;          // BCD
inline constexpr std::size_t kDayByte = 7;            // BCD
inline constexpr std::size_t kSizeByte = 8;           // width and height, 12 bits each
inline constexpr std::size_t kFlagsByte = 11;

// Character positions in the text.
inline constexpr std::string_view kDTypeIdentification = "DDDD7"; // characters 0-4
inline constexpr std::size_t kVersionAt = 5; // major digit, then two minor digits
inline constexpr std::size_t kMinorVersionAt = 6;
inline constexpr std::size_t kYearAt = 8;    // four digits
inline constexpr std::size_t kMonthAt = 12;  // two digits
inline constexpr std::size_t kDayAt = 14;    // two digits
inline constexpr std::size_t kWidthAt = 16;  // three hex digits
inline constexpr std::size_t kHeightAt = 19; // three hex digits
inline constexpr std::size_t kFlagsAt = 22;  // two hex digits
inline constexpr std::size_t kTextUsed = 24; // characters read, up to the flags byte

static_assert(kYearAt == 2 * kYearByte && kMonthAt == 2 * kMonthByte && kDayAt == 2 * kDayByte &&
                  kWidthAt == 2 * kSizeByte && kFlagsAt == 2 * kFlagsByte,
              "the text holds two digits per block byte");

// Flags byte: bit 0 is the module type (the registry's Color), 0 = 8 x 8
// modules, 1 = 8 x 4; bits 1 to 7 are the driver board's wiring options.
inline constexpr std::uint8_t kModuleTypeBit = 0x01;

// The setup and configuration strings: 8 hex characters, 4 bytes.
inline constexpr std::size_t kPropertyStringLength = 8;

} // namespace property
} // namespace palvex::card

// ---------------------------------------------------------------------------
// Dispatch identifiers of the automation interface, by method name.
// Identifier 32 is not used.
namespace palvex::dispid {

inline constexpr std::int32_t NetInitial = 1;
inline constexpr std::int32_t ComInitial = 2;
inline constexpr std::int32_t ModemInitial = 3;
inline constexpr std::int32_t SetLedProperty = 4;
inline constexpr std::int32_t GetTotalPageNum = 5;
inline constexpr std::int32_t GetSendStepNum = 6;
inline constexpr std::int32_t SendPicture = 7;
inline constexpr std::int32_t SendProgList = 8;
inline constexpr std::int32_t QKClose = 9;
inline constexpr std::int32_t SendModemCmd = 10;
inline constexpr std::int32_t QKGetProperty = 11;
inline constexpr std::int32_t SetTime = 12;
inline constexpr std::int32_t LockHZLib = 13;
inline constexpr std::int32_t SetBrightness = 14;
inline constexpr std::int32_t SendHZLib = 15;
inline constexpr std::int32_t SetRelay = 16;
inline constexpr std::int32_t SetCtrlTemperature = 17;
inline constexpr std::int32_t SetTemperatureOffset = 18;
inline constexpr std::int32_t StartTest = 19;
inline constexpr std::int32_t GetTestState = 20;
inline constexpr std::int32_t GetTestResult = 21;
inline constexpr std::int32_t GetPowerState = 22;
inline constexpr std::int32_t ShowString = 23;
inline constexpr std::int32_t Line = 24;
inline constexpr std::int32_t SwitchToBank = 25;
inline constexpr std::int32_t ClearBank = 26;
inline constexpr std::int32_t CopyToBank = 27;
inline constexpr std::int32_t ClearPowerCheckResult = 28;
inline constexpr std::int32_t GetAllResult = 29;
inline constexpr std::int32_t Reset = 30;
inline constexpr std::int32_t GetVersion = 31;
inline constexpr std::int32_t SetOnOffTime = 33;
inline constexpr std::int32_t SetOrderList = 34;
inline constexpr std::int32_t SetCommTimeOut = 35;
inline constexpr std::int32_t GetTime = 36;
inline constexpr std::int32_t QKSetup = 37;
inline constexpr std::int32_t QKSetProperty = 38;
inline constexpr std::int32_t GetSendString = 39;
inline constexpr std::int32_t SetSendFlag = 40;

} // namespace palvex::dispid

namespace palvex::module {
// The control's status flags for a container: OLEMISC_RECOMPOSEONRESIZE,
// OLEMISC_CANTLINKINSIDE, OLEMISC_INSIDEOUT, OLEMISC_INVISIBLEATRUNTIME and
// OLEMISC_SETCLIENTSITEFIRST.
inline constexpr unsigned kMiscStatus = 0x20491;
// What the control keeps with a host's document: its version stamp.
inline constexpr unsigned kPersistVersion = 0x00010000;
} // namespace palvex::module
