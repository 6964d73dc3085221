// The walk over the device installation interface that finds the serial ports on Windows, on a
// made-up machine: where the "Ports" class is found, which members become ports, and that the walk
// ends however the system answers.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "comm/DeviceClassPorts.h"

namespace tamrix {
namespace {

class CFakeDeviceClasses : public CDeviceClassApi {
  public:
    // classes[i]: the answer for class index i; past the end: `classesEnd` (-1 = no more).
    std::vector<ClassInfo> classes;
    int classesEnd = -1;
    // members of "Ports" in order; past the end: `membersEnd`.
    std::vector<Member> members;
    int membersEnd = -1;
    int classCalls = 0;
    int memberCalls = 0;

    ClassInfo EnumerateDeviceClass(int classIndex) override {
        ++classCalls;
        if (classIndex < static_cast<int>(classes.size()))
            return classes[static_cast<size_t>(classIndex)];
        return ClassInfo{classesEnd, "", false};
    }
    Member GetDeviceFriendlyName(const std::string& className, int memberIndex) override {
        ++memberCalls;
        EXPECT_EQ(className, "Ports");
        if (memberIndex < static_cast<int>(members.size()))
            return members[static_cast<size_t>(memberIndex)];
        return Member{membersEnd, ""};
    }
};

CDeviceClassApi::ClassInfo Class(const std::string& name, bool present = true) {
    return CDeviceClassApi::ClassInfo{0, name, present};
}

// A machine whose "Ports" class sits at `index` among other classes.
CFakeDeviceClasses MachineWithPortsAt(int index) {
    CFakeDeviceClasses machine;
    for (int i = 0; i < 40; ++i)
        machine.classes.push_back(i == index ? Class("Ports") : Class("Class" + std::to_string(i)));
    return machine;
}

TEST(DeviceClassPortsTest, PortsClassIsFoundAtItsUsualIndexOrByScanning) {
    CFakeDeviceClasses usual = MachineWithPortsAt(kPortsClassIndexGuess);
    usual.members = {{0, "Communications Port (COM1)"}};
    EXPECT_EQ(ListPortsClassNames(usual), std::vector<std::string>{"Communications Port (COM1)"});
    EXPECT_EQ(usual.classCalls, 1);  // no scan needed

    // Elsewhere: the scan skips classes that answer with an error and finds it.
    CFakeDeviceClasses elsewhere = MachineWithPortsAt(30);
    elsewhere.classes[3] = CDeviceClassApi::ClassInfo{-2, "", false};
    elsewhere.classes[4] = CDeviceClassApi::ClassInfo{-3, "", false};
    elsewhere.members = {{0, "USB Serial Port (COM7)"}};
    EXPECT_EQ(ListPortsClassNames(elsewhere), std::vector<std::string>{"USB Serial Port (COM7)"});

    // The name must match exactly; a class that is not present lists nothing.
    CFakeDeviceClasses lower = MachineWithPortsAt(40);
    lower.classes[23] = Class("ports");
    lower.members = {{0, "X (COM1)"}};
    EXPECT_TRUE(ListPortsClassNames(lower).empty());
    CFakeDeviceClasses absent = MachineWithPortsAt(23);
    absent.classes[23] = Class("Ports", false);
    absent.members = {{0, "X (COM1)"}};
    EXPECT_TRUE(ListPortsClassNames(absent).empty());
}

TEST(DeviceClassPortsTest, WalksEndHoweverTheSystemAnswers) {
    // No "Ports" class, and a configuration manager that never says "no more".
    CFakeDeviceClasses endless = MachineWithPortsAt(-1);
    endless.classesEnd = -3;
    EXPECT_TRUE(ListPortsClassNames(endless).empty());
    EXPECT_LE(endless.classCalls, kMaxDeviceClasses + 1);

    // Unreadable names are skipped; the list ends at "no more devices".
    CFakeDeviceClasses unreadable = MachineWithPortsAt(23);
    unreadable.members = {{0, "A (COM3)"}, {-4, ""}, {0, "B (COM4)"}};
    EXPECT_EQ(ListPortsClassNames(unreadable), (std::vector<std::string>{"A (COM3)", "B (COM4)"}));

    // A class name without a GUID would answer so for every index: the walk stops at once.
    CFakeDeviceClasses noGuid = MachineWithPortsAt(23);
    noGuid.membersEnd = -2;
    EXPECT_TRUE(ListPortsClassNames(noGuid).empty());
    EXPECT_EQ(noGuid.memberCalls, 1);

    // Members that never end and can never be read: bounded.
    CFakeDeviceClasses endlessMembers = MachineWithPortsAt(23);
    endlessMembers.membersEnd = -4;
    EXPECT_TRUE(ListPortsClassNames(endlessMembers).empty());
    EXPECT_EQ(endlessMembers.memberCalls, kMaxClassMembers);
}

TEST(DeviceClassPortsTest, NamesWithComBecomePortsWithTheirNumbers) {
    const std::vector<SerialPortInfo> ports =
        PortsFromFriendlyNames({"Communications Port (COM1)", "ECP Printer Port (LPT1)",
                                "USB Serial Port (COM12)", "Odd (x) Port (COM5)"});
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].portNumber, 1);
    EXPECT_EQ(ports[0].friendlyName, "Communications Port (COM1)");
    EXPECT_EQ(ports[1].portNumber, 12);
    // The dialog's rule cuts an empty port name out of a name with an earlier ")": no number.
    EXPECT_EQ(ports[2].portNumber, 0);
}

}  // namespace
}  // namespace tamrix
