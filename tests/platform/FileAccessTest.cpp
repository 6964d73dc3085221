// Reading and replacing whole files against real files, folders, FIFOs, devices and links.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileAccess.h"

namespace tamrix {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// A limit on the size of files this process writes, for as long as it lives: a write past it
// fails part way, as on a full disk (SIGXFSZ ignored meanwhile).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : bytes_(bytes) {}
    ~FileSizeLimit() {
        if (set_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
            ::sigaction(SIGXFSZ, &previous_, nullptr);
        }
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Set() const {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0 ||
            ::sigaction(SIGXFSZ, &ignore, &previous_) != 0)
            return false;
        rlimit limit = saved_;
        limit.rlim_cur = bytes_;
        set_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        return set_;
    }

  private:
    rlim_t bytes_;
    mutable rlimit saved_{};
    mutable struct sigaction previous_ {};
    mutable bool set_ = false;
};

class FileAccessTest : public ::testing::Test {
  protected:
    FileAccessTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tamrix-file-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr)
            root_ = pattern;
    }
    ~FileAccessTest() override {
        SetFileReadHookForTests(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int Entries() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(root_)) {
            (void)entry;
            ++count;
        }
        return count;
    }

    std::string root_;
};

TEST_F(FileAccessTest, ReadsARegularFileWholeAndRefusesEverythingElseWithoutWaiting) {
    const FileReadResult good = ReadRegularFile(Write("fw.bin", "abc\r\n"), 100);
    EXPECT_EQ(good.error, FileError::None);
    EXPECT_EQ(good.bytes, Bytes("abc\r\n"));
    EXPECT_EQ(good.size, 5u);

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    std::filesystem::create_directory(Path("folder"));
    const struct {
        std::string path;
        FileError error;
    } refused[] = {
        {Path("missing"), FileError::Missing},
        {"", FileError::Missing},
        {Path("folder"), FileError::NotRegular},
        {Path("fifo"), FileError::NotRegular},  // no writer: a plain open would wait for one
        {"/dev/zero", FileError::NotRegular},   // endless: a plain read would never end
        {Write("empty", ""), FileError::Empty},
    };
    for (const auto& item : refused) {
        for (const FileReadMode mode : {FileReadMode::ReadOnly, FileReadMode::SharedLock}) {
            const FileReadResult result = ReadRegularFile(item.path, 1 << 20, mode);
            EXPECT_EQ(result.error, item.error) << item.path;
            EXPECT_TRUE(result.bytes.empty()) << item.path;
            EXPECT_FALSE(result.reason.empty()) << item.path;
        }
    }
}

TEST_F(FileAccessTest, SizeIsCheckedBeforeAnythingIsRead) {
    // 300 MB of holes: refused from its size alone, at once and without the memory.
    const std::string huge = Path("huge.bin");
    std::filesystem::resize_file(Write("huge.bin", ""), 300u * 1000 * 1000);
    const FileReadResult result = ReadRegularFile(huge, 1 << 20);
    EXPECT_EQ(result.error, FileError::TooLarge);
    EXPECT_EQ(result.size, 300u * 1000 * 1000);
    EXPECT_TRUE(result.bytes.empty());

    const std::string full = Write("full.bin", std::string(1 << 20, 'x'));
    EXPECT_EQ(ReadRegularFile(full, 1 << 20).error, FileError::None);
    EXPECT_EQ(ReadRegularFile(full, (1 << 20) - 1).error, FileError::TooLarge);
}

TEST_F(FileAccessTest, AFileThatChangesSizeWhileReadIsRefused) {
    const std::string path = Write("copy.bin", std::string(4000, 'a'));
    // Cut short after its size was taken, as a copy tool starting over would.
    SetFileReadHookForTests([](const std::string& p) { std::filesystem::resize_file(p, 1000); });
    FileReadResult result = ReadRegularFile(path, 1 << 20);
    EXPECT_EQ(result.error, FileError::Changed);
    EXPECT_TRUE(result.bytes.empty());

    // Growing while read: a copy still in progress.
    SetFileReadHookForTests(
        [](const std::string& p) { std::ofstream(p, std::ios::app | std::ios::binary) << "more"; });
    result = ReadRegularFile(path, 1 << 20);
    EXPECT_EQ(result.error, FileError::Changed);

    SetFileReadHookForTests(nullptr);
    EXPECT_EQ(ReadRegularFile(path, 1 << 20).bytes.size(), 1004u);
}

