// DllRegisterServer and DllUnregisterServer of the built module, each test
// with a store of its own, read back through the registry library.
#include "control/automation/com_support.h"
#include "control/host/palvex_loader.h"
#include "platform/registry/registry.h"
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif

namespace {

using palvex::reg::CRegKey;
using palvex::reg::Root;

const std::string kClasses = "SOFTWARE\\Classes\\";
const std::string kControl = "CLSID\\" PALVEX_CLSID_TEXT;
const std::string kPage = "CLSID\\" PALVEX_PROPPAGE_CLSID_TEXT;
const std::string kLibrary = "TypeLib\\" PALVEX_LIBID_TEXT;
const std::string kDispatch = "Interface\\" PALVEX_DIID_DPALVEX_TEXT;
const std::string kEvents = "Interface\\" PALVEX_DIID_DPALVEXEVENTS_TEXT;

// The text of a value below SOFTWARE\Classes, or "(none)".
std::string Value(const std::string& key, const std::string& name = "") {
    CRegKey k;
    std::string text;
    if (k.Open(Root::CurrentUser, kClasses + key) != 0 || k.QueryStringValue(name, text) != 0)
        return "(none)";
    return text;
}

bool KeyExists(const std::string& key) {
    CRegKey k;
    return k.Open(Root::CurrentUser, kClasses + key) == 0;
}

// Puts a value where the store would need a key, so that nothing can be
// written below that name (also when the tests run as root).
void Block(const std::string& name) {
    CRegKey classes;
    ASSERT_EQ(classes.Create(Root::CurrentUser, "SOFTWARE\\Classes"), 0);
    ASSERT_EQ(classes.SetStringValue(name, "blocked"), 0);
}

void Unblock(const std::string& name) {
    CRegKey classes;
    ASSERT_EQ(classes.Open(Root::CurrentUser, "SOFTWARE\\Classes"), 0);
    ASSERT_EQ(classes.DeleteValue(name), 0);
}

class Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module = palvex::CControlModule::Load(PALVEX_MODULE_PATH, error);
        ASSERT_NE(module, nullptr) << error;
    }
    std::string ModulePath() const {
        return std::filesystem::absolute(PALVEX_MODULE_PATH).lexically_normal().string();
    }
    bool TypeLibraryRegistered() const {
        return KeyExists(kLibrary + "\\1.0") && KeyExists(kDispatch) && KeyExists(kEvents);
    }
    bool AnyClassRegistered() const {
        return KeyExists(kControl) || KeyExists(kPage) || KeyExists("PALVEX.PalvexCtrl.1") ||
               KeyExists("PALVEX.PalvexPropPage.1");
    }

    testsupport::CTempConfigHome home;
    std::shared_ptr<palvex::CControlModule> module;
};

