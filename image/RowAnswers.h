#pragma once
// Waiting for the bootloader's one-byte answers to row frames and matching each to the frame it
// belongs to through the channel's ledger (comm/AnswerLedger.h). Every row write, and the end of a
// programming run, waits through these.

#include <cstdint>
#include <functional>
#include <optional>

#include "comm/AnswerLedger.h"

namespace tamrix {

class CCommChannel;
class CClock;

// How long the answer of a row frame is waited for on `channel`: the acknowledge wait and a margin
// for late answers; once answers have been seen to take long (a slow link: a radio or network
// serial bridge, a loaded hub), twice the longest seen, up to a bound. On one wire at least twice
// the plain wait: a frame sent while an answer is on its way would collide with it.
int RowAnswerWindowMs(CCommChannel& channel);

// Handed every ACK or NACK that arrives, with the frame the ledger matched it to (none: an answer
// no frame was owed). Returns true to stop listening.
using AnswerHandler =
    std::function<bool(const std::optional<CAnswerLedger::Frame>& frame, bool ack)>;

// Reads what arrives, one byte at a time, until the time `until` gives has passed or the handler
// stops it (true then). Bytes that are neither ACK nor NACK are line noise: ignored, and they never
// stretch the wait. `until` is asked again after every byte: an answer can move the time on.
bool TakeAnswers(CCommChannel& channel, CClock& clock, const std::function<int64_t()>& until,
                 const AnswerHandler& onAnswer);

// Empties the receive queue when no answer is owed (before a row's first frame, after a refused
// one): what is waiting is looked at first, since an ACK or NACK among it is an answer no frame
// was owed. False when the queue cannot be emptied.
bool FlushUnowedAnswers(CCommChannel& channel, CClock& clock);

// Waits for every answer still owed, each for a window from when it could come at the earliest;
// one that does not come is given up (and shows later if it comes after all).
void SettleOwedAnswers(CCommChannel& channel, CClock& clock);

// While an answer that was given up may still come, listens for one answer window: if it comes,
// the rows it may have been taken for are found uncertain before the firmware is started.
void ListenForGivenUpAnswers(CCommChannel& channel, CClock& clock);

}  // namespace tamrix
