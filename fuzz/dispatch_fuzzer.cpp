// The dispatch interface with arbitrary identifiers, flags, argument counts
// and VARIANT arguments built from the input, on one control per input that
// runs either in capture mode (SetSendFlag 0 first, no link) or over a
// transport that plays the card from the input. Nothing touches a device: the
// three methods that open a port or a connection are left out.
//
// Caller storage is what a careful host would pass: every by-reference
// argument and every address points at a buffer of its own, allocated at
// exactly the size the method's contract asks for, so that AddressSanitizer
// reports any access beyond it. Addresses are never taken from the input.
//
// Checked beyond "no crash": a refused call reports an argument index inside
// the argument list; results have the declared type; a string handed back is
// a well-formed string (and is freed, so a leak would show).
#include "control/automation/dispatch_table.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/frame.h"
#include "fuzz/fuzz_sandbox.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace palvex;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "dispatch_fuzzer: %s\n", what);
    std::abort();
}

// The card, played from the input: mostly the right reply, sometimes bytes
// from the input, a short read or silence.
class CFuzzCard : public ILinkTransport {
  public:
    FuzzedDataProvider* in = nullptr;
    std::vector<std::uint8_t> frame;

    int MaxAttempts() const override { return 5; }
    void Purge() override {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        frame.assign(data, data + n);
        return in->ConsumeIntegralInRange<int>(0, 31) != 0;
    }
    int PerByteMs() const override { return 4; }
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n, const palvex::CDeadline&) override {
        std::size_t k = 0;
        switch (in->ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
        case 1:
        case 2:
            buf[k++] = static_cast<std::uint8_t>(n - 1);
            if (n == 6 && !IsDataReplyLetter(frame[kPayloadOffset])) {
                ExpectedAck(frame.data(), buf + 1);
                k = 6;
            }
            while (k < n)
                buf[k++] = in->ConsumeIntegral<std::uint8_t>();
            break;
        case 3:
            while (k < n)
                buf[k++] = in->ConsumeIntegral<std::uint8_t>();
            break;
        case 4:
            for (std::size_t short_ = in->ConsumeIntegralInRange<std::size_t>(0, n - 1);
                 k < short_;)
                buf[k++] = in->ConsumeIntegral<std::uint8_t>();
            break;
        default:
            break;
        }
        return k;
    }
    const char* Describe() const override { return "fuzz"; }
};

class CFuzzControl : public CPalvexCtrl {
  public:
    CFuzzCard card;
};

// Storage that outlives one call: heap blocks of exact sizes and strings.
struct CallStorage {
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
    std::vector<BSTR> strings;
    std::vector<BSTR*> stringOuts;

    ~CallStorage() {
        for (BSTR s : strings)
            SysFreeString(s);
        for (BSTR* out : stringOuts)
            if (*out != nullptr) SysFreeString(*out);
    }
    std::uint8_t* Block(std::size_t bytes) {
        blocks.push_back(std::make_unique<std::uint8_t[]>(bytes));
        std::memset(blocks.back().get(), 0, bytes);
        return blocks.back().get();
    }
    BSTR Text(std::u16string_view s) {
        strings.push_back(SysAllocStringLen(s.data(), static_cast<unsigned>(s.size())));
        return strings.back();
    }
};

constexpr VARTYPE kIntegerTypes[] = {VT_I1,  VT_I2,  VT_I4,  VT_I8,   VT_UI1, VT_UI2,
                                     VT_UI4, VT_UI8, VT_INT, VT_UINT, VT_BOOL};

std::u16string Widen(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Stores v cut to the width of T.
template <class T> void StoreAs(std::int64_t v, void* at) {
    const auto x = static_cast<T>(v);
    std::memcpy(at, &x, sizeof x);
}

// Stores v in the union as type vt (an integer type).
void StoreInteger(VARTYPE vt, std::int64_t v, void* at) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return StoreAs<std::uint8_t>(v, at);
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return StoreAs<std::uint16_t>(v, at);
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return StoreAs<std::uint32_t>(v, at);
    default:
        return StoreAs<std::int64_t>(v, at);
    }
}

