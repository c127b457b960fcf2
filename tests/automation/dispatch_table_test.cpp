// The dispatch interface: identifiers, name lookup, argument checking and
// conversion, results. Effects are observed through capture mode: with
// SetSendFlag 0 and no link, every command builds its frame and stores it,
// and GetSendString hands the stored frame back.
#include "control/automation/dispatch_table.h"
#include "control/link/palvex_ctrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace palvex;

namespace {

VARIANT MakeI2(std::int16_t v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I2;
    x.iVal = v;
    return x;
}
VARIANT MakeI4(std::int32_t v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT MakeI8(std::int64_t v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I8;
    x.llVal = v;
    return x;
}
VARIANT MakeAddr(const void* p) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_ADDR;
    if constexpr (VT_ADDR == VT_I8)
        x.llVal = reinterpret_cast<LONG_PTR>(p);
    else
        x.lVal = static_cast<std::int32_t>(reinterpret_cast<LONG_PTR>(p));
    return x;
}
VARIANT MakeRef(VARTYPE vt, void* p) {
    VARIANT x;
    VariantInit(&x);
    x.vt = static_cast<VARTYPE>(vt | VT_BYREF);
    x.byref = p;
    return x;
}

// Owns the strings of VT_BSTR arguments a test builds.
struct Strings {
    std::vector<BSTR> owned;
    ~Strings() {
        for (BSTR s : owned)
            SysFreeString(s);
    }
    VARIANT Make(const char* text) {
        VARIANT x;
        VariantInit(&x);
        x.vt = VT_BSTR;
        x.bstrVal = BstrFromBytes(text);
        owned.push_back(x.bstrVal);
        return x;
    }
};

struct Outcome {
    HRESULT hr;
    VARIANT result;
    unsigned argErr;
};

constexpr unsigned kArgErrUntouched = 0xDEADu;

class DispatchTest : public ::testing::Test {
  protected:
    // Invokes with the arguments in parameter order; they are laid out
    // last-first in rgvarg as an automation caller does.
    Outcome Invoke(DISPID id, std::vector<VARIANT> paramOrder,
                   std::uint16_t flags = DISPATCH_METHOD) {
        std::reverse(paramOrder.begin(), paramOrder.end());
        DISPPARAMS dp{paramOrder.data(), nullptr, static_cast<unsigned>(paramOrder.size()), 0};
        Outcome o;
        VariantInit(&o.result);
        o.result.vt = VT_VOID; // so a result left unwritten shows
        o.argErr = kArgErrUntouched;
        o.hr = InvokeMethod(ctrl, id, flags, &dp, &o.result, &o.argErr);
        return o;
    }

    // Capture mode on a 256x64 screen at card 1, all through the table.
    void EnterCapture() {
        ASSERT_EQ(Invoke(40, {MakeI2(0)}).hr, S_OK);
        const Outcome o = Invoke(4, {MakeI2(1), MakeI2(256), MakeI2(64)});
        ASSERT_EQ(o.hr, S_OK);
        ASSERT_EQ(o.result.boolVal, VARIANT_TRUE);
    }

    // The stored frame, read back through GetSendString (identifier 39).
    std::vector<std::uint8_t> LastFrame() {
        std::int16_t count = -1;
        std::vector<std::int16_t> buffer(1600, 0);
        const Outcome o = Invoke(39, {MakeRef(VT_I2, &count), MakeRef(VT_I2, buffer.data())});
        EXPECT_EQ(o.hr, S_OK);
        EXPECT_EQ(o.result.vt, VT_BOOL);
        EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
        std::vector<std::uint8_t> frame;
        for (int i = 0; i < count; ++i)
            frame.push_back(static_cast<std::uint8_t>(buffer[i]));
        return frame;
    }

    // The control is armed: GetSendString answers.
    bool Armed() {
        std::int16_t count = -1;
        std::vector<std::int16_t> buffer(1600, 0);
        return ctrl.GetSendString(&count, buffer.data()) != FALSE;
    }

    // Capture mode is on: with no link, an armed control reports a command
    // as done instead of failing it. Arms the control to find out.
    bool Capturing() {
        if (!ctrl.SetLedProperty(1, 256, 64)) return false;
        return ctrl.Reset() != FALSE;
    }

