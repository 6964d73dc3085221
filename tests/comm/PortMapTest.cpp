// COM numbers and the devices behind them: defaults, the map file format, which file is in force.

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "comm/PortMap.h"
#include "comm/PortName.h"
#include "platform/Clock.h"
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
    using namespace std::string_literals;
    // The last two hold a NUL byte: the system would see "/dev/ttyUSB0" and "" as their paths.
    const std::string bad[] = {"COM5",
                               "COM5 =",
                               "PORT5 = /dev/ttyUSB0",
                               "COM0 = /dev/ttyUSB0",
                               "COMx = /dev/ttyUSB0",
                               "= /dev/ttyUSB0",
                               "COM5 = /dev/ttyUSB0\0/dev/ttyUSB1"s,
                               "COM5 =\0 /dev/ttyUSB0"s};
    for (const std::string& line : bad) {
        CPortMap map;
        std::string error;
        EXPECT_FALSE(map.LoadText("# header\nCOM7 = /dev/ttyUSB7\n" + line, &error)) << line;
        EXPECT_NE(error.find("line 3"), std::string::npos) << line << ": " << error;
        EXPECT_EQ(map.Entries().size(), 1u) << line;
    }
}

TEST(PortMapTest, EveryGoodLineIsKeptAndEveryMalformedOneIsNamed) {
    const std::string text =
        "COM5 = /dev/ttyUSB0\n"
        "# the bench adapters\n"
        "oops\n"
        "COM7 = /dev/ttyUSB2\n"
        "COM8 =\n"
        "COM9 = /dev/ttyACM0\n";
    CPortMap map;
    std::string error;
    EXPECT_FALSE(map.LoadText(text, &error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_EQ(map.DevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(map.DevicePath(7), "/dev/ttyUSB2");
    EXPECT_EQ(map.DevicePath(9), "/dev/ttyACM0");
    EXPECT_EQ(map.DevicePath(8), "");

    // From a file, each problem names the file and its line.
    const test::ScopedTempFile file("tamrix-portmap-bad.ports", text);
    CPortMap fromFile;
    EXPECT_FALSE(fromFile.LoadFile(file.Path()));
    ASSERT_EQ(fromFile.Problems().size(), 2u);
    EXPECT_NE(fromFile.Problems()[0].find(file.Path() + " line 3"), std::string::npos)
        << fromFile.Problems()[0];
    EXPECT_NE(fromFile.Problems()[1].find(file.Path() + " line 5"), std::string::npos)
        << fromFile.Problems()[1];
    EXPECT_EQ(fromFile.Entries().size(), 3u);
}

// A number given on a second line (a copied line, two adapters given one number) keeps its
// first line; the second is named with both lines.
TEST(PortMapTest, ANumberGivenTwiceKeepsItsFirstLine) {
    CPortMap map;
    std::string error;
    EXPECT_FALSE(map.LoadText("COM5 = /dev/ttyUSB0\n# spare\ncom5 = /dev/ttyUSB1\n", &error));
    EXPECT_EQ(map.DevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(error, "port map line 3: COM5 is given on line 1 already; this line is ignored");
}

class PortMapFolderTest : public ::testing::Test {
  protected:
    PortMapFolderTest() {
        std::string pattern = ::testing::TempDir() + "tamrix-portmap-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            root_ = pattern;
    }
    ~PortMapFolderTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }

    std::string root_;
};

// A FIFO would hang a plain read for ever; a folder is no map either. Both are named and ignored.
TEST_F(PortMapFolderTest, AMapFileThatIsNotARegularFileIsReportedAndIgnored) {
    ASSERT_EQ(::mkfifo(Path("fifo.ports").c_str(), 0644), 0);
    std::filesystem::create_directory(Path("folder.ports"));
    for (const std::string& path : {Path("fifo.ports"), Path("folder.ports")}) {
        ScopedEnv env(kPortMapEnvironment, path);
        const CPortMap map = CPortMap::Load();
        EXPECT_EQ(map.Entries().size(), 4u) << path;
        ASSERT_EQ(map.Problems().size(), 1u) << path;
        EXPECT_NE(map.Problems()[0].find(path + ": not a regular file"), std::string::npos)
            << map.Problems()[0];
    }
    // No map file at all is no problem.
    ScopedEnv env(kPortMapEnvironment, Path("missing.ports"));
    EXPECT_TRUE(CPortMap::Load().Problems().empty());
}

TEST_F(PortMapFolderTest, NumberForDeviceFindsThePortUnderAnyOfItsNames) {
    // A device and the persistent name that points at it, as udev makes them.
    const std::string device = Path("ttyUSB0");
    std::ofstream(device).put('\n');
    std::filesystem::create_directory(Path("by-id"));
    const std::string byId = Path("by-id/usb-FTDI_FT232R_A1B2-if00-port0");
    std::filesystem::create_symlink(device, byId);

    CPortMap map = CPortMap::Defaults();
    map.Set(9, device);
    map.Set(7, byId);
    EXPECT_EQ(map.NumberForDevice(byId), 7);
    EXPECT_EQ(map.NumberForDevice(device), 7);  // the lowest of the numbers that name it
    EXPECT_EQ(map.NumberForDevice(Path("by-id/../ttyUSB0")), 7);
    EXPECT_EQ(map.NumberForDevice("/dev/ttyS1"), 2);  // by its path, present or not
    EXPECT_EQ(map.NumberForDevice(Path("ttyUSB1")), 0);
    EXPECT_EQ(map.NumberForDevice(""), 0);
}

// Saved over the user's file, the map keeps what the file says besides its entries: an entry's
// line changes only with its device, one back at its default goes, a new one is added.
TEST_F(PortMapFolderTest, SaveKeepsTheCommentsAndLinesOfTheFileItReplaces) {
    const std::string path = Path("ports");
    std::ofstream(path) << "# bench 3, left rack\nCOM5 = /dev/ttyUSB0  # the FTDI cable\n\n"
                           "COM1 = /dev/ttyAMA0\r\nCOM7 = /dev/ttyACM0 # kept\noops\n";
    CPortMap map = CPortMap::Defaults();
    map.LoadFile(path);
    map.Set(5, "/dev/ttyUSB5");
    map.Set(1, "/dev/ttyS0");
    map.Set(9, "/dev/ttyUSB9");
    ASSERT_TRUE(map.Save(path));
    std::stringstream saved;
    saved << std::ifstream(path).rdbuf();
    EXPECT_EQ(saved.str(),
              "# bench 3, left rack\nCOM5 = /dev/ttyUSB5  # the FTDI cable\n\n"
              "COM7 = /dev/ttyACM0 # kept\noops\nCOM9 = /dev/ttyUSB9\n");
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

TEST(PortMapTest, PortNamesTakeTheWindowsDeviceFormToo) {
    EXPECT_EQ(PortName::Parse("\\\\.\\COM12").number, 12);
    EXPECT_EQ(PortName::Parse("\\\\.\\com5").number, 5);
    EXPECT_EQ(PortName::Parse("COM4").number, 4);
    EXPECT_FALSE(PortName::Parse("\\\\.\\LPT1").IsValid());
    EXPECT_EQ(PortName::Parse("/dev/ttyUSB0").path, "/dev/ttyUSB0");
}

// A saved map reads back as it was, and the file is replaced whole, never half written.
TEST(PortMapTest, SaveWritesWhatLoadReadsBack) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tamrix-map-save-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "ports").string();
    CPortMap map = CPortMap::Defaults();
    map.Set(2, "/dev/ttyUSB9");  // a default overridden
    map.Set(5, "/dev/serial/by-id/usb-FTDI_A-if00-port0");
    map.Set(12, "/dev/ttyACM0");
    ASSERT_TRUE(map.Save(path));
    CPortMap back = CPortMap::Defaults();
    ASSERT_TRUE(back.LoadFile(path));
    EXPECT_EQ(back.Entries(), map.Entries());
    EXPECT_EQ(map.LowestFreeNumber(), 6);

    // A folder in the file's place is refused and left alone.
    std::filesystem::create_directory(folder / "taken");
    std::string error;
    EXPECT_FALSE(map.Save((folder / "taken").string(), &error));
    EXPECT_NE(error.find("taken"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken"));
    std::filesystem::remove_all(folder);
}

// Each adapter keeps its number; a new one gets the lowest free number from COM5 up; programs
// assigning at the same moment never hand out one number twice, and what the file said stays.
TEST(PortMapTest, AssigningNumbersKeepsThemAndNeverHandsOneOutTwice) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tamrix-map-assign-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "ports").string();
    std::ofstream(path) << "# bench 3\nCOM5 = /dev/serial/by-id/first\nCOM7 = /dev/ttyACM3\n";

    CSystemClock& clock = CSystemClock::Instance();
    EXPECT_EQ(CPortMap::AssignNumber(path, "/dev/serial/by-id/first", clock), 5);
    EXPECT_EQ(CPortMap::AssignNumber(path, "/dev/serial/by-id/second", clock), 6);
    EXPECT_EQ(CPortMap::AssignNumber(path, "/dev/serial/by-id/second", clock), 6);

    constexpr int kPrograms = 6;
    std::vector<pid_t> children;
    for (int i = 0; i < kPrograms; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int number = CPortMap::AssignNumber(
                path, "/dev/serial/by-id/adapter-" + std::to_string(i), CSystemClock::Instance());
            ::_exit(number);
        }
        children.push_back(child);
    }
    std::set<int> numbers;
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        numbers.insert(WEXITSTATUS(status));
    }
    EXPECT_EQ(numbers, (std::set<int>{8, 9, 10, 11, 12, 13}));

    CPortMap map = CPortMap::Defaults();
    ASSERT_TRUE(map.LoadFile(path));
    EXPECT_EQ(map.Entries().size(), 4u + 3u + kPrograms);
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "# bench 3");
    std::filesystem::remove_all(folder);
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
