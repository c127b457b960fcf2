#include "cli/job_args.h"

#include "control/palvex_facts.h"

#include <charconv>
#include <vector>

namespace palvex::cli {
namespace {

// Which verbs an option goes with.
enum : unsigned { kFont = 1, kPicture = 2, kPreview = 4, kSend = kFont | kPicture, kAll = 7 };

struct Option {
    std::string_view name;
    bool takesValue;
    unsigned verbs;
    bool linkOrJob; // given without a verb, the line is refused
};

constexpr Option kOptions[] = {
    {"--com", true, kSend, true},       {"--baud", true, kSend, true},
    {"--net", true, kSend, true},       {"--wait", true, kSend, true},
    {"--card", true, kSend, true},      {"--width", true, kAll, true},
    {"--height", true, kAll, true},     {"--page", true, kPicture, true},
    {"--from", true, kSend, true},      {"--quiet", false, kSend, true},
    {"-q", false, kSend, true},         {"-o", true, kPreview, true},
    {"--output", true, kPreview, true}, {"--verbose", false, kAll, false},
    {"-v", false, kAll, false},         {"--trace", false, kSend, false},
};

const Option* FindOption(std::string_view name) {
    for (const Option& o : kOptions)
        if (o.name == name) return &o;
    return nullptr;
}

struct VerbEntry {
    JobCommand::Verb verb;
    const char* name;
    unsigned bit; // as the options' verbs name it
};

constexpr VerbEntry kVerbs[] = {
    {JobCommand::SendFont, "send-font", kFont},
    {JobCommand::SendPicture, "send-picture", kPicture},
    {JobCommand::Preview, "preview", kPreview},
};

const VerbEntry* FindVerb(JobCommand::Verb verb) {
    for (const VerbEntry& v : kVerbs)
        if (v.verb == verb) return &v;
    return nullptr;
}

unsigned VerbBit(JobCommand::Verb verb) {
    const VerbEntry* v = FindVerb(verb);
    return v != nullptr ? v->bit : kPreview;
}

JobCommand::Verb VerbOf(std::string_view word) {
    for (const VerbEntry& v : kVerbs)
        if (word == v.name) return v.verb;
    return JobCommand::None;
}

bool ParseInt(std::string_view text, int lo, int hi, int& value) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && value >= lo && value <= hi;
}

// One word split into an option's name and the value given with '='.
struct Word {
    std::string_view name;
    std::string_view inlineValue;
    bool hasInline = false;
};

Word SplitWord(std::string_view w) {
    const std::size_t eq = w.find('=');
    if (!w.starts_with("--") || eq == std::string_view::npos) return {w, {}, false};
    return {w.substr(0, eq), w.substr(eq + 1), true};
}

bool IsOptionWord(std::string_view w) {
    return w.size() > 1 && w.front() == '-';
}

std::string Range(int lo, int hi) {
    return std::to_string(lo) + " to " + std::to_string(hi);
}

// Stores the value of one option; false with a message.
bool Apply(std::string_view name, std::string_view value, JobCommand& c, std::string& error) {
    const std::string what = std::string(name) + " \"" + std::string(value) + "\"";
    const auto number = [&](int lo, int hi, int& into) {
        if (ParseInt(value, lo, hi, into)) return true;
        error = what + " is not a number from " + Range(lo, hi);
        return false;
    };
    if (name == "--com") return number(1, 32767, c.com);
    if (name == "--wait") return number(0, 32767, c.waitMs);
    if (name == "--card") return number(0, card::kMaxLedNum, c.card);
    if (name == "--width") return number(1, card::kMaxLedWidth, c.width);
    if (name == "--height") return number(1, card::kMaxLedHeight, c.height);
    // Page numbers travel as their low six bits: a higher one would land on
    // another page.
    if (name == "--page") return number(0, 63, c.page);
    if (name == "--from") return number(0, 32767, c.from);
    if (name == "-o" || name == "--output") {
        if (value.empty()) {
            error = std::string(name) + " needs a file";
            return false;
        }
        c.outPath = value;
        return true;
    }
    if (name == "--baud") {
        int baud = 0;
        for (unsigned b : card::kBaudRates)
            if (ParseInt(value, 1, 65535, baud) && static_cast<unsigned>(baud) == b) c.baud = b;
        if (c.baud != 0) return true;
        error = what + " is not one of the speeds 9600, 14400, 28800, 38400, 57600";
        return false;
    }
    // --net HOST:PORT
    const std::size_t colon = value.rfind(':');
    int port = 0;
    if (colon == std::string_view::npos || colon == 0 ||
        !ParseInt(value.substr(colon + 1), 1, 65535, port)) {
        error = what + " is not HOST:PORT (a port from 1 to 65535)";
        return false;
    }
    c.netHost = value.substr(0, colon);
    c.netPort = static_cast<unsigned>(port);
    return true;
}

// What the verb needs besides its file.
bool CheckComplete(const JobCommand& c, std::string& error) {
    const std::string verb = VerbName(c.verb);
    if (c.file.empty()) {
        error = verb + " needs a FILE";
        return false;
    }
    if (c.verb == JobCommand::Preview) {
        if (c.width > 0 && c.height > 0 && !c.outPath.empty()) return true;
        error = "preview needs --width, --height and -o OUT.png";
        return false;
    }
    if (c.com != 0 && !c.netHost.empty()) {
        error = "give either --com or --net, not both";
    } else if (c.com == 0 && c.netHost.empty()) {
        error = verb + " needs a link: --com N --baud B, or --net HOST:PORT";
    } else if (c.com != 0 && c.baud == 0) {
        error = "--com needs --baud (9600, 14400, 28800, 38400 or 57600)";
    } else if (c.com == 0 && c.baud != 0) {
        error = "--baud goes with --com";
    } else if (c.card < 0 || c.width == 0 || c.height == 0) {
        error = verb + " needs --card, --width and --height (the card and its screen)";
    } else if (c.verb == JobCommand::SendPicture && c.page < 0) {
        error = "send-picture needs --page N";
    } else {
        return true;
    }
    return false;
}

} // namespace

