// The card's device settings and its self-test and power checks: what
// "O" to "T", "V" to "X", "w" and "y" set and read. Values are kept as the
// control sends them; their meanings on this card are given per member.
#pragma once

#include "sim/card_model.h"

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace cardsim {

// Self-test states as "U" reports them.
enum class SelfTest : std::uint8_t { Idle = 0, Running = 1, Done = 2 };

struct TemperatureControl {
    // Degrees Celsius, signed: power off above, on again below; fan on
    // above, off again below.
    std::int8_t powerOff = 70;
    std::int8_t powerOn = 60;
    std::int8_t fanOn = 45;
    std::int8_t fanOff = 40;
    bool enabled = false;
};

// Two daily periods of hhmm times, both ends included; a period whose
// start lies after its end runs over midnight.
struct OnOffTimes {
    bool set = false;                          // until "y" the screen is on all day
    std::array<int, 4> hhmm{0, 2359, 0, 2359}; // on0, off0, on1, off1
};

class CCardDevice {
  public:
    // The card's sensor reads this many degrees before the offset.
    static constexpr int kSensorCelsius = 25;
    static constexpr std::size_t kPowerChecks = 128;

    CCardDevice(int width, int height, std::vector<std::pair<int, int>> deadLeds);
    void Resize(int width, int height);

    std::uint8_t brightness = 255;                  // "P": 0 darkest .. 255 brightest
    std::array<bool, 3> relays{true, false, false}; // "S": power, fan, other
    TemperatureControl temperature;                 // "Q"
    std::int8_t temperatureOffset = 0;              // "R", degrees
    OnOffTimes onOff;                               // "y"
    std::uint8_t commTimeoutSeconds = 5;            // "w"

    void SetRelays(std::span<const std::uint8_t> operands);
    void SetOnOffTimes(std::span<const std::uint8_t> operands); // 8 BCD bytes
    int TemperatureCelsius() const { return kSensorCelsius + temperatureOffset; }
    // Whether the screen lights at a card time: power relay on and, once
    // "y" set them, within one of the on/off periods.
    bool ScreenOn(const CivilTime& cardTime) const;

    // "T" starts the self-test; "U" reads its state. The test takes the
    // card one state reading: the first "U" after "T" answers Running, every
    // later one Done.
    void StartTest();
    SelfTest ReadTestState();
    SelfTest TestState() const { return m_test; }
    // "W": one byte per row for colour (operand bits 7-6) and column group
    // (operand bits 5-0, columns 8g .. 8g + 7). Bit 7 stands for column 8g,
    // bit 0 for column 8g + 7; a set bit is a dead LED. Rows read 0xFF
    // (not tested) until a self-test is done. A dead LED is dead in every
    // colour.
    std::vector<std::uint8_t> TestResult(std::uint8_t operand, int height) const;
    bool Dead(int x, int y) const;
    const std::vector<std::pair<int, int>>& DeadLeds() const { return m_dead; }

    // "V": per power supply, how often its power went off (the power relay
    // switched off) since the last "X", at most 255. The screen has one
    // supply per 64 x 32 LEDs (at most 128); bytes beyond read 0.
    std::array<std::uint8_t, kPowerChecks> PowerChecks() const { return m_powerChecks; }
    void ClearPowerChecks() { m_powerChecks.fill(0); }
    std::size_t Supplies() const { return m_supplies; }

    // "Z": the self-test goes back to idle; every setting stays.
    void Reset() { m_test = SelfTest::Idle; }

  private:
    std::vector<std::pair<int, int>> m_dead;
    SelfTest m_test = SelfTest::Idle;
    bool m_testDone = false; // a test has completed since start
    std::array<std::uint8_t, kPowerChecks> m_powerChecks{};
    std::size_t m_supplies = 0;
};

} // namespace cardsim