    // The screen the control is armed with, as its frames show it: the card
    // number in a picture frame's address, the width in its length, and the
    // step count. Turns capture mode on to build the frame.
    struct Screen {
        int num, width, steps;
        bool operator==(const Screen&) const = default;
    };
    Screen ArmedScreen() {
        ctrl.SetSendFlag(0);
        std::vector<std::uint8_t> picture(CPalvexCtrl::kPictureBufferSize, 0);
        if (!ctrl.SendPicture(0, 0, reinterpret_cast<LONG_PTR>(picture.data())))
            return {-1, -1, -1};
        const std::vector<std::uint8_t> f = LastFrame();
        if (f.size() < 14) return {-1, -1, -1};
        const int num = std::stoi(std::string(f.begin() + 4, f.begin() + 6), nullptr, 16);
        return {num, static_cast<int>(f.size()) - 14, ctrl.GetSendStepNum()};
    }

    CPalvexCtrl ctrl;
};

// ---------------------------------------------------------------------------

TEST(DispatchTableContents, CarriesTheInterfaceIdentifiersNamesAndTypes) {
    struct Expected {
        DISPID id;
        const char* name;
        std::vector<std::pair<std::string, VARTYPE>> params;
        VARTYPE result;
    };
    const VARTYPE i2 = VT_I2, i4 = VT_I4, addr = VT_ADDR;
    const VARTYPE i2Ref = VT_I2 | VT_BYREF, bstrRef = VT_BSTR | VT_BYREF;
    const std::vector<Expected> expected = {
        {1,
         "NetInitial",
         {{"LocalPort", i2}, {"RemoteIP", i4}, {"RemotePort", i2}, {"WaitTime", i2}},
         VT_BOOL},
        {2, "ComInitial", {{"ComPort", i2}, {"BaudRate", i2}, {"WaitTime", i2}}, VT_BOOL},
        {4, "SetLedProperty", {{"LedNum", i2}, {"LedWidth", i2}, {"LedHeight", i2}}, VT_BOOL},
        {9, "QKClose", {}, VT_VOID},
        {11, "QKGetProperty", {{"bStr", bstrRef}}, VT_BOOL},
        {31, "GetVersion", {}, VT_I2},
        {35, "SetCommTimeOut", {{"Seconds", i2}}, VT_BOOL},
        {37, "QKSetup", {{"lpProperty", addr}}, VT_BOOL},
        {38, "QKSetProperty", {{"lpProperty", addr}}, VT_BOOL},
        {39, "GetSendString", {{"lpCount", i2Ref}, {"lpRetBuff", i2Ref}}, VT_BOOL},
        {40, "SetSendFlag", {{"SendOrNot", i2}}, VT_VOID},
    };
    for (const Expected& x : expected) {
        const DispatchEntry* e = FindEntryById(x.id);
        ASSERT_NE(e, nullptr) << x.name;
        EXPECT_STREQ(e->name, x.name);
        EXPECT_EQ(e->result, x.result) << x.name;
        ASSERT_EQ(e->Params().size(), x.params.size()) << x.name;
        for (std::size_t i = 0; i < x.params.size(); ++i) {
            EXPECT_EQ(e->params[i].name, x.params[i].first) << x.name;
            EXPECT_EQ(e->params[i].vt, x.params[i].second) << x.name << " " << x.params[i].first;
        }
    }
    // Enumeration gives the same entries in identifier order.
    const auto all = AllDispatchEntries();
    ASSERT_GE(all.size(), expected.size());
    for (std::size_t i = 1; i < all.size(); ++i)
        EXPECT_LT(all[i - 1].id, all[i].id);
    for (const DispatchEntry& e : all)
        EXPECT_EQ(FindEntryById(e.id), &e);
}

// ---------------------------------------------------------------------------

TEST(NameLookup, FindsMethodsWhateverTheCase) {
    DISPID id = 0;
    EXPECT_EQ(GetIdOfName("QKSetup", &id), S_OK);
    EXPECT_EQ(id, 37);
    EXPECT_EQ(GetIdOfName("QKSetProperty", &id), S_OK);
    EXPECT_EQ(id, 38);
    EXPECT_EQ(GetIdOfName("qksetproperty", &id), S_OK);
    EXPECT_EQ(id, 38);
    EXPECT_EQ(GetIdOfName("QKSETUP", &id), S_OK);
    EXPECT_EQ(id, 37);
    EXPECT_EQ(GetIdOfName("getSendString", &id), S_OK);
    EXPECT_EQ(id, 39);
}

TEST(NameLookup, RefusesUnknownNamesAndPrefixes) {
    for (const char* name : {"QKSetu", "QKSetupX", "", "Bogus", "QK Setup"}) {
        DISPID id = 0;
        EXPECT_EQ(GetIdOfName(name, &id), DISP_E_UNKNOWNNAME) << name;
        EXPECT_EQ(id, DISPID_UNKNOWN) << name;
        EXPECT_EQ(FindEntryByName(name), nullptr) << name;
    }
}

TEST(NameLookup, ResolvesWideNamesAndParameterPositions) {
    const OLECHAR* names[] = {u"setledproperty", u"LEDHEIGHT", u"LedNum"};
    DISPID ids[3] = {};
    EXPECT_EQ(GetIDsOfNames(names, 3, ids), S_OK);
    EXPECT_EQ(ids[0], 4);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);

