// The C interface, as a program linked against the module uses it (and as
// the Python example reaches it): calls by name and identifier with tagged
// arguments, refusals, saving and loading, drawing, the version block and
// the type library text.
#include <palvex_c.h>
#include <palvex_com.h>

#include "tests/automation/cardsim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif
#ifndef CARDSIM_PROGRAM
#error "CARDSIM_PROGRAM must name the cardsim program"
#endif

extern "C" {
unsigned palvex_c_check_args(palvex_arg* out, int16_t* results);
size_t palvex_c_variant_size(void);
size_t palvex_c_arg_size(void);
}

namespace {

class Control {
  public:
    explicit Control(const char* module = nullptr) { status = palvex_create(module, &m_c); }
    ~Control() { palvex_destroy(m_c); }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    palvex_control* get() const { return m_c; }
    palvex_status status;

  private:
    palvex_control* m_c = nullptr;
};

palvex_arg I2(int v) {
    palvex_arg a{};
    a.type = PALVEX_ARG_I2;
    a.value.i2 = static_cast<int16_t>(v);
    return a;
}

palvex_arg Addr(const void* p) {
    palvex_arg a{};
    a.type = PALVEX_ARG_ADDR;
    a.value.addr = reinterpret_cast<intptr_t>(p);
    return a;
}

struct Called {
    palvex_status status;
    palvex_result result;
    unsigned badArg;
};

Called Call(const Control& c, const char* method, std::vector<palvex_arg>& args) {
    Called out{PALVEX_E_FAIL, {-1, -1}, 999};
    out.status = palvex_invoke_name(c.get(), method, args.data(),
                                    static_cast<unsigned>(args.size()), &out.result, &out.badArg);
    return out;
}

Called Call(const Control& c, const char* method, std::vector<palvex_arg>&& args = {}) {
    return Call(c, method, args);
}

TEST(CInterface, LaysOutItsStructuresAlikeInCAndCpp) {
    EXPECT_EQ(palvex_c_variant_size(), sizeof(VARIANT));
    EXPECT_EQ(palvex_c_arg_size(), sizeof(palvex_arg));
    EXPECT_EQ(sizeof(VARIANT), 16u);
}

TEST(CInterface, CallsMethodsByNameAndGivesTypedResults) {
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK) << palvex_last_error();
    std::vector<palvex_arg> args(4);
    int16_t powers[16] = {};
    args.resize(palvex_c_check_args(args.data(), powers));
    args.pop_back(); // SetLedProperty takes the first three
    Called r = Call(c, "SetLedProperty", args);
    EXPECT_EQ(r.status, PALVEX_OK);
    EXPECT_EQ(r.result.type, PALVEX_RESULT_BOOL);
    EXPECT_EQ(r.result.value, 1);

    r = Call(c, "GetSendStepNum");
    EXPECT_EQ(r.result.type, PALVEX_RESULT_I2);
    EXPECT_EQ(r.result.value, 64);
    r = Call(c, "QKClose");
    EXPECT_EQ(r.status, PALVEX_OK);
    EXPECT_EQ(r.result.type, PALVEX_RESULT_VOID);
    // A method that fails says so in its result, not in the status.
    r = Call(c, "ComInitial", {I2(3), I2(1234), I2(1000)});
    EXPECT_EQ(r.status, PALVEX_OK);
    EXPECT_EQ(r.result.type, PALVEX_RESULT_BOOL);
    EXPECT_EQ(r.result.value, 0);

    int32_t id = 0;
    ASSERT_EQ(palvex_id_of_name(c.get(), "GetVersion", &id), PALVEX_OK);
    EXPECT_EQ(id, 31);
    palvex_result result{};
    EXPECT_EQ(palvex_invoke(c.get(), id, nullptr, 0, &result, nullptr), PALVEX_OK);
    EXPECT_EQ(result.type, PALVEX_RESULT_I2);
    EXPECT_EQ(result.value, -1);
}

