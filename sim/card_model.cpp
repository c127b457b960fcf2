#include "sim/card_model.h"

#include "sim/card_protocol.h"
#include "sim/card_state.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace cardsim {

namespace {

std::uint8_t ToBcd(int v) { return static_cast<std::uint8_t>(((v / 10) % 10) << 4 | (v % 10)); }

// -1 when either nibble is not a decimal digit.
int FromBcd(std::uint8_t b) {
    const int hi = b >> 4;
    const int lo = b & 0x0F;
    if (hi > 9 || lo > 9) return -1;
    return hi * 10 + lo;
}

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = static_cast<int>(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

} // namespace

PropertyBlock MakePropertyBlock(int width, int height, std::uint8_t flags) {
    PropertyBlock b{};
    b[0] = 0xDD;
    b[1] = 0xDD;
    b[2] = 0x72; // version 2.00
    b[3] = 0x00;
    b[4] = 0x20; // made 2006-01-01
    b[5] = 0x06;
    b[6] = 0x01;
    b[7] = 0x01;
    b[8] = static_cast<std::uint8_t>((width >> 4) & 0xFF);
    b[9] = static_cast<std::uint8_t>(((width & 0x0F) << 4) | ((height >> 8) & 0x0F));
    b[10] = static_cast<std::uint8_t>(height & 0xFF);
    b[11] = flags;
    b[12] = 0;
    return b;
}

int BlockWidth(const PropertyBlock& b) { return (b[8] << 4) | (b[9] >> 4); }
int BlockHeight(const PropertyBlock& b) { return ((b[9] & 0x0F) << 8) | b[10]; }
std::uint8_t BlockFlags(const PropertyBlock& b) { return b[11]; }

std::string BlockToHex(const PropertyBlock& block) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : block) {
        s += kHex[b >> 4];
        s += kHex[b & 0x0F];
    }
    return s;
}

