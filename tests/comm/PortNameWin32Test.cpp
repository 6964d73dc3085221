// COM ports as Windows names them, and the hold that keeps another instance of this program off a
// port between the openings of one download.

#include <gtest/gtest.h>

#include "comm/PortLease.h"
#include "comm/PortMap.h"
#include "comm/PortMonitor.h"
#include "comm/SerialDevice.h"
#include "comm/SerialPort.h"

namespace tamrix {
namespace {

TEST(PortNameWin32Test, ComNumbersOpenUnderTheSystemsOwnNames) {
    EXPECT_EQ(SystemComPortName(1), "COM1");
    EXPECT_EQ(SystemComPortName(4), "COM4");
    EXPECT_EQ(SystemComPortName(5), "\\\\.\\COM5");
    EXPECT_EQ(SystemComPortName(10), "\\\\.\\COM10");
    // No map is needed; an entry of a map file still counts first.
    CPortMap map = CPortMap::Defaults();
    EXPECT_TRUE(map.Entries().empty());
    EXPECT_EQ(map.DevicePath(4), "COM4");
    EXPECT_EQ(map.DevicePath(12), "\\\\.\\COM12");
    map.Set(12, "\\\\.\\COM3");
    EXPECT_EQ(map.DevicePath(12), "\\\\.\\COM3");
}

TEST(PortNameWin32Test, APortThatIsNotThereFailsToOpenAsMissing) {
    CSerialPort port;
    EXPECT_EQ(port.Open(231, 115200, 0), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenFailure().error, OpenError::NoDevice);
    EXPECT_EQ(port.LastOpenFailure().device, "\\\\.\\COM231");
}

TEST(PortNameWin32Test, APortIsLeasedOnceUnderAnyOfItsNames) {
    CPortLease first;
    CPortLease second;
    ASSERT_TRUE(first.Acquire("\\\\.\\COM7"));
    EXPECT_TRUE(first.HoldsDevice("COM7"));
    EXPECT_TRUE(first.HoldsDevice("com7"));
    EXPECT_FALSE(first.HoldsDevice("COM17"));
    EXPECT_FALSE(second.Acquire("com7"));
    EXPECT_TRUE(second.Acquire("COM8"));
    first.Release();
    EXPECT_TRUE(second.Acquire("COM7"));
    EXPECT_FALSE(second.HoldsDevice("COM8"));  // one port a lease
}

TEST(PortNameWin32Test, ThePortMonitorListensWithoutBlocking) {
    std::unique_ptr<CPortMonitor> monitor = CreatePortMonitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_GT(monitor->Handle(), 0);      // an event handle to watch
    EXPECT_FALSE(monitor->TakeEvents());  // nothing came or went, and nothing waited for it
    monitor.reset();                      // its window and thread end with it
}

}  // namespace
}  // namespace tamrix
