#include "tool/palvex_proxy.h"

#include "control/protocol/link_error.h"
#include "tests/tool/fake_control.h"
#include "sim/card_server.h"
#include "tool/card_property.h"
#include "tool/simulation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace dravel;

namespace {

// Keeps what each Invoke received and answers with a chosen result.
struct Received {
    DISPID id = 0;
    std::vector<VARIANT> args; // as passed: last argument first
};

class CRecordingDispatch final : public tooltest::CStandInControl {
  public:
    explicit CRecordingDispatch(std::vector<Received>& log) : m_log(log) {}
    HRESULT Invoke(DISPID id, DISPPARAMS& params, VARIANT& result, unsigned&) override {
        m_log.push_back({id, std::vector<VARIANT>(params.rgvarg, params.rgvarg + params.cArgs)});
        result = m_result;
        return m_hr;
    }
    void FreeString(BSTR s) override { m_freed.push_back(s); }
    std::string LastLinkError() override { return {}; }
    HRESULT m_hr = S_OK;
    VARIANT m_result{VT_BOOL, 0, 0, 0, {}};
    std::vector<BSTR> m_freed;

  private:
    std::vector<Received>& m_log;
};

VARIANT BoolResult(bool value) {
    VARIANT v{};
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

} // namespace

TEST(PalvexProxyTest, CallsEachMethodByItsDispatchIdWithShortsLastArgumentFirst) {
    std::vector<Received> log;
    auto dispatch = std::make_unique<CRecordingDispatch>(log);
    dispatch->m_result = BoolResult(true);
    CPalvex link(std::move(dispatch));

    EXPECT_TRUE(link.ComInitial(3, static_cast<short>(57600), 800));
    EXPECT_TRUE(link.SetLedProperty(31, 512, 128));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].id, 2);
    ASSERT_EQ(log[0].args.size(), 3u);
    for (const VARIANT& v : log[0].args)
        EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(log[0].args[2].iVal, 3);
    EXPECT_EQ(log[0].args[1].iVal, static_cast<short>(0xE100));
    EXPECT_EQ(log[0].args[0].iVal, 800);
    EXPECT_EQ(log[1].id, 4);
    EXPECT_EQ(log[1].args[2].iVal, 31);
    EXPECT_EQ(log[1].args[0].iVal, 128);
}

TEST(PalvexProxyTest, PassesTheStringsAddressAsAnAddressWidthIntegerAndTheTextByReference) {
    std::vector<Received> log;
    auto dispatch = std::make_unique<CRecordingDispatch>(log);
    dispatch->m_result = BoolResult(true);
    CPalvex link(std::move(dispatch));
    static const char setup[] = "DDDD7200";
    BSTR text = nullptr;

    link.QKSetup(reinterpret_cast<LONG_PTR>(setup));
    link.QKSetProperty(reinterpret_cast<LONG_PTR>(setup));
    link.QKGetProperty(&text);
    link.QKClose();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].id, 37);
    EXPECT_EQ(log[1].id, 38);
    for (int i : {0, 1}) {
        ASSERT_EQ(log[i].args.size(), 1u);
        EXPECT_EQ(log[i].args[0].vt, VT_ADDR);
        EXPECT_EQ(log[i].args[0].llVal, reinterpret_cast<std::intptr_t>(setup));
    }
    EXPECT_EQ(log[2].id, 11);
    EXPECT_EQ(log[2].args[0].vt, VT_BSTR | VT_BYREF);
    EXPECT_EQ(log[2].args[0].pbstrVal, &text);
    EXPECT_EQ(log[3].id, 9);
    EXPECT_TRUE(log[3].args.empty());
}

TEST(PalvexProxyTest, OnlyAnAutomationTrueIsTrueAndARefusedCallIsFalse) {
    std::vector<Received> log;
    auto owned = std::make_unique<CRecordingDispatch>(log);
    CRecordingDispatch* dispatch = owned.get();
    CPalvex link(std::move(owned));

    dispatch->m_result = BoolResult(false);
    EXPECT_FALSE(link.SetLedProperty(0, 1, 1));
    dispatch->m_result.vt = VT_I2;
    dispatch->m_result.iVal = 1;
    EXPECT_FALSE(link.SetLedProperty(0, 1, 1));
    dispatch->m_result = BoolResult(true);
    dispatch->m_hr = DISP_E_MEMBERNOTFOUND;
    EXPECT_FALSE(link.SetLedProperty(0, 1, 1));
    dispatch->m_hr = S_OK;
    EXPECT_TRUE(link.SetLedProperty(0, 1, 1));

    CPalvex unbound;
    EXPECT_FALSE(unbound.IsBound());
    EXPECT_FALSE(unbound.ComInitial(1, 9600, 100));
    unbound.QKClose();
}

