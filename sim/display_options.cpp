#include "sim/display_options.h"

#include "sim/option_number.h"

namespace cardsim {

const char kDisplayUsage[] =
    "\n"
    "What the screen shows:\n"
    "  --snapshot FILE.png  write the screen as a PNG: at start, after frames that changed\n"
    "                       it once the control pauses 30 ms (at least every second\n"
    "                       while it does not), and on SIGUSR1; each LED a round dot\n"
    "                       in 8 x 8 pixels\n"
    "  --pace               take a real line's time at --baud, 10 bits per byte: a reply\n"
    "                       is complete (frame + reply bytes) x 10 / baud s after the frame began\n"
    "  --dead-led X,Y       the LED at column X, row Y stays dark and the self-test finds it\n"
    "                       (may be repeated)\n"
    "The card has two display banks; one is on the screen (bank 0 at start, \"L\" switches).\n"
    "A picture page (\"G\") is drawn into the displayed bank when its last step arrives.\n"
    "\"F\" after a program list starts the program run: program i shows page i, the\n"
    "order list (if any) gives the order, each stays its seconds in turn. \"J\" draws\n"
    "text and \"K\" a line into a bank, \"M\" copies the other bank into one, \"N\" clears\n"
    "one. Text is GBK: ASCII in 8 x 16 and GB2312 in 16 x 16 dots from the font\n"
    "library sent with \"I\" (SendHZLib; see sim/fontgen for its layout), built-in ASCII\n"
    "and a box otherwise. Pixel codes: bit 0 red, bit 1 green, bit 2 blue. The screen\n"
    "is dark while the power relay is off or outside the on/off times. \"Z\" clears\n"
    "both banks and shows bank 0; pictures, lists, font library and settings stay.\n";

bool IsDisplayOption(int code) {
    return code >= kOptSnapshot && code <= kOptDeadLed;
}

namespace {

// "X,Y" with both in 0..4095.
bool ParsePoint(const std::string& s, std::pair<int, int>& point) {
    const auto comma = s.find(',');
    if (comma == std::string::npos) return false;
    const auto number = [](const std::string& t, int& out) {
        const std::optional<long> v = ParseOptionNumber(t, 0, 4095);
        if (v) out = static_cast<int>(*v);
        return v.has_value();
    };
    return number(s.substr(0, comma), point.first) && number(s.substr(comma + 1), point.second);
}

} // namespace

bool ApplyDisplayOption(int code, const std::string& arg, CardConfig& card) {
    switch (code) {
    case kOptSnapshot:
        if (arg.empty()) return false;
        card.snapshotPath = arg;
        return true;
    case kOptPace:
        card.pace = true;
        return true;
    case kOptDeadLed: {
        std::pair<int, int> point;
        if (!ParsePoint(arg, point)) return false;
        card.deadLeds.push_back(point);
        return true;
    }
    default:
        return false;
    }
}

} // namespace cardsim
