#include "platform/registry/registry.h"
#include "platform/registry/store_path.h"
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace palvex::reg;
using testsupport::CTempConfigHome;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class RegistryTest : public ::testing::Test {
  protected:
    CTempConfigHome m_home;
};

} // namespace

TEST_F(RegistryTest, CreatesMissingKeysAndReadsBackWhatWasWritten) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow"), kSuccess);
    ASSERT_EQ(key.SetStringValue("Number", "7"), kSuccess);
    key.Close();

    CRegKey again;
    ASSERT_EQ(again.Open(Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow"), kSuccess);
    std::string text;
    ASSERT_EQ(again.QueryStringValue("Number", text), kSuccess);
    EXPECT_EQ(text, "7");
}

TEST_F(RegistryTest, KeepsEachValueAsItsTextInAFileUnderTheConfigHome) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow"), kSuccess);
    ASSERT_EQ(key.SetStringValue("BaudRate", "28800"), kSuccess);
    EXPECT_EQ(testsupport::ReadFile(m_home.CurrentUserPath("SOFTWARE\\Tavrin\\Sarnow\\BaudRate")),
              "28800");
}

TEST_F(RegistryTest, OpeningAKeyNobodyCreatedFailsWithNotFoundAndCreatesNothing) {
    CRegKey key;
    EXPECT_EQ(key.Open(Root::CurrentUser, "SOFTWARE\\Nobody"), kFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(fs::exists(m_home.Path() + "/palvex-registry"));
}

TEST_F(RegistryTest, RewritingAValueReplacesItAndLeavesNoTemporaryFileBehind) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    ASSERT_EQ(key.SetStringValue("V", "a much longer first text"), kSuccess);
    ASSERT_EQ(key.SetStringValue("V", "short"), kSuccess);
    std::string text;
    ASSERT_EQ(key.QueryStringValue("V", text), kSuccess);
    EXPECT_EQ(text, "short");
    EXPECT_EQ(DirectoryEntries(m_home.CurrentUserPath("K")), std::vector<std::string>{"V"});
}

TEST_F(RegistryTest, TheDefaultValueIsStoredAsAtAndListedWithAnEmptyName) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::ClassesRoot, "PALVEX.PalvexCtrl.1"), kSuccess);
    ASSERT_EQ(key.SetStringValue("", "Palvex Control"), kSuccess);
    ASSERT_EQ(key.SetStringValue("Other", "x"), kSuccess);
    std::string text;
    ASSERT_EQ(key.QueryStringValue("", text), kSuccess);
    EXPECT_EQ(text, "Palvex Control");
    std::vector<std::string> values;
    ASSERT_EQ(key.EnumValues(values), kSuccess);
    EXPECT_EQ(values, (std::vector<std::string>{"", "Other"}));
    EXPECT_TRUE(
        fs::exists(m_home.Path() + "/palvex-registry/HKEY_CLASSES_ROOT/PALVEX.PalvexCtrl.1/@"));
}

TEST_F(RegistryTest, RefusesValueNamesThatCouldLeaveTheKeyOrCollideWithItsOwnFiles) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    const std::vector<std::string> refused = {
        "..", ".", "a/b", "a\\b", "@", ".regtmp.1", std::string(256, 'x'), std::string("a\0b", 3)};
    for (const std::string& bad : refused) {
        EXPECT_EQ(key.SetStringValue(bad, "x"), kInvalidParameter) << bad;
        std::string text;
        EXPECT_EQ(key.QueryStringValue(bad, text), kInvalidParameter) << bad;
        EXPECT_EQ(key.DeleteValue(bad), kInvalidParameter) << bad;
    }
    EXPECT_TRUE(DirectoryEntries(m_home.CurrentUserPath("K")).empty());
    EXPECT_EQ(key.SetStringValue(std::string(255, 'x'), "x"), kSuccess);
}

TEST_F(RegistryTest, RefusesKeyPathsWithEmptyDotOrSlashNames) {
    CRegKey key;
    const std::vector<std::string> refused = {"..",     "A\\..\\..\\B", "\\A", "A\\",
                                              "A\\\\B", "A/B",          ".",   "A\\.regtmp.x"};
    for (const std::string& bad : refused) {
        EXPECT_EQ(key.Create(Root::CurrentUser, bad), kInvalidParameter) << bad;
        EXPECT_EQ(DeleteKeyTree(Root::CurrentUser, bad), kInvalidParameter) << bad;
    }
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(DirectoryEntries(m_home.Path() + "/palvex-registry/HKEY_CURRENT_USER").empty());
}

