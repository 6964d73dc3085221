// Which terminal devices are listed as serial ports, what they are called, and which COM number
// each gets and keeps, from made-up device records; and the hot-plug monitor's handle.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comm/DevicePortEnumerator.h"
#include "comm/PortList.h"
#include "comm/PortMonitor.h"
#include "platform/Clock.h"

namespace tamrix {
namespace {

// Hands out whatever the test has put into `records` at the moment of the listing.
class FakeDeviceSource : public CSerialDeviceSource {
  public:
    explicit FakeDeviceSource(const std::vector<SerialDeviceRecord>& records) : records_(records) {}
    std::vector<SerialDeviceRecord> List() override { return records_; }

  private:
    const std::vector<SerialDeviceRecord>& records_;
};

SerialDeviceRecord OnBoard(const std::string& node, const std::string& driver, int uartType) {
    SerialDeviceRecord record;
    record.devnode = node;
    record.driver = driver;
    record.bus = driver == "serial" ? "pnp" : "platform";
    record.uartType = uartType;
    return record;
}

SerialDeviceRecord Adapter(const std::string& node, const std::string& serial) {
    SerialDeviceRecord record;
    record.devnode = node;
    record.driver = "ftdi_sio";
    record.bus = "usb-serial";
    record.devlinks = {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0"};
    record.properties = {{"ID_VENDOR_ENC", "FTDI"}, {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"}};
    return record;
}

std::string ById(const std::string& serial) {
    return "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0";
}

class PortEnumeratorTest : public ::testing::Test {
  protected:
    PortEnumeratorTest() {
        std::string pattern = ::testing::TempDir() + "tamrix-ports-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            root_ = pattern;
        // In a folder that does not exist yet, as the per-user one before the first adapter.
        mapPath_ = root_ + "/config/tamrix/ports";
    }
    ~PortEnumeratorTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // A fresh enumerator each time, as a new dialog or a new tamrix-cli run has.
    std::vector<SerialPortInfo> Enumerate(const std::string& mapPath) {
        CDevicePortEnumerator enumerator(std::make_unique<FakeDeviceSource>(records_), mapPath,
                                         clock_);
        std::vector<SerialPortInfo> ports = enumerator.Enumerate();
        problems_ = enumerator.Problems();
        return ports;
    }

    std::string MapText() const {
        std::ifstream in(mapPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string root_;
    std::string mapPath_;
    std::vector<SerialDeviceRecord> records_;
    std::vector<std::string> problems_;
    CSystemClock& clock_ = CSystemClock::Instance();
};

TEST_F(PortEnumeratorTest, OnlyRealPortsAreListedUnderNamesTheDialogReads) {
    SerialDeviceRecord console;
    console.devnode = "/dev/tty1";  // a virtual console: no driver behind it
    SerialDeviceRecord fromDatabase = Adapter("/dev/ttyUSB0", "A1");
    fromDatabase.properties["ID_VENDOR_FROM_DATABASE"] = "Future Technology Devices";
    fromDatabase.properties["ID_MODEL_FROM_DATABASE"] = "FT232 Serial (UART) IC";
    SerialDeviceRecord plainModel = Adapter("/dev/ttyACM0", "B2");
    plainModel.driver = "cdc_acm";
    plainModel.properties = {{"ID_VENDOR", "Arduino_SA"}, {"ID_MODEL", "Uno_R3"}};
    SerialDeviceRecord productOnly = Adapter("/dev/ttyUSB1", "C3");
    productOnly.properties.clear();
    productOnly.usbProduct = "CP2102 USB to UART\tBridge";
    SerialDeviceRecord nameless = Adapter("/dev/ttyUSB2", "D4");
    nameless.properties.clear();
    SerialDeviceRecord noAccess = Adapter("/dev/ttyUSB3", "E5");
    noAccess.accessible = false;
    noAccess.group = "dialout";
    records_ = {console,
                OnBoard("/dev/ttyS0", "serial", 4),      // a PC's COM1, found through ACPI
                OnBoard("/dev/ttyS1", "serial8250", 0),  // placeholders without a UART
                OnBoard("/dev/ttyS2", "serial8250", -1),
                OnBoard("/dev/ttyS3", "serial8250", 4),  // a legacy port with a real UART
                OnBoard("/dev/ttyAMA0", "uart-pl011", -1),
                fromDatabase,
                plainModel,
                productOnly,
                nameless,
                noAccess};

    const std::vector<SerialPortInfo> ports = Enumerate(mapPath_);
    std::vector<std::string> names;
    for (const SerialPortInfo& port : ports) {
        names.push_back(port.friendlyName);
        // Every name gives the dialog its own port name back.
        EXPECT_EQ(PortNameFromFriendlyName(port.friendlyName),
                  "COM" + std::to_string(port.portNumber))
            << port.friendlyName;
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Communications Port (COM1)",
                         "Communications Port (COM4)",
                         "Communications Port (COM5)",
                         "Future Technology Devices FT232 Serial UART IC (COM6)",
                         "Arduino SA Uno R3 (COM7)",
                         "CP2102 USB to UART Bridge (COM8)",
                         "Communications Port (COM9)",
                         "FTDI FT232R USB UART (COM10)",
                     }));
    ASSERT_EQ(ports.size(), 8u);
    EXPECT_EQ(ports[2].byIdKey, "");
    EXPECT_EQ(ports[3].byIdKey, ById("A1"));
    EXPECT_FALSE(ports[7].accessible);
    EXPECT_EQ(ports[7].group, "dialout");
    EXPECT_TRUE(problems_.empty());
}

// An adapter keeps its number wherever it is plugged in, a new one gets the lowest number nobody
// has, also when the map file has a bad line; on-board ports are COM1..COM4.
TEST_F(PortEnumeratorTest, AnAdapterKeepsItsNumberAndANewOneGetsTheLowestFree) {
    records_ = {OnBoard("/dev/ttyS0", "serial", 4), OnBoard("/dev/ttyS1", "serial", 4),
                Adapter("/dev/ttyUSB0", "A1")};
    std::vector<SerialPortInfo> ports = Enumerate(mapPath_);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].portNumber, 1);
    EXPECT_EQ(ports[1].portNumber, 2);
    EXPECT_EQ(ports[2].portNumber, 5);
    EXPECT_NE(MapText().find("COM5 = " + ById("A1")), std::string::npos) << MapText();

    {
        std::ofstream(mapPath_, std::ios::app) << "this line is broken\n"
                                               << "COM6 = /dev/ttyACM9\n"
                                               << "COM9 = /dev/ttyUSB3\n";
    }
    // A1 moved to another socket, B2 is new, and the one at /dev/ttyUSB3 is in the map by its
    // node only.
    records_ = {OnBoard("/dev/ttyS0", "serial", 4), Adapter("/dev/ttyUSB1", "A1"),
                Adapter("/dev/ttyUSB0", "B2"), Adapter("/dev/ttyUSB3", "C3")};
    ports = Enumerate(mapPath_);
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].portNumber, 1);
    EXPECT_EQ(ports[1].device, "/dev/ttyUSB1");
    EXPECT_EQ(ports[1].portNumber, 5);
    EXPECT_EQ(ports[2].device, "/dev/ttyUSB0");
    EXPECT_EQ(ports[2].portNumber, 7);
    EXPECT_EQ(ports[3].device, "/dev/ttyUSB3");
    EXPECT_EQ(ports[3].portNumber, 9);
    EXPECT_TRUE(problems_.empty());
    const std::string text = MapText();
    EXPECT_NE(text.find("this line is broken\n"), std::string::npos) << text;
    EXPECT_NE(text.find("COM7 = " + ById("B2")), std::string::npos) << text;