// The value an integer type reads back from what StoreInteger stored.
std::optional<std::int64_t> ReadBack(VARTYPE vt, std::int64_t v) {
    switch (vt) {
    case VT_I1:
        return static_cast<std::int8_t>(v);
    case VT_UI1:
        return static_cast<std::uint8_t>(v);
    case VT_I2:
    case VT_BOOL:
        return static_cast<std::int16_t>(v);
    case VT_UI2:
        return static_cast<std::uint16_t>(v);
    case VT_I4:
    case VT_INT:
        return static_cast<std::int32_t>(v);
    case VT_UI4:
    case VT_UINT:
        return static_cast<std::uint32_t>(v);
    case VT_UI8:
        if (v < 0) return std::nullopt;
        return v;
    default:
        return v;
    }
}

// An integer argument in one of the forms Invoke may receive; returns the
// value the control will see when the form converts (nullopt: unknown or a
// form that is refused).
std::optional<std::int64_t> MakeInteger(FuzzedDataProvider& in, CallStorage& st, VARIANT& v) {
    std::int64_t value;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        value = in.ConsumeIntegralInRange<std::int64_t>(-3, 140);
        break;
    case 1:
        value = in.ConsumeIntegral<std::int16_t>();
        break;
    case 2:
        value = in.ConsumeIntegral<std::int32_t>();
        break;
    default:
        value = in.ConsumeIntegral<std::int64_t>();
        break;
    }
    const int form = in.ConsumeIntegralInRange<int>(0, 7);
    if (form <= 3) { // by value
        const VARTYPE vt =
            kIntegerTypes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kIntegerTypes) - 1)];
        v.vt = vt;
        v.llVal = 0;
        StoreInteger(vt, value, &v.llVal);
        return ReadBack(vt, value);
    }
    if (form <= 5) { // by reference to an integer of the caller
        const VARTYPE vt =
            kIntegerTypes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kIntegerTypes) - 1)];
        std::uint8_t* cell = st.Block(8);
        StoreInteger(vt, value, cell);
        v.vt = static_cast<VARTYPE>(vt | VT_BYREF);
        v.byref = cell;
        return ReadBack(vt, value);
    }
    if (form == 6) { // decimal text, possibly padded, or any text
        v.vt = VT_BSTR;
        if (in.ConsumeBool()) {
            const std::string text =
                std::string(in.ConsumeIntegralInRange<std::size_t>(0, 2), ' ') +
                std::to_string(value) +
                std::string(in.ConsumeIntegralInRange<std::size_t>(0, 2), ' ');
            v.bstrVal = st.Text(Widen(text));
            return value;
        }
        v.bstrVal = st.Text(Widen(in.ConsumeRandomLengthString(24)));
        return std::nullopt;
    }
    // Any type tag at all, with storage behind it if it claims a reference.
    v.vt = in.ConsumeIntegral<std::uint16_t>();
    if ((v.vt & VT_BYREF) != 0) {
        v.byref = st.Block(16);
    } else if (v.vt == VT_BSTR) {
        v.bstrVal = st.Text(Widen(in.ConsumeRandomLengthString(24)));
    } else {
        v.llVal = value;
    }
    return std::nullopt;
}

// Zero-terminated text of the caller, from the input.
std::uint8_t* MakeText(FuzzedDataProvider& in, CallStorage& st, std::size_t maxLen) {
    const std::string s = in.ConsumeRandomLengthString(maxLen);
    std::uint8_t* block = st.Block(s.size() + 1);
    std::memcpy(block, s.data(), s.size());
    return block;
}

// Bytes of the caller, from the input (the rest stays zero).
std::uint8_t* MakeBytes(FuzzedDataProvider& in, CallStorage& st, std::size_t size) {
    std::uint8_t* block = st.Block(size);
    const std::vector<std::uint8_t> fill =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, size));
    if (!fill.empty()) std::memcpy(block, fill.data(), fill.size());
    return block;
}

