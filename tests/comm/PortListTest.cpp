// The port dialog's list without the window: port names cut out of friendly names, the rows'
// order, and the port number a chosen row stands for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/PortList.h"

namespace tamrix {
namespace {

std::vector<SerialPortInfo> Ports(const std::vector<std::string>& friendlyNames) {
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : friendlyNames) {
        SerialPortInfo port;
        port.friendlyName = name;
        ports.push_back(port);
    }
    return ports;
}

std::vector<std::string> PortNames(const std::vector<PortListEntry>& rows) {
    std::vector<std::string> names;
    for (const PortListEntry& row : rows)
        names.push_back(row.portName);
    return names;
}

TEST(PortListTest, RowsAreTheComPortsSortedByPortNameInByteOrder) {
    const std::vector<PortListEntry> rows =
        BuildPortList(Ports({"USB Serial Port (COM3)", "ECP Printer Port (LPT1)",
                             "Prolific USB-to-Serial Comm Port (COM10)",
                             "Communications Port (COM2)", "Bluetooth link"}));
    EXPECT_EQ(PortNames(rows), (std::vector<std::string>{"COM10", "COM2", "COM3"}));
    EXPECT_EQ(rows[0].friendlyName, "Prolific USB-to-Serial Comm Port (COM10)");

    // Two ports under one name (a driver that numbered badly) come out in the exchange sort's
    // own order, which is not the order they came in.
    const std::vector<PortListEntry> same =
        BuildPortList(Ports({"First (COM4)", "Second (COM4)", "Third (COM3)"}));
    ASSERT_EQ(same.size(), 3u);
    EXPECT_EQ(same[1].friendlyName, "Second (COM4)");
    EXPECT_EQ(same[2].friendlyName, "First (COM4)");

    const std::vector<PortListEntry> one = BuildPortList(Ports({"Communications Port (COM1)"}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].portName, "COM1");
    EXPECT_EQ(one[0].friendlyName, "Communications Port (COM1)");
    EXPECT_EQ(PortNumberFromSelection({one[0].portName}), 1);

    // No fixed number of rows: every port is listed.
    std::vector<std::string> many;
    for (int n = 1; n <= 40; ++n)
        many.push_back("Port (COM" + std::to_string(n) + ")");
    EXPECT_EQ(BuildPortList(Ports(many)).size(), 40u);
}

// A ")" ahead of "(COM" makes the span run backwards: the row is there with an empty port name,
// sorted first, and choosing it gives 0, which the main window ignores.
TEST(PortListTest, AnEarlierClosingParenthesisGivesARowWithoutAPortName) {
    EXPECT_EQ(PortNameFromFriendlyName("FT232 Serial (UART) IC (COM5)"), std::string());
    EXPECT_EQ(PortNameFromFriendlyName("Odd (COM)"), "COM");
    EXPECT_EQ(PortNameFromFriendlyName("No close (COM4"), std::string());
    EXPECT_EQ(PortNameFromFriendlyName("Parallel port (LPT1)"), std::nullopt);

    const std::vector<PortListEntry> rows =
        BuildPortList(Ports({"USB Serial Port (COM4)", "Adapter) v2 (COM7)"}));
    EXPECT_EQ(PortNames(rows), (std::vector<std::string>{"", "COM4"}));
    EXPECT_EQ(PortNumberFromSelection({rows[0].portName}), 0);
}

TEST(PortListTest, TheChosenRowGivesTheNumberOfTheTwoCharactersAfterCom) {
    EXPECT_EQ(PortNumberFromRowText("COM1"), 1);
    EXPECT_EQ(PortNumberFromRowText("COM12"), 12);
    EXPECT_EQ(PortNumberFromRowText("COM123"), 12);
    EXPECT_EQ(PortNumberFromRowText(""), 0);
    EXPECT_EQ(PortNumberFromRowText("COM"), 0);
    EXPECT_EQ(PortNumberFromRowText("COM-1"), 0);

    EXPECT_EQ(PortNumberFromSelection({}), 0);                  // nothing selected
    EXPECT_EQ(PortNumberFromSelection({"COM3", "COM12"}), 12);  // the last selected row counts
    EXPECT_EQ(PortNumberFromSelection({"COM3", ""}), 0);
}

}  // namespace
}  // namespace tamrix
