// COM numbers and the devices behind them: defaults, the map file format, which file is in force.

#include <gtest/gtest.h>

#include <string>

#include "comm/PortMap.h"
#include "tests/comm/TestEnvironment.h"

namespace tamrix {
namespace {

using test::ScopedEnv;

TEST(PortMapTest, DefaultsNameTheFourOnBoardPortsOnly) {
    const CPortMap map = CPortMap::Defaults();
    EXPECT_EQ(map.DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(map.DevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(map.DevicePath(0), "");
    EXPECT_EQ(map.DevicePath(5), "");
    EXPECT_EQ(map.Entries().size(), 4u);
}

TEST(PortMapTest, MapTextOverridesAndExtendsTheDefaults) {
    CPortMap map = CPortMap::Defaults();
    std::string error;
    ASSERT_TRUE(
        map.LoadText("# adapters on the bench\n"
                     "\n"
                     "COM5 = /dev/ttyUSB0\n"
                     "  com6\t/dev/serial/by-id/usb-FTDI-if00-port0   # second one\n"
                     "COM1=/dev/ttyAMA0\r\n"
                     "COM12 = /dev/ttyACM3\n",
                     &error))
        << error;
    EXPECT_EQ(map.DevicePath(1), "/dev/ttyAMA0");
    EXPECT_EQ(map.DevicePath(2), "/dev/ttyS1");
    EXPECT_EQ(map.DevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(map.DevicePath(6), "/dev/serial/by-id/usb-FTDI-if00-port0");
    EXPECT_EQ(map.DevicePath(12), "/dev/ttyACM3");
    EXPECT_EQ(map.Entries().size(), 7u);
}

TEST(PortMapTest, MalformedLinesAreRefusedWithTheirLineNumber) {
    const char* bad[] = {"COM5",
                         "COM5 =",
                         "PORT5 = /dev/ttyUSB0",
                         "COM0 = /dev/ttyUSB0",
                         "COMx = /dev/ttyUSB0",
                         "= /dev/ttyUSB0"};
    for (const char* line : bad) {
        CPortMap map;
        std::string error;
        EXPECT_FALSE(map.LoadText(std::string("# header\nCOM7 = /dev/ttyUSB7\n") + line, &error))
            << line;
        EXPECT_NE(error.find("line 3"), std::string::npos) << line << ": " << error;
    }
}

TEST(PortMapTest, ParsesComNamesOnly) {
    EXPECT_EQ(CPortMap::ParsePortName("COM1"), 1);
    EXPECT_EQ(CPortMap::ParsePortName("com7"), 7);
    EXPECT_EQ(CPortMap::ParsePortName("Com15"), 15);
    EXPECT_EQ(CPortMap::ParsePortName("COM255"), 255);
    EXPECT_EQ(CPortMap::ParsePortName("COM256"), 0);
    EXPECT_EQ(CPortMap::ParsePortName("COM"), 0);
    EXPECT_EQ(CPortMap::ParsePortName("COM 3"), 0);
    EXPECT_EQ(CPortMap::ParsePortName("COM3x"), 0);
    EXPECT_EQ(CPortMap::ParsePortName("LPT1"), 0);
    EXPECT_EQ(CPortMap::ParsePortName("/dev/ttyS0"), 0);
}

TEST(PortMapTest, EnvironmentVariableChoosesTheMapFileBeforeThePerUserOne) {
    ScopedEnv xdg("XDG_CONFIG_HOME", std::string("/cfg"));
    ScopedEnv home("HOME", std::string("/home/tech"));
    {
        ScopedEnv map(kPortMapEnvironment, std::string("/tmp/bench.ports"));
        EXPECT_EQ(CPortMap::MapFilePath(), "/tmp/bench.ports");
    }
    {
        ScopedEnv map(kPortMapEnvironment, std::nullopt);
        EXPECT_EQ(CPortMap::MapFilePath(), "/cfg/tamrix/ports");
        ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(CPortMap::MapFilePath(), "/home/tech/.config/tamrix/ports");
    }
}

TEST(PortMapTest, LoadUsesTheFileInForceAndToleratesAMissingOne) {
    const test::ScopedTempFile file("tamrix-portmap-test.ports", "COM2 = /dev/ttyUSB4\n");
    const std::string& path = file.Path();
    {
        ScopedEnv map(kPortMapEnvironment, path);
        const CPortMap loaded = CPortMap::Load();
        EXPECT_EQ(loaded.DevicePath(2), "/dev/ttyUSB4");
        EXPECT_EQ(loaded.DevicePath(3), "/dev/ttyS2");
    }
    {
        ScopedEnv map(kPortMapEnvironment, path + ".missing");
        const CPortMap loaded = CPortMap::Load();
        EXPECT_EQ(loaded.DevicePath(2), "/dev/ttyS1");
    }

    CPortMap map;
    std::string error;
    EXPECT_FALSE(map.LoadFile(path + ".missing", &error));
    EXPECT_NE(error.find(path + ".missing"), std::string::npos) << error;
}

}  // namespace
}  // namespace tamrix