TEST_F(RegistryTest, RefusesTextWithAZeroByteAndReadsAStoredTerminatorAsTheEnd) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    EXPECT_EQ(key.SetStringValue("V", std::string("12\0 34", 6)), kInvalidParameter);
    ASSERT_TRUE(testsupport::WriteFile(m_home.CurrentUserPath("K/V"), std::string("12\0junk", 7)));
    std::string text;
    ASSERT_EQ(key.QueryStringValue("V", text), kSuccess);
    EXPECT_EQ(text, "12");
}

TEST_F(RegistryTest, ASubkeyIsNotAValueOfTheSameName) {
    CRegKey key, sub;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    ASSERT_EQ(sub.Create(key, "Sub"), kSuccess);
    std::string text;
    EXPECT_EQ(key.QueryStringValue("Sub", text), kFileNotFound);
    EXPECT_EQ(key.DeleteValue("Sub"), kFileNotFound);
    EXPECT_NE(key.SetStringValue("Sub", "x"), kSuccess);
    EXPECT_TRUE(fs::is_directory(m_home.CurrentUserPath("K/Sub")));
    // The failed write took its temporary file away again.
    EXPECT_EQ(DirectoryEntries(m_home.CurrentUserPath("K")), std::vector<std::string>{"Sub"});
}

TEST_F(RegistryTest, DeletingAValueRemovesOnlyThatValue) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    ASSERT_EQ(key.SetStringValue("A", "1"), kSuccess);
    ASSERT_EQ(key.SetStringValue("B", "2"), kSuccess);
    EXPECT_EQ(key.DeleteValue("A"), kSuccess);
    EXPECT_EQ(key.DeleteValue("A"), kFileNotFound);
    std::vector<std::string> values;
    ASSERT_EQ(key.EnumValues(values), kSuccess);
    EXPECT_EQ(values, std::vector<std::string>{"B"});
}

TEST_F(RegistryTest, DeletingATreeRemovesNestedKeysAndValuesButNotItsParent) {
    CRegKey top, deep;
    ASSERT_EQ(top.Create(Root::ClassesRoot, "CLSID"), kSuccess);
    ASSERT_EQ(deep.Create(top, "{1}\\InprocServer32"), kSuccess);
    ASSERT_EQ(deep.SetStringValue("", "/usr/lib/palvex.so"), kSuccess);
    ASSERT_EQ(deep.SetStringValue("ThreadingModel", "Apartment"), kSuccess);
    deep.Close();

    EXPECT_EQ(top.DeleteSubKeyTree("{1}"), kSuccess);
    EXPECT_EQ(deep.Open(top, "{1}"), kFileNotFound);
    EXPECT_EQ(top.DeleteSubKeyTree("{1}"), kFileNotFound);
    std::vector<std::string> keys;
    ASSERT_EQ(top.EnumSubKeys(keys), kSuccess);
    EXPECT_TRUE(keys.empty());
}

TEST_F(RegistryTest, DeletingATreeByRootPathAndEmptyingAKeyInPlace) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "A\\B\\C"), kSuccess);
    ASSERT_EQ(key.SetStringValue("V", "1"), kSuccess);
    EXPECT_EQ(DeleteKeyTree(Root::CurrentUser, ""), kInvalidParameter);
    EXPECT_EQ(DeleteKeyTree(Root::CurrentUser, "A\\B"), kSuccess);
    EXPECT_TRUE(fs::is_directory(m_home.CurrentUserPath("A")));
    EXPECT_FALSE(fs::exists(m_home.CurrentUserPath("A/B")));

    CRegKey a;
    ASSERT_EQ(a.Open(Root::CurrentUser, "A"), kSuccess);
    ASSERT_EQ(a.SetStringValue("X", "1"), kSuccess);
    CRegKey child;
    ASSERT_EQ(child.Create(a, "Child"), kSuccess);
    EXPECT_EQ(a.DeleteSubKeyTree(""), kSuccess);
    EXPECT_TRUE(DirectoryEntries(m_home.CurrentUserPath("A")).empty());
}

