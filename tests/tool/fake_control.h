// A scripted stand-in for the link control behind the dispatch interface:
// a world of serial ports, some with a card answering at one speed and to
// one card number. It checks the argument types the proxy sends, applies the
// control's own rules (one link at a time, the limits of SetLedProperty) and
// records every call, so a test can see what reached the card.
#pragma once

#include "tool/control_site.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tooltest {

// A control that is no module's: what the tool asks of the module it came
// from has fixed answers, and it has no dispatch interface of its own.
class CStandInControl : public dravel::IHostedControl {
  public:
    HRESULT IdOfName(std::string_view, DISPID& id) override {
        id = -1;
        return DISP_E_UNKNOWNNAME;
    }
    const std::string& ModulePath() const override { return m_path; }
    const char* ModuleSource() const override { return "a stand-in"; }
    IDispatch* Dispatch() override { return nullptr; }

  private:
    std::string m_path = "stand-in";
};

struct FakeCard {
    unsigned baud = 9600;
    int number = 0;
    std::string property; // the text QKGetProperty returns
    bool answers = true;  // false: the card is unplugged
};

struct FakeCall {
    DISPID id = 0;
    std::vector<int> shorts; // 16-bit arguments, as passed
    std::string text;        // the 8 characters at an address argument
};

class CFakeWorld {
  public:
    // A port that opens; with a card or silent.
    void AddPort(int port, std::optional<FakeCard> card = std::nullopt) { m_ports[port] = card; }
    // The port opens, but not at this speed (an adapter without it): the
    // control refuses the open and says why, as the real control does.
    void RefuseSpeed(int port, unsigned baud) { m_refusedSpeeds.insert({port, baud}); }
    FakeCard* Card(int port);

    std::vector<FakeCall> m_calls;
    int m_nOpens = 0;
    int m_nCloses = 0;
    bool m_bOpenOnDestroy = false; // a control went away with its link open

    // The property texts the controls handed out, as a module hands them
    // out: made by the world's own allocator, to be freed only through the
    // control that made them. A string freed by anything else stays here.
    std::set<BSTR> m_liveStrings;
    int m_nStringsMade = 0;
    int m_nStringsFreedByControl = 0;

    // (port, baud) of every ComInitial in order.
    std::vector<std::pair<int, unsigned>> Probes() const;
    int CountCalls(DISPID id) const;
    const FakeCall* LastCall(DISPID id) const;

  private:
    friend class CFakeControl;
    std::map<int, std::optional<FakeCard>> m_ports;
    std::set<std::pair<int, unsigned>> m_refusedSpeeds;
};

// One control instance in the world; make as many as the dialogs need.
dravel::ControlFactory FakeFactory(const std::shared_ptr<CFakeWorld>& world);

// A D-type card's property text: "DDDD7" + version digits, date, size, flags.
std::string PropertyText(const std::string& version3, const std::string& date8, int width,
                         int height, int flags);

} // namespace tooltest
