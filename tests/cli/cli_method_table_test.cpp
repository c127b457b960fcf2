// The method table palvex reads from a control's type information: read from
// the built module it agrees with the control's dispatch interface and with
// the C++ dispatch table the module is made from; malformed type information
// is refused, and every string and description is given back; the command
// line is checked against whatever table it is given.
#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "cli/method_table.h"
#include "control/automation/com_support.h"
#include "control/automation/control_object.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/oleauto.h"
#include "control/host/palvex_loader.h"
#include "control/link/palvex_ctrl.h"
#include "tests/cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif

using namespace palvex;
using namespace palvex::cli;
using namespace cli_test;

namespace {

// ---------------------------------------------------------------------------
// The built module, loaded as palvex loads it.

class ModuleMethods : public ::testing::Test {
  protected:
    void SetUp() override {
        LoaderOptions options;
        options.useRegistry = false;
        options.besideProgram = false;
        options.buildTreeModule = PALVEX_MODULE_PATH;
        loader = std::make_unique<CControlLoader>(options);
        std::string error;
        control = loader->CreateControl(error);
        ASSERT_NE(control, nullptr) << error;
        freeString = reinterpret_cast<void (*)(BSTR)>(control->Module().Symbol("PalvexSysFreeString"));
        ASSERT_TRUE(freeString);
        ASSERT_TRUE(ReadMethodTable(*control->Dispatch(), freeString, methods, error)) << error;
    }

    std::unique_ptr<CControlLoader> loader;
    std::unique_ptr<CControlInstance> control; // declared after the loader: goes first
    StringFree freeString;
    MethodTable methods;
};

TEST_F(ModuleMethods, AreTheMethodsOfTheDispatchTableTheModuleIsBuiltFrom) {
    const auto entries = AllDispatchEntries();
    ASSERT_EQ(methods.All().size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DispatchEntry& e = entries[i];
        const MethodInfo& m = methods.All()[i];
        EXPECT_EQ(m.id, e.id) << e.name;
        EXPECT_EQ(m.name, e.name);
        EXPECT_EQ(m.result, e.result) << e.name;
        ASSERT_EQ(m.params.size(), e.paramCount) << e.name;
        for (std::size_t p = 0; p < e.paramCount; ++p) {
            EXPECT_EQ(m.params[p].name, e.params[p].name) << e.name;
            EXPECT_EQ(m.params[p].vt, e.params[p].vt) << e.name << " " << e.params[p].name;
        }
    }
}

TEST_F(ModuleMethods, ResolveThroughTheControlsNameLookupToTheirIdentifiersAndPositions) {
    IDispatch* dispatch = control->Dispatch();
    for (const MethodInfo& m : methods.All()) {
        // The method's name, then its parameters' names: the control gives
        // the method's identifier and each parameter's position.
        std::vector<std::u16string> wide{std::u16string(m.name.begin(), m.name.end())};
        for (const MethodParam& p : m.params)
            wide.emplace_back(p.name.begin(), p.name.end());
        std::vector<OLECHAR*> names;
        for (std::u16string& w : wide)
            names.push_back(w.data());
        std::vector<DISPID> ids(names.size(), 12345);
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names.data(),
                                                  static_cast<unsigned>(names.size()), 0,
                                                  ids.data()),
                  S_OK)
            << m.name;
        EXPECT_EQ(ids[0], m.id) << m.name;
        for (std::size_t p = 0; p < m.params.size(); ++p)
            EXPECT_EQ(ids[p + 1], static_cast<DISPID>(p)) << m.name << " " << m.params[p].name;
    }
}