TEST_F(FileAccessTest, TheSharedLockKeepsOutWritersOnlyAndNeedsNoWriteAccess) {
    const std::string path = Write("fw.bin", "data");
    {
        const int holder = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        EXPECT_EQ(ReadRegularFile(path, 100, FileReadMode::SharedLock).error, FileError::Locked);
        EXPECT_EQ(ReadRegularFile(path, 100).error, FileError::None);  // reading takes no lock
        // Another reader's lock keeps nobody out.
        ASSERT_EQ(::flock(holder, LOCK_SH), 0);
        EXPECT_EQ(ReadRegularFile(path, 100, FileReadMode::SharedLock).error, FileError::None);
        ::close(holder);
    }

    // Held while it is read, through a descriptor open for reading only: a read lease is
    // refused while any descriptor of the file is open for writing.
    int lockWhileRead = 0;
    int leaseWhileRead = -1;
    SetFileReadHookForTests([&](const std::string& p) {
        const int other = ::open(p.c_str(), O_RDONLY);
        lockWhileRead = ::flock(other, LOCK_EX | LOCK_NB);
        leaseWhileRead = ::fcntl(other, F_SETLEASE, F_RDLCK);
        ::fcntl(other, F_SETLEASE, F_UNLCK);
        ::close(other);
    });
    EXPECT_EQ(ReadRegularFile(path, 100, FileReadMode::SharedLock).error, FileError::None);
    EXPECT_NE(lockWhileRead, 0);
    EXPECT_EQ(leaseWhileRead, 0);
    SetFileReadHookForTests(nullptr);
    const int after = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
    ::close(after);

    // Read-only media, a shared folder, chmod 444: read all the same.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(ReadRegularFile(path, 100, FileReadMode::SharedLock).error, FileError::None);
    EXPECT_EQ(ReadRegularFile(path, 100).error, FileError::None);
}

TEST_F(FileAccessTest, ReplacingWritesTheWholeFileAndKeepsItsMode) {
    const std::string fresh = Path("new.bin");
    ASSERT_EQ(ReplaceFileAtomically(fresh, Bytes("one").data(), 3), FileError::None);
    EXPECT_EQ(Read(fresh), "one");
    EXPECT_EQ(std::filesystem::status(fresh).permissions(), std::filesystem::perms(0644));

    const std::string old = Write("old.bin", std::string(5000, 'o'));
    ASSERT_EQ(::chmod(old.c_str(), 0600), 0);
    ASSERT_EQ(ReplaceFileAtomically(old, Bytes("two").data(), 3), FileError::None);
    EXPECT_EQ(Read(old), "two");
    EXPECT_EQ(std::filesystem::status(old).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(Entries(), 2);  // no temporary file left

    std::string reason;
    EXPECT_EQ(ReplaceFileAtomically(Path("no-folder/x.bin"), Bytes("x").data(), 1, &reason),
              FileError::CannotOpen);
    EXPECT_FALSE(reason.empty());
}

TEST_F(FileAccessTest, ReplacingRefusesWhatIsNotARegularFileAndLeavesItAlone) {
    const std::string target = Write("target.bin", "keep");
    const std::string link = Path("link.bin");
    std::filesystem::create_symlink(target, link);
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    std::filesystem::create_directory(Path("folder"));

    for (const std::string& path : {link, Path("fifo"), Path("folder"), std::string("/dev/null")}) {
        std::string reason;
        EXPECT_EQ(ReplaceFileAtomically(path, Bytes("new").data(), 3, &reason),
                  FileError::NotRegular)
            << path;
        EXPECT_EQ(reason, FileErrorText(FileError::NotRegular)) << path;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Read(target), "keep");
    EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(Entries(), 4);
}

TEST_F(FileAccessTest, AFailedReplaceKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string path = Write("fw.bin", "old contents");
    const std::string big(5000, 'n');
    std::string reason;
    FileError error = FileError::None;
    {
        const FileSizeLimit limit(100);
        ASSERT_TRUE(limit.Set());
        error = ReplaceFileAtomically(path, reinterpret_cast<const uint8_t*>(big.data()),
                                      big.size(), &reason);
    }

    EXPECT_EQ(error, FileError::WriteFailed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Read(path), "old contents");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(FileAccessTest, AnAppendThatFailsPartWayIsTakenBackWhole) {
    const std::string path = Write("runs.jsonl", "{\"first\":1}\n");
    const std::string line = "{\"second\":\"" + std::string(100, 'x') + "\"}\n";
    std::string reason;
    FileError error = FileError::None;
    {
        const FileSizeLimit limit(40);  // room for part of the next line only
        ASSERT_TRUE(limit.Set());
        error = AppendToFile(path, line, CSystemClock::Instance(), 50, &reason, true);
    }
    EXPECT_EQ(error, FileError::WriteFailed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Read(path), "{\"first\":1}\n") << "no half line is left behind";
    EXPECT_EQ(AppendToFile(path, line, CSystemClock::Instance(), 50, nullptr, true),
              FileError::None);
    EXPECT_EQ(Read(path), "{\"first\":1}\n" + line);
}

TEST_F(FileAccessTest, SameFileHoweverItIsSpelled) {
    const std::string file = Write("a.bin", "a");
    const std::string other = Write("b.bin", "b");
    std::filesystem::create_symlink(file, Path("link"));
    std::filesystem::create_hard_link(file, Path("hard"));
    std::filesystem::create_directory(Path("sub"));

    EXPECT_TRUE(IsSameFile(file, file));
    EXPECT_TRUE(IsSameFile(file, Path("link")));
    EXPECT_TRUE(IsSameFile(file, Path("hard")));
    EXPECT_TRUE(IsSameFile(file, Path("sub/../a.bin")));
    EXPECT_FALSE(IsSameFile(file, other));
    EXPECT_FALSE(IsSameFile(file, Path("missing")));
    EXPECT_FALSE(IsSameFile(Path("missing"), Path("missing")));
}

}  // namespace
}  // namespace tamrix
