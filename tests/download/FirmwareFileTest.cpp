// The firmware file keystream and the conversion of firmware files into HEX text.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "image/Keystream.h"
#include "platform/FileAccess.h"
#include "tests/download/TempDir.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::ReadWholeFile;
using test::RecordingWindow;
using test::TempDir;

constexpr const char* kOpenFail = "[Error] : Bin File Open Fail - Convert\r\n";
constexpr const char* kReadFail = "[Error] : Bin File Read Fail - Convert \r\n";

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

const std::string kSampleHex =
    ":020000040000fa\r\n"
    ":10180000343a0000fc08000000000000000000009e\r\n"
    ":00000001FF\r\n";

TEST(Keystream, ReproducesTheRuntimeLibraryGenerator) {
    // The first ten values rand() returns after srand(1).
    const int published[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    CKeystream values(1);
    for (int expected : published)
        EXPECT_EQ(values.NextValue(), expected);

    // Key bytes are the same draws reduced modulo 255.
    CKeystream keys(1);
    for (int expected : published)
        EXPECT_EQ(keys.NextKey(), expected % 255);
}

TEST(Keystream, KeyBytesCoverZeroTo254AndNever255) {
    for (uint32_t seed : {0u, 1u, kConversionSeed, 0xFFFFFFFFu}) {
        CKeystream keys(seed);
        std::set<int> seen;
        for (int i = 0; i < 200000; ++i)
            seen.insert(keys.NextKey());
        EXPECT_EQ(seen.count(255), 0u) << "seed " << seed;
        EXPECT_EQ(seen.size(), 255u) << "seed " << seed;
    }
}

TEST(Keystream, DependsOnlyOnSeedAndPosition) {
    std::vector<uint8_t> a(64, 0x11);
    std::vector<uint8_t> b(64, 0x22);
    for (size_t i = 0; i < 64; i += 3)
        a[i] = b[i] = static_cast<uint8_t>(i);
    const auto sa = ScrambleBytes(a, 7);
    const auto sb = ScrambleBytes(b, 7);
    for (size_t i = 0; i < 64; ++i) {
        if (a[i] == b[i]) {
            EXPECT_EQ(sa[i], sb[i]) << i;
        } else {
            EXPECT_NE(sa[i], sb[i]) << i;
        }
    }
    EXPECT_NE(ScrambleBytes(a, 7), ScrambleBytes(a, 8));
    EXPECT_EQ(ScrambleBytes(ScrambleBytes(a, 7), 7), a);
}

class ConvertBinFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    RecordingWindow window;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kImageBufferSize, 0);
    int imageSize = -7;

    int Convert(const std::string& path, uint32_t seed = kConversionSeed) {
        return ConvertBinFile(buffer.data(), &window, path, imageSize, seed);
    }
    bool BufferIsZero() const {
        return std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; });
    }
};

TEST_F(ConvertBinFileTest, AFirmwareFileBecomesItsHexTextFollowedByZero) {
    const std::string path = dir.Path("firmware.bin");
    std::string error;
    ASSERT_TRUE(WriteFirmwareFile(path, Bytes(kSampleHex), kConversionSeed, error)) << error;
    const std::vector<uint8_t> onDisk = ReadWholeFile(path);
    ASSERT_EQ(onDisk.size(), kSampleHex.size());
    EXPECT_NE(onDisk, Bytes(kSampleHex));  // scrambled, not plain text

    ASSERT_EQ(Convert(path), 1);
    EXPECT_EQ(imageSize, static_cast<int>(kSampleHex.size()));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + imageSize), kSampleHex);
    EXPECT_EQ(buffer[kSampleHex.size()], 0);
    EXPECT_TRUE(window.events.empty());

    // Nothing is written back, and the lock is gone once the conversion has returned.
    EXPECT_EQ(ReadWholeFile(path), onDisk);
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(ConvertBinFileTest, KnownKeyBytesAndConvertingTwiceRestoresTheFile) {
    // Zero bytes convert into the key bytes themselves.
    const std::string zeros = dir.Write("zeros.bin", std::vector<uint8_t>(10, 0));
    ASSERT_EQ(Convert(zeros, 1), 1);
    const int published[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buffer[i], published[i] % 255) << i;

    std::vector<uint8_t> original(3000);
    for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_EQ(Convert(dir.Write("a.bin", original)), 1);
    const std::vector<uint8_t> once(buffer.begin(), buffer.begin() + imageSize);
    EXPECT_NE(once, original);
    ASSERT_EQ(Convert(dir.Write("b.bin", once)), 1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + imageSize), original);
}

TEST_F(ConvertBinFileTest, AByte0xFFNeverConvertsToZero) {
    ASSERT_EQ(Convert(dir.Write("ff.bin", std::vector<uint8_t>(100000, 0xFF))), 1);
    EXPECT_EQ(imageSize, 100000);
    EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + imageSize, 0), 0);
}

TEST_F(ConvertBinFileTest, AFileOfAnotherSeedReadsBackOnlyWithThatSeed) {
    const std::string path = dir.Path("other.bin");
    std::string error;
    ASSERT_TRUE(WriteFirmwareFile(path, Bytes(kSampleHex), 12345, error)) << error;
    ASSERT_EQ(Convert(path), 1);
    EXPECT_NE(std::string(buffer.begin(), buffer.begin() + imageSize), kSampleHex);
    ASSERT_EQ(Convert(path, 12345), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + imageSize), kSampleHex);
}