// The address parameter of a method: a buffer of the size the method's
// contract asks for, or null. `earlier` holds the values of the parameters
// before it, when known.
void* AddressArgument(FuzzedDataProvider& in, CallStorage& st, const CFuzzControl& ctrl,
                      std::string_view method, std::string_view param,
                      const std::vector<std::optional<std::int64_t>>& earlier) {
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) return nullptr;
    const auto count = [&](std::size_t limit) -> std::size_t {
        if (earlier.empty() || !earlier[0] || *earlier[0] <= 0) return limit; // unknown: the most
        return std::min<std::size_t>(
            static_cast<std::size_t>(static_cast<std::int16_t>(*earlier[0])), limit);
    };
    if (method == "SendPicture") return MakeBytes(in, st, CPalvexCtrl::kPictureBufferSize);
    if (method == "SendProgList")
        return MakeBytes(in, st,
                         CPalvexCtrl::kProgRecordSize *
                             std::max<std::size_t>(1, count(CPalvexCtrl::kMaxProgEntries)));
    if (method == "SetOrderList") {
        const std::size_t n = std::max<std::size_t>(1, count(CPalvexCtrl::kMaxOrderEntries));
        return MakeBytes(in, st, 2 * n);
    }
    if (method == "SendModemCmd")
        return param == "lpRetStr" ? st.Block(128) : MakeText(in, st, 200);
    if (method == "ShowString") return MakeText(in, st, 1200);
    if (method == "GetTime") return st.Block(6 * sizeof(short));
    if (method == "GetAllResult") return st.Block(13 * sizeof(short));
    if (method == "SendHZLib") {
        static const char* const kNames[] = {"font.bin", "short.bin", "missing.bin"};
        const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, 3);
        if (pick < 3) {
            std::uint8_t* b = st.Block(std::strlen(kNames[pick]) + 1);
            std::memcpy(b, kNames[pick], std::strlen(kNames[pick]));
            return b;
        }
        // Any name in the sandbox directory: nothing outside it is opened.
        std::uint8_t* b = MakeText(in, st, 12);
        for (std::uint8_t* p = b; *p != 0; ++p)
            if (*p == '/') *p = '_';
        return b;
    }
    (void)ctrl;
    return MakeText(in, st, 12); // QKSetup, QKSetProperty: property text
}

// A by-reference parameter: storage of the declared type and the size the
// method writes.
void* ReferenceArgument(CallStorage& st, CFuzzControl& ctrl, std::string_view method,
                        std::string_view param, VARTYPE declared) {
    if (declared == (VT_BSTR | VT_BYREF)) {
        auto* out = reinterpret_cast<BSTR*>(st.Block(sizeof(BSTR)));
        *out = nullptr;
        st.stringOuts.push_back(out);
        return out;
    }
    std::size_t shorts = 1;
    if (method == "GetPowerState") shorts = 128;
    // The tallest screen the control accepts: one short per row.
    if (method == "GetTestResult") shorts = 128;
    if (method == "GetSendString" && param == "lpRetBuff") {
        short count = 0;
        std::vector<short> whole(palvex::kLastFrameCapacity);
        if (ctrl.GetSendString(&count, whole.data()) && count > 0)
            shorts = static_cast<std::size_t>(count);
    }
    return st.Block(shorts * sizeof(short));
}

void AddressVariant(FuzzedDataProvider& in, CallStorage& st, void* address, VARIANT& v) {
    const auto a = reinterpret_cast<std::int64_t>(address);
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        v.vt = VT_ADDR;
        v.llVal = a;
        break;
    case 1:
        v.vt = VT_UI8;
        v.llVal = a;
        break;
    case 2:
        v.vt = VT_BSTR;
        v.bstrVal = st.Text(Widen(" " + std::to_string(a)));
        break;
    default: {
        std::uint8_t* cell = st.Block(8);
        std::memcpy(cell, &a, 8);
        v.vt = VT_I8 | VT_BYREF;
        v.byref = cell;
        break;
    }
    }
}

