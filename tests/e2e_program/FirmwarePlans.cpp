#include "tests/e2e_program/FirmwarePlans.h"

namespace tamrix::test {

namespace {

constexpr uint32_t kPicEepromStart = 0x7FF000;
constexpr uint32_t kPicEepromRowWords = 16;
constexpr uint32_t kPicConfigStart = 0xF80000;
constexpr uint32_t kSamRowBytes = 128;
constexpr uint32_t kSamEepromStart = 0x10000;
constexpr uint32_t kSamFuseStart = 0x20000;

template <typename Map>
std::vector<uint32_t> RowBases(const Map& words, uint32_t rowSpan, uint32_t origin) {
    std::set<uint32_t> bases;
    for (const auto& entry : words) {
        bases.insert(origin + (entry.first - origin) / rowSpan * rowSpan);
    }
    return std::vector<uint32_t>(bases.begin(), bases.end());
}

}  // namespace

uint32_t InstructionFor(uint32_t address) {
    const uint32_t value = (address * 2654435761u) >> 8;
    return value == 0xFFFFFF ? 0x123456 : value;
}

std::vector<uint32_t> PicPlan::ProgramRows() const {
    std::map<uint32_t, uint32_t> withResetVector = instructions;
    withResetVector[0] = 0;
    return RowBases(withResetVector, 2 * static_cast<uint32_t>(rowInstructions), 0);
}

std::vector<uint32_t> PicPlan::EepromRows() const {
    return RowBases(eeprom, 2 * kPicEepromRowWords, kPicEepromStart);
}

int PicPlan::RowFrames() const {
    // Configuration words are never sent by a download.
    return static_cast<int>(ProgramRows().size() + EepromRows().size());
}

PicPlan MakePicPlan(int rowInstructions, uint32_t programEnd) {
    PicPlan plan;
    plan.rowInstructions = rowInstructions;
    const uint32_t rowSpan = 2 * static_cast<uint32_t>(rowInstructions);
    auto instruction = [&](uint32_t address, uint32_t value) {
        plan.instructions[address] = value;
        plan.firmware.Instruction(address, value);
    };
    // The file's own reset vector (a GOTO somewhere else) and code right after it.
    instruction(0, 0x040200);
    instruction(2, 0x000000);
    for (uint32_t a = 4; a < 16; a += 2)
        instruction(a, InstructionFor(a));
    // A run of code across the boundary between two rows.
    const uint32_t across = 5 * rowSpan - 32;
    for (uint32_t a = across; a < across + 64; a += 2)
        instruction(a, InstructionFor(a));
    // The whole last row of program memory, up to its very last instruction.
    for (uint32_t a = programEnd - rowSpan; a < programEnd; a += 2) {
        instruction(a, InstructionFor(a));
    }

    auto eeprom = [&](uint32_t address, uint16_t value) {
        plan.eeprom[address] = value;
        plan.firmware.Word(address, value);
    };
    eeprom(kPicEepromStart, 0xA55A);
    eeprom(kPicEepromStart + 2, 0x0102);
    eeprom(kPicEepromStart + 0x1E, 0xBEEF);
    eeprom(0x7FFFFE, 0x1234);

    auto config = [&](uint32_t address, uint16_t value) {
        plan.config[address] = value;
        plan.firmware.Word(address, value);
    };
    config(kPicConfigStart, 0xC30F);
    config(kPicConfigStart + 2, 0x003F);
    config(kPicConfigStart + 0x0E, 0x8007);
    return plan;
}

std::vector<uint32_t> SamPlan::ProgramRows() const {
    std::map<uint32_t, uint8_t> program(bytes.begin(), bytes.lower_bound(kSamEepromStart));
    return RowBases(program, kSamRowBytes, 0);
}

std::vector<uint32_t> SamPlan::EepromRows() const {
    std::map<uint32_t, uint8_t> eeprom(bytes.lower_bound(kSamEepromStart),
                                       bytes.lower_bound(kSamFuseStart));
    return RowBases(eeprom, kSamRowBytes, kSamEepromStart);
}

bool SamPlan::HasFuses() const {
    return bytes.lower_bound(kSamFuseStart) != bytes.end();
}

int SamPlan::RowFrames() const {
    return static_cast<int>(ProgramRows().size() + EepromRows().size()) + (HasFuses() ? 1 : 0);
}

SamPlan MakeSamPlan() {
    SamPlan plan;
    auto byte = [&](uint32_t address, uint8_t value) {
        plan.bytes[address] = value;
        plan.firmware.Byte(address, value);
    };
    auto run = [&](uint32_t from, uint32_t to) {
        for (uint32_t a = from; a < to; ++a)
            byte(a, static_cast<uint8_t>(InstructionFor(a)));
    };
    run(0x0000, 0x0010);
    run(0x0F80 + 0x70, 0x1000 + 0x10);  // across the boundary of two rows
    byte(0x8001, 0x00);
    run(0xFF80, 0x10000);  // the whole last program row
    run(0x10000, 0x10008);
    run(0x13F80, 0x14000);  // the whole last EEPROM row
    byte(0x20000, 0x3C);
    byte(0x20001, 0xFF);
    byte(0x20002, 0x00);
    byte(0x20003, 0x81);
    return plan;
}

}  // namespace tamrix::test