TEST(CInterface, RefusesWhatTheAutomationLayerRefusesAndNamesTheArgument) {
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK);
    EXPECT_EQ(Call(c, "Frobnicate").status, PALVEX_E_UNKNOWN_NAME);
    EXPECT_EQ(palvex_invoke(c.get(), 32, nullptr, 0, nullptr, nullptr), PALVEX_E_UNKNOWN_MEMBER);
    EXPECT_EQ(Call(c, "SetLedProperty", {I2(1), I2(256)}).status, PALVEX_E_BAD_ARG_COUNT);

    // Indexes count in call order.
    palvex_arg text{};
    text.type = PALVEX_ARG_TEXT_OUT;
    Called r = Call(c, "SetLedProperty", {I2(1), text, I2(64)});
    EXPECT_EQ(r.status, PALVEX_E_TYPE_MISMATCH);
    EXPECT_EQ(r.badArg, 1u);
    r = Call(c, "GetPowerState", {I2(0)});
    EXPECT_EQ(r.status, PALVEX_E_TYPE_MISMATCH);
    EXPECT_EQ(r.badArg, 0u);
    palvex_arg unknown{};
    unknown.type = 77;
    r = Call(c, "SetLedProperty", {I2(1), I2(2), unknown});
    EXPECT_EQ(r.status, PALVEX_E_BAD_ARG_TYPE);
    EXPECT_EQ(r.badArg, 2u);
    // Nothing of it reached the control.
    EXPECT_EQ(Call(c, "GetSendStepNum").result.value, 0);
    EXPECT_STREQ(palvex_status_text(PALVEX_E_BAD_ARG_COUNT), "wrong number of arguments");
}

TEST(CInterface, MakesTheControlOfAModuleGivenByItsPath) {
    Control c(PALVEX_MODULE_PATH);
    ASSERT_EQ(c.status, PALVEX_OK) << palvex_last_error();
    EXPECT_STREQ(palvex_last_error(), "");
    const char config[] = "20004081";
    int16_t count = 0;
    int16_t frame[32] = {};
    palvex_arg countRef{}, frameRef{};
    countRef.type = frameRef.type = PALVEX_ARG_I2_REF;
    countRef.value.i2_ref = &count;
    frameRef.value.i2_ref = frame;
    EXPECT_EQ(Call(c, "SetSendFlag", {I2(0)}).status, PALVEX_OK);
    EXPECT_EQ(Call(c, "SetLedProperty", {I2(1), I2(256), I2(64)}).result.value, 1);
    EXPECT_EQ(Call(c, "QKSetProperty", {Addr(config)}).result.value, 1);
    EXPECT_EQ(Call(c, "GetSendString", {countRef, frameRef}).result.value, 1);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(frame[9], 'C');

    Control missing("/nonexistent/libpalvex.so.1");
    EXPECT_EQ(missing.status, PALVEX_E_MODULE);
    EXPECT_EQ(missing.get(), nullptr);
    EXPECT_NE(std::string(palvex_last_error()).find("/nonexistent/libpalvex.so.1"),
              std::string::npos)
        << palvex_last_error();
}

TEST(CInterface, ReadsThePropertyTextOfACardAsACallerOwnedString) {
    automation_test::CardsimProcess card(CARDSIM_PROGRAM);
    ASSERT_NE(card.Port(), 0u);
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK);
    palvex_arg ip{};
    ip.type = PALVEX_ARG_I4;
    ip.value.i4 = 0x7F000001;
    ASSERT_EQ(Call(c, "NetInitial", {I2(0), ip, I2(static_cast<int>(card.Port())), I2(1000)})
                  .result.value,
              1);
    ASSERT_EQ(Call(c, "SetLedProperty", {I2(1), I2(256), I2(64)}).result.value, 1);
    std::vector<palvex_arg> args(1);
    args[0].type = PALVEX_ARG_TEXT_OUT;
    const Called r = Call(c, "QKGetProperty", args);
    ASSERT_EQ(r.status, PALVEX_OK);
    ASSERT_EQ(r.result.value, 1);
    ASSERT_NE(args[0].value.text, nullptr);
    const std::string text = args[0].value.text;
    palvex_free_text(args[0].value.text);
    // The card's identification leads the text.
    EXPECT_EQ(text.rfind("DDDD7", 0), 0u) << text;
    Call(c, "QKClose");
}

