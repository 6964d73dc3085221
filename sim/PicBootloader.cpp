#include "sim/PicBootloader.h"

namespace tamrix {

namespace {

constexpr uint8_t kRead = 0x02;
constexpr uint8_t kWriteRow = 0x03;
constexpr uint8_t kWriteEeprom = 0x05;
constexpr uint8_t kWriteConfig = 0x07;
constexpr uint8_t kConfigGroup = 0xFF;
constexpr uint8_t kVersionInfo = 0x10;
constexpr uint8_t kVersionAddresses = 0x11;
constexpr size_t kEepromRowBytes = 32;

uint32_t FrameAddress(const std::vector<uint8_t>& frame) {
    return frame[1] | (frame[2] << 8) | (static_cast<uint32_t>(frame[3]) << 16);
}

void PutLittle32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool IsBootloaderProductCode(uint16_t productCode) {
    switch (productCode) {
        case 14900:
        case 14901:
        case 14910:
        case 16000:
        case 16010:
            return true;
        default:
            return false;
    }
}

CSimPicBootloader::CSimPicBootloader(const DeviceTableEntry& device, const SimOptions& options)
    : CSimBootloader(device.deviceId, device.pi),
      flash_(device.family),
      checksum_(options.checksum),
      bootVersion_(options.bootVersion),
      addresses_{options.productCodeAddress, options.versionAddress, options.thirdAddress} {
    flash_.SetInstruction(0, kSimResetVector0);
    flash_.SetInstruction(2, kSimResetVector1);
    flash_.SetInstruction(options.productCodeAddress, options.productCode);
    flash_.SetInstruction(
        options.versionAddress,
        options.appVersion | (static_cast<uint32_t>(options.versionFlagByte) << 16));
}

void CSimPicBootloader::Reset() {
    CSimBootloader::Reset();
    configMode_ = false;
    configIndex_ = 0;
    writtenCode_.reset();
    writtenVersion_.reset();
}

SimVersions CSimPicBootloader::Versions() const {
    const uint32_t code = flash_.Instruction(addresses_[0]);
    const uint32_t version = flash_.Instruction(addresses_[1]);
    SimVersions versions;
    versions.productCode = static_cast<uint16_t>(code);
    versions.appVersion = static_cast<uint16_t>(version);
    versions.versionFlagByte = static_cast<uint8_t>(version >> 16);
    versions.bootVersion = bootVersion_;
    return versions;
}

std::vector<uint8_t> CSimPicBootloader::VersionInformation() const {
    // Three fields of L, M, U, P: the two instructions as they stand in the flash, then the boot
    // version.
    std::vector<uint8_t> reply;
    PutLittle32(reply, flash_.Instruction(addresses_[0]));
    PutLittle32(reply, flash_.Instruction(addresses_[1]));
    PutLittle32(reply, bootVersion_);
    return reply;
}

std::vector<uint8_t> CSimPicBootloader::VersionAddresses() const {
    std::vector<uint8_t> reply;
    for (uint32_t address : addresses_)
        PutLittle32(reply, address);
    return reply;
}

size_t CSimPicBootloader::FrameLength(uint8_t command) {
    if (configMode_) {
        if (command == kConfigGroup)
            return 3;
        configMode_ = false;  // any other byte ends the configuration and is a command
    }
    const size_t rowBytes = 3 * static_cast<size_t>(flash_.RowInstructions());
    switch (command) {
        case kRead:
            return 4;
        case kWriteRow:
            return 4 + rowBytes + (checksum_ ? 2 : 0);
        case kWriteEeprom:
            return 4 + kEepromRowBytes;
        case kWriteConfig:
            return 4;
        case kVersionInfo:
        case kVersionAddresses:
            return 1;
        default:
            return CSimBootloader::FrameLength(command);
    }
}

bool CSimPicBootloader::StartsRowFrame(uint8_t command) const {
    // A configuration group (0xFF) only starts a frame in configuration mode.
    return command == kWriteRow || command == kWriteEeprom || command == kWriteConfig ||
           command == kConfigGroup;
}

void CSimPicBootloader::HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                                    SimActions& out) {
    switch (frame[0]) {
        case kRead:
            ++context.counters.flashReads;
            ReadBlock(FrameAddress(frame), out);
            break;
        case kWriteRow:
            WriteProgramRow(frame, context, out);
            break;
        case kWriteEeprom:
            WriteEepromRow(frame, context, out);
            break;
        case kWriteConfig:
            configIndex_ = 0;
            WriteConfigWord(frame[1], frame[2], frame[3], context, out);
            configMode_ = true;
            break;
        case kConfigGroup:  // only reached in configuration mode
            WriteConfigWord(frame[0], frame[1], frame[2], context, out);
            configMode_ = true;
            break;
        case kVersionInfo:
            ++context.counters.versionRequests;
            if (context.faults.AnswersVersionInfo())
                out.reply = VersionInformation();
            break;
        case kVersionAddresses:
            ++context.counters.addressRequests;
            if (context.faults.AnswersVersionAddresses())
                out.reply = VersionAddresses();
            break;
        case kSimFinish:
            Finish();
            CSimBootloader::HandleFrame(frame, context, out);
            break;
        default:
            CSimBootloader::HandleFrame(frame, context, out);
            break;
    }
}

void CSimPicBootloader::ReadBlock(uint32_t address, SimActions& out) const {
    const int count = flash_.RowInstructions();
    out.reply.reserve(3 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const uint32_t word = flash_.Instruction(address + 2 * static_cast<uint32_t>(i));
        out.reply.push_back(static_cast<uint8_t>(word >> 16));
        out.reply.push_back(static_cast<uint8_t>(word >> 8));
        out.reply.push_back(static_cast<uint8_t>(word));
    }
}

void CSimPicBootloader::WriteProgramRow(const std::vector<uint8_t>& frame, SimFrameContext& context,
                                        SimActions& out) {
    const uint32_t address = FrameAddress(frame);
    const uint32_t count = static_cast<uint32_t>(flash_.RowInstructions());
    bool wellFormed = address % 2 == 0 && address + 2 * count <= flash_.ProgramEnd();
    if (checksum_) {
        const size_t summed = frame.size() - 2;
        unsigned sum = 0;
        for (size_t i = 0; i < summed; ++i)
            sum += frame[i];
        const unsigned sent = frame[summed] | (frame[summed + 1] << 8);
        wellFormed = wellFormed && (sum & 0xFFFF) == sent;
    }
    AnswerRow(
        wellFormed,
        [&] {
            const bool corrupt = programRowsWritten_++ == context.faults.Current().corruptProgramRow;
            for (uint32_t i = 0; i < count; ++i) {
                const size_t at = 4 + 3 * i;
                uint32_t word =
                    frame[at] | (frame[at + 1] << 8) | (static_cast<uint32_t>(frame[at + 2]) << 16);
                if (corrupt && i == kSimCorruptInstruction)
                    word ^= 1;
                const uint32_t device = address + 2 * i;
                flash_.SetInstruction(device, word);
                if (device == kSimBootImageCodeAddress)
                    writtenCode_ = static_cast<uint16_t>(word);
                if (device == kSimBootImageVersionAddress) {
                    writtenVersion_ = static_cast<uint16_t>(word);
                }
            }
        },
        context, out);
}

void CSimPicBootloader::WriteEepromRow(const std::vector<uint8_t>& frame, SimFrameContext& context,
                                       SimActions& out) {
    const uint32_t address = FrameAddress(frame);
    const bool wellFormed = address % 2 == 0 && address >= CSimPicFlash::kEepromStart &&
                            address + kEepromRowBytes <= CSimPicFlash::kEepromEnd;
    AnswerRow(
        wellFormed,
        [&] {
            for (uint32_t j = 0; j < kEepromRowBytes / 2; ++j) {
                const uint16_t word =
                    static_cast<uint16_t>(frame[4 + 2 * j] | (frame[5 + 2 * j] << 8));
                flash_.SetEepromWord(address + 2 * j, word);
            }
        },
        context, out);
}

void CSimPicBootloader::WriteConfigWord(uint8_t marker, uint8_t low, uint8_t high,
                                        SimFrameContext& context, SimActions& out) {
    const int index = configIndex_++;
    const bool wellFormed = marker == kConfigGroup && index < CSimPicFlash::kConfigWords;
    AnswerRow(
        wellFormed, [&] { flash_.SetConfigWord(index, static_cast<uint16_t>(low | (high << 8))); },
        context, out);
}

void CSimPicBootloader::Finish() {
    if (writtenCode_ && writtenVersion_ && IsBootloaderProductCode(*writtenCode_)) {
        bootVersion_ = *writtenVersion_;
    }
    writtenCode_.reset();
    writtenVersion_.reset();
}

}  // namespace tamrix
