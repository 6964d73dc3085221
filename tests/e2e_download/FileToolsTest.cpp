// tamrix-cli's demonstration and its firmware file tools, run as a technician runs them.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "tests/e2e_download/DownloadRun.h"

namespace tamrix::test {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The demonstration needs nothing but the program: a simulated product at wire speed, a complete
// download and the check of the flash, on either wiring.
TEST(CliDemoTest, CompleteDownloadPassesItsCheckOnBothWirings) {
    for (const std::string interface : {"usb", "signal"}) {
        SCOPED_TRACE(interface);
        TempFolder folder;
        const CliResult run =
            RunCli({"demo", "--interface", interface, "--log", folder.File("ProcssLog.log")});
        ASSERT_FALSE(run.timedOut) << run.output;
        EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
        EXPECT_TRUE(Contains(run.output, PrintedStatus("[Message] : Successfully Done !!\r\n")))
            << run.output;
        EXPECT_TRUE(Contains(run.output, "Check passed")) << run.output;
        const std::vector<std::string> log = LogTexts(ReadWholeFile(folder.File("ProcssLog.log")));
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[1], std::string("Download Info. Port : 0, BaudRate : 115200, SignalType : ") +
                              (interface == "signal" ? "1" : "0") + "  \r\n");
    }
}

class CliFileToolsTest : public ::testing::Test {
  protected:
    const FirmwareBuilder firmware_ = PicApplication(kProductCode, kNewerAppVersion);
    TempFolder folder_;
};

// Files written by the processes this one starts may grow to `bytes` only, as on a full disk; the
// signal that would end them is ignored, so their writes fail instead.
class ScopedChildFileSizeLimit {
  public:
    explicit ScopedChildFileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &signal_);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedChildFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::sigaction(SIGXFSZ, &signal_, nullptr);
    }
    ScopedChildFileSizeLimit(const ScopedChildFileSizeLimit&) = delete;
    ScopedChildFileSizeLimit& operator=(const ScopedChildFileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    struct sigaction signal_ {};
};