TEST_F(Registration, WritesTheClassesTheirProgIdsAndTheTypeLibrary) {
    ASSERT_EQ(module->RegisterServer(), S_OK);
    const std::string path = ModulePath();

    EXPECT_EQ(Value(kControl), "Palvex Control");
    EXPECT_EQ(Value(kControl + "\\ProgID"), "PALVEX.PalvexCtrl.1");
    EXPECT_EQ(Value(kControl + "\\InprocServer32"), path);
    EXPECT_EQ(Value(kControl + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(KeyExists(kControl + "\\Control"));
    EXPECT_EQ(Value(kControl + "\\MiscStatus"), "0");
    EXPECT_EQ(Value(kControl + "\\MiscStatus\\1"), "132241");
    EXPECT_EQ(Value(kControl + "\\ToolboxBitmap32"), path + ", 1");
    EXPECT_EQ(Value(kControl + "\\TypeLib"), PALVEX_LIBID_TEXT);
    EXPECT_EQ(Value(kControl + "\\Version"), "1.0");
    EXPECT_EQ(Value("PALVEX.PalvexCtrl.1"), "Palvex Control");
    EXPECT_EQ(Value("PALVEX.PalvexCtrl.1\\CLSID"), PALVEX_CLSID_TEXT);

    EXPECT_EQ(Value(kPage), "Palvex Property Page");
    EXPECT_EQ(Value(kPage + "\\ProgID"), "PALVEX.PalvexPropPage.1");
    EXPECT_EQ(Value(kPage + "\\InprocServer32"), path);
    EXPECT_EQ(Value("PALVEX.PalvexPropPage.1\\CLSID"), PALVEX_PROPPAGE_CLSID_TEXT);
    EXPECT_FALSE(KeyExists(kPage + "\\Control"));

    EXPECT_EQ(Value(kLibrary + "\\1.0"), "Palvex ActiveX Control module");
    EXPECT_EQ(Value(kLibrary + "\\1.0\\FLAGS"), "2");
    EXPECT_EQ(Value(kLibrary + "\\1.0\\0\\linux"), path);
    EXPECT_EQ(Value(kDispatch), "_DPalvex");
    EXPECT_EQ(Value(kEvents + "\\TypeLib"), PALVEX_LIBID_TEXT);
    EXPECT_EQ(Value(kEvents + "\\TypeLib", "Version"), "1.0");

    // What a host reads to find the module.
    EXPECT_EQ(palvex::RegisteredModulePath(CLSID_Palvex), path);
}

TEST_F(Registration, RemovesExactlyItsOwnEntries) {
    // Entries of others: another class, another version of the library.
    CRegKey other;
    ASSERT_EQ(
        other.Create(Root::CurrentUser, kClasses + "CLSID\\{00000000-1111-2222-3333-444444444444}"),
        0);
    ASSERT_EQ(other.SetStringValue("", "Someone Else"), 0);
    ASSERT_EQ(other.Create(Root::CurrentUser, kClasses + kLibrary + "\\2.0"), 0);
    ASSERT_EQ(other.SetStringValue("", "a later library"), 0);

    ASSERT_EQ(module->RegisterServer(), S_OK);
    ASSERT_EQ(module->UnregisterServer(), S_OK);

    EXPECT_FALSE(AnyClassRegistered());
    EXPECT_FALSE(KeyExists(kLibrary + "\\1.0"));
    EXPECT_FALSE(KeyExists(kDispatch));
    EXPECT_FALSE(KeyExists(kEvents));
    EXPECT_EQ(Value("CLSID\\{00000000-1111-2222-3333-444444444444}"), "Someone Else");
    EXPECT_EQ(Value(kLibrary + "\\2.0"), "a later library");
    EXPECT_EQ(palvex::RegisteredModulePath(CLSID_Palvex), "");

    // Without the other version the library key goes too; removing what is
    // already gone succeeds.
    ASSERT_EQ(module->RegisterServer(), S_OK);
    CRegKey classes;
    ASSERT_EQ(classes.Open(Root::CurrentUser, "SOFTWARE\\Classes"), 0);
    ASSERT_EQ(classes.DeleteSubKeyTree(kLibrary + "\\2.0"), 0);
    ASSERT_EQ(module->UnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kLibrary));
    EXPECT_EQ(module->UnregisterServer(), S_OK);
}

TEST_F(Registration, ATypeLibraryThatCannotBeRegisteredStopsEverything) {
    Block("TypeLib");
    EXPECT_EQ(module->RegisterServer(), static_cast<HRESULT>(0x80040200u));
    EXPECT_FALSE(AnyClassRegistered());
    EXPECT_FALSE(KeyExists(kDispatch));

    Unblock("TypeLib");
    Block("Interface");
    EXPECT_EQ(module->RegisterServer(), static_cast<HRESULT>(0x80040200u));
    // The step takes back the part it had written.
    EXPECT_FALSE(KeyExists(kLibrary + "\\1.0"));
    EXPECT_FALSE(AnyClassRegistered());
}

TEST_F(Registration, AClassThatCannotBeRegisteredKeepsTheTypeLibrary) {
    Block("CLSID");
    EXPECT_EQ(module->RegisterServer(), static_cast<HRESULT>(0x80040201u));
    EXPECT_TRUE(TypeLibraryRegistered());
    EXPECT_FALSE(AnyClassRegistered());

    // With the page's ProgID blocked the control's keys were written first;
    // they are taken back, so no half-registered class is left.
    Unblock("CLSID");
    Block("PALVEX.PalvexPropPage.1");
    EXPECT_EQ(module->RegisterServer(), static_cast<HRESULT>(0x80040201u));
    EXPECT_TRUE(TypeLibraryRegistered());
    EXPECT_FALSE(KeyExists(kControl));
    EXPECT_FALSE(KeyExists("PALVEX.PalvexCtrl.1"));
    EXPECT_EQ(palvex::RegisteredModulePath(CLSID_Palvex), "");
}

TEST_F(Registration, UnregisteringReportsTheStepThatFailedInTheSameOrder) {
    CRegKey classes;
    ASSERT_EQ(module->RegisterServer(), S_OK);
    ASSERT_EQ(classes.Open(Root::CurrentUser, "SOFTWARE\\Classes"), 0);
    ASSERT_EQ(classes.DeleteSubKeyTree("TypeLib"), 0);
    Block("TypeLib");
    // The library's entries cannot be reached: the classes stay.
    EXPECT_EQ(module->UnregisterServer(), static_cast<HRESULT>(0x80040200u));
    EXPECT_TRUE(KeyExists(kControl));

    Unblock("TypeLib");
    ASSERT_EQ(module->RegisterServer(), S_OK);
    ASSERT_EQ(classes.DeleteSubKeyTree("CLSID"), 0);
    Block("CLSID");
    EXPECT_EQ(module->UnregisterServer(), static_cast<HRESULT>(0x80040201u));
    EXPECT_FALSE(TypeLibraryRegistered());
}

} // namespace