const char* VerbName(JobCommand::Verb verb) {
    const VerbEntry* v = FindVerb(verb);
    return v != nullptr ? v->name : "";
}

bool ParseJobCommand(std::span<const std::string_view> words, JobCommand& out, std::string& error) {
    out = JobCommand{};
    // Find the verb: the first word that is no option and no option's value.
    std::size_t verbAt = words.size();
    const Option* firstJobOption = nullptr;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const Word w = SplitWord(words[i]);
        if (w.name == "--help" || w.name == "-h") return true;
        if (const Option* o = FindOption(w.name)) {
            if (o->linkOrJob && firstJobOption == nullptr) firstJobOption = o;
            if (o->takesValue && !w.hasInline) ++i;
            continue;
        }
        if (IsOptionWord(w.name)) continue;
        if (VerbOf(words[i]) != JobCommand::None) verbAt = i;
        break;
    }
    if (verbAt == words.size()) {
        if (firstJobOption == nullptr) return true;
        error = std::string(firstJobOption->name) + " goes with send-font, send-picture or preview";
        return false;
    }

    JobCommand c;
    c.verb = VerbOf(words[verbAt]);
    const std::string verb = VerbName(c.verb);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i == verbAt) continue;
        const Word w = SplitWord(words[i]);
        const Option* o = FindOption(w.name);
        if (o == nullptr && IsOptionWord(w.name)) {
            error = "unknown option \"" + std::string(w.name) + "\" for " + verb;
            return false;
        }
        if (o == nullptr) {
            if (!c.file.empty()) {
                error = verb + " takes one FILE, \"" + std::string(words[i]) + "\" is another";
                return false;
            }
            c.file = words[i];
            continue;
        }
        if ((o->verbs & VerbBit(c.verb)) == 0) {
            error = std::string(o->name) + " does not go with " + verb;
            return false;
        }
        if (!o->takesValue) {
            if (w.hasInline) {
                error = std::string(o->name) + " takes no value";
                return false;
            }
            if (o->name == "--quiet" || o->name == "-q") c.quiet = true;
            if (o->name == "--verbose" || o->name == "-v") c.verbose = true;
            if (o->name == "--trace") c.trace = true;
            continue;
        }
        std::string_view value = w.inlineValue;
        if (!w.hasInline) {
            if (i + 1 == words.size()) {
                error = std::string(o->name) + " needs a value";
                return false;
            }
            value = words[++i];
        }
        if (!Apply(o->name, value, c, error)) return false;
    }
    if (!CheckComplete(c, error)) return false;
    out = std::move(c);
    return true;
}

const char* JobUsageText() {
    return "       palvex LINK SCREEN [--from K] [--quiet] send-font FILE\n"
           "       palvex LINK SCREEN --page N [--from K] [--quiet] send-picture FILE\n"
           "       palvex --width W --height H -o OUT.png preview FILE\n"
           "         LINK: --com N --baud B | --net HOST:PORT, [--wait MS]\n"
           "         SCREEN: --card N --width W --height H\n";
}

const char* JobHelpText() {
    return "Jobs (one command opens the link, arms the control with SetLedProperty,\n"
           "runs the job and closes the link; options go before or after the verb):\n"
           "  send-font FILE     SendHZLib for every 1024-byte block of the font library\n"
           "                     file, block 0 first (a last part block is sent whole)\n"
           "  send-picture FILE  SendPicture for every step (GetSendStepNum) of --page N;\n"
           "                     FILE as SendPicture's lpBuff takes it (below)\n"
           "  preview FILE       write OUT.png: FILE as a card of --width x --height shows it,\n"
           "                     drawn like cardsim's screen snapshot; no link is used\n"
           "  --com N --baud B   serial port N (PALVEX_COM<N>) at B bit/s, or\n"
           "  --net HOST:PORT    a card on the network\n"
           "  --wait MS          the link's wait for a reply (default 1000)\n"
           "  --card N --width W --height H\n"
           "                     the card's number and its screen's size\n"
           "  --from K           resume at block or step K\n"
           "  --quiet            no progress; otherwise a line updated in place on a\n"
           "                     terminal, or one line per 10 % on standard error\n"
           "Job exit status: 0 done, 1 an exchange failed (the message names the block\n"
           "or step), 2 usage, 3 no control module, 130 SIGINT, 143 SIGTERM (the job\n"
           "stops after the exchange in progress and says where to resume).\n"
           "\n";
}

} // namespace palvex::cli