TEST_F(ModuleMethods, CarryThePublishedParameterNamesInOrder) {
    // The interface as hosts know it, written out by hand: a name swapped or
    // misspelt in the dispatch table shows here, even between parameters of
    // one type.
    const std::vector<std::string> published = {
        "1 NetInitial(LocalPort,RemoteIP,RemotePort,WaitTime)",
        "2 ComInitial(ComPort,BaudRate,WaitTime)",
        "3 ModemInitial(ModemPort,WaitTime)",
        "4 SetLedProperty(LedNum,LedWidth,LedHeight)",
        "5 GetTotalPageNum()",
        "6 GetSendStepNum()",
        "7 SendPicture(ProgNum,Step,lpBuff)",
        "8 SendProgList(TotalProgNum,lpProgList)",
        "9 QKClose()",
        "10 SendModemCmd(lpCmdStr,lpRetStr)",
        "11 QKGetProperty(bStr)",
        "12 SetTime()",
        "13 LockHZLib(LockFlag)",
        "14 SetBrightness(Brightness)",
        "15 SendHZLib(Steps,lpLibFileName)",
        "16 SetRelay(Power,Fan,Other)",
        "17 SetCtrlTemperature(TPowerOff,TPowerOn,TFanOn,TFanOff,Enable)",
        "18 SetTemperatureOffset(Offset)",
        "19 StartTest()",
        "20 GetTestState()",
        "21 GetTestResult(color,column,Resultx)",
        "22 GetPowerState(Resultx)",
        "23 ShowString(bank,xpos,ypos,color,lpstr)",
        "24 Line(bank,left,top,right,bottom,color)",
        "25 SwitchToBank(DestBank)",
        "26 ClearBank(DestBank)",
        "27 CopyToBank(DestBank)",
        "28 ClearPowerCheckResult()",
        "29 GetAllResult(lpPara,Retry)",
        "30 Reset()",
        "31 GetVersion()",
        "33 SetOnOffTime(On0,Off0,On1,Off1)",
        "34 SetOrderList(count,lptrList)",
        "35 SetCommTimeOut(Seconds)",
        "36 GetTime(lpBuff)",
        "37 QKSetup(lpProperty)",
        "38 QKSetProperty(lpProperty)",
        "39 GetSendString(lpCount,lpRetBuff)",
        "40 SetSendFlag(SendOrNot)",
    };
    // As the type information names them.
    std::vector<std::string> described;
    for (const MethodInfo& m : methods.All()) {
        std::string line = std::to_string(m.id) + " " + m.name + "(";
        for (std::size_t p = 0; p < m.params.size(); ++p)
            line += (p ? "," : "") + m.params[p].name;
        described.push_back(line + ")");
    }
    EXPECT_EQ(described, published);
    // As the name lookup resolves them: each published name to its position.
    IDispatch* dispatch = control->Dispatch();
    for (const std::string& line : published) {
        std::vector<std::u16string> wide;
        std::string word;
        for (char c : line.substr(line.find(' ') + 1)) {
            if (c == '(' || c == ',' || c == ')') {
                if (!word.empty()) wide.emplace_back(word.begin(), word.end());
                word.clear();
            } else {
                word += c;
            }
        }
        std::vector<OLECHAR*> names;
        for (std::u16string& w : wide)
            names.push_back(w.data());
        std::vector<DISPID> ids(names.size(), 12345);
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names.data(),
                                                  static_cast<unsigned>(names.size()), 0,
                                                  ids.data()),
                  S_OK)
            << line;
        EXPECT_EQ(ids[0], std::stoi(line)) << line;
        for (std::size_t p = 1; p < ids.size(); ++p)
            EXPECT_EQ(ids[p], static_cast<DISPID>(p - 1)) << line;
    }
}

