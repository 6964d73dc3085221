// tamrix-sim's command line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "sim/CommandLine.h"

namespace tamrix {
namespace {

int Parse(std::vector<const char*> args, SimCommandLine& commandLine) {
    args.insert(args.begin(), "tamrix-sim");
    return ParseSimCommandLine(static_cast<int>(args.size()), args.data(), commandLine);
}

TEST(SimCommandLineTest, DefaultsAreTheDocumentedOnes) {
    SimCommandLine commandLine;
    ASSERT_EQ(Parse({}, commandLine), -1);
    const SimOptions& o = commandLine.options;
    EXPECT_EQ(o.chip, "dsPIC33FJ256GP710");
    EXPECT_EQ(o.bootBaud, 115200);
    EXPECT_EQ(o.wiring, SimWiring::TwoWire);
    EXPECT_EQ(o.productCode, 12345);
    EXPECT_EQ(o.appVersion, 1000);
    EXPECT_EQ(o.bootVersion, 1500);
    EXPECT_EQ(o.productCodeAddress, 0x0C00u);
    EXPECT_EQ(o.faults.hangUpAfterRows, -1);
    EXPECT_EQ(o.faults.silentAfterRows, -1);
    EXPECT_EQ(o.faults.garbageAcks, 0);
}

TEST(SimCommandLineTest, EveryOptionReachesTheSimulator) {
    SimCommandLine commandLine;
    ASSERT_EQ(Parse({"--id",
                     "0x0101",
                     "--pi",
                     "3",
                     "--echo",
                     "--boot-baud",
                     "57600",
                     "--pace",
                     "--silent",
                     "--checksum",
                     "--link",
                     "/tmp/x",
                     "--dump",
                     "/tmp/d.hex",
                     "--product-code",
                     "0x3A34",
                     "--app-version",
                     "2000",
                     "--version-flag",
                     "1",
                     "--boot-version",
                     "1200",
                     "--version-addresses",
                     "0x4000,0x4002,0x3FFE",
                     "--nack",
                     "2",
                     "--nack-share",
                     "0.5",
                     "--seed",
                     "9",
                     "--drop-ack",
                     "3",
                     "--garbage",
                     "--silent-after",
                     "0",
                     "--hangup-after",
                     "7",
                     "--row-delay",
                     "15",
                     "--no-version-info",
                     "--no-version-addresses",
                     "-v"},
                    commandLine),
              -1);
    const SimOptions& o = commandLine.options;
    EXPECT_EQ(o.deviceId, 0x0101);
    EXPECT_EQ(o.pi, 3);
    EXPECT_EQ(o.wiring, SimWiring::OneWireEcho);
    EXPECT_EQ(o.bootBaud, 57600);
    EXPECT_TRUE(o.pace && o.silentBootloader && o.checksum && commandLine.verbose);
    EXPECT_EQ(o.linkPath, "/tmp/x");
    EXPECT_EQ(commandLine.dumpPath, "/tmp/d.hex");
    EXPECT_EQ(o.productCode, 0x3A34);
    EXPECT_EQ(o.appVersion, 2000);
    EXPECT_EQ(o.versionFlagByte, 1);
    EXPECT_EQ(o.bootVersion, 1200);
    EXPECT_EQ(o.productCodeAddress, 0x4000u);
    EXPECT_EQ(o.versionAddress, 0x4002u);
    EXPECT_EQ(o.thirdAddress, 0x3FFEu);
    EXPECT_EQ(o.faults.nackRows, 2);
    EXPECT_DOUBLE_EQ(o.faults.nackShare, 0.5);
    EXPECT_EQ(o.faults.seed, 9u);
    EXPECT_EQ(o.faults.dropAcks, 3);
    EXPECT_EQ(o.faults.garbageAcks, -1);
    EXPECT_EQ(o.faults.silentAfterRows, 0);
    EXPECT_EQ(o.faults.hangUpAfterRows, 7);
    EXPECT_EQ(o.faults.rowDelayMs, 15);
    EXPECT_TRUE(o.faults.noVersionInfo && o.faults.noVersionAddresses);
}

// The random faults from the command line, and the arguments a program prints to repeat a run
// of the simulator it drove: read back, they switch on the same faults.
TEST(SimCommandLineTest, FaultArgumentsRepeatTheFaults) {
    SimFaults f;
    f.nackRows = 2;
    f.nackShare = 0.1234567890123;
    f.seed = 77;
    f.dropAcks = 1;
    f.dropAckShare = 0.25;
    f.garbageAcks = -1;
    f.garbageAckShare = 0.125;
    f.noiseShare = 0.5;
    f.slowRowShare = 0.75;
    f.slowRowMaxMs = 900;
    f.echoLossShare = 0.0625;
    f.silentAfterRows = 4;
    f.hangUpAfterRows = 9;
    f.hangUpInRow = 3;
    f.hangUpAtByte = 1000;
    f.rowDelayMs = 20;
    f.corruptProgramRow = 2;
    f.noVersionInfo = true;
    f.noVersionAddresses = true;
    std::vector<std::string> args = SimFaultArguments(f);
    std::vector<const char*> argv = {"tamrix-sim"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    SimCommandLine commandLine;
    ASSERT_EQ(ParseSimCommandLine(static_cast<int>(argv.size()), argv.data(), commandLine), -1);
    const SimFaults& back = commandLine.options.faults;
    EXPECT_EQ(back.nackRows, 2);
    EXPECT_EQ(back.nackShare, f.nackShare);
    EXPECT_EQ(back.seed, 77u);
    EXPECT_EQ(back.dropAcks, 1);
    EXPECT_EQ(back.dropAckShare, 0.25);
    EXPECT_EQ(back.garbageAcks, -1);
    EXPECT_EQ(back.garbageAckShare, 0.125);
    EXPECT_EQ(back.noiseShare, 0.5);
    EXPECT_EQ(back.slowRowShare, 0.75);
    EXPECT_EQ(back.slowRowMaxMs, 900);
    EXPECT_EQ(back.echoLossShare, 0.0625);
    EXPECT_EQ(back.silentAfterRows, 4);
    EXPECT_EQ(back.hangUpAfterRows, 9);
    EXPECT_EQ(back.hangUpInRow, 3);
    EXPECT_EQ(back.hangUpAtByte, 1000);
    EXPECT_EQ(back.rowDelayMs, 20);
    EXPECT_EQ(back.corruptProgramRow, 2);
    EXPECT_TRUE(back.noVersionInfo && back.noVersionAddresses);
    EXPECT_TRUE(SimFaultArguments(SimFaults()).empty()) << "no faults, no arguments";
}

TEST(SimCommandLineTest, VersionIsTheProgramsOwn) {
    testing::internal::CaptureStdout();
    SimCommandLine commandLine;
    EXPECT_EQ(Parse({"--version"}, commandLine), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "tamrix-sim 1.1.3\n");
}

TEST(SimCommandLineTest, BadValuesAreUsageErrors) {
    for (std::vector<const char*> args : {std::vector<const char*>{"--product-code", "70000"},
                                          {"--pi", "16"},
                                          {"--id", "12x"},
                                          {"--version-addresses", "0x4000,0x4002"},
                                          {"--nack-share", "1.5"},
                                          {"--bogus"}}) {
        SimCommandLine commandLine;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_GT(Parse(args, commandLine), 0) << args[0];
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
}

TEST(SimCommandLineTest, LoadReadsAHexFileAndRefusesACorruptOne) {
    const std::string path = testing::TempDir() + "/sim-load.hex";
    {
        std::ofstream file(path);
        file << ":040000001234560060\r\n:00000001FF\r\n";
    }
    SimCommandLine commandLine;
    ASSERT_EQ(Parse({"--load", path.c_str()}, commandLine), -1);
    std::string error;
    ASSERT_TRUE(LoadInitialImage(commandLine, &error)) << error;
    EXPECT_EQ(commandLine.options.initialImage.at(1), 0x34);
    {
        std::ofstream file(path);
        file << ":040000001234560061\r\n";
    }
    commandLine.options.initialImage.clear();
    EXPECT_FALSE(LoadInitialImage(commandLine, &error));
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;
    std::remove(path.c_str());
}

}  // namespace
}  // namespace tamrix
