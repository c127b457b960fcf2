#include "sim/card_state.h"

#include "sim/gbk_text.h"
#include "sim/text_drawing.h"

#include <algorithm>
#include <cstdio>

namespace cardsim {

namespace {

const char* const kColourNames[8] = {"off",  "red",     "green", "yellow",
                                     "blue", "magenta", "cyan",  "white"};

int Word(std::span<const std::uint8_t> ops, std::size_t at) {
    return static_cast<std::int16_t>(ops[at] << 8 | ops[at + 1]);
}

std::string Format(const char* format, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

std::string Colour(std::uint8_t code) {
    return Format("colour %d (%s)", code, kColourNames[code & 7]);
}

StateEffect Short(const char* letterName) {
    return {false, Format("%s: too short, ignored", letterName)};
}

// The device commands that take operands: how many at least, and the name a
// shorter one is ignored under.
struct DeviceOperands {
    std::uint8_t letter;
    std::size_t count;
    const char* name;
};

constexpr DeviceOperands kDeviceOperands[] = {
    {'O', 1, "font lock"},          {'P', 1, "brightness"}, {'Q', 5, "temperature control"},
    {'R', 1, "temperature offset"}, {'S', 3, "relays"},     {'w', 1, "communication time-out"},
    {'y', 8, "on/off times"},
};

} // namespace

CCardState::CCardState(int cardNumber, int width, int height,
                       std::vector<std::pair<int, int>> deadLeds)
    : m_cardNumber(cardNumber), m_display(width, height),
      m_device(width, height, std::move(deadLeds)) {}

void CCardState::Resize(int width, int height) {
    m_display.Resize(width, height);
    m_device.Resize(width, height);
}

void CCardState::ShowPage(int page) {
    m_display.Fill(m_display.Displayed(),
                   m_pictures.Unpack(page, m_display.Width(), m_display.Height()));
    m_shownPage = page;
}

bool CCardState::Tick(const CivilTime& hostNow) {
    const std::optional<int> page = m_programs.PageAt(CivilToSeconds(hostNow));
    if (!page || page == m_shownPage) return false;
    ShowPage(*page);
    return true;
}

StateEffect CCardState::Apply(std::span<const std::uint8_t> payload, const CivilTime& hostNow,
                              const CivilTime& cardNow) {
    const std::uint8_t letter = payload[0];
    const std::span<const std::uint8_t> ops = payload.subspan(1);
    StateEffect e;
    switch (letter) {
    case 'G':
        return Picture(ops);
    case 'I':
        return FontBlock(ops);
    case 'J':
        return Text(ops);
    case 'K':
        return DrawLine(ops);
    case 'H':
        m_programs.SetList(ops);
        e.meaning = Format("program list of %zu program(s)", m_programs.Entries().size());
        for (std::size_t i = 0; i < m_programs.Entries().size() && i < 8; ++i)
            e.meaning += Format("%s page %zu %us", i == 0 ? ":" : ",", i,
                                m_programs.Entries()[i].staySeconds);
        e.displayChanged = Tick(hostNow);
        return e;
    case 'x':
        m_programs.SetOrder(ops);
        e.meaning = Format("order list of %zu page(s)", m_programs.Order().size());
        for (std::size_t i = 0; i < m_programs.Order().size() && i < 16; ++i)
            e.meaning += Format("%s %d", i == 0 ? ":" : "", m_programs.Order()[i]);
        e.displayChanged = Tick(hostNow);
        return e;
    case 'F':
        if (!m_programs.Start(ops, CivilToSeconds(hostNow)))
            return {false, "program start with an unknown code, ignored"};
        m_shownPage.reset();
        e.displayChanged = Tick(hostNow);
        e.meaning =
            Format("program run started, %zu page(s) in turn", m_programs.PlayOrder().size());
        if (m_shownPage) e.meaning += Format(", page %d on the screen", *m_shownPage);
        return e;
    case 'L':
        if (ops.empty()) return Short("switch bank");
        e.displayChanged = (ops[0] & 1) != m_display.Displayed();
        m_display.Switch(ops[0]);
        return {e.displayChanged, Format("bank %d on the screen", ops[0] & 1)};
    case 'M':
        if (ops.empty()) return Short("copy bank");
        m_display.CopyFromOther(ops[0]);
        return {(ops[0] & 1) == m_display.Displayed(),
                Format("bank %d copied into bank %d", (ops[0] & 1) ^ 1, ops[0] & 1)};
    case 'N':
        if (ops.empty()) return Short("clear bank");
        m_display.Clear(ops[0]);
        return {(ops[0] & 1) == m_display.Displayed(), Format("bank %d cleared", ops[0] & 1)};
    case 'Z':
        m_display.Reset();
        m_device.Reset();
        m_shownPage.reset();
        if (m_programs.Running()) m_programs.Restart(CivilToSeconds(hostNow));
        Tick(hostNow);
        return {true, "reset: banks cleared, bank 0 on the screen, self-test idle"};
    default:
        break;
    }
    e = Device(letter, ops);
    if (letter == 'y' || letter == 'S' || letter == 'P') {
        // The schedule, the power relay and the brightness change the look.
        e.displayChanged = true;
        if (letter == 'y')
            e.meaning += m_device.ScreenOn(cardNow) ? ", screen on now" : ", screen off now";
    }
    return e;
}

StateEffect CCardState::Picture(std::span<const std::uint8_t> ops) {
    if (ops.size() < 2) return Short("picture");
    const int page = ops[0] & 0x3F;
    const int step = ops[1] & 0x3F;
    m_pictures.StoreStep(page, step, ops.subspan(2));
    StateEffect e;
    e.meaning = Format("picture page %d step %d, %zu column(s)", page, step, ops.size() - 2);
    const int lastStep = std::min(m_display.Height(), CPictureMemory::kSteps) - 1;
    if (step != lastStep) return e;
    // A complete page goes on the screen, unless a program run shows
    // another one; the page the run shows is refreshed.
    if (m_programs.Running() && m_shownPage && *m_shownPage != page) {
        e.meaning += ", page complete";
        return e;
    }
    ShowPage(page);
    e.displayChanged = true;
    e.meaning += Format(", page complete, shown in bank %d", m_display.Displayed());
    return e;
}

StateEffect CCardState::FontBlock(std::span<const std::uint8_t> ops) {
    if (ops.size() < 2) return Short("font library block");
    const unsigned address = static_cast<unsigned>(ops[0] << 8 | ops[1]);
    const std::size_t at = static_cast<std::size_t>(address) * CFontLibrary::kAddressUnit;
    if (!m_fonts.StoreBlock(address, ops.subspan(2)))
        return {false, Format("font library block at byte %zu refused: the library is locked", at)};
    return {false, Format("font library block %zu (bytes %zu..%zu), %zu byte(s) stored in all",
                          at / 1024, at, at + ops.size() - 3, m_fonts.BytesStored())};
}

StateEffect CCardState::Text(std::span<const std::uint8_t> ops) {
    if (ops.size() < 6) return Short("text");
    const int bank = ops[0] & 1;
    const int x = Word(ops, 1);
    const int y = Word(ops, 3);
    const std::uint8_t code = ops[5];
    const std::span<const std::uint8_t> text = ops.subspan(6);
    const TextDrawn drawn = DrawText(m_display, bank, x, y, code, text, m_fonts);
    StateEffect e;
    e.displayChanged = bank == m_display.Displayed() && drawn.characters > 0;
    e.meaning = "text \"" + GbkToUtf8(text) + "\"" +
                Format(" at (%d, %d) in %s into bank %d: %d character(s), %d from the font library",
                       x, y, Colour(code).c_str(), bank, drawn.characters, drawn.fromLibrary);
    return e;
}

StateEffect CCardState::DrawLine(std::span<const std::uint8_t> ops) {
    if (ops.size() < 10) return Short("line");
    const int bank = ops[0] & 1;
    const int x1 = Word(ops, 1), y1 = Word(ops, 3), x2 = Word(ops, 5), y2 = Word(ops, 7);
    const std::uint8_t code = ops[9];
    m_display.DrawLine(bank, x1, y1, x2, y2, code);
    return {bank == m_display.Displayed(), Format("line (%d, %d)-(%d, %d) in %s into bank %d", x1,
                                                  y1, x2, y2, Colour(code).c_str(), bank)};
}

StateEffect CCardState::Device(std::uint8_t letter, std::span<const std::uint8_t> ops) {
    for (const DeviceOperands& d : kDeviceOperands)
        if (d.letter == letter && ops.size() < d.count) return Short(d.name);
    switch (letter) {
    case 'O':
        m_fonts.SetLocked(ops[0] == 0x55);
        return {false, m_fonts.Locked() ? "font library locked" : "font library unlocked"};
    case 'P':
        m_device.brightness = ops[0];
        return {false, Format("brightness %d of 255", ops[0])};
    case 'Q': {
        TemperatureControl& t = m_device.temperature;
        t.powerOff = static_cast<std::int8_t>(ops[0]);
        t.powerOn = static_cast<std::int8_t>(ops[1]);
        t.fanOn = static_cast<std::int8_t>(ops[2]);
        t.fanOff = static_cast<std::int8_t>(ops[3]);
        t.enabled = ops[4] != 0;
        return {false, Format("temperature control %s: power off at %d, on at %d, fan on at %d, "
                              "off at %d degrees",
                              t.enabled ? "on" : "off", t.powerOff, t.powerOn, t.fanOn, t.fanOff)};
    }
    case 'R':
        m_device.temperatureOffset = static_cast<std::int8_t>(ops[0]);
        return {false, Format("temperature offset %d degrees, reading %d",
                              m_device.temperatureOffset, m_device.TemperatureCelsius())};
    case 'S':
        m_device.SetRelays(ops);
        return {false,
                Format("relays: power %s, fan %s, other %s", m_device.relays[0] ? "on" : "off",
                       m_device.relays[1] ? "on" : "off", m_device.relays[2] ? "on" : "off")};
    case 'T':
        m_device.StartTest();
        return {false, "self-test started"};
    case 'X':
        m_device.ClearPowerChecks();
        return {false, "power check results cleared"};
    case 'w':
        m_device.commTimeoutSeconds = ops[0];
        return {false, Format("communication time-out %d s", ops[0])};
    case 'y': {
        m_device.SetOnOffTimes(ops);
        const auto& h = m_device.onOff.hhmm;
        return {false, Format("on/off times %02d:%02d-%02d:%02d and %02d:%02d-%02d:%02d",
                              h[0] / 100, h[0] % 100, h[1] / 100, h[1] % 100, h[2] / 100,
                              h[2] % 100, h[3] / 100, h[3] % 100)};
    }
    default:
        return {false, "no such command on this card, acknowledged"};
    }
}

std::vector<std::uint8_t> CCardState::Read(std::span<const std::uint8_t> payload, int count,
                                           const CivilTime& cardNow, std::string& meaning) {
    std::vector<std::uint8_t> data;
    switch (payload[0]) {
    case 'U': {
        const SelfTest s = m_device.ReadTestState();
        data.push_back(static_cast<std::uint8_t>(s));
        meaning = s == SelfTest::Idle      ? "self-test state: idle"
                  : s == SelfTest::Running ? "self-test state: running"
                                           : "self-test state: done";
        break;
    }
    case 'V': {
        const auto checks = m_device.PowerChecks();
        data.assign(checks.begin(), checks.end());
        meaning = Format("power check results of %zu supplies", m_device.Supplies());
        break;
    }
    case 'W': {
        const std::uint8_t operand = payload.size() > 1 ? payload[1] : 0;
        data = m_device.TestResult(operand, count);
        meaning = Format("self-test result, colour %d, columns %d..%d", operand >> 6,
                         (operand & 0x3F) * 8, (operand & 0x3F) * 8 + 7);
        break;
    }
    case 'Y': {
        const auto record = StatusRecord(cardNow);
        data.assign(record.begin(), record.end());
        meaning = "status record";
        break;
    }
    default:
        break;
    }
    data.resize(static_cast<std::size_t>(std::max(count, 0)), 0);
    return data;
}

std::array<std::uint8_t, kStatusRecordSize>
CCardState::StatusRecord(const CivilTime& cardNow) const {
    std::array<std::uint8_t, kStatusRecordSize> r{};
    const unsigned page = m_shownPage ? static_cast<unsigned>(*m_shownPage) : 0xFFFFu;
    r[0] = static_cast<std::uint8_t>(m_cardNumber);
    r[1] = static_cast<std::uint8_t>(m_device.TemperatureCelsius());
    r[2] = static_cast<std::uint8_t>(m_device.TestState());
    r[3] = static_cast<std::uint8_t>(m_device.relays[0] | m_device.relays[1] << 1 |
                                     m_device.relays[2] << 2);
    r[4] = static_cast<std::uint8_t>(page >> 8);
    r[5] = static_cast<std::uint8_t>(page & 0xFF);
    r[6] = static_cast<std::uint8_t>(m_display.Displayed());
    r[7] = m_device.brightness;
    r[8] = static_cast<std::uint8_t>(m_programs.Entries().size());
    r[9] = static_cast<std::uint8_t>(m_programs.Order().size());
    r[10] = static_cast<std::uint8_t>(m_fonts.Locked() | m_fonts.Present() << 1);
    r[11] = m_device.temperature.enabled;
    r[12] = m_device.ScreenOn(cardNow);
    r[13] = m_device.commTimeoutSeconds;
    for (std::size_t i = 0; i < 14; ++i)
        r[14] = static_cast<std::uint8_t>(r[14] + r[i]);
    return r;
}

} // namespace cardsim
