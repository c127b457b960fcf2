// A C++ host of the registered Palvex.ocx: it creates the control with
// CoCreateInstance and calls it through IDispatch only, in capture mode
// (SetSendFlag 0), where every method builds its frame without a link.
// Golden frames pin a few methods; every method of the table is also called
// through the control and through the dispatch table directly, and both must
// agree on the result and the frame.
#include "control/automation/dispatch_table.h"
#include "control/automation/palvex_win32.h"
#include "control/link/palvex_ctrl.h"
#include "control/palvex_facts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// Arguments in call order, turned into DISPPARAMS (last first).
struct Call {
    std::vector<VARIANT> args;
    DISPPARAMS Params() {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        m_reversed = reversed;
        return {m_reversed.data(), nullptr, static_cast<UINT>(m_reversed.size()), 0};
    }
    std::vector<VARIANT> m_reversed;
};

VARIANT I2(short v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I2;
    x.iVal = v;
    return x;
}
VARIANT I4(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT Addr(const void* p) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_ADDR;
    if (sizeof(void*) == 8)
        x.llVal = reinterpret_cast<LONG_PTR>(p);
    else
        x.lVal = static_cast<LONG>(reinterpret_cast<LONG_PTR>(p));
    return x;
}
VARIANT I2Ref(short* p) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I2 | VT_BYREF;
    x.piVal = p;
    return x;
}

// The first count captured bytes (one per short), in hex.
std::string Hex(const std::vector<short>& bytes, short count) {
    std::string hex;
    for (short i = 0; i < count; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned>(bytes[i] & 0xFF));
        hex += two;
    }
    return hex;
}

class DispatchHost : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&m_control)),
                  S_OK)
            << "is Palvex.ocx registered in the test prefix?";
        ASSERT_EQ(Invoke(m_control, "SetSendFlag", {I2(0)}).hr, S_OK);
    }
    void TearDown() override {
        if (m_control != nullptr) m_control->Release();
    }

    struct Outcome {
        HRESULT hr;
        VARIANT result;
        UINT argErr;
    };
    static Outcome Invoke(IDispatch* d, const char* name, std::vector<VARIANT> args) {
        std::wstring wide(name, name + std::strlen(name));
        LPOLESTR names[] = {wide.data()};
        DISPID id = 0;
        Outcome o{d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), {}, 99};
        if (FAILED(o.hr)) return o;
        Call call{std::move(args), {}};
        DISPPARAMS params = call.Params();
        VariantInit(&o.result);
        o.hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &o.result,
                         nullptr, &o.argErr);
        return o;
    }
    // The stored frame, in hex, through GetSendString.
    static std::string Frame(IDispatch* d) {
        short count = 0;
        std::vector<short> bytes(palvex::card::kCapturedFrameShorts);
        const Outcome o = Invoke(d, "GetSendString", {I2Ref(&count), I2Ref(bytes.data())});
        if (o.hr != S_OK || o.result.vt != VT_BOOL || o.result.boolVal != VARIANT_TRUE)
            return "<GetSendString failed>";
        return Hex(bytes, count);
    }

    ComApartment m_apartment;
    IDispatch* m_control = nullptr;
};

TEST_F(DispatchHost, BuildsTheGoldenFramesThroughTheRegisteredControl) {
    const char property[] = "20004081";
    struct Golden {
        const char* method;
        std::vector<VARIANT> args;
        const char* frame;
    } const goldens[] = {
        {"QKSetProperty", {Addr(property)}, "1B24514B303157000543200040810790"},
        {"SetRelay",
         {I2(1), I2(0), I2(1)},
         "1B24514B303157000453010001"
         "40F0"},
        {"Reset", {}, "1B24514B30315700015AC88E"},
    };
    ASSERT_EQ(Invoke(m_control, "SetLedProperty", {I2(1), I2(256), I2(64)}).hr, S_OK);
    for (const Golden& g : goldens) {
        const Outcome o = Invoke(m_control, g.method, g.args);
        ASSERT_EQ(o.hr, S_OK) << g.method;
        EXPECT_EQ(o.result.vt, VT_BOOL) << g.method;
        EXPECT_EQ(o.result.boolVal, VARIANT_TRUE) << g.method;
        EXPECT_EQ(Frame(m_control), g.frame) << g.method;
    }
}

