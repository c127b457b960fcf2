#include "tool/settings_key.h"

#include <cctype>
#include <climits>
#include <string>

namespace dravel {

namespace {

constexpr const char* kBaseKey = "SOFTWARE\\Tavrin";

} // namespace

int DecimalValue(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value < INT_MIN ? INT_MIN : value);
}

long CSettingsKey::OpenKey(const char* name) {
    Close();
    const std::string path = std::string(kBaseKey) + "\\" + name;
    return m_key.Create(palvex::reg::Root::CurrentUser, path);
}

int CSettingsKey::ReadInt(const char* valueName, int nDefault) const {
    std::string text;
    if (m_key.QueryStringValue(valueName, text) != palvex::reg::kSuccess) return nDefault;
    if (text.size() + 1 > kReadBufferBytes) return nDefault;
    return DecimalValue(text);
}

long CSettingsKey::WriteInt(const char* valueName, int value) {
    return m_key.SetStringValue(valueName, std::to_string(value));
}

long CSettingsKey::Close() { return m_key.Close(); }

void WriteSettings(const char* name, std::initializer_list<SettingValue> values) {
    CSettingsKey key;
    key.OpenKey(name);
    for (const SettingValue& v : values)
        key.WriteInt(v.name, v.value);
    key.Close();
}

} // namespace dravel