// What a script may hand over by mistake: each is refused at once with the file exit status,
// never waited on and never read into memory whole.
TEST_F(CliFileToolsTest, PathsThatAreNotFirmwareFilesAreRefusedAtOnce) {
    const std::string fifo = folder_.File("fifo.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string directory = folder_.File("folder.bin");
    std::filesystem::create_directory(directory);
    const std::string huge = folder_.File("huge.bin");  // 300 MB of holes
    ASSERT_TRUE(firmware_.WriteBin(huge, kConversionSeed));
    std::filesystem::resize_file(huge, 300u * 1000 * 1000);

    for (const std::string& path : {directory, fifo, std::string("/dev/zero"), huge}) {
        const std::vector<std::vector<std::string>> commands = {
            {"info", path},
            {"convert", path, folder_.File("out.hex")},
            {"program-hex", path, "--port", folder_.File("no-port"), "--no-log"},
        };
        for (const auto& args : commands) {
            SCOPED_TRACE(args[0] + " " + path);
            const CliResult run = RunCli(args, 10);
            ASSERT_FALSE(run.timedOut) << run.output;
            EXPECT_EQ(run.exitCode, cli::kExitFile) << run.output;
            EXPECT_TRUE(Contains(run.output, "tamrix-cli: ")) << run.output;
            EXPECT_TRUE(Contains(run.output, path)) << run.output;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder_.File("out.hex")));
    // Not one of those runs took the memory of the 300 MB file (every child so far counts).
    rusage children{};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
    EXPECT_LT(children.ru_maxrss, 100L * 1024) << "kilobytes";
}

// The output is replaced whole or not at all, in both directions: a link, FIFO or device in its
// place is refused (never written through, never replaced), and a write that fails part way keeps
// the old output.
TEST_F(CliFileToolsTest, ConvertReplacesOnlyRegularOutputsAndKeepsTheOldOneOnFailure) {
    const std::string hex = folder_.File("app.hex");
    const std::string bin = folder_.File("app.bin");
    ASSERT_TRUE(firmware_.WriteHex(hex));
    ASSERT_TRUE(firmware_.WriteBin(bin, kConversionSeed));
    const std::string kept = folder_.File("kept.txt");
    ASSERT_TRUE(FirmwareBuilder().WriteHex(kept));
    const std::string keptText = ReadWholeFile(kept);
    const std::string link = folder_.File("link.out");
    std::filesystem::create_symlink(kept, link);
    const std::string fifo = folder_.File("fifo.out");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    for (const std::string& input : {hex, bin}) {
        for (const std::string& output : {link, fifo}) {
            SCOPED_TRACE(input + " -> " + output);
            const CliResult run = RunCli({"convert", input, output}, 10);
            ASSERT_FALSE(run.timedOut) << run.output;
            EXPECT_EQ(run.exitCode, cli::kExitFile) << run.output;
            EXPECT_TRUE(Contains(run.output, "cannot write " + output + ": not a regular file"))
                << run.output;
        }
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(ReadWholeFile(kept), keptText);
        EXPECT_TRUE(std::filesystem::is_fifo(fifo));

        SCOPED_TRACE(input + " -> a full disk");
        const std::string old = folder_.File("old.out");
        ASSERT_TRUE(FirmwareBuilder().WriteHex(old));
        CliResult run;
        {
            const ScopedChildFileSizeLimit fullDisk(100);
            run = RunCli({"convert", input, old}, 10);
        }
        EXPECT_EQ(run.exitCode, cli::kExitFile) << run.output;
        EXPECT_TRUE(Contains(run.output, "cannot write " + old)) << run.output;
        EXPECT_EQ(ReadWholeFile(old), keptText);
    }
    // Nothing but the files made here: no temporary file was left behind.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 6);
}

// A plain HEX text is told from a scrambled file by its look, so a damaged record is reported as
// what it is, with its line, not as a file of another seed.
TEST_F(CliFileToolsTest, APlainHexFileWithADamagedRecordIsNamedWithItsLine) {
    std::string text = firmware_.HexText();
    size_t lineEnd = 0;
    for (int line = 0; line < 3; ++line)
        lineEnd = text.find("\r\n", lineEnd + 1);
    char& lastDigit = text[lineEnd - 1];  // the checksum's last digit on line 3
    lastDigit = lastDigit == '0' ? '1' : '0';
    const std::string path = folder_.File("damaged.hex");
    ASSERT_TRUE(WriteWholeFile(path, text));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", path},
          std::vector<std::string>{"convert", path, folder_.File("out.bin")}}) {
        const CliResult run = RunCli(args, 10);
        EXPECT_EQ(run.exitCode, cli::kExitFile) << run.output;
        EXPECT_TRUE(Contains(run.output, "Hex file line 3 : record checksum mismatch"))
            << run.output;
        EXPECT_FALSE(Contains(run.output, "neither")) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(folder_.File("out.bin")));
}

// A byte-order mark in front, or an editor's end-of-file mark or padding behind the end record:
// refused by every file tool, naming the bytes and where they are, before anything is sent.
TEST_F(CliFileToolsTest, StrayBytesAroundTheRecordsAreNamedWithWhereTheyAre) {
    const std::string text = firmware_.HexText();
    const std::string after =
        " after its end record on line " + std::to_string(Occurrences(text, "\n")) + ": ";
    const std::string files[][3] = {
        {"bom.hex", "\xEF\xBB\xBF" + text, "starts with a UTF-8 byte-order mark (EF BB BF)"},
        {"nuls.hex", text + "\x1A" + std::string(2, '\0'),
         "has 3 bytes" + after + "0x1A (Ctrl-Z), 0x00 (NUL), 0x00 (NUL)"},
        {"inline.hex", text.substr(0, text.size() - 2) + "\x1A\r\n",
         "has 3 bytes" + after + "0x1A (Ctrl-Z), 0x0D (CR), 0x0A (LF)"},
    };
    for (const auto& [name, bytes, said] : files) {
        const std::vector<uint8_t> scrambled = ScrambleBytes({bytes.begin(), bytes.end()});
        ASSERT_TRUE(WriteWholeFile(folder_.File(name), bytes));
        ASSERT_TRUE(WriteWholeFile(folder_.File("x.bin"), {scrambled.begin(), scrambled.end()}));
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"info", folder_.File(name)},
                 {"convert", folder_.File(name), folder_.File("out")},
                 {"info", folder_.File("x.bin")},
                 {"program-hex", folder_.File(name), "--port", folder_.File("no-port")}}) {
            const CliResult run = RunCli(args, 10);
            EXPECT_EQ(run.exitCode, cli::kExitFile) << run.output;
            EXPECT_TRUE(Contains(run.output, args[1] + " is ")) << run.output;
            EXPECT_TRUE(Contains(run.output, "Intel HEX: it " + said)) << run.output;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder_.File("out")));
}