    const OLECHAR* withUnknownParam[] = {u"SetLedProperty", u"Depth"};
    EXPECT_EQ(GetIDsOfNames(withUnknownParam, 2, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 4);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    const OLECHAR* unknownMethod[] = {u"QKSetupX"};
    EXPECT_EQ(GetIDsOfNames(unknownMethod, 1, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

// ---------------------------------------------------------------------------

TEST_F(DispatchTest, Identifier31ReachesGetVersion) {
    EnterCapture();
    const Outcome o = Invoke(31, {});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_I2);
    EXPECT_EQ(o.result.iVal, 0); // captured: no version known
    const auto frame = LastFrame();
    ASSERT_EQ(frame.size(), 12u);
    EXPECT_EQ(frame[9], 'A'); // the property read
}

TEST_F(DispatchTest, Identifier38ReachesQKSetProperty) {
    EnterCapture();
    const char text[] = "20004081";
    const Outcome o = Invoke(38, {MakeAddr(text)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_BOOL);
    EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
    const std::vector<std::uint8_t> expected = {0x1B, 0x24, 0x51, 0x4B, 0x30, 0x31, 0x57, 0x00,
                                                0x05, 0x43, 0x20, 0x00, 0x40, 0x81, 0x07, 0x90};
    EXPECT_EQ(LastFrame(), expected);
}

TEST_F(DispatchTest, Identifier37ReachesQKSetupNot38) {
    EnterCapture();
    const char text[] = "20004081";
    ASSERT_EQ(Invoke(37, {MakeAddr(text)}).hr, S_OK);
    const auto frame = LastFrame();
    ASSERT_GT(frame.size(), 10u);
    EXPECT_EQ(frame[9], 'B');
}

TEST_F(DispatchTest, RefusesIdentifiersOutsideTheInterface) {
    for (DISPID id : {32, 0, 41, -1, 1000}) {
        const Outcome o = Invoke(id, {});
        EXPECT_EQ(o.hr, DISP_E_MEMBERNOTFOUND) << id;
        EXPECT_EQ(o.result.vt, VT_VOID) << id; // result left alone
    }
}

TEST_F(DispatchTest, RefusesCallsThatAreNotMethodCalls) {
    EXPECT_EQ(Invoke(31, {}, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(31, {}, 0).hr, DISP_E_MEMBERNOTFOUND);
    // Hosts that do not know whether a name is a method send both flags.
    EXPECT_EQ(Invoke(31, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).hr, S_OK);
}

// Named arguments come first in rgvarg, each with the parameter position
// GetIDsOfNames gives its name; positional ones follow, last-first.
TEST_F(DispatchTest, TakesNamedArgumentsInAnyOrderMixedWithPositionalOnes) {
    ASSERT_EQ(Invoke(40, {MakeI2(0)}).hr, S_OK);
    struct Case {
        const char* what;
        std::vector<VARIANT> rgvarg;
        std::vector<DISPID> named;
    };
    const Case cases[] = {
        {"all named, in reverse", {MakeI2(1), MakeI2(256), MakeI2(64)}, {0, 1, 2}},
        {"all named, shuffled", {MakeI2(256), MakeI2(64), MakeI2(1)}, {1, 2, 0}},
        {"one positional, two named", {MakeI2(64), MakeI2(256), MakeI2(1)}, {2, 1}},
    };
    for (const Case& c : cases) {
        VARIANT rg[3];
        std::copy(c.rgvarg.begin(), c.rgvarg.end(), rg);
        std::vector<DISPID> named = c.named;
        DISPPARAMS dp{rg, named.data(), 3, static_cast<unsigned>(named.size())};
        VARIANT result;
        VariantInit(&result);
        ASSERT_EQ(InvokeMethod(ctrl, 4, DISPATCH_METHOD, &dp, &result, nullptr), S_OK) << c.what;
        EXPECT_EQ(result.boolVal, VARIANT_TRUE) << c.what;
        EXPECT_EQ(ArmedScreen(), (Screen{1, 256, 64})) << c.what;
        ASSERT_EQ(Invoke(4, {MakeI2(2), MakeI2(128), MakeI2(32)}).hr, S_OK);
    }
}

TEST_F(DispatchTest, RefusesANamedArgumentNoParameterHasOrAParameterGivenTwice) {
    EnterCapture();
    // A position past the parameters, the property-put identifier, one
    // position twice, and (with one positional argument, LedNum) a name for
    // the positional one.
    const std::vector<DISPID> bad[] = {{3}, {-3}, {0, 0}, {2, 2}, {0, 1}};
    for (const std::vector<DISPID>& named : bad) {
        VARIANT rg[3] = {MakeI2(64), MakeI2(128), MakeI2(2)};
        std::vector<DISPID> ids = named;
        DISPPARAMS dp{rg, ids.data(), 3, static_cast<unsigned>(ids.size())};
        unsigned argErr = kArgErrUntouched;
        EXPECT_EQ(InvokeMethod(ctrl, 4, DISPATCH_METHOD, &dp, nullptr, &argErr),
                  DISP_E_PARAMNOTFOUND)
            << named.front();
        EXPECT_LT(argErr, ids.size());
    }
    EXPECT_EQ(ArmedScreen(), (Screen{1, 256, 64}));
}

TEST_F(DispatchTest, RefusesWrongArgumentCountsWithoutStateChange) {
    EnterCapture();
    // SetLedProperty clears the property flag first thing when it runs, even
    // for values it refuses; a refused invoke must not get that far.
    EXPECT_EQ(Invoke(4, {MakeI2(40), MakeI2(256)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(4, {MakeI2(40), MakeI2(256), MakeI2(64), MakeI2(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(4, {}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_TRUE(Armed());
    EXPECT_EQ(ArmedScreen(), (Screen{1, 256, 64}));

    EXPECT_EQ(Invoke(40, {}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(31, {MakeI2(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(9, {MakeI2(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_TRUE(Armed()); // QKClose did not run
}

TEST_F(DispatchTest, TakesArgumentsLastFirst) {
    // rgvarg[cArgs-1] is the first parameter: this lays out LedNum=1,
    // LedWidth=256, LedHeight=64 by hand.
    VARIANT rg[3] = {MakeI2(64), MakeI2(256), MakeI2(1)};
    DISPPARAMS dp{rg, nullptr, 3, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(InvokeMethod(ctrl, 4, DISPATCH_METHOD, &dp, &result, nullptr), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ArmedScreen(), (Screen{1, 256, 64}));
}

TEST_F(DispatchTest, ConvertsIntegerTypesTextAndReferencesForValueParameters) {
    Strings s;
    std::int32_t height = 64;
    const Outcome o = Invoke(4, {s.Make(" 3 "), MakeI8(300), MakeRef(VT_I4, &height)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ArmedScreen(), (Screen{3, 300, 64}));
}

// What Automation makes of each kind of value for a 16-bit parameter:
// integers as they are, fractions to the nearest integer with halves to the
// even one, numeric text in its usual forms, Empty as 0.
TEST_F(DispatchTest, ConvertsValuesAsAutomationDoes) {
    EnterCapture();
    Strings s;
    auto of = [](VARTYPE vt, auto set) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        set(v);
        return v;
    };
    double half = 2.5;
    VARIANT empty;
    VariantInit(&empty);
    const struct {
        const char* what;
        VARIANT v;
        short expected;
    } cases[] = {
        {"VT_UI1", of(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), 200},
        {"VT_I1", of(VT_I1, [](VARIANT& v) { v.cVal = -10; }), -10},
        {"VT_UI2", of(VT_UI2, [](VARIANT& v) { v.uiVal = 32767; }), 32767},
        {"VT_UI4", of(VT_UI4, [](VARIANT& v) { v.ulVal = 12; }), 12},
        {"VT_UI8", of(VT_UI8, [](VARIANT& v) { v.ullVal = 7; }), 7},
        {"VT_INT", of(VT_INT, [](VARIANT& v) { v.intVal = -5; }), -5},
        {"VT_UINT", of(VT_UINT, [](VARIANT& v) { v.uintVal = 9; }), 9},
        {"VT_BOOL", of(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), -1},
        {"VT_I4 lowest", MakeI4(-32768), -32768},
        {"Double 2.5", of(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }), 2},
        {"Double 3.5", of(VT_R8, [](VARIANT& v) { v.dblVal = 3.5; }), 4},
        {"Double -2.5", of(VT_R8, [](VARIANT& v) { v.dblVal = -2.5; }), -2},
        {"Double 299.7", of(VT_R8, [](VARIANT& v) { v.dblVal = 299.7; }), 300},
        {"Single 1.5", of(VT_R4, [](VARIANT& v) { v.fltVal = 1.5f; }), 2},
        {"Currency 2.5", of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 25000; }), 2},
        {"Currency 1.5", of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 15000; }), 2},
        {"Currency 12", of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 120000; }), 12},
        {"Double by reference", MakeRef(VT_R8, &half), 2},
        {"Empty", empty, 0},
        {"text 2.5", s.Make("2.5"), 2},
        {"text 1e3", s.Make("1e3"), 1000},
        {"text 1.5e1", s.Make("1.5e1"), 15},
        {"text 1,000", s.Make("1,000"), 1000},
        {"text (5)", s.Make("(5)"), -5},
        {"text 5-", s.Make("5-"), -5},
        {"text - 1", s.Make("- 1"), -1},
        {"text $5", s.Make("$5"), 5},
        {"text &H7FFF", s.Make("&H7FFF"), 32767},
        {"text &O17", s.Make("&O17"), 15},
        {"text .5", s.Make(".5"), 0},
        {"text 0.51", s.Make("0.51"), 1},
        {"text tab 7", s.Make("\t7 "), 7},
    };
    for (const auto& k : cases) {
        // A vertical line at x = v: the frame carries the 16 bits of x twice.
        const Outcome r = Invoke(24, {MakeI2(0), k.v, MakeI2(0), k.v, MakeI2(1), MakeI2(1)});
        ASSERT_EQ(r.hr, S_OK) << k.what;
        ASSERT_EQ(r.result.boolVal, VARIANT_TRUE) << k.what;
        const std::vector<std::uint8_t> f = LastFrame();
        ASSERT_EQ(f.size(), 22u) << k.what;
        EXPECT_EQ(static_cast<short>((f[11] << 8) | f[12]), k.expected) << k.what;
    }
}

// A speed or a TCP port travels as its unsigned 16-bit pattern, so a script
// may write it as it is: 57600 arrives as a 32-bit integer.
TEST_F(DispatchTest, TakesSpeedsAndPortsAboveTheSignedRangeAsTheirPattern) {
    for (std::int32_t speed : {38400, 57600, 65535}) {
        const Outcome o = Invoke(2, {MakeI2(0), MakeI4(speed), MakeI2(100)});
        EXPECT_EQ(o.hr, S_OK) << speed; // the method ran (and found no COM0)
        EXPECT_EQ(o.result.boolVal, VARIANT_FALSE) << speed;
    }
    for (std::int32_t speed : {65536, -32769}) {
        const Outcome o = Invoke(2, {MakeI2(0), MakeI4(speed), MakeI2(100)});
        EXPECT_EQ(o.hr, DISP_E_OVERFLOW) << speed;
        EXPECT_EQ(o.argErr, 1u) << speed;
    }
    const Outcome port = Invoke(1, {MakeI4(40123), MakeI4(0), MakeI4(40123), MakeI2(20)});
    EXPECT_EQ(port.hr, S_OK);
    const Outcome wait = Invoke(2, {MakeI2(0), MakeI2(9600), MakeI4(40000)});
    EXPECT_EQ(wait.hr, DISP_E_OVERFLOW); // a wait time is a signed short
    EXPECT_EQ(wait.argErr, 0u);
}

TEST_F(DispatchTest, RefusesUnconvertibleArgumentsNamingTheArgument) {
    EnterCapture();
    Strings s;
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    VARIANT nullRef = MakeRef(VT_I2, nullptr);
    VARIANT voidType;
    VariantInit(&voidType);
    voidType.vt = VT_VOID;

    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    const VARIANT bad[] = {null,          nullText,       s.Make("12x"), s.Make(""), s.Make("0x10"),
                           s.Make("1 000"), s.Make("e1"), s.Make("1e"), nullRef,    voidType};
    for (const VARIANT& v : bad) {
        // LedNum is the first parameter: the last element of rgvarg.
        Outcome o = Invoke(4, {v, MakeI2(256), MakeI2(64)});
        EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH) << v.vt;
        EXPECT_EQ(o.argErr, 2u) << v.vt;
        // LedHeight is the last parameter: rgvarg[0].
        o = Invoke(4, {MakeI2(1), MakeI2(256), v});
        EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH) << v.vt;
        EXPECT_EQ(o.argErr, 0u) << v.vt;
    }
    EXPECT_TRUE(Armed());
    EXPECT_EQ(ArmedScreen().num, 1);
}

TEST_F(DispatchTest, RefusesByReferenceParametersOfAnyOtherType) {
    EnterCapture();
    std::int16_t count = 0;
    std::int32_t wideCount = 0;
    std::int16_t buffer[1600] = {};
    Outcome o = Invoke(39, {MakeRef(VT_I4, &wideCount), MakeRef(VT_I2, buffer)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 1u);
    o = Invoke(39, {MakeRef(VT_I2, &count), MakeI2(0)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 0u);

    Strings s;
    o = Invoke(11, {s.Make("x")}); // a string, not a reference to one
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 0u);
    o = Invoke(11, {MakeRef(VT_I2, &count)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, RefusesValuesThatDoNotFitTheParameter) {
    EnterCapture();
    Strings s;
    VARIANT huge;
    VariantInit(&huge);
    huge.vt = VT_UI8;
    huge.ullVal = 0xFFFFFFFFFFFFFFFFull;
    VARIANT ui2;
    VariantInit(&ui2);
    ui2.vt = VT_UI2;
    ui2.uiVal = 40000;
    const VARIANT tooBig[] = {MakeI4(32768),
                              MakeI4(-32769),
                              s.Make("70000"),
                              s.Make("99999999999999999999999"),
                              huge,
                              ui2};
    for (const VARIANT& v : tooBig) {
        const Outcome o = Invoke(4, {MakeI2(1), v, MakeI2(64)});
        EXPECT_EQ(o.hr, DISP_E_OVERFLOW) << v.vt;
        EXPECT_EQ(o.argErr, 1u) << v.vt;
    }
    EXPECT_TRUE(Armed());
    EXPECT_EQ(ArmedScreen().width, 256);

    // RemoteIP is 32 bits wide.
    const Outcome o = Invoke(1, {MakeI2(0), MakeI8(INT64_C(1) << 32), MakeI2(7000), MakeI2(100)});
    EXPECT_EQ(o.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(o.argErr, 2u);
    EXPECT_FALSE(ctrl.IsLinkOpen());
}

TEST_F(DispatchTest, ReturnsFalseAsVariantFalseNotAsAnError) {
    const Outcome refused = Invoke(4, {MakeI2(40), MakeI2(256), MakeI2(64)});
    EXPECT_EQ(refused.hr, S_OK);
    EXPECT_EQ(refused.result.vt, VT_BOOL);
    EXPECT_EQ(refused.result.boolVal, VARIANT_FALSE);

    const Outcome accepted = Invoke(4, {MakeI2(1), MakeI2(256), MakeI2(64)});
    EXPECT_EQ(accepted.result.vt, VT_BOOL);
    EXPECT_EQ(accepted.result.boolVal, VARIANT_TRUE);
}

TEST_F(DispatchTest, ReturnsShortAndEmptyResults) {
    // No link and no screen: the version read fails with -1.
    Outcome o = Invoke(31, {});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_I2);
    EXPECT_EQ(o.result.iVal, -1);

    o = Invoke(40, {MakeI2(0)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_EMPTY);
    EXPECT_TRUE(Capturing());

    o = Invoke(9, {});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_EMPTY);
    EXPECT_FALSE(Capturing()); // QKClose restores sending
}

TEST_F(DispatchTest, RunsWithoutResultOrArgErrStorage) {
    VARIANT arg = MakeI2(0);
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    EXPECT_EQ(InvokeMethod(ctrl, 40, DISPATCH_METHOD, &dp, nullptr, nullptr), S_OK);
    EXPECT_TRUE(Capturing());
    Strings s;
    VARIANT bad = s.Make("x");
    DISPPARAMS badDp{&bad, nullptr, 1, 0};
    EXPECT_EQ(InvokeMethod(ctrl, 40, DISPATCH_METHOD, &badDp, nullptr, nullptr),
              DISP_E_TYPEMISMATCH);
}

// The caller's string is in and out: the control frees the one it held (a
// leak here fails the sanitizer build) and hands over a new one.
TEST_F(DispatchTest, HandsOverTheStringOfQKGetPropertyInPlaceOfTheOldOne) {
    EnterCapture();
    for (const char* before : {"", "an old text"}) {
        BSTR got = *before != '\0' ? BstrFromBytes(before) : nullptr;
        const Outcome o = Invoke(11, {MakeRef(VT_BSTR, &got)});
        ASSERT_EQ(o.hr, S_OK);
        EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
        ASSERT_NE(got, nullptr); // captured: an empty text, but a string
        EXPECT_EQ(SysStringLen(got), 0u);
        SysFreeString(got);
        EXPECT_EQ(LastFrame()[9], 'A');
    }
    VARIANT variable;
    VariantInit(&variable);
    variable.vt = VT_BSTR;
    variable.bstrVal = BstrFromBytes("a script's old text");
    VARIANT ref{};
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &variable;
    ASSERT_EQ(Invoke(11, {ref}).hr, S_OK);
    ASSERT_EQ(variable.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(variable.bstrVal), 0u);
    VariantClear(&variable);
}

TEST_F(DispatchTest, LeavesTheHostsStringAloneWhenQKGetPropertyFails) {
    ASSERT_EQ(Invoke(4, {MakeI2(1), MakeI2(256), MakeI2(64)}).hr, S_OK); // armed, no link
    BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
    BSTR got = sentinel;
    const Outcome o = Invoke(11, {MakeRef(VT_BSTR, &got)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(got, sentinel);
}

} // namespace

namespace {

VARIANT VariantRef(VARIANT* inner) {
    VARIANT v{};
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = inner;
    return v;
}

// What script hosts pass for a variable: a reference to a variant. The
// method's value lands in the variable, typed as the method gives it, and
// an array parameter refuses it (one variant cannot hold what is written).
TEST_F(DispatchTest, TakesScriptVariablesByReferenceAndGivesThemTheMethodsValue) {
    EnterCapture();
    VARIANT text{};
    text.vt = VT_I2; // a variable that held a number before
    text.iVal = 5;
    Outcome o = Invoke(11, {VariantRef(&text)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(text.bstrVal), 0u); // captured: an empty text
    VariantClear(&text);

    VARIANT count{};
    std::int16_t buffer[1600] = {};
    o = Invoke(39, {VariantRef(&count), MakeRef(VT_I2, buffer)});
    ASSERT_EQ(o.hr, S_OK);
    EXPECT_EQ(count.vt, VT_I2);
    EXPECT_EQ(count.iVal, static_cast<std::int16_t>(LastFrame().size()));

    VARIANT array{};
    std::int16_t count2 = 0;
    o = Invoke(39, {MakeRef(VT_I2, &count2), VariantRef(&array)});
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 0u);
    EXPECT_EQ(array.vt, VT_EMPTY);

    // A variable given for a value parameter passes its value.
    VARIANT brightness{};
    brightness.vt = VT_I4;
    brightness.lVal = 70000;
    o = Invoke(14, {VariantRef(&brightness)});
    EXPECT_EQ(o.hr, DISP_E_OVERFLOW);
    brightness.lVal = 7;
    EXPECT_EQ(Invoke(14, {VariantRef(&brightness)}).hr, S_OK);
}

} // namespace