    // Listed again: nothing new, nothing renumbered, nothing written.
    ports = Enumerate(mapPath_);
    EXPECT_EQ(ports[2].portNumber, 7);
    EXPECT_EQ(MapText(), text);
}

// A map that cannot be written does not hide a port: it is listed under a number for this listing
// only, two new adapters never share one, and the user is told.
TEST_F(PortEnumeratorTest, PortsAreListedWhenTheMapCannotBeWritten) {
    std::filesystem::create_directories(mapPath_);  // a folder where the file should be
    records_ = {OnBoard("/dev/ttyS0", "serial", 4), Adapter("/dev/ttyUSB0", "A1"),
                Adapter("/dev/ttyUSB1", "B2")};
    const std::vector<SerialPortInfo> ports = Enumerate(mapPath_);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].portNumber, 1);
    EXPECT_EQ(ports[1].portNumber, 5);
    EXPECT_EQ(ports[2].portNumber, 6);
    ASSERT_EQ(problems_.size(), 2u);
    EXPECT_NE(problems_[0].find("COM5 = " + ById("A1")), std::string::npos) << problems_[0];
    EXPECT_NE(problems_[0].find(mapPath_), std::string::npos) << problems_[0];
}

// The dialog watches the handle in its event loop and drains it; draining must never block.
TEST(PortMonitorTest, TakingEventsNeverWaits) {
    const std::unique_ptr<CPortMonitor> monitor = CreatePortMonitor();
    if (!monitor)
        GTEST_SKIP() << "no hot-plug notice on this system";
    EXPECT_GE(monitor->Handle(), 0);
    monitor->TakeEvents();
    monitor->TakeEvents();
}

}  // namespace
}  // namespace tamrix
