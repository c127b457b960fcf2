// CSettingsKey: the tool's remembered card, as decimal text values under
// HKEY_CURRENT_USER\SOFTWARE\Tavrin\<product>. A handler makes one on its
// stack, opens, reads or writes, and closes; the destructor closes too.
#pragma once

#include "platform/registry/registry.h"

#include <initializer_list>

namespace dravel {

// The product key and the names of the values kept under it.
inline constexpr const char* kProductKey = "Sarnow";
inline constexpr const char* kValueNumber = "Number";
inline constexpr const char* kValueCommPort = "CommPort";
inline constexpr const char* kValueBaudRate = "BaudRate";
inline constexpr const char* kValueWidth = "Width";
inline constexpr const char* kValueHeight = "Height";
inline constexpr const char* kValueColor = "Color";
inline constexpr const char* kValueVersion = "Version";

class CSettingsKey {
public:
    CSettingsKey() = default;
    ~CSettingsKey() { Close(); }
    CSettingsKey(const CSettingsKey&) = delete;
    CSettingsKey& operator=(const CSettingsKey&) = delete;

    // Creates or opens SOFTWARE\Tavrin\<name>; the store's status, 0 on success.
    long OpenKey(const char* name);
    // The value's decimal conversion (white space, optional sign, digits up to
    // the first other character; no digits give 0), or nDefault when the
    // value cannot be read: missing, 20 bytes or more with its terminator, or
    // no key open.
    int ReadInt(const char* valueName, int nDefault) const;
    // Stores the number as decimal text.
    long WriteInt(const char* valueName, int value);
    // 0 also when no key was open.
    long Close();

    // Room the reader gives a value, terminator included.
    static constexpr std::size_t kReadBufferBytes = 20;

private:
    palvex::reg::CRegKey m_key;
};

// The conversion ReadInt applies; numbers beyond int saturate.
int DecimalValue(const std::string& text);

struct SettingValue {
    const char* name;
    int value;
};

// Opens SOFTWARE\Tavrin\<name>, writes the values in their order and closes
// it, as one handler's step; as everywhere in the tool, a store that refuses
// them is not reported.
void WriteSettings(const char* name, std::initializer_list<SettingValue> values);

} // namespace dravel
