// The settings store on Windows is the registry itself: what it writes is
// read back here through the registry's own calls, and what other programs
// wrote there is read through the store.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

using namespace palvex::reg;

namespace {

// Each test works below a key of its own under HKEY_CURRENT_USER, removed
// afterwards.
class RegistryWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::string("Software\\Palvex tests\\") + info->name();
        DeleteKeyTree(Root::CurrentUser, m_path);
        ASSERT_EQ(m_key.Create(Root::CurrentUser, m_path), kSuccess);
    }
    void TearDown() override {
        m_key.Close();
        DeleteKeyTree(Root::CurrentUser, m_path);
    }

    // The value as the registry holds it: its type and its UTF-16 data,
    // terminator included.
    bool RawValue(const std::wstring& name, DWORD& type, std::wstring& data) const {
        const std::wstring key(m_path.begin(), m_path.end());
        DWORD bytes = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                           &type, nullptr, &bytes) != ERROR_SUCCESS)
            return false;
        data.assign(bytes / sizeof(wchar_t), L'\0');
        return ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(),
                              RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(),
                              &bytes) == ERROR_SUCCESS;
    }
    HKEY RawKey() {
        const std::wstring key(m_path.begin(), m_path.end());
        HKEY raw = nullptr;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &raw);
        return raw;
    }

    std::string m_path;
    CRegKey m_key;
};

} // namespace

TEST_F(RegistryWin32Test, WritesRegSzValuesThatTheRegistryHoldsAsUtf16) {
    struct Case {
        std::string name, text;
        std::wstring wideName, wideText;
    };
    const std::vector<Case> cases = {
        {"BaudRate", "28800", L"BaudRate", L"28800"},
        {"", "Palvex Control", L"", L"Palvex Control"},
        {"Empty", "", L"Empty", L""},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80", L"Gr\u00FC\u00DFe",
         L"\u4E2D\u6587 \U0001F600"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(m_key.SetStringValue(c.name, c.text), kSuccess) << c.name;
        DWORD type = 0;
        std::wstring data;
        ASSERT_TRUE(RawValue(c.wideName, type, data)) << c.name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << c.name;
        EXPECT_EQ(data, c.wideText + L'\0') << c.name;
        std::string back;
        ASSERT_EQ(m_key.QueryStringValue(c.name, back), kSuccess) << c.name;
        EXPECT_EQ(back, c.text) << c.name;
    }
}

TEST_F(RegistryWin32Test, ReadsWhatOtherProgramsWroteAndRefusesValuesThatHoldNoText) {
    HKEY raw = RawKey();
    ASSERT_NE(raw, nullptr);
    const wchar_t unterminated[] = {L'5', L'7', L'6'};
    ::RegSetValueExW(raw, L"NoEnd", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated),
                     sizeof unterminated);
    const wchar_t early[] = L"12\0junk";
    ::RegSetValueExW(raw, L"Early", 0, REG_SZ, reinterpret_cast<const BYTE*>(early), sizeof early);
    const DWORD number = 7;
    ::RegSetValueExW(raw, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    const wchar_t lone[] = L"\xD800x";
    ::RegSetValueExW(raw, L"Lone", 0, REG_SZ, reinterpret_cast<const BYTE*>(lone), sizeof lone);
    ::RegCloseKey(raw);

    std::string text;
    ASSERT_EQ(m_key.QueryStringValue("NoEnd", text), kSuccess);
    EXPECT_EQ(text, "576");
    ASSERT_EQ(m_key.QueryStringValue("Early", text), kSuccess);
    EXPECT_EQ(text, "12");
    text = "kept";
    EXPECT_EQ(m_key.QueryStringValue("Number", text), kUnsupportedType);
    EXPECT_EQ(m_key.QueryStringValue("Lone", text), kInvalidParameter);
    EXPECT_EQ(m_key.QueryStringValue("Missing", text), kFileNotFound);
    EXPECT_EQ(text, "kept");
}

