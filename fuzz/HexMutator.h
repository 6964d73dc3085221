#pragma once
// A mutator that knows Intel HEX records, for libFuzzer's LLVMFuzzerCustomMutator: most changes
// are made to whole records (an address moved to a segment's end, a type changed, data bytes
// added or taken away, an address record put in, lines repeated, swapped or dropped) and leave
// the record's byte count and checksum right, so the loaders get past their record checks and
// place what the fuzzer made up. The rest are libFuzzer's own byte mutations, which reach the
// refusal of damaged text.

#include <cstddef>
#include <cstdint>

namespace tamrix::fuzz {

size_t MutateHexText(uint8_t* data, size_t size, size_t maxSize, unsigned seed);

}  // namespace tamrix::fuzz

// libFuzzer's own mutation of a buffer.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);
