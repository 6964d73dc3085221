// One SAM image row on its own: what it accepts, what it packs, and the row write exchange with
// its retries, time-outs and trace, in virtual time.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "image/MemorySAM.h"
#include "platform/Clock.h"
#include "tests/sam/SamTarget.h"
#include "tests/support/FakeChannel.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::SamFrame;
using test::SamTarget;

std::vector<uint8_t> Filled(std::vector<uint8_t> head, size_t size) {
    head.resize(size, 0xFF);
    return head;
}

class MemorySAMTest : public ::testing::Test {
  protected:
    CVirtualClock clock;
    FakeChannel channel{clock};
    SamTarget target;

    void SetUp() override { target.Attach(channel); }

    // Program row 1 (base 0x80) holding 12 34 56 78 at its first four addresses, packed.
    std::unique_ptr<CMemorySAM> ProgramRow1() {
        auto row = std::make_unique<CMemorySAM>(clock, Family::S3F828B, RowKind::Program, 1, 0x80);
        const char* digits[] = {"12", "34", "56", "78"};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(row->SetWord(0x80 + i, digits[i]), 1);
        row->PackRow();
        return row;
    }

    // Answers every row frame with the given bytes.
    void AnswerAlways(std::vector<uint8_t> bytes) {
        target.reply = [bytes](int, const SamFrame&) { return bytes; };
    }
};

TEST_F(MemorySAMTest, RowsAcceptExactlyTheirOwnAddressesAndParseTwoDigits) {
    CMemorySAM program(clock, Family::S3F828B, RowKind::Program, 1, 0x80);
    EXPECT_EQ(program.wordCount, 128);
    EXPECT_EQ(program.SetWord(0x7F, "11"), 0);
    EXPECT_EQ(program.SetWord(0x100, "11"), 0);
    EXPECT_EQ(program.isEmpty, 1);
    EXPECT_EQ(program.SetWord(0xFF, "aBcD"), 1);  // two digits only, either case
    EXPECT_EQ(program.isEmpty, 0);
    EXPECT_EQ(program.words[0x7F], 0xAB);
    EXPECT_EQ(program.words[0], kEmptySlot);

    // A fuse row takes four addresses from its own base, whatever its neighbours take.
    CMemorySAM fuse(clock, Family::S3F828B, RowKind::Config, 2, 0x20002);
    EXPECT_EQ(fuse.wordCount, 4);
    EXPECT_EQ(fuse.SetWord(0x20001, "01"), 0);
    EXPECT_EQ(fuse.SetWord(0x20006, "01"), 0);
    EXPECT_EQ(fuse.SetWord(0x20005, "5a"), 1);
    EXPECT_EQ(fuse.words[3], 0x5A);
}

TEST_F(MemorySAMTest, AnEmptyRowCausesNoTrafficAtAll) {
    CMemorySAM row(clock, Family::S3F828B, RowKind::Program, 0, 0);
    row.PackRow();
    EXPECT_EQ(row.WriteRowChecked(&channel), 0);
    EXPECT_TRUE(channel.events.empty());
}

TEST_F(MemorySAMTest, RetriesUntilAcknowledgedAndGivesUpAfterFiveAttempts) {
    {
        SCOPED_TRACE("four NACKs, then ACK");
        target.reply = [](int n, const SamFrame&) {
            return std::vector<uint8_t>{static_cast<uint8_t>(n < 4 ? 0x00 : 0x01)};
        };
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 0);
        EXPECT_EQ(target.frames.size(), 5u);
        EXPECT_EQ(channel.flushRxCount, 1 + 4);  // the opening one, one after each NACK
    }
    {
        SCOPED_TRACE("five NACKs");
        target.frames.clear();
        channel.flushRxCount = 0;
        AnswerAlways({0x00});
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 1);
        EXPECT_EQ(target.frames.size(), 5u);
        EXPECT_EQ(channel.flushRxCount, 1 + 5);
        // Every retry resends the whole frame.
        for (const auto& f : target.frames) {
            EXPECT_EQ(f.header, (std::vector<uint8_t>{0x03, 0x80, 0x00}));
            EXPECT_EQ(f.data, Filled({0x12, 0x34, 0x56, 0x78}, 128));
        }
    }
    {
        SCOPED_TRACE("noise before the ACK");
        target.frames.clear();
        AnswerAlways({0x55, 0x01});
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 0);
        EXPECT_EQ(target.frames.size(), 1u);
    }
}

