#pragma once
// Which row frame each one-byte answer (ACK or NACK) of the bootloader belongs to. The answers
// carry no sequence number; the bootloader answers every frame once, in the order the frames came.
// So every frame sent is owed exactly one answer, and answers are matched to the frames in the
// order sent. A wait that runs out never moves the matching on: the frame stays owed, and when
// its answer comes late it is still taken for that frame, not for a later one.
//
// Only when an owed answer is given up (it did not come in a generous time) can the matching slip:
// should that answer come after all, every answer after it would be taken for the frame before
// its own. That shows as an answer arriving when nothing is owed. The rows whose frames were sent
// after the given-up frame are then uncertain: an acknowledge taken for one of them may have
// belonged to an earlier frame. The ledger only keeps the books; the row writes do the waiting.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tamrix {

// The row a frame carries: its kind and its first address.
struct RowTag {
    int kind = 0;
    int baseAddress = 0;
    bool operator==(const RowTag& other) const {
        return kind == other.kind && baseAddress == other.baseAddress;
    }
    bool operator!=(const RowTag& other) const { return !(*this == other); }
};

class CAnswerLedger {
  public:
    struct Frame {
        RowTag row;
        int attempt = 0;       // 1 for the row's first frame
        bool damaged = false;  // did not leave whole, or its one-wire echo came back changed
        int64_t sentMs = 0;    // when its last byte had left
        int64_t serial = 0;    // position among all frames of this connection
    };

    // A frame has been sent (or tried): it is owed one answer.
    void FrameSent(RowTag row, int attempt, bool damaged, int64_t nowMs);
    bool Owes() const { return !owed_.empty(); }
    size_t OwedCount() const { return owed_.size(); }
    const Frame& Oldest() const { return owed_.front(); }
    const Frame& Latest() const { return owed_.back(); }

    // An answer came: it belongs to the oldest owed frame, which is returned. With nothing owed it
    // is one answer more than frames were sent: nothing is returned, and the rows that may have
    // taken another frame's acknowledge become uncertain.
    std::optional<Frame> Answer(int64_t nowMs);

    // The oldest owed frame's answer did not come in time and is no longer waited for. Should it
    // come after all, it shows as an answer that nothing is owed.
    void GiveUpOldest(int64_t nowMs);
    // Every owed answer is given up at once.
    void GiveUpAll(int64_t nowMs);
    // A row failed: nothing more is sent in this programming run, so what it still owes is
    // forgotten without consequence.
    void Forget() { owed_.clear(); }

    // The answer of a frame cannot come before the answers of the frames sent before it: the wait
    // for the oldest owed frame counts from when it left or when the previous answer came (or was
    // given up), whichever is later.
    int64_t OldestDueFromMs() const;
    int64_t DueFromMs(const Frame& frame) const;

    // The longest time from a frame leaving to its answer seen so far (0 before any answer).
    int MaxLatencyMs() const { return maxLatencyMs_; }
    // True while an answer that was given up may still turn up.
    bool AnswersGivenUp() const { return !givenUp_.empty(); }
    int GivenUpCount() const { return static_cast<int>(givenUp_.size()); }

    // Rows that may have taken another frame's acknowledge, each once, in the order found.
    const std::vector<RowTag>& UncertainRows() const { return uncertain_; }
    // Takes the list, leaving it empty: rows found uncertain later are new ones.
    std::vector<RowTag> TakeUncertainRows();
    // Rows found uncertain over the whole connection (taken or not).
    int UncertainRowCount() const { return uncertainTotal_; }

  private:
    void MarkUncertain(RowTag row);
    void MarkSentAfter(int64_t serial);

    std::deque<Frame> owed_;
    std::deque<Frame> givenUp_;  // oldest first
    std::vector<Frame> sent_;    // every frame of the connection, for marking
    std::vector<RowTag> uncertain_;
    std::vector<RowTag> everUncertain_;
    int uncertainTotal_ = 0;
    int64_t nextSerial_ = 0;
    int64_t lastAnswerMs_ = 0;
    int maxLatencyMs_ = 0;
};

}  // namespace tamrix