TEST_F(RegistryTest, EnumeratesSubkeysAndValuesSeparatelyInOrderSkippingStrayTemporaries) {
    CRegKey key, sub;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    ASSERT_EQ(sub.Create(key, "Zeta"), kSuccess);
    ASSERT_EQ(sub.Create(key, "Alpha"), kSuccess);
    ASSERT_EQ(key.SetStringValue("Width", "256"), kSuccess);
    ASSERT_EQ(key.SetStringValue("Color", "0"), kSuccess);
    // What an interrupted write leaves behind.
    ASSERT_TRUE(testsupport::WriteFile(m_home.CurrentUserPath("K/.regtmp.99.0.1"), "half"));

    std::vector<std::string> keys, values;
    ASSERT_EQ(key.EnumSubKeys(keys), kSuccess);
    ASSERT_EQ(key.EnumValues(values), kSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "Zeta"}));
    EXPECT_EQ(values, (std::vector<std::string>{"Color", "Width"}));
}

TEST_F(RegistryTest, DoesNotFollowSymbolicLinksPlantedInTheStore) {
    const std::string outside = m_home.Path() + "/outside";
    fs::create_directories(outside);
    ASSERT_TRUE(testsupport::WriteFile(outside + "/secret", "do not read"));
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    fs::create_directory_symlink(outside, m_home.CurrentUserPath("K/Linked"));
    fs::create_symlink(outside + "/secret", m_home.CurrentUserPath("K/Value"));

    CRegKey linked;
    EXPECT_EQ(linked.Open(key, "Linked"), kAccessDenied);
    EXPECT_EQ(linked.Create(Root::CurrentUser, "K\\Linked\\Deeper"), kAccessDenied);
    std::string text;
    EXPECT_EQ(key.QueryStringValue("Value", text), kFileNotFound);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(key.DeleteSubKeyTree(""), kSuccess); // removes the links, not their targets
    EXPECT_EQ(testsupport::ReadFile(outside + "/secret"), "do not read");
    EXPECT_FALSE(fs::exists(outside + "/Deeper"));
}

TEST_F(RegistryTest, AFailedOpenKeepsTheKeyHeldBeforeAndAClosedKeyRefusesWork) {
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    EXPECT_EQ(key.Open(key, "Missing"), kFileNotFound);
    ASSERT_TRUE(key.IsOpen());
    EXPECT_EQ(key.SetStringValue("V", "1"), kSuccess);

    EXPECT_EQ(key.Close(), kSuccess);
    EXPECT_EQ(key.Close(), kSuccess);
    std::string text;
    std::vector<std::string> names;
    EXPECT_EQ(key.SetStringValue("V", "2"), kInvalidHandle);
    EXPECT_EQ(key.QueryStringValue("V", text), kInvalidHandle);
    EXPECT_EQ(key.DeleteValue("V"), kInvalidHandle);
    EXPECT_EQ(key.DeleteSubKeyTree("X"), kInvalidHandle);
    EXPECT_EQ(key.EnumValues(names), kInvalidHandle);
    CRegKey child;
    EXPECT_EQ(child.Create(key, "X"), kInvalidHandle);
}

TEST_F(RegistryTest, AWriteIntoAReadOnlyKeyFailsAndLeavesTheOldText) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    CRegKey key;
    ASSERT_EQ(key.Create(Root::CurrentUser, "K"), kSuccess);
    ASSERT_EQ(key.SetStringValue("V", "old"), kSuccess);
    ::chmod(m_home.CurrentUserPath("K").c_str(), 0500);
    EXPECT_EQ(key.SetStringValue("V", "new"), kAccessDenied);
    ::chmod(m_home.CurrentUserPath("K").c_str(), 0700);
    std::string text;
    ASSERT_EQ(key.QueryStringValue("V", text), kSuccess);
    EXPECT_EQ(text, "old");
}

TEST(RegistryStoreTest, LivesUnderAnAbsoluteConfigHomeOrElseUnderHomeDotConfig) {
    CTempConfigHome home;
    EXPECT_EQ(StoreDirectory(), home.Path() + "/palvex-registry");

    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ::setenv("HOME", home.Path().c_str(), 1);
    EXPECT_EQ(StoreDirectory(), home.Path() + "/.config/palvex-registry");

    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(StoreDirectory(), "");
    CRegKey key;
    EXPECT_EQ(key.Create(Root::CurrentUser, "K"), kPathNotFound);
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}