TEST_F(MemorySAMTest, WithoutAnAnswerEachAttemptWaitsItsTimeThenPausesAndFlushes) {
    for (const auto& answer : {std::vector<uint8_t>{0x55, 0x7E}, std::vector<uint8_t>{}}) {
        SCOPED_TRACE(answer.empty() ? "silence" : "only other bytes");
        target.frames.clear();
        std::vector<int64_t> sentAt;
        target.reply = [&](int, const SamFrame&) {
            sentAt.push_back(clock.NowMs());
            return answer;
        };
        const int64_t start = clock.NowMs();
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 1);
        ASSERT_EQ(sentAt.size(), 5u);
        // The acknowledge wait, the time a late answer is still listened for, the pause.
        const int64_t attempt = 500 + kLateAnswerMs + 5;
        for (size_t i = 1; i < sentAt.size(); ++i) {
            const int64_t gap = sentAt[i] - sentAt[i - 1];
            EXPECT_GE(gap, attempt);
            EXPECT_LE(gap, attempt + 5);
        }
        const int64_t total = clock.NowMs() - start;
        EXPECT_GE(total, 5 * attempt);
        EXPECT_LE(total, 5 * (attempt + 5));
    }
}

TEST_F(MemorySAMTest, AnAcknowledgeLateInTheWaitStillCounts) {
    // Late in the wait, and later than the wait (a slow row write): still this frame's answer,
    // and the row is not sent again.
    for (int delay : {480, 600}) {
        target.frames.clear();
        target.replyDelayMs = delay;
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 0);
        EXPECT_EQ(target.frames.size(), 1u);
    }
}

// A frame whose one-wire echo came back wrong (here its header's) may have reached the target
// changed, and bytes of its echo could pass for the answer: the data still goes out, since the
// bootloader counts the frame's bytes, but that attempt's answer is not taken and the frame is
// sent again.
TEST_F(MemorySAMTest, AFrameWhoseWriteFailedTakesNoAnswer) {
    channel.lateEchoForWritesStartingWith = kSamWriteProgramRow;
    target.reply = [this](int, const SamFrame&) {
        channel.lateEchoForWritesStartingWith = -1;  // the next header's echo is right
        return std::vector<uint8_t>{COMMAND_ACK};
    };
    EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 0);
    ASSERT_EQ(target.frames.size(), 2u) << "the first frame's acknowledge was not taken";
    EXPECT_EQ(target.frames[0].data, target.frames[1].data);
}

TEST_F(MemorySAMTest, AFailingReceiveFlushFailsTheRowAtOnce) {
    {
        SCOPED_TRACE("the opening flush");
        channel.flushRxFails = true;
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 1);
        EXPECT_TRUE(channel.writes.empty());
    }
    {
        SCOPED_TRACE("the flush after a NACK");
        channel.flushRxFails = false;
        target.reply = [this](int, const SamFrame&) {
            channel.flushRxFails = true;
            return std::vector<uint8_t>{0x00};
        };
        EXPECT_EQ(ProgramRow1()->WriteRowChecked(&channel), 1);
        EXPECT_EQ(target.frames.size(), 1u);
    }
}

TEST_F(MemorySAMTest, FixedResultsOfTheOperationsTheBootloaderDoesNotHave) {
    auto row = ProgramRow1();
    int value = 1234;
    EXPECT_EQ(row->GetWord(0x80, value), 1);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(row->GetWord(0x7FFFFF, value), 1);
    EXPECT_EQ(value, 1234);
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(row->Checksum(bytes, 3), 0);
    EXPECT_EQ(row->WriteRow(&channel), 0);
    EXPECT_TRUE(channel.events.empty());
}