TEST_F(RegistryWin32Test, RefusesTheNamesAndTextThatEverySystemRefuses) {
    const std::vector<std::string> values = {
        "..",  ".", "a/b", "a\\b", "@", ".regtmp.1", std::string(256, 'x'), std::string("a\0b", 3),
        "\xC3"};
    for (const std::string& bad : values) {
        EXPECT_EQ(m_key.SetStringValue(bad, "x"), kInvalidParameter) << bad;
        std::string text;
        EXPECT_EQ(m_key.QueryStringValue(bad, text), kInvalidParameter) << bad;
        EXPECT_EQ(m_key.DeleteValue(bad), kInvalidParameter) << bad;
    }
    const std::vector<std::string> keys = {"..",     "A\\..\\..\\B", "\\A", "A\\",
                                           "A\\\\B", "A/B",          ".",   "A\\.regtmp.x"};
    for (const std::string& bad : keys) {
        CRegKey key;
        EXPECT_EQ(key.Create(m_key, bad), kInvalidParameter) << bad;
        EXPECT_EQ(m_key.DeleteSubKeyTree(bad), kInvalidParameter) << bad;
    }
    EXPECT_EQ(m_key.SetStringValue("V", std::string("12\0 34", 6)), kInvalidParameter);
    EXPECT_EQ(m_key.SetStringValue("V", "not UTF-8 \xFF"), kInvalidParameter);
    std::vector<std::string> names;
    ASSERT_EQ(m_key.EnumValues(names), kSuccess);
    EXPECT_TRUE(names.empty());
    ASSERT_EQ(m_key.EnumSubKeys(names), kSuccess);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryWin32Test, EnumeratesInOrderAndDeletesTreesButKeepsTheirParent) {
    CRegKey deep;
    ASSERT_EQ(deep.Create(m_key, "Zeta\\InprocServer32"), kSuccess);
    ASSERT_EQ(deep.SetStringValue("ThreadingModel", "Apartment"), kSuccess);
    ASSERT_EQ(deep.Create(m_key, "Alpha"), kSuccess);
    ASSERT_EQ(m_key.SetStringValue("Width", "256"), kSuccess);
    ASSERT_EQ(m_key.SetStringValue("", "default"), kSuccess);
    ASSERT_EQ(m_key.SetStringValue("Color", "0"), kSuccess);

    std::vector<std::string> keys, values;
    ASSERT_EQ(m_key.EnumSubKeys(keys), kSuccess);
    ASSERT_EQ(m_key.EnumValues(values), kSuccess);
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "Zeta"}));
    EXPECT_EQ(values, (std::vector<std::string>{"", "Color", "Width"}));

    EXPECT_EQ(m_key.DeleteSubKeyTree("Zeta"), kSuccess);
    EXPECT_EQ(m_key.DeleteSubKeyTree("Zeta"), kFileNotFound);
    CRegKey gone;
    EXPECT_EQ(gone.Open(m_key, "Zeta\\InprocServer32"), kFileNotFound);
    EXPECT_EQ(m_key.DeleteValue("Width"), kSuccess);
    EXPECT_EQ(m_key.DeleteValue("Width"), kFileNotFound);

    EXPECT_EQ(m_key.DeleteSubKeyTree(""), kSuccess);
    ASSERT_EQ(m_key.EnumSubKeys(keys), kSuccess);
    ASSERT_EQ(m_key.EnumValues(values), kSuccess);
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(values.empty());
    CRegKey still;
    EXPECT_EQ(still.Open(Root::CurrentUser, m_path), kSuccess);
    EXPECT_EQ(DeleteKeyTree(Root::CurrentUser, ""), kInvalidParameter);
    CRegKey root;
    ASSERT_EQ(root.Open(Root::CurrentUser, ""), kSuccess);
    EXPECT_EQ(root.DeleteSubKeyTree(""), kAccessDenied);
    EXPECT_EQ(still.Open(Root::CurrentUser, m_path), kSuccess);
}

TEST_F(RegistryWin32Test, AFailedOpenKeepsTheKeyHeldBeforeAndAClosedKeyRefusesWork) {
    CRegKey key;
    ASSERT_EQ(key.Open(Root::CurrentUser, m_path), kSuccess);
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
    ASSERT_EQ(m_key.QueryStringValue("V", text), kSuccess);
    EXPECT_EQ(text, "1");
}
