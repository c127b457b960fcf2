#include "platform/ports/port_map.h"
#include "platform/registry/registry.h"
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace palvex;
using namespace palvex::ports;

namespace {

// Runs with COM3 unmapped in the environment, a private registry and a
// device tree with no serial device.
class PortMapTest : public ::testing::Test {
  protected:
    PortMapTest() {
        if (const char* old = std::getenv("PALVEX_COM3")) m_saved = old;
        ::unsetenv("PALVEX_COM3");
        ::setenv("PALVEX_DEVICE_ROOT", m_home.Path().c_str(), 1);
    }
    ~PortMapTest() override {
        ::unsetenv("PALVEX_DEVICE_ROOT");
        if (m_saved)
            ::setenv("PALVEX_COM3", m_saved->c_str(), 1);
        else
            ::unsetenv("PALVEX_COM3");
    }
    void MapInRegistry(const std::string& device) {
        reg::CRegKey key;
        ASSERT_EQ(key.Create(reg::Root::CurrentUser, kPortMapKey), reg::kSuccess);
        ASSERT_EQ(key.SetStringValue("COM3", device), reg::kSuccess);
    }

    testsupport::CTempConfigHome m_home;
    std::optional<std::string> m_saved;
};

} // namespace

TEST_F(PortMapTest, WithNothingMappedAndNoDevicePresentNoNumberOpensAnything) {
    EXPECT_EQ(ResolveComDevice(3), "");
    EXPECT_EQ(ResolveComPort(1).note, "no serial port has the number COM1");
    EXPECT_EQ(ResolveComDevice(0), "");
    EXPECT_EQ(ResolveComDevice(-1), "");
}

TEST_F(PortMapTest, TheRegistryMappingIsUsedWhenTheEnvironmentHasNone) {
    MapInRegistry("/dev/ttyUSB0");
    EXPECT_EQ(ResolveComDevice(3), "/dev/ttyUSB0");
    EXPECT_EQ(ResolveComDevice(4), "");
}

TEST_F(PortMapTest, TheEnvironmentWinsOverTheRegistry) {
    MapInRegistry("/dev/ttyUSB0");
    ::setenv("PALVEX_COM3", "/tmp/pty-link", 1);
    EXPECT_EQ(ResolveComDevice(3), "/tmp/pty-link");
    ::setenv("PALVEX_COM3", "", 1); // empty counts as not set
    EXPECT_EQ(ResolveComDevice(3), "/dev/ttyUSB0");
}

TEST_F(PortMapTest, ARelativeOrEmptyRegistryPathIsIgnored) {
    MapInRegistry("ttyUSB0");
    EXPECT_EQ(ResolveComDevice(3), "");
    MapInRegistry("");
    EXPECT_EQ(ResolveComDevice(3), "");
}