TEST_F(DispatchHost, RefusesWhatStandardDispatchRefusesAndNamesTheArgument) {
    // A script's VT_I4 becomes a short when it fits, and is refused when not.
    EXPECT_EQ(Invoke(m_control, "SetBrightness", {I4(7)}).hr, S_OK);
    const Outcome big = Invoke(m_control, "SetRelay", {I2(1), I4(70000), I2(1)});
    EXPECT_EQ(big.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(big.argErr, 1u); // the second of three, counted from the last
    EXPECT_EQ(Invoke(m_control, "SetRelay", {I2(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(m_control, "NoSuchMethod", {}).hr, DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchHost, DescribesItselfThroughTheModulesTypeLibrary) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(m_control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, DIID__DPalvex));
    EXPECT_EQ(attr->cFuncs, palvex::AllDispatchEntries().size());
    info->ReleaseTypeAttr(attr);
    info->Release();
    IPalvexDiagnostics* diagnostics = nullptr;
    ASSERT_EQ(
        m_control->QueryInterface(IID_IPalvexDiagnostics, reinterpret_cast<void**>(&diagnostics)),
        S_OK);
    ULONG length = 1;
    char text[8];
    EXPECT_EQ(diagnostics->GetLastLinkError(text, sizeof text, &length), S_OK);
    EXPECT_EQ(length, 0u);
    diagnostics->Release();
}

// Arguments for any method of the table: small numbers, caller buffers as
// large as the method may read or write.
struct Buffers {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1 << 17, 0);
    std::vector<short> shorts = std::vector<short>(1 << 12, 1);
    short count = 0;
};

std::vector<VARIANT> SampleArguments(const palvex::DispatchEntry& e, Buffers& b) {
    std::vector<VARIANT> args;
    for (const palvex::DispatchParam& p : e.Params()) {
        if (p.vt == (VT_I2 | VT_BYREF))
            args.push_back(I2Ref(p.elements == 1 ? &b.count : b.shorts.data()));
        else if (std::string_view(p.name).starts_with("lp"))
            args.push_back(Addr(b.bytes.data()));
        else if (p.vt == (VT_BSTR | VT_BYREF))
            args.push_back({}); // filled by the caller
        else
            args.push_back(I2(1));
    }
    return args;
}

std::string DirectFrame(CPalvexCtrl& ctrl) {
    short count = 0;
    std::vector<short> bytes(palvex::card::kCapturedFrameShorts);
    if (!ctrl.GetSendString(&count, bytes.data())) return "<GetSendString failed>";
    return Hex(bytes, count);
}

TEST_F(DispatchHost, EveryMethodAnswersAsTheDispatchTableDoes) {
    CPalvexCtrl direct;
    direct.SetSendFlag(0);
    for (const palvex::DispatchEntry& e : palvex::AllDispatchEntries()) {
        if (std::string(e.name) == "QKGetProperty" || std::string(e.name) == "SendHZLib" ||
            std::string(e.name).ends_with("Initial"))
            continue; // a string out, a file read, links: covered elsewhere
        Buffers viaControl;
        Buffers viaTable;
        const Outcome got = Invoke(m_control, e.name, SampleArguments(e, viaControl));
        Call call{SampleArguments(e, viaTable), {}};
        DISPPARAMS params = call.Params();
        VARIANT wanted;
        VariantInit(&wanted);
        UINT argErr = 0;
        const HRESULT hr =
            palvex::InvokeMethod(direct, e.id, DISPATCH_METHOD, &params, &wanted, &argErr);
        EXPECT_EQ(got.hr, hr) << e.name;
        EXPECT_EQ(got.result.vt, wanted.vt) << e.name;
        EXPECT_EQ(got.result.iVal, wanted.iVal) << e.name;
        EXPECT_EQ(viaControl.count, viaTable.count) << e.name;
        EXPECT_EQ(viaControl.shorts, viaTable.shorts) << e.name;
        EXPECT_EQ(Frame(m_control), DirectFrame(direct)) << e.name;
    }
}

} // namespace