TEST_F(CliFileToolsTest, ConvertMakesTheFirmwareFileAndConvertingItAgainRestoresTheText) {
    const std::string hex = folder_.File("app.hex");
    ASSERT_TRUE(firmware_.WriteHex(hex));
    const std::string original = ReadWholeFile(hex);

    const CliResult toBin = RunCli({"convert", hex, folder_.File("app.bin")});
    ASSERT_EQ(toBin.exitCode, cli::kExitSuccess) << toBin.output;
    const std::string bin = ReadWholeFile(folder_.File("app.bin"));
    ASSERT_EQ(bin.size(), original.size());
    EXPECT_NE(bin, original);
    // It is the file the download process reads: unscrambled as a download unscrambles it.
    std::vector<uint8_t> buffer(kImageBufferSize, 0);
    int size = 0;
    ASSERT_EQ(ConvertBinFile(buffer.data(), nullptr, folder_.File("app.bin"), size), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size), original);

    const CliResult back = RunCli({"convert", folder_.File("app.bin"), folder_.File("back.hex")});
    ASSERT_EQ(back.exitCode, cli::kExitSuccess) << back.output;
    EXPECT_EQ(ReadWholeFile(folder_.File("back.hex")), original);
}

TEST_F(CliFileToolsTest, InfoShowsProductCodeVersionAndFlag) {
    ASSERT_TRUE(firmware_.WriteBin(folder_.File("app.bin"), kConversionSeed));
    const CliResult run = RunCli({"info", folder_.File("app.bin")});
    EXPECT_EQ(run.exitCode, cli::kExitSuccess) << run.output;
    EXPECT_TRUE(Contains(run.output, "Product code: 12345")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Application version: 1.1")) << run.output;
    EXPECT_TRUE(Contains(run.output, "version flag 1")) << run.output;

    // A file whose version word has a non-zero upper byte carries flag 0.
    const FirmwareBuilder flagZero = PicApplication(kProductCode, kNewerAppVersion, 0x01);
    ASSERT_TRUE(flagZero.WriteBin(folder_.File("flag0.bin"), kConversionSeed));
    const CliResult zero = RunCli({"info", folder_.File("flag0.bin")});
    EXPECT_TRUE(Contains(zero.output, "version flag 0")) << zero.output;
}

TEST_F(CliFileToolsTest, FileOfAnotherSeedIsReadOnlyWithThatSeed) {
    const std::string path = folder_.File("other.bin");
    ASSERT_TRUE(firmware_.WriteBin(path, 7));

    const CliResult withSeed = RunCli({"info", path, "--seed", "7"});
    EXPECT_EQ(withSeed.exitCode, cli::kExitSuccess) << withSeed.output;
    EXPECT_TRUE(Contains(withSeed.output, "Product code: 12345")) << withSeed.output;

    const CliResult withDefault = RunCli({"info", path});
    EXPECT_EQ(withDefault.exitCode, cli::kExitFile) << withDefault.output;
    EXPECT_FALSE(Contains(withDefault.output, "Product code:")) << withDefault.output;
    EXPECT_TRUE(Contains(withDefault.output, "seed")) << withDefault.output;

    // convert with the seed turns it into the same Intel HEX the builder wrote.
    const CliResult convert = RunCli({"convert", path, folder_.File("other.hex"), "--seed", "7"});
    ASSERT_EQ(convert.exitCode, cli::kExitSuccess) << convert.output;
    EXPECT_EQ(ReadWholeFile(folder_.File("other.hex")), firmware_.HexText());
}

}  // namespace
}  // namespace tamrix::test