TEST(PalvexProxyTest, StringsGoBackToTheControlThatHandedThemOut) {
    std::vector<Received> log;
    auto owned = std::make_unique<CRecordingDispatch>(log);
    CRecordingDispatch* dispatch = owned.get();
    CPalvex link(std::move(owned));
    OLECHAR text[] = u"DDDD7200";
    link.FreeString(text);
    ASSERT_EQ(dispatch->m_freed.size(), 1u);
    EXPECT_EQ(dispatch->m_freed[0], text);
    link.FreeString(nullptr);
    EXPECT_EQ(dispatch->m_freed.size(), 1u) << "nothing to free";

    // A string result (none of the six methods gives one) goes back too.
    OLECHAR result[] = u"X";
    dispatch->m_result.vt = VT_BSTR;
    dispatch->m_result.bstrVal = result;
    EXPECT_FALSE(link.SetLedProperty(0, 1, 1));
    ASSERT_EQ(dispatch->m_freed.size(), 2u);
    EXPECT_EQ(dispatch->m_freed[1], result);
}

// The search tells a refused speed from an unusable port by the control's
// own failure text: only an open that failed on the speed is one.
TEST(PalvexProxyTest, ASpeedRefusalIsKnownByTheControlsFailureText) {
    using palvex::LinkErrorKind;
    using palvex::LinkOperation;
    for (auto kind = LinkErrorKind::None; kind <= LinkErrorKind::Unreachable;
         kind = static_cast<LinkErrorKind>(static_cast<int>(kind) + 1)) {
        for (const char* detail : {"", "COM3 does not take 28800 bit/s"}) {
            for (int err : {0, 22}) {
                const palvex::LinkError error{kind, err};
                EXPECT_EQ(IsSpeedRefusal(
                              palvex::LinkFailureText("COM3", LinkOperation::Open, error, detail)),
                          kind == LinkErrorKind::SpeedRefused)
                    << palvex::LinkFailureText("COM3", LinkOperation::Open, error, detail);
                EXPECT_FALSE(IsSpeedRefusal(
                    palvex::LinkFailureText("COM3", LinkOperation::Read, error, detail, 1, 3)));
            }
        }
    }
    EXPECT_FALSE(IsSpeedRefusal(""));
    EXPECT_FALSE(IsSpeedRefusal("COM3 open failed: speed refusedX"));
}

TEST(PalvexProxyTest, TheRealControlRefusesAnAbsentPortAndAScreenNumberAbove31) {
    ::setenv("PALVEX_COM8", "/nonexistent/dravel-test-port", 1);
    CPalvex link(CreateLinkControl());
    EXPECT_FALSE(link.ComInitial(8, 9600, 100));
    EXPECT_FALSE(link.ComInitial(1, 19200, 100)) << "not one of the five speeds";
    EXPECT_FALSE(link.SetLedProperty(32, 256, 64));
    EXPECT_TRUE(link.SetLedProperty(31, 512, 128));
    BSTR text = nullptr;
    EXPECT_FALSE(link.QKGetProperty(&text)) << "no link is open";
    EXPECT_EQ(text, nullptr);
    link.QKClose();
    ::unsetenv("PALVEX_COM8");
}

TEST(PalvexProxyTest, TheRealControlReadsAndWritesASimulatedCardAt57600) {
    SimulationOptions options;
    options.port = 3;
    options.baud = 57600;
    CSimulatedCard card(options);
    std::string error;
    ASSERT_TRUE(card.Start(error)) << error;

    CPalvex link(CreateLinkControl());
    ASSERT_TRUE(link.ComInitial(3, static_cast<short>(57600), 800));
    ASSERT_TRUE(link.SetLedProperty(0, 128, 64));
    BSTR text = nullptr;
    ASSERT_TRUE(link.QKGetProperty(&text));
    const std::string property = PropertyTextFromBstr(text);
    link.FreeString(text); // through the module that made it
    EXPECT_EQ(property.substr(0, 8), "DDDD7200");

    static const char configuration[] = "20004081";
    EXPECT_TRUE(link.QKSetProperty(reinterpret_cast<LONG_PTR>(configuration)));
    const auto block = card.Server().PropertyBlock();
    EXPECT_EQ(block[8], 0x20);
    EXPECT_EQ(block[9], 0x00);
    EXPECT_EQ(block[10], 0x40);
    EXPECT_EQ(block[11], 0x81);
    link.QKClose();
    EXPECT_TRUE(link.ComInitial(3, static_cast<short>(57600), 800)) << "QKClose released the port";
    link.QKClose();
}