bool OpensALink(DISPID id) {
    return id == 1 || id == 2 || id == 3;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::MakeSandbox("dispatch-fuzz", true);
    std::vector<std::uint8_t> font(3000);
    for (std::size_t i = 0; i < font.size(); ++i)
        font[i] = static_cast<std::uint8_t>(i * 7);
    if (std::FILE* f = std::fopen("font.bin", "wb")) {
        std::fwrite(font.data(), 1, font.size(), f);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen("short.bin", "wb")) {
        std::fwrite(font.data(), 1, 10, f);
        std::fclose(f);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CFuzzControl ctrl;
    ctrl.card.in = &in;
    if (in.ConsumeBool()) {
        ctrl.SetSendFlag(0); // capture mode: frames are built, never sent
    } else {
        ctrl.AttachTransport(&ctrl.card, 100); // the played card answers
    }
    const auto entries = AllDispatchEntries();
    for (int call = 0; call < 16 && in.remaining_bytes() > 0; ++call) {
        DISPID id;
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
            id = in.ConsumeIntegral<DISPID>();
        else
            id = entries[in.ConsumeIntegralInRange<std::size_t>(0, entries.size() - 1)].id;
        if (OpensALink(id)) continue;
        const DispatchEntry* e = FindEntryById(id);
        const std::uint16_t flags = in.ConsumeIntegralInRange<int>(0, 15) == 0
                                        ? in.ConsumeIntegral<std::uint16_t>()
                                        : DISPATCH_METHOD;
        unsigned count = e != nullptr ? static_cast<unsigned>(e->paramCount) : 0;
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
            count = in.ConsumeIntegralInRange<unsigned>(0, 9);

        CallStorage st;
        std::vector<VARIANT> args(count); // last argument first
        std::vector<std::optional<std::int64_t>> values;
        for (unsigned i = 0; i < count; ++i) {
            VARIANT& v = args[count - 1 - i];
            VariantInit(&v);
            if (e == nullptr || i >= e->paramCount) {
                values.push_back(MakeInteger(in, st, v));
                continue;
            }
            const DispatchParam& p = e->params[i];
            if (p.vt == VT_ADDR) {
                AddressVariant(in, st, AddressArgument(in, st, ctrl, e->name, p.name, values), v);
                values.push_back(std::nullopt);
            } else if ((p.vt & VT_BYREF) != 0) {
                if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
                    // A reference of another type, which must be refused.
                    v.vt = in.ConsumeBool() ? static_cast<VARTYPE>(VT_I4 | VT_BYREF)
                                            : static_cast<VARTYPE>(p.vt & ~VT_BYREF);
                    if ((v.vt & VT_BYREF) != 0)
                        v.byref = st.Block(8);
                    else if (v.vt == VT_BSTR)
                        v.bstrVal = st.Text(u"1");
                } else {
                    v.vt = p.vt;
                    v.byref = ReferenceArgument(st, ctrl, e->name, p.name, p.vt);
                }
                values.push_back(std::nullopt);
            } else {
                values.push_back(MakeInteger(in, st, v));
            }
        }
        DISPPARAMS params{count ? args.data() : nullptr, nullptr, count, 0};
        DISPID named = 0;
        if (in.ConsumeIntegralInRange<int>(0, 31) == 0) {
            params.cNamedArgs = 1;
            params.rgdispidNamedArgs = &named;
        }
        VARIANT result;
        VariantInit(&result);
        unsigned argErr = 12345;
        const HRESULT hr = InvokeMethod(ctrl, id, flags, &params, &result, &argErr);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) {
            if (argErr >= count) Fail("refused argument index outside the argument list");
        } else if (hr == DISP_E_PARAMNOTFOUND) {
            // A name for a parameter a positional argument already fills.
            if (argErr >= params.cNamedArgs) Fail("refused name index outside the named list");
        } else if (SUCCEEDED(hr)) {
            if (e == nullptr) Fail("an unknown identifier was invoked");
            const VARTYPE want = e->result == VT_VOID ? VT_EMPTY : e->result;
            if (result.vt != want) Fail("result of another type than declared");
            for (BSTR* out : st.stringOuts)
                if (*out != nullptr && SysStringLen(*out) > 1000) Fail("implausible string length");
        } else if (hr != DISP_E_MEMBERNOTFOUND && hr != DISP_E_BADPARAMCOUNT && hr != E_POINTER) {
            Fail("unexpected result code");
        }
        VariantClear(&result);
    }
    return 0;
}
