// COM numbers on Windows: the system's own ports open as \\.\COMn, a mapping
// by hand under HKEY_CURRENT_USER\SOFTWARE\Palvex\Ports overrides one, and
// the ports present come from HARDWARE\DEVICEMAP\SERIALCOMM.
#include "platform/ports/port_map.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using namespace palvex;
using namespace palvex::ports;

namespace {

// The tests run in a Wine prefix of their own and own its per-user port map:
// each removes it afterwards.
class PortMapWin32Test : public ::testing::Test {
  protected:
    void TearDown() override { reg::DeleteKeyTree(reg::Root::CurrentUser, kPortMapKey); }
    static void Map(const char* name, const char* text) {
        reg::CRegKey key;
        ASSERT_EQ(key.Create(reg::Root::CurrentUser, kPortMapKey), reg::kSuccess);
        ASSERT_EQ(key.SetStringValue(name, text), reg::kSuccess);
    }
};

TEST_F(PortMapWin32Test, ResolvesComNumbersThroughTheMapOrTheSystem) {
    reg::DeleteKeyTree(reg::Root::CurrentUser, kPortMapKey);
    Map("COM4", "\\\\.\\CNCB0");
    Map("com5", "COM12");
    Map("COM6", "relative\\file"); // names no device: the system's COM6 stays
    Map("COM7", "");
    struct Case {
        int n;
        const char* device;
        ComSource source;
    };
    const Case cases[] = {
        {4, "\\\\.\\CNCB0", ComSource::Registry},
        {5, "\\\\.\\COM12", ComSource::Registry},
        {6, "\\\\.\\COM6", ComSource::System},
        {7, "\\\\.\\COM7", ComSource::System},
        {3, "\\\\.\\COM3", ComSource::System},
        {200, "\\\\.\\COM200", ComSource::System},
        {0, "", ComSource::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const SComPort port = ResolveComPort(c.n);
        EXPECT_EQ(port.device, c.device);
        EXPECT_EQ(port.source, c.source);
    }
}

TEST_F(PortMapWin32Test, MapsAndForgetsByHand) {
    std::string message;
    EXPECT_FALSE(MapComPort(8, "C:\\port.txt", message)) << message;
    ASSERT_TRUE(MapComPort(8, "COM2", message)) << message;
    EXPECT_EQ(ResolveComDevice(8), "\\\\.\\COM2");
    ASSERT_TRUE(ForgetComPort(8, message)) << message;
    EXPECT_EQ(ResolveComDevice(8), "\\\\.\\COM8");
    EXPECT_FALSE(ForgetComPort(8, message));
}

TEST_F(PortMapWin32Test, ListsThePortsTheSystemHasAndThoseMappedByHand) {
    // A port the system lists, as a driver registers it.
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t com[] = L"COM211";
    ASSERT_EQ(::RegSetValueExW(key, L"\\Device\\PalvexTest0", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(com), sizeof com),
              ERROR_SUCCESS);
    Map("COM212", "\\\\.\\CNCA0");
    const auto list = ListComPorts();
    const auto present = ListSerialPorts();
    ::RegDeleteValueW(key, L"\\Device\\PalvexTest0");
    ::RegCloseKey(key);

    auto find = [&](int n) {
        return std::find_if(list.begin(), list.end(),
                            [n](const SComPort& p) { return p.number == n; });
    };
    ASSERT_NE(find(211), list.end());
    EXPECT_EQ(find(211)->source, ComSource::System);
    EXPECT_EQ(find(211)->device, "\\\\.\\COM211");
    EXPECT_TRUE(find(211)->present);
    EXPECT_TRUE(std::any_of(present.begin(), present.end(), [](const SSerialPort& p) {
        return p.name == "PalvexTest0" && p.node == "\\\\.\\COM211";
    }));
    ASSERT_NE(find(212), list.end());
    EXPECT_EQ(find(212)->source, ComSource::Registry);
    EXPECT_EQ(find(212)->device, "\\\\.\\CNCA0");
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const SComPort& a, const SComPort& b) {
        return a.number < b.number;
    }));
}

} // namespace
