// Whole files on Windows, against real files in a temporary folder: devices refused by name
// before anything is opened, the lock that keeps out only other instances of this program, a
// replacement that leaves nothing behind, appending, and the program's folders.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/Clock.h"
#include "platform/FileAccess.h"
#include "platform/LocalTime.h"
#include "platform/UserFolders.h"

namespace tamrix {
namespace {

namespace fs = std::filesystem;

class FileAccessWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device seed;
        root_ = fs::temp_directory_path() / ("tamrix-files-" + std::to_string(seed()));
        ASSERT_TRUE(fs::create_directory(root_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(Path("readonly"), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }
    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
    static std::string Text(const FileReadResult& result) {
        return std::string(result.bytes.begin(), result.bytes.end());
    }

    fs::path root_;
    CVirtualClock clock_;
};

TEST_F(FileAccessWin32Test, ReadingRefusesWhatIsNoRegularFile) {
    EXPECT_EQ(Text(ReadRegularFile(Write("a.bin", "abc"), 100)), "abc");
    EXPECT_EQ(ReadRegularFile(Path("missing.bin"), 100).error, FileError::Missing);
    EXPECT_EQ(ReadRegularFile(root_.string(), 100).error, FileError::NotRegular);
    // Devices by their names, in any folder and with any extension: never opened.
    for (const char* device : {"NUL", "COM1", "com3.bin", "\\\\.\\COM5", "C:\\x\\AUX.txt"})
        EXPECT_EQ(ReadRegularFile(device, 100).error, FileError::NotRegular) << device;
    EXPECT_EQ(ReadRegularFile(Write("big.bin", "12345"), 4).error, FileError::TooLarge);
    EXPECT_EQ(ReadRegularFile(Write("empty.bin", ""), 4).error, FileError::Empty);
}

TEST_F(FileAccessWin32Test, TheLockKeepsOutOtherInstancesOnly) {
    const std::string file = Write("firmware.bin", "data");
    EXPECT_EQ(ReadRegularFile(file, 100, FileReadMode::SharedLock).error, FileError::None);
    CFileLock held;
    ASSERT_TRUE(held.Acquire(file, clock_, 0));
    EXPECT_EQ(ReadRegularFile(file, 100, FileReadMode::SharedLock).error, FileError::Locked);
    EXPECT_EQ(Text(ReadRegularFile(file, 100)), "data");  // a plain reader is not held up
    CFileLock second;
    EXPECT_FALSE(second.Acquire(file, clock_, 10));
    EXPECT_GE(clock_.NowMs(), 10);  // waited, in virtual time
    held.Release();
    EXPECT_TRUE(second.Acquire(file, clock_, 0));

    const std::string readOnly = Write("readonly", "x");
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::remove);
    // Reading needs no write access.
    EXPECT_EQ(Text(ReadRegularFile(readOnly, 100, FileReadMode::SharedLock)), "x");
}

TEST_F(FileAccessWin32Test, ReplacingAndAppendingKeepTheFileWhole) {
    const std::string map = Path("ports");
    const std::string first = "COM5 = \\\\.\\COM9\n";
    ASSERT_EQ(
        ReplaceFileAtomically(map, reinterpret_cast<const uint8_t*>(first.data()), first.size()),
        FileError::None);
    const std::string second = "# empty\n";
    ASSERT_EQ(
        ReplaceFileAtomically(map, reinterpret_cast<const uint8_t*>(second.data()), second.size()),
        FileError::None);
    EXPECT_EQ(Text(ReadRegularFile(map, 100)), second);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(root_)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);  // no temporary file left
    std::string reason;
    EXPECT_EQ(ReplaceFileAtomically(root_.string(), nullptr, 0, &reason), FileError::NotRegular);

    const std::string log = Path("ProcssLog.log");
    ASSERT_EQ(AppendToFile(log, "one ", clock_, 50), FileError::None);
    ASSERT_EQ(AppendToFile(log, "two ", clock_, 50), FileError::None);
    EXPECT_EQ(Text(ReadRegularFile(log, 100)), "one two ");
    EXPECT_EQ(AppendToFile("NUL", "x", clock_, 50), FileError::NotRegular);
    // Another instance's lock holds an entry back only so long, then it is written anyway.
    CFileLock held;
    ASSERT_TRUE(held.Acquire(log, clock_, 0));
    EXPECT_EQ(AppendToFile(log, "three ", clock_, 50), FileError::None);
    EXPECT_EQ(Text(ReadRegularFile(log, 100)), "one two three ");
}

TEST_F(FileAccessWin32Test, FoldersAndNamesOfOneFile) {
    const std::string nested = Path("a\\b/c");
    EXPECT_TRUE(MakeFolders(nested));
    EXPECT_TRUE(FolderWritable(nested));
    EXPECT_FALSE(FolderWritable(Path("missing")));
    const std::string file = Write("a\\b\\c\\f.txt", "x");
    EXPECT_TRUE(IsSameFile(file, Path("a/b/../b/c/f.txt")));
    EXPECT_FALSE(IsSameFile(file, Path("a/b")));
    EXPECT_TRUE(IsOneFile(Path("new.log"), Path("a/../new.log")));
    EXPECT_FALSE(IsOneFile(file, Path("a/b/c/new.log")));

    EXPECT_FALSE(ExecutableFolder().empty());
    EXPECT_TRUE(FolderWritable(ExecutableFolder()) || !UserStateFolder().empty());
    const char* programs = std::getenv("ProgramFiles");
    ASSERT_NE(programs, nullptr);
    EXPECT_TRUE(IsSystemProgramFolder(std::string(programs) + "\\Tamrix"));
    EXPECT_FALSE(IsSystemProgramFolder(root_.string()));
    const std::string state = UserStateFolder();
    EXPECT_EQ(state.substr(state.size() - 7), "\\Tamrix");

    std::tm local{};
    ASSERT_TRUE(ToLocalTime(86400 * 400, local));
    EXPECT_EQ(local.tm_year + 1900, 1971);
}

}  // namespace
}  // namespace tamrix
