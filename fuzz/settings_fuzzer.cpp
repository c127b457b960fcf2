// The settings store's value reader: DecimalValue on any text, and
// CSettingsKey::ReadInt on any bytes planted as a value file in a private
// store (XDG_CONFIG_HOME points at a fresh directory), plus the store's own
// write and read of any text.
//
// Checked beyond "no crash": DecimalValue agrees with the C library's strtoll
// clamped to int (leading white space, a sign, digits up to the first other
// character); ReadInt gives that number for a value of fewer than 20 bytes up
// to its first zero byte and the default otherwise; text the store accepts
// reads back unchanged.
#include "fuzz/fuzz_sandbox.h"
#include "platform/registry/registry.h"
#include "tool/settings_key.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings_fuzzer: %s\n", what);
    std::abort();
}

int Reference(const std::string& text) {
    const std::string c = text.substr(0, text.find('\0'));
    const long long v = std::strtoll(c.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

std::string g_valueDir;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& dir = fuzzing::MakeSandbox("settings-fuzz", false);
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    dravel::CSettingsKey key;
    if (key.OpenKey(dravel::kProductKey) != 0) std::abort();
    g_valueDir = dir + "/palvex-registry/HKEY_CURRENT_USER/SOFTWARE/Tavrin/Sarnow/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange<int>(0, 7);
    const int fallback = in.ConsumeIntegral<int>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    // DecimalValue only looks at the text, zero bytes included: it stops at
    // the first character that is not a digit, as strtoll does at the end.
    if (dravel::DecimalValue(text) != Reference(text)) Fail("DecimalValue differs from strtoll");

    if (mode == 0) {
        // The store's own writer: accepted text reads back as it was.
        palvex::reg::CRegKey key;
        if (key.Create(palvex::reg::Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow") != 0)
            Fail("open");
        const long rc = key.SetStringValue("Width", text);
        const bool acceptable =
            text.find('\0') == std::string::npos && text.size() <= palvex::reg::kMaxValueBytes;
        if ((rc == palvex::reg::kSuccess) != acceptable) Fail("write accepted or refused wrongly");
        std::string back;
        if (!acceptable) return 0; // the value kept its earlier text
        if (key.QueryStringValue("Width", back) != 0 || back != text)
            Fail("text changed in the store");
    } else {
        // Any bytes in the value file, as another program or a damaged disk
        // may leave them.
        std::FILE* f = std::fopen((g_valueDir + "Width").c_str(), "wb");
        if (f == nullptr) Fail("cannot plant the value");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    dravel::CSettingsKey key;
    if (key.OpenKey(dravel::kProductKey) != 0) Fail("OpenKey");
    const std::string stored = text.substr(0, text.find('\0'));
    const int want =
        stored.size() + 1 > dravel::CSettingsKey::kReadBufferBytes ? fallback : Reference(stored);
    if (key.ReadInt(dravel::kValueWidth, fallback) != want)
        Fail("ReadInt differs from its contract");
    if (key.ReadInt("Missing", fallback) != fallback)
        Fail("a missing value did not give the default");
    return 0;
}