TEST_F(ModuleMethods, HaveTheParameterCountsAndTypesOfTheFunctionDescriptions) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(control->Dispatch()->GetTypeInfo(0, 0, info.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    const unsigned count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    ASSERT_EQ(methods.All().size(), count);
    for (unsigned i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
        const auto m = std::find_if(methods.All().begin(), methods.All().end(),
                                    [&](const MethodInfo& x) { return x.id == desc->memid; });
        ASSERT_NE(m, methods.All().end()) << desc->memid;
        ASSERT_EQ(m->params.size(), static_cast<std::size_t>(desc->cParams)) << m->name;
        for (std::size_t p = 0; p < m->params.size(); ++p)
            EXPECT_EQ(m->params[p].vt, desc->lprgelemdescParam[p].vt) << m->name;
        EXPECT_EQ(m->result, desc->elemdescFunc.vt) << m->name;
        info->ReleaseFuncDesc(desc);
    }
}

TEST_F(ModuleMethods, CheckAndRunALineOnTheModulesControl) {
    Parsed p = Parse("SetSendFlag 0 : SetLedProperty 0 256 16 : QKGetProperty : GetSendString : "
                     "getversion",
                     methods);
    ASSERT_TRUE(p.ok) << p.error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(RunCalls(*control->Dispatch(), p.line.calls, out, err), 0);
    std::rewind(out);
    char buf[512] = {};
    const std::string text(buf, std::fread(buf, 1, sizeof buf - 1, out));
    // The string QKGetProperty hands over is the module's, freed by the
    // module's own function.
    EXPECT_EQ(text.rfind("SetSendFlag -\nSetLedProperty true\nQKGetProperty true \"\"\n"
                         "GetSendString true ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\nGetVersion 0\n"), std::string::npos) << text;
    std::fclose(out);
    std::fclose(err);
}

// ---------------------------------------------------------------------------
// Type information made for the test, to see what the reader refuses and
// that it gives back everything it is handed.

int g_freedStrings = 0;

void CountingFree(BSTR s) {
    ++g_freedStrings;
    SysFreeString(s);
}

struct FakeMember {
    MEMBERID id;
    std::vector<std::string> names; // the method's, then the parameters'
    std::vector<ELEMDESC> params;
    VARTYPE result = VT_BOOL;
    std::int32_t invkind = INVOKE_FUNC;
    int namesGiven = -1; // names GetNames hands out; -1: all
};

struct FakeTypeInfo final : ITypeInfo {
    std::int32_t typekind = TKIND_DISPATCH;
    std::vector<FakeMember> members;
    int stringsGiven = 0;
    int attrsOut = 0; // handed out and not yet released
    int descsOut = 0;

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeAttr(TYPEATTR** attr) override {
        auto* a = new TYPEATTR{};
        a->typekind = typekind;
        a->cFuncs = static_cast<std::uint16_t>(members.size());
        *attr = a;
        ++attrsOut;
        return S_OK;
    }
    HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
        if (index >= members.size()) return TYPE_E_ELEMENTNOTFOUND;
        const FakeMember& m = members[index];
        auto* d = new FUNCDESC{};
        d->memid = m.id;
        d->funckind = FUNC_DISPATCH;
        d->invkind = m.invkind;
        d->cParams = static_cast<std::int16_t>(m.params.size());
        d->lprgelemdescParam = m.params.empty() ? nullptr : m.params.data();
        d->elemdescFunc = {m.result, 0};
        *desc = d;
        ++descsOut;
        return S_OK;
    }
    HRESULT GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override {
        for (const FakeMember& m : members) {
            if (m.id != memid) continue;
            const std::size_t available =
                m.namesGiven < 0 ? m.names.size() : static_cast<std::size_t>(m.namesGiven);
            unsigned n = 0;
            for (; n < maxNames && n < available; ++n) {
                const std::u16string w(m.names[n].begin(), m.names[n].end());
                names[n] = SysAllocStringLen(w.data(), static_cast<unsigned>(w.size()));
                ++stringsGiven;
            }
            *count = n;
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    HRESULT GetDocumentation(MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) override { return E_NOTIMPL; }
    void ReleaseTypeAttr(TYPEATTR* attr) override {
        --attrsOut;
        delete attr;
    }
    void ReleaseFuncDesc(FUNCDESC* desc) override {
        --descsOut;
        delete desc;
    }
};

class ReadingTypeInformation : public ::testing::Test {
  protected:
    void SetUp() override {
        g_freedStrings = 0;
        fake = FakeTypeInfo{};
        fake.members = {
            {7, {"Twice", "Value"}, {{VT_I2, 0}}, VT_I2},
            {3, {"Name", "bStr"}, {{VT_BSTR | VT_BYREF, 0}}, VT_BOOL},
            {9, {"Stop"}, {}, VT_VOID},
        };
    }

    // Reads the fake; afterwards every string and description it handed out
    // must have been given back.
    bool Read(MethodTable& table, std::string& error) {
        const bool ok = ReadMethodTable(fake, CountingFree, table, error);
        EXPECT_EQ(g_freedStrings, fake.stringsGiven);
        EXPECT_EQ(fake.attrsOut, 0);
        EXPECT_EQ(fake.descsOut, 0);
        if (!ok) {
            EXPECT_TRUE(table.Empty());
        }
        return ok;
    }

    FakeTypeInfo fake;
};

TEST_F(ReadingTypeInformation, TakesEveryMethodWithItsNamesTypesAndIdentifier) {
    MethodTable table;
    std::string error;
    ASSERT_TRUE(Read(table, error)) << error;
    ASSERT_EQ(table.All().size(), 3u);
    const MethodInfo& twice = table.All()[0];
    EXPECT_EQ(twice.id, 7);
    EXPECT_EQ(twice.name, "Twice");
    EXPECT_EQ(twice.result, VT_I2);
    ASSERT_EQ(twice.params.size(), 1u);
    EXPECT_EQ(twice.params[0].name, "Value");
    EXPECT_EQ(twice.params[0].vt, VT_I2);
    EXPECT_EQ(table.All()[1].params[0].vt, VT_BSTR | VT_BYREF);
    EXPECT_TRUE(table.All()[2].params.empty());
    EXPECT_EQ(fake.stringsGiven, 5);
    EXPECT_EQ(table.Find("tWICE"), &table.All()[0]);
    EXPECT_EQ(table.Find("Twic"), nullptr);
    EXPECT_EQ(*table.FreeString().target<void (*)(BSTR)>(), &CountingFree);
}

TEST_F(ReadingTypeInformation, LeavesOutMembersThatAreNotMethods) {
    fake.members.push_back({11, {"Height"}, {}, VT_I2, /*invkind=*/2});
    MethodTable table;
    std::string error;
    ASSERT_TRUE(Read(table, error)) << error;
    EXPECT_EQ(table.All().size(), 3u);
    EXPECT_EQ(table.Find("Height"), nullptr);
}

TEST_F(ReadingTypeInformation, RefusesTypeInformationOfSomethingElseThanADispatchInterface) {
    fake.typekind = TKIND_COCLASS;
    MethodTable table;
    std::string error;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("no dispatch interface"), std::string::npos) << error;
}

TEST_F(ReadingTypeInformation, RefusesAMethodWithoutANameForEveryParameter) {
    fake.members[1].namesGiven = 1;
    MethodTable table;
    std::string error;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("member 3 gives 1 of the 2 names it needs"), std::string::npos) << error;
}