// WriteRowLogged ---------------------------------------------------------------------------------

class TraceFile {
  public:
    TraceFile() : file_(std::tmpfile(), &std::fclose) {}
    FILE* get() const { return file_.get(); }
    std::string Text() const {
        std::fflush(file_.get());
        std::rewind(file_.get());
        std::string text;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_.get())) > 0)
            text.append(buffer, n);
        return text;
    }

  private:
    std::unique_ptr<FILE, decltype(&std::fclose)> file_;
};

// The dump of program row 1 as ProgramRow1() fills it.
std::string Row1Dump() {
    std::string dump = "\n12345678ffffffffffffffffffffffff";
    for (int line = 1; line < 8; ++line)
        dump += "\n" + std::string(32, 'f');
    return dump + "\n\n";
}

TEST_F(MemorySAMTest, LoggedWriteTracesEachAttemptAndTheAnswer) {
    TraceFile trace;
    ASSERT_NE(trace.get(), nullptr);
    target.reply = [](int n, const SamFrame&) {
        return std::vector<uint8_t>{static_cast<uint8_t>(n == 0 ? 0x00 : 0x01)};
    };
    EXPECT_EQ(ProgramRow1()->WriteRowLogged(&channel, trace.get()), 0);
    EXPECT_EQ(target.frames.size(), 2u);
    const std::string attempt = "->Program Address:0x00000080" + Row1Dump();
    EXPECT_EQ(trace.Text(), attempt + "<-Target ACK : 0\n\n" + "Taget ack : COMMAND_NACK \n\n" +
                                attempt + "<-Target ACK : 1\n\n");
}

TEST_F(MemorySAMTest, LoggedWriteTracesTimeOutsFlushFailuresAndOtherRowKinds) {
    {
        SCOPED_TRACE("five time-outs on an EEPROM row");
        TraceFile trace;
        AnswerAlways({});
        CMemorySAM eeprom(clock, Family::S3F828B, RowKind::Eeprom, 1, 0x10080);
        static_cast<void>(eeprom.SetWord(0x10080, "01"));
        eeprom.PackRow();
        EXPECT_EQ(eeprom.WriteRowLogged(&channel, trace.get()), 1);
        std::string dump = "\n01" + std::string(30, 'f');
        for (int line = 1; line < 8; ++line)
            dump += "\n" + std::string(32, 'f');
        std::string expected;
        for (int i = 0; i < 5; ++i) {
            expected += "->EEProm Address:0x00010080" + dump + "\n\nTaget ack : COMMAND_NACK \n\n";
        }
        EXPECT_EQ(trace.Text(), expected + "\n\n");
    }
    {
        SCOPED_TRACE("a fuse row whose flush fails after a NACK");
        TraceFile trace;
        target.reply = [this](int, const SamFrame&) {
            channel.flushRxFails = true;
            return std::vector<uint8_t>{0x00};
        };
        CMemorySAM fuse(clock, Family::S3F828B, RowKind::Config, 2, 0x20002);
        static_cast<void>(fuse.SetWord(0x20002, "0f"));
        fuse.PackRow();
        EXPECT_EQ(fuse.WriteRowLogged(&channel, trace.get()), 1);
        EXPECT_EQ(trace.Text(),
                  "->FuseBits Row:02 Address:0x00020002\n0fffffff\n\n"
                  "<-Target ACK : 0\n\nFlushRX fail!!\n\n");
    }
    {
        SCOPED_TRACE("the early returns write nothing");
        TraceFile trace;
        CMemorySAM empty(clock, Family::S3F828B, RowKind::Program, 0, 0);
        EXPECT_EQ(empty.WriteRowLogged(&channel, trace.get()), 0);
        channel.flushRxFails = true;
        EXPECT_EQ(ProgramRow1()->WriteRowLogged(&channel, trace.get()), 1);
        EXPECT_EQ(trace.Text(), "");
    }
}

}  // namespace
}  // namespace tamrix
