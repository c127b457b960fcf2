#include "platform/ports/com_numbers.h"

#include <gtest/gtest.h>

using namespace palvex::ports;

namespace {

SSerialPort Onboard(int k) {
    SSerialPort p;
    p.name = "ttyS" + std::to_string(k);
    p.node = "/dev/" + p.name;
    p.stablePath = p.node;
    p.onboard = true;
    p.onboardIndex = k;
    return p;
}

SSerialPort Adapter(const std::string& node, const std::string& id) {
    SSerialPort p;
    p.name = node;
    p.node = "/dev/" + node;
    p.stablePath = "/dev/serial/by-id/" + id;
    p.vendorId = "0403";
    return p;
}

// COM number -> node of the device it names.
std::map<int, std::string> Numbers(const SNumberingInput& in, const SNumbering& out) {
    std::map<int, std::string> numbers;
    for (const auto& [n, index] : out.assigned)
        numbers[n] = in.present[index].name;
    return numbers;
}

struct NumberingCase {
    const char* what;
    SNumberingInput input;
    std::map<int, std::string> want;
    std::map<int, std::string> wantAdded;
};

class ComNumbersTest : public ::testing::TestWithParam<NumberingCase> {};

const std::string kA = "/dev/serial/by-id/a", kB = "/dev/serial/by-id/b";

const NumberingCase kCases[] = {
    {"on-board ports keep ttyS<k>+1 and new adapters take COM3 up in stable-path order",
     {{Onboard(0), Onboard(1), Adapter("ttyUSB0", "b"), Adapter("ttyUSB1", "a")}, {}, {}, {}},
     {{1, "ttyS0"}, {2, "ttyS1"}, {3, "ttyUSB1"}, {4, "ttyUSB0"}},
     {{3, kA}, {4, kB}}},
    {"a remembered adapter keeps its number under another node",
     {{Adapter("ttyUSB7", "b"), Adapter("ttyUSB0", "a")}, {{5, kB}}, {}, {}},
     {{3, "ttyUSB0"}, {5, "ttyUSB7"}},
     {{3, kA}}},
    {"the number of an adapter that is not plugged in is not given to another",
     {{Adapter("ttyUSB0", "b")}, {{3, kA}}, {}, {}},
     {{4, "ttyUSB0"}},
     {{4, kB}}},
    {"numbers mapped by hand are skipped and an on-board port in the way is passed by",
     {{Onboard(2), Adapter("ttyUSB0", "a")}, {}, {4}, {}},
     {{3, "ttyS2"}, {5, "ttyUSB0"}},
     {{5, kA}}},
    {"a device mapped by hand gets no automatic number, by node or stable path",
     {{Onboard(0), Adapter("ttyUSB0", "a"), Adapter("ttyUSB1", "b")}, {}, {9}, {"/dev/ttyS0", kA}},
     {{3, "ttyUSB1"}},
     {{3, kB}}},
    {"a number mapped by hand wins over the adapter remembered at it",
     {{Adapter("ttyUSB0", "a")}, {{3, kA}}, {3}, {}},
     {},
     {}},
};

} // namespace

TEST_P(ComNumbersTest, GivesTheNumbersTheRulesSay) {
    const NumberingCase& c = GetParam();
    const SNumbering out = AssignComNumbers(c.input);
    EXPECT_EQ(Numbers(c.input, out), c.want) << c.what;
    EXPECT_EQ(out.added, c.wantAdded) << c.what;
    for (const auto& [n, path] : c.input.remembered)
        EXPECT_EQ(out.remembered.at(n), path) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, ComNumbersTest, ::testing::ValuesIn(kCases));