// The stamp, then the extent in HIMETRIC (1 x 0.5 inch for a new control),
// each least significant byte first; a saved extent comes back, and a
// stream of the stamp alone (what the control saved before) still loads.
TEST(CInterface, SavesTheStampAndTheExtentAndLoadsAnyStamp) {
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK);
    std::size_t length = 0;
    EXPECT_EQ(palvex_save(c.get(), nullptr, 0, &length), PALVEX_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 12u);
    unsigned char saved[16] = {};
    ASSERT_EQ(palvex_save(c.get(), saved, sizeof saved, &length), PALVEX_OK);
    EXPECT_EQ(std::vector<unsigned char>(saved, saved + length),
              (std::vector<unsigned char>{0x00, 0x00, 0x01, 0x00, 0xEC, 0x09, 0x00, 0x00, 0xF6,
                                          0x04, 0x00, 0x00}));
    const unsigned char older[] = {0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(palvex_load(c.get(), older, sizeof older), PALVEX_OK);
    EXPECT_EQ(palvex_load(c.get(), older, 3), PALVEX_E_READ_FAULT);

    const unsigned char sized[] = {0x00, 0x00, 0x01, 0x00, 0x10, 0x27, 0, 0, 0x88, 0x13, 0, 0};
    ASSERT_EQ(palvex_load(c.get(), sized, sizeof sized), PALVEX_OK);
    ASSERT_EQ(palvex_save(c.get(), saved, sizeof saved, &length), PALVEX_OK);
    EXPECT_EQ(std::vector<unsigned char>(saved, saved + length),
              std::vector<unsigned char>(sized, sized + sizeof sized));
    // An extent cut short is not the control's; the control keeps its own.
    EXPECT_EQ(palvex_load(c.get(), sized, 8), PALVEX_E_READ_FAULT);
    ASSERT_EQ(palvex_save(c.get(), saved, sizeof saved, &length), PALVEX_OK);
    EXPECT_EQ(saved[4], 0x10);
}

TEST(CInterface, DrawsTheDesignTimePictureIntoTheWholeImage) {
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK);
    constexpr int w = 21, h = 11;
    std::vector<uint8_t> rgba(w * h * 4, 7);
    ASSERT_EQ(palvex_draw(c.get(), rgba.data(), w, h, w * 4), PALVEX_OK);
    auto at = [&](int x, int y) { return rgba[(y * w + x) * 4]; };
    EXPECT_EQ(at(0, 0), 255);
    EXPECT_EQ(at(10, 0), 0);
    EXPECT_EQ(at(10, 5), 255);
    EXPECT_EQ(at(0, 5), 0);
    EXPECT_EQ(at(20, 5), 0);
    EXPECT_EQ(palvex_draw(c.get(), nullptr, w, h, w * 4), PALVEX_E_POINTER);
}

TEST(CInterface, GivesTheVersionBlock) {
    const palvex_version_info* v = palvex_version();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(v->file_version, v->file_version + 4),
              (std::vector<uint16_t>{1, 0, 0, 1}));
    EXPECT_STREQ(v->file_version_text, "1, 0, 0, 1");
    EXPECT_STREQ(v->file_description, "Palvex ActiveX Control Module");
    EXPECT_STREQ(v->product_name, "Palvex ActiveX Control Module");
    EXPECT_STREQ(v->internal_name, "Palvex");
    EXPECT_STREQ(v->original_filename, "Palvex.OCX");
    EXPECT_STREQ(v->ole_self_register, "");
    EXPECT_EQ(v->language, 0x0409);
    EXPECT_EQ(v->code_page, 0x04b0);
}