TEST_F(ReadingTypeInformation, RefusesTwoMethodsWithOneNameOrOneIdentifier) {
    fake.members[2].names[0] = "TWICE";
    MethodTable table;
    std::string error;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("two methods are called TWICE"), std::string::npos) << error;

    SetUp();
    fake.members[2].id = 7;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("the same identifier 7"), std::string::npos) << error;
}

TEST_F(ReadingTypeInformation, RefusesNamesThatAreEmptyOrNotAscii) {
    fake.members[0].names[1] = "Wert\xC3\xA4";
    MethodTable table;
    std::string error;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("Twice: parameter 1 has an empty or non-ASCII name"), std::string::npos)
        << error;

    SetUp();
    fake.members[2].names[0] = "";
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("member 9 has an empty or non-ASCII name"), std::string::npos) << error;
}

TEST_F(ReadingTypeInformation, RefusesTwoParametersWithOneName) {
    fake.members[0].names.push_back("value");
    fake.members[0].params.push_back({VT_I2, 0});
    MethodTable table;
    std::string error;
    EXPECT_FALSE(Read(table, error));
    EXPECT_NE(error.find("Twice names two parameters value"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------
// The command line against tables made for the test.

MethodTable TableOf(std::vector<MethodInfo> methods) {
    return MethodTable(std::move(methods), SysFreeString);
}

TEST(CommandLineAgainstATable, KnowsOnlyTheTablesMethodsUnderTheTablesIdentifiers) {
    const MethodTable table =
        TableOf({{77, "GetVersion", {}, VT_I2},
                 {78, "SetLedProperty", {{"LedNum", VT_I2}, {"LedWidth", VT_I2}}, VT_BOOL}});
    Parsed p = Parse("getversion : SetLedProperty 1 256", table);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.calls[0].id, 77);
    EXPECT_EQ(p.line.calls[0].method, &table.All()[0]);
    EXPECT_EQ(p.line.calls[1].id, 78);
    // The control's three parameters are not the table's two.
    p = Parse("SetLedProperty 1 256 64", table);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("SetLedProperty takes 2 arguments (LedNum LedWidth), 3 given"),
              std::string::npos)
        << p.error;
    p = Parse("SetSendFlag 0", table);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("unknown method \"SetSendFlag\""), std::string::npos) << p.error;
}

