#pragma once
// Firmware images for the end-to-end downloads, with what each one should leave on the product
// and which rows a host has to send for it. The values differ from address to address, so a row
// written at the wrong place or with bytes swapped shows up.

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "tests/support/FirmwareBuilder.h"

namespace tamrix::test {

// A PIC image: program words (among them the file's own reset vector, which the target must keep
// in place of it), words in the last row of program memory, EEPROM words in the first and last
// EEPROM rows, and configuration words.
struct PicPlan {
    int rowInstructions = 0;                    // 32 on a dsPIC30F, else 512
    std::map<uint32_t, uint32_t> instructions;  // device address -> 24-bit instruction
    std::map<uint32_t, uint16_t> eeprom;        // device address -> word
    std::map<uint32_t, uint16_t> config;        // device address -> word
    FirmwareBuilder firmware;

    // Base addresses of the program rows a download sends, row 0 (the reset vector) included,
    // and of the EEPROM rows, in the order they go out.
    std::vector<uint32_t> ProgramRows() const;
    std::vector<uint32_t> EepromRows() const;
    int RowFrames() const;
};

// `programEnd` is the first device address past program memory.
PicPlan MakePicPlan(int rowInstructions, uint32_t programEnd);

// A SAM image: program bytes from 0 up to 0xFFFF (the whole last row), EEPROM bytes in the first
// and last EEPROM rows (0x10000 up), and the four fuse bytes.
struct SamPlan {
    std::map<uint32_t, uint8_t> bytes;  // HEX address -> byte
    FirmwareBuilder firmware;

    std::vector<uint32_t> ProgramRows() const;  // base addresses, ascending
    std::vector<uint32_t> EepromRows() const;   // full addresses (0x10000 up)
    bool HasFuses() const;
    int RowFrames() const;
};

SamPlan MakeSamPlan();

// A varied, never erased, 24-bit instruction for an address.
uint32_t InstructionFor(uint32_t address);

}  // namespace tamrix::test