TEST(CInterface, WritesTheTypeLibraryAsIdlAndTruncatesSafely) {
    const std::size_t n = palvex_typelib_text(nullptr, 0);
    std::string text(n + 1, '\0');
    ASSERT_EQ(palvex_typelib_text(text.data(), text.size()), n);
    text.resize(n);
    for (const char* line :
         {"library PALVEXLib", "version(1.0)", "helpstring(\"Palvex ActiveX Control module\")",
          "helpfile(\"Palvex.hlp\")", "importlib(\"stdole2.tlb\");",
          "uuid(F5C17FD6-4428-4CB8-B7E2-B4D6413E1E27)", "dispinterface _DPalvex\n",
          "helpstring(\"Event interface for Palvex Control\")", "coclass Palvex",
          "[default] dispinterface _DPalvex;", "[default, source] dispinterface _DPalvexEvents;",
          "[id(1)] VARIANT_BOOL NetInitial(short LocalPort, long RemoteIP, short "
          "RemotePort, short WaitTime);",
          "[id(9)] void QKClose();", "[id(11)] VARIANT_BOOL QKGetProperty(BSTR* bStr);",
          "[id(22)] VARIANT_BOOL GetPowerState(short* Resultx);",
          "[id(7)] VARIANT_BOOL SendPicture(short ProgNum, short Step, __int3264 lpBuff);",
          "[id(31)] short GetVersion();"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // The methods of _DPalvex, up to the end of its block.
    const std::size_t begin = text.find("dispinterface _DPalvex\n");
    const std::size_t end = text.find("};", begin);
    std::size_t methods = 0;
    for (std::size_t at = text.find("[id(", begin); at < end; at = text.find("[id(", at + 1))
        ++methods;
    EXPECT_EQ(methods, 39u);
    EXPECT_NE(text.find("[id(1), readonly] BSTR LastLinkError;"), std::string::npos);
    EXPECT_EQ(text.find("[id(32)]"), std::string::npos);

    char small[8];
    EXPECT_EQ(palvex_typelib_text(small, sizeof small), n);
    EXPECT_EQ(std::string(small), text.substr(0, 7));
}

// The trace events a sink of the C interface received, copied.
struct TraceLog {
    struct Entry {
        int kind;
        std::string link, operation, errorKind, text;
        int attempt, sysErrno;
        bool hasData;
    };
    std::vector<Entry> entries;
    static void Sink(void* self, const palvex_trace_event* e) {
        static_cast<TraceLog*>(self)->entries.push_back({e->kind, e->link, e->operation,
                                                         e->error_kind, e->text, e->attempt,
                                                         e->sys_errno, e->data != nullptr});
    }
};

TEST(CInterface, GivesTheReasonOfAFailedOpenAndHandsItToTheTraceSink) {
    setenv("PALVEX_COM9", "/nonexistent/ttyPalvex", 1);
    Control c;
    ASSERT_EQ(c.status, PALVEX_OK);
    TraceLog log;
    ASSERT_EQ(palvex_set_trace(c.get(), &TraceLog::Sink, &log), PALVEX_OK);
    char text[256] = "left over";
    EXPECT_EQ(palvex_last_link_error(c.get(), text, sizeof text), 0u);
    EXPECT_STREQ(text, "");

    const Called open = Call(c, "ComInitial", {I2(9), I2(9600), I2(100)});
    unsetenv("PALVEX_COM9");
    ASSERT_EQ(open.status, PALVEX_OK);
    EXPECT_EQ(open.result.value, 0);

    const std::string reason = "COM9 open failed: no such device (ENOENT): "
                               "/nonexistent/ttyPalvex does not exist";
    EXPECT_EQ(palvex_last_link_error(c.get(), text, sizeof text), reason.size());
    EXPECT_EQ(std::string(text), reason);
    char small[5];
    EXPECT_EQ(palvex_last_link_error(c.get(), small, sizeof small), reason.size());
    EXPECT_STREQ(small, "COM9");
    EXPECT_EQ(palvex_last_link_error(c.get(), nullptr, 0), reason.size());

    ASSERT_EQ(log.entries.size(), 1u);
    const TraceLog::Entry& e = log.entries[0];
    EXPECT_EQ(e.kind, PALVEX_TRACE_ERROR);
    EXPECT_EQ(e.link, "COM9");
    EXPECT_EQ(e.attempt, 0);
    EXPECT_EQ(e.operation, "open");
    EXPECT_EQ(e.errorKind, "no such device");
    EXPECT_EQ(e.sysErrno, ENOENT);
    EXPECT_EQ(e.text, reason);
    EXPECT_FALSE(e.hasData);

    // No sink: the next failure reaches only the text.
    ASSERT_EQ(palvex_set_trace(c.get(), nullptr, nullptr), PALVEX_OK);
    Call(c, "ComInitial", {I2(0), I2(9600), I2(100)});
    EXPECT_EQ(log.entries.size(), 1u);
    palvex_last_link_error(c.get(), text, sizeof text);
    EXPECT_STREQ(text, "COM0 open failed: no such device: no port has a number below 1");

    EXPECT_EQ(palvex_last_link_error(nullptr, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(palvex_set_trace(nullptr, &TraceLog::Sink, &log), PALVEX_E_POINTER);
}

} // namespace