TEST_F(ConvertBinFileTest, FilesThatCannotBeOpenedAreReportedAndLeaveEverythingAlone) {
    const std::string locked = dir.Write("locked.bin", {1, 2, 3});
    const int holder = ::open(locked.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);  // another program holds the file

    const std::string readOnly = dir.Write("readonly.bin", {1, 2, 3});
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const std::string fifo = dir.Path("fifo.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string folder = dir.Path("folder.bin");
    std::filesystem::create_directory(folder);

    for (const std::string& path : {dir.Path("missing.bin"), locked, dir.Path(""), fifo, folder}) {
        window.events.clear();
        EXPECT_EQ(Convert(path), 0) << path;
        EXPECT_EQ(window.StatusLines(), std::vector<std::string>{kOpenFail}) << path;
        EXPECT_EQ(imageSize, -7);
    }
    ::close(holder);
    EXPECT_TRUE(BufferIsZero());
    EXPECT_EQ(Convert(locked), 1);    // free again
    EXPECT_EQ(Convert(readOnly), 1);  // reading needs no write access
}

TEST_F(ConvertBinFileTest, AnEmptyFileIsAReadFailure) {
    EXPECT_EQ(Convert(dir.Write("empty.bin", {})), 0);
    EXPECT_EQ(window.StatusLines(), std::vector<std::string>{kReadFail});
    EXPECT_EQ(imageSize, -7);
}

TEST_F(ConvertBinFileTest, AFileCutShortWhileReadIsAReadFailure) {
    // The size is taken, then the file shrinks before its bytes are read: a copy that started
    // over, or a file truncated by another program.
    const std::string path = dir.Write("copying.bin", std::vector<uint8_t>(4096, 0x3A));
    SetFileReadHookForTests([](const std::string& p) { std::filesystem::resize_file(p, 100); });
    const int result = Convert(path);
    SetFileReadHookForTests(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(window.StatusLines(), std::vector<std::string>{kReadFail});
    EXPECT_EQ(imageSize, -7);
    EXPECT_TRUE(BufferIsZero());
}

TEST_F(ConvertBinFileTest, AFileLargerThanTheBufferIsRefusedBeforeAnythingIsWritten) {
    const std::string path = dir.Write(
        "huge.bin", std::vector<uint8_t>(static_cast<size_t>(kImageBufferSize) + 1, 0x41));
    EXPECT_EQ(Convert(path), 0);
    const auto lines = window.StatusLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "[Error] : Bin File Too Large - Convert (1048577 bytes, at most 1048576)\r\n");
    EXPECT_EQ(imageSize, -7);
    EXPECT_TRUE(BufferIsZero());

    // Exactly the buffer's size still fits.
    const std::string full =
        dir.Write("full.bin", std::vector<uint8_t>(static_cast<size_t>(kImageBufferSize), 0x41));
    EXPECT_EQ(Convert(full), 1);
    EXPECT_EQ(imageSize, kImageBufferSize);
}

TEST_F(ConvertBinFileTest, WithoutAWindowFailuresAreSilent) {
    EXPECT_EQ(ConvertBinFile(buffer.data(), nullptr, dir.Path("missing.bin"), imageSize), 0);
    EXPECT_EQ(ConvertBinFile(buffer.data(), nullptr, dir.Write("e.bin", {}), imageSize), 0);
    EXPECT_EQ(ConvertBinFile(buffer.data(), nullptr, dir.Write("x.bin", {9}), imageSize), 1);
    EXPECT_EQ(imageSize, 1);
}

TEST(WriteFirmwareFile, ReplacesAnOldFileAndFailsCleanly) {
    TempDir dir;
    const std::string path = dir.Write("fw.bin", std::vector<uint8_t>(500, 0x55));
    std::string error;
    ASSERT_TRUE(WriteFirmwareFile(path, Bytes(kSampleHex), kConversionSeed, error)) << error;
    EXPECT_EQ(ReadWholeFile(path), ScrambleBytes(Bytes(kSampleHex)));

    const std::string nowhere = dir.Path("no-such-folder/fw.bin");
    EXPECT_FALSE(WriteFirmwareFile(nowhere, Bytes(kSampleHex), kConversionSeed, error));
    EXPECT_NE(error.find(nowhere), std::string::npos) << error;

    // Only the one file remains: no temporary files are left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// The plain HEX reader of the programmers takes regular files only and never waits: a FIFO with
// no writer or an endless device must not hang a load.
TEST(ReadHexTextFile, ReadsRegularFilesOnlyAndNeverWaits) {
    TempDir dir;
    std::string text = "stale";
    ASSERT_TRUE(ReadHexTextFile(dir.Write("app.hex", Bytes(kSampleHex)), text));
    EXPECT_EQ(text, kSampleHex);
    ASSERT_TRUE(ReadHexTextFile(dir.Write("empty.hex", {}), text));
    EXPECT_EQ(text, "");

    const std::string fifo = dir.Path("fifo.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    for (const std::string& path :
         {fifo, dir.Path(""), std::string("/dev/zero"), dir.Path("missing.hex")}) {
        EXPECT_FALSE(ReadHexTextFile(path, text)) << path;
    }
}

TEST(WriteFirmwareFile, NeverReplacesWhatIsNotARegularFile) {
    TempDir dir;
    const std::string target = dir.Write("target.bin", {1, 2, 3});
    const std::string link = dir.Path("link.bin");
    std::filesystem::create_symlink(target, link);
    const std::string fifo = dir.Path("fifo.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    for (const std::string& path : {link, fifo}) {
        std::string error;
        EXPECT_FALSE(WriteFirmwareFile(path, Bytes(kSampleHex), kConversionSeed, error)) << path;
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

}  // namespace
}  // namespace tamrix