TEST(CommandLineAgainstATable, RefusesAParameterWhoseTypeItsFormCannotPass) {
    // The forms are found by name; the types come from the table.
    const MethodTable table =
        TableOf({{1, "ShowString", {{"bank", VT_I2}, {"lpstr", VT_I2 | VT_BYREF}}, VT_BOOL},
                 {2, "Mystery", {{"Amount", VT_I4}}, VT_BOOL},
                 {3, "Clear", {{"Bank", VT_BSTR | VT_BYREF}}, VT_BOOL}});
    Parsed p = Parse("ShowString 0 hello", table);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("ShowString cannot be called from the command line: parameter lpstr "
                           "is short*, which its argument form cannot pass"),
              std::string::npos)
        << p.error;
    p = Parse("Mystery 5", table);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("parameter Amount (long) has no argument form"), std::string::npos)
        << p.error;
    // A parameter without a named form takes the default only when it is a short.
    EXPECT_FALSE(Parse("Clear", table).ok);

    const std::string help = HelpText(&table);
    for (const char* name : {"ShowString", "Mystery", "Clear"})
        EXPECT_TRUE(std::regex_search(
            help, std::regex(std::string(name) + " .*-> \\(not callable from the command line\\)")))
            << name << "\n"
            << help;
}

TEST(CommandLineAgainstATable, RunsNothingWhenTheControlGivesAMethodAnotherIdentifier) {
    // GetVersion is 31 in the control; this table says 77.
    const MethodTable table = TableOf({{77, "GetVersion", {}, VT_I2}});
    Parsed p = Parse("GetVersion", table);
    ASSERT_TRUE(p.ok) << p.error;
    CPalvexCtrl ctrl;
    ComPtr<IDispatch> control;
    ASSERT_EQ(CreateControlObjectOver(ctrl, IID_IDispatch, control.PutVoid()), S_OK);
    std::string error;
    EXPECT_FALSE(ResolveIds(*control.Get(), p.line.calls, error));
    EXPECT_EQ(error, "the control gives GetVersion the identifier 31, its type information 77");

    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(RunCalls(*control.Get(), p.line.calls, out, err), 2);
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
    std::fclose(err);
}

TEST(CommandLineHelpWithoutAModule, GivesTheUsageAndSaysTheMethodsComeFromTheModule) {
    const std::string help = HelpText(nullptr);
    EXPECT_EQ(help.rfind(UsageText(), 0), 0u) << help;
    EXPECT_NE(help.find("--raw-text"), std::string::npos);
    EXPECT_NE(help.find("Methods: palvex reads them, with their arguments, from the control "
                        "module's\ntype information, and no control module could be loaded."),
              std::string::npos)
        << help;
    EXPECT_EQ(help.find("Methods (names ignore case)"), std::string::npos);
    EXPECT_EQ(help.find("\nArguments:"), std::string::npos);
}

} // namespace