std::optional<PropertyBlock> BlockFromHex(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.size() != 2 * kPropertyBlockSize) return std::nullopt;
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    PropertyBlock b{};
    for (std::size_t i = 0; i < kPropertyBlockSize; ++i) {
        const int hi = digit(text[2 * i]);
        const int lo = digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        b[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return b;
}

std::int64_t CivilToSeconds(const CivilTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime SecondsToCivil(std::int64_t s) {
    std::int64_t days = s / 86400;
    std::int64_t rem = s % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    // Inverse of DaysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = static_cast<int>(z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = doy - (153 * mp + 2) / 5 + 1;
    t.month = mp < 10 ? mp + 3 : mp - 9;
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem / 60 % 60);
    t.second = static_cast<int>(rem % 60);
    return t;
}

CCardModel::CCardModel(int cardNumber, const PropertyBlock& block,
                       std::vector<std::pair<int, int>> deadLeds)
    : m_cardNumber(cardNumber),
      m_block(block),
      m_state(std::make_unique<CCardState>(cardNumber, BlockWidth(block), BlockHeight(block),
                                           std::move(deadLeds))) {}

CCardModel::~CCardModel() = default;
CCardModel::CCardModel(CCardModel&&) noexcept = default;
CCardModel& CCardModel::operator=(CCardModel&&) noexcept = default;

bool CCardModel::Tick(const CivilTime& hostNow) { return m_state->Tick(hostNow); }

bool CCardModel::ProgramCycles() const { return m_state->ProgramCycles(); }

bool CCardModel::ScreenOn(const CivilTime& hostNow) const {
    return m_state->Device().ScreenOn(CardTime(hostNow));
}

CivilTime CCardModel::CardTime(const CivilTime& hostNow) const {
    return SecondsToCivil(CivilToSeconds(hostNow) + m_clockOffset);
}

CardAnswer CCardModel::Answer(const ParsedFrame& frame, const CivilTime& hostNow) {
    CardAnswer answer;
    if (!frame.crcOk) {
        ++m_counters.badCrc;
        return answer;
    }
    if (frame.address != m_cardNumber) {
        ++m_counters.otherAddress;
        return answer;
    }
    const std::span<const std::uint8_t> payload = frame.Payload();
    const std::uint8_t letter = payload[0];
    ++m_counters.framesOk;
    ++m_counters.perLetter[letter];
    m_lastPayload.assign(payload.begin(), payload.end());

    answer.answered = true;
    answer.blockChanged = Store(letter, payload, hostNow, answer.meaning);
    if (answer.blockChanged) {
        m_state->Resize(BlockWidth(m_block), BlockHeight(m_block));
        answer.displayChanged = true;
    }
    // A new clock time may cross an on/off time.
    if (letter == 'D' && m_state->Device().onOff.set) answer.displayChanged = true;
    if (AnswersWithData(letter)) {
        answer.reply = DataReply(payload, hostNow, answer.meaning);
    } else if (letter < 'A' || letter > 'E') {
        const StateEffect e = m_state->Apply(payload, hostNow, CardTime(hostNow));
        answer.displayChanged = e.displayChanged;
        answer.meaning = e.meaning;
    }
    if (!AnswersWithData(letter)) {
        std::uint8_t ack[kAckLength];
        AcknowledgementFor(frame.bytes.data(), ack);
        answer.reply.push_back(kAckLength);
        answer.reply.insert(answer.reply.end(), ack, ack + kAckLength);
    }
    return answer;
}

bool CCardModel::Store(std::uint8_t letter, std::span<const std::uint8_t> p,
                       const CivilTime& hostNow, std::string& meaning) {
    // A payload too short for its letter is still acknowledged (the frame
    // itself was sound) but changes nothing.
    char text[128];
    switch (letter) {
    case 'B':
        meaning = "identification and production date: too short, ignored";
        if (p.size() < 9) return false;
        for (std::size_t i = 0; i < 8; ++i) m_block[i] = p[1 + i];
        meaning = "identification and production date set: " + BlockToHex(m_block).substr(0, 16);
        return true;
    case 'C':
        meaning = "screen configuration: too short, ignored";
        if (p.size() < 5) return false;
        for (std::size_t i = 0; i < 4; ++i) m_block[8 + i] = p[1 + i];
        std::snprintf(text, sizeof text, "screen configuration: %d x %d, flags 0x%02X", BlockWidth(m_block),
                      BlockHeight(m_block), BlockFlags(m_block));
        meaning = text;
        return true;
    case 'D': {
        // yy month day hour minute weekday second, all BCD. The weekday
        // follows from the date, so the card does not keep it.
        meaning = "clock: not a valid time, ignored";
        if (p.size() < 8) return false;
        CivilTime set;
        set.year = 2000 + FromBcd(p[1]);
        set.month = FromBcd(p[2]);
        set.day = FromBcd(p[3]);
        set.hour = FromBcd(p[4]);
        set.minute = FromBcd(p[5]);
        set.second = FromBcd(p[7]);
        if (!InRange(set.year, 2000, 2099) || !InRange(set.month, 1, 12) ||
            !InRange(set.day, 1, DaysInMonth(set.year, set.month)) || !InRange(set.hour, 0, 23) ||
            !InRange(set.minute, 0, 59) || !InRange(set.second, 0, 59))
            return false;
        m_clockOffset = CivilToSeconds(set) - CivilToSeconds(hostNow);
        std::snprintf(text, sizeof text, "clock set to %04d-%02d-%02d %02d:%02d:%02d", set.year, set.month,
                      set.day, set.hour, set.minute, set.second);
        meaning = text;
        return false;
    }
    default: return false;
    }
}

std::vector<std::uint8_t> CCardModel::DataReply(std::span<const std::uint8_t> payload,
                                                const CivilTime& hostNow, std::string& meaning) {
    const std::uint8_t letter = payload[0];
    // Count byte first. "W" carries one byte per screen row; the count byte
    // holds only 8 bits, so a screen taller than 255 rows answers with the
    // low 8 bits of its height (no control drives screens that tall).
    const int count = ReplyDataCount(letter, BlockHeight(m_block)) & 0xFF;
    std::vector<std::uint8_t> r(static_cast<std::size_t>(count) + 1, 0);
    r[0] = static_cast<std::uint8_t>(count);
    char text[64];
    switch (letter) {
    case 'A':
        for (std::size_t i = 0; i < kPropertyBlockSize; ++i) r[1 + i] = m_block[i];
        meaning = "property block read: " + BlockToHex(m_block);
        break;
    case 'E': {
        const CivilTime t = CardTime(hostNow);
        r[1] = ToBcd(t.year % 100);
        r[2] = ToBcd(t.month);
        r[3] = ToBcd(t.day);
        r[4] = ToBcd(t.hour);
        r[5] = ToBcd(t.minute);
        r[6] = ToBcd(t.second);
        std::snprintf(text, sizeof text, "clock read: %04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        meaning = text;
        break;
    }
    default: {
        // "U", "V", "W" and "Y" read the card's state.
        const std::vector<std::uint8_t> data = m_state->Read(payload, count, CardTime(hostNow), meaning);
        std::copy(data.begin(), data.end(), r.begin() + 1);
        break;
    }
    }
    return r;
}

} // namespace cardsim
