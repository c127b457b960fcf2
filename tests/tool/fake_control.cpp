#include "tests/tool/fake_control.h"

#include "tool/palvex_proxy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tooltest {

using namespace dravel;

FakeCard* CFakeWorld::Card(int port) {
    const auto it = m_ports.find(port);
    return it != m_ports.end() && it->second ? &*it->second : nullptr;
}

std::vector<std::pair<int, unsigned>> CFakeWorld::Probes() const {
    std::vector<std::pair<int, unsigned>> probes;
    for (const FakeCall& c : m_calls)
        if (c.id == kDispComInitial)
            probes.emplace_back(c.shorts[0], static_cast<std::uint16_t>(c.shorts[1]));
    return probes;
}

int CFakeWorld::CountCalls(DISPID id) const {
    int n = 0;
    for (const FakeCall& c : m_calls)
        n += c.id == id;
    return n;
}

const FakeCall* CFakeWorld::LastCall(DISPID id) const {
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it)
        if (it->id == id) return &*it;
    return nullptr;
}

namespace {

// The fake module's strings, in the layout of the binary interface: a 4-byte
// length in bytes, the characters and a zero character.
BSTR MakeString(const std::string& text) {
    const std::uint32_t bytes = static_cast<std::uint32_t>(text.size() * sizeof(OLECHAR));
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof bytes + bytes + sizeof(OLECHAR)));
    std::memcpy(block, &bytes, sizeof bytes);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof bytes);
    for (std::size_t i = 0; i < text.size(); ++i)
        chars[i] = static_cast<unsigned char>(text[i]);
    chars[text.size()] = 0;
    return chars;
}

void DropString(BSTR s) {
    std::free(reinterpret_cast<unsigned char*>(s) - sizeof(std::uint32_t));
}

} // namespace

class CFakeControl final : public CStandInControl {
  public:
    explicit CFakeControl(std::shared_ptr<CFakeWorld> world) : m_world(std::move(world)) {}
    ~CFakeControl() override {
        if (m_nPort != 0) m_world->m_bOpenOnDestroy = true;
    }

    HRESULT Invoke(DISPID id, DISPPARAMS& params, VARIANT& result, unsigned& /*argErr*/) override {
        FakeCall call{id, {}, {}};
        // Arguments arrive last-first.
        for (unsigned i = params.cArgs; i-- > 0;) {
            const VARIANT& v = params.rgvarg[i];
            if (v.vt == VT_I2) {
                call.shorts.push_back(v.iVal);
            } else if (v.vt == VT_ADDR) {
                call.text.assign(reinterpret_cast<const char*>(static_cast<std::intptr_t>(v.llVal)),
                                 8);
            } else if (v.vt == (VT_BSTR | VT_BYREF)) {
                m_pOut = v.pbstrVal;
            } else {
                return DISP_E_TYPEMISMATCH;
            }
        }
        m_world->m_calls.push_back(call);
        result = VARIANT{};
        result.vt = VT_BOOL;
        result.boolVal = Run(call) ? VARIANT_TRUE : VARIANT_FALSE;
        if (id == kDispQKClose) result.vt = VT_EMPTY;
        return S_OK;
    }

    // Why the last ComInitial failed, worded as the real control words it.
    std::string LastLinkError() override { return m_strLastError; }

    // The module's free function: only strings this world made, each once.
    void FreeString(BSTR s) override {
        if (s == nullptr) return;
        if (m_world->m_liveStrings.erase(s) == 0) {
            ADD_FAILURE() << "the control was asked to free a string it did not hand out";
            return;
        }
        ++m_world->m_nStringsFreedByControl;
        DropString(s);
    }

  private:
    bool Run(const FakeCall& c) {
        switch (c.id) {
        case kDispComInitial: {
            const unsigned baud = static_cast<std::uint16_t>(c.shorts[1]);
            const bool speedOk =
                baud == 9600 || baud == 14400 || baud == 28800 || baud == 38400 || baud == 57600;
            if (m_nPort != 0 || !speedOk) return false;
            const std::string name = "COM" + std::to_string(c.shorts[0]);
            if (m_world->m_ports.count(c.shorts[0]) == 0) {
                m_strLastError = name + " open failed: no such device (ENOENT)";
                return false;
            }
            if (m_world->m_refusedSpeeds.count({c.shorts[0], baud}) != 0) {
                m_strLastError = name + " open failed: speed refused (EINVAL): " + name +
                                 " does not take " + std::to_string(baud) + " bit/s";
                return false;
            }
            m_strLastError.clear();
            m_nPort = c.shorts[0];
            m_nBaud = baud;
            ++m_world->m_nOpens;
            return true;
        }
        case kDispSetLedProperty:
            m_bArmed = c.shorts[0] >= 0 && c.shorts[0] <= 31 && c.shorts[1] >= 1 &&
                       c.shorts[1] <= 512 && c.shorts[2] >= 1 && c.shorts[2] <= 128;
            m_nNumber = c.shorts[0];
            return m_bArmed;
        case kDispQKClose:
            if (m_nPort != 0) ++m_world->m_nCloses;
            m_nPort = 0;
            m_bArmed = false;
            return true;
        case kDispQKGetProperty: {
            const FakeCard* card = Answering();
            if (card == nullptr) return false;
            *m_pOut = MakeString(card->property);
            m_world->m_liveStrings.insert(*m_pOut);
            ++m_world->m_nStringsMade;
            return true;
        }
        case kDispQKSetup:
        case kDispQKSetProperty:
            return Answering() != nullptr;
        default:
            return false;
        }
    }

    const FakeCard* Answering() {
        if (m_nPort == 0 || !m_bArmed) return nullptr;
        const FakeCard* card = m_world->Card(m_nPort);
        if (card == nullptr || !card->answers || card->baud != m_nBaud || card->number != m_nNumber)
            return nullptr;
        return card;
    }

    std::shared_ptr<CFakeWorld> m_world;
    int m_nPort = 0;
    unsigned m_nBaud = 0;
    int m_nNumber = 0;
    bool m_bArmed = false;
    BSTR* m_pOut = nullptr;
    std::string m_strLastError;
};

ControlFactory FakeFactory(const std::shared_ptr<CFakeWorld>& world) {
    return [world] { return std::make_unique<CFakeControl>(world); };
}

std::string PropertyText(const std::string& version3, const std::string& date8, int width,
                         int height, int flags) {
    char text[64];
    std::snprintf(text, sizeof text, "DDDD7%s%s%03X%03X%02X0000", version3.c_str(), date8.c_str(),
                  width, height, flags);
    return text;
}

} // namespace tooltest
