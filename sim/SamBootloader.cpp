#include "sim/SamBootloader.h"

namespace tamrix {

namespace {

constexpr uint8_t kWriteRow = 0x03;
constexpr uint8_t kWriteEeprom = 0x05;
constexpr uint8_t kWriteFuses = 0x07;
constexpr uint8_t kVersionInfo = 0x10;

void PutBig16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

}  // namespace

CSimSamBootloader::CSimSamBootloader(const DeviceTableEntry& device, const SimOptions& options)
    : CSimBootloader(device.deviceId, device.pi) {
    versions_.productCode = options.productCode;
    versions_.appVersion = options.appVersion;
    versions_.bootVersion = options.bootVersion;
}

std::vector<uint8_t> CSimSamBootloader::VersionInformation() const {
    std::vector<uint8_t> reply;
    PutBig16(reply, versions_.productCode);
    PutBig16(reply, 0);
    PutBig16(reply, versions_.appVersion);
    PutBig16(reply, 0);
    PutBig16(reply, versions_.bootVersion);
    PutBig16(reply, 0);
    return reply;
}

size_t CSimSamBootloader::FrameLength(uint8_t command) {
    switch (command) {
        case kWriteRow:
        case kWriteEeprom:
            return 3 + kRowBytes;
        case kWriteFuses:
            return 1 + CSimSamFlash::kFuseBytes;
        case kVersionInfo:
            return 1;
        default:
            return CSimBootloader::FrameLength(command);
    }
}

bool CSimSamBootloader::StartsRowFrame(uint8_t command) const {
    return command == kWriteRow || command == kWriteEeprom || command == kWriteFuses;
}

void CSimSamBootloader::WriteBytes(const std::vector<uint8_t>& frame, size_t first, size_t count,
                                   uint32_t base) {
    for (size_t i = 0; i < count; ++i) {
        flash_.SetByte(base + static_cast<uint32_t>(i), frame[first + i]);
    }
}

void CSimSamBootloader::HandleFrame(const std::vector<uint8_t>& frame, SimFrameContext& context,
                                    SimActions& out) {
    const uint32_t address = frame.size() >= 3 ? (frame[1] | (frame[2] << 8)) : 0;
    switch (frame[0]) {
        case kWriteRow:
            AnswerRow(
                address + kRowBytes <= CSimSamFlash::kProgramSize,
                [&] { WriteBytes(frame, 3, kRowBytes, address); }, context, out);
            break;
        case kWriteEeprom:
            AnswerRow(
                address + kRowBytes <= CSimSamFlash::kEepromSize,
                [&] { WriteBytes(frame, 3, kRowBytes, CSimSamFlash::kEepromBase + address); },
                context, out);
            break;
        case kWriteFuses:
            AnswerRow(
                true,
                [&] { WriteBytes(frame, 1, CSimSamFlash::kFuseBytes, CSimSamFlash::kFuseBase); },
                context, out);
            break;
        case kVersionInfo:
            ++context.counters.versionRequests;
            if (context.faults.AnswersVersionInfo())
                out.reply = VersionInformation();
            break;
        default:
            CSimBootloader::HandleFrame(frame, context, out);
            break;
    }
}

}  // namespace tamrix
