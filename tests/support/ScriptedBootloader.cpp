#include "tests/support/ScriptedBootloader.h"

#include <algorithm>
#include <cstdio>

namespace tamrix::test {

namespace {

constexpr uint8_t kWakeUp[] = {0x0C, 0x38, 0x46, 0x30, 0x30, 0x30, 0x30, 0x44, 0x45, 0x0D};
constexpr int kApplicationRates[] = {19200, 9600};
constexpr uint8_t kStart = 0x0A;
constexpr uint8_t kAck = 0x01;
constexpr uint8_t kNack = 0x00;
constexpr int kStartSignalPeriodMs = 100;
constexpr int kGarbledSignals = 120;  // longer than any handshake waits

std::string Named(const char* format, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

ScriptedBootloader::ScriptedBootloader(CVirtualClock& clock, BootloaderKind kind, uint16_t deviceId,
                                       uint8_t pi)
    : clock_(clock), kind_(kind), deviceId_(deviceId), pi_(pi) {}

std::function<OpenedChannel(int, Wiring)> ScriptedBootloader::Opener() {
    return [this](int baudRate, Wiring wiring) {
        const int echoMode = EchoModeOf(wiring);
        const size_t index = openings.size();
        Opening opening;
        opening.baudRate = baudRate;
        opening.echoMode = echoMode;
        opening.atMs = clock_.NowMs();
        openings.push_back(opening);

        auto channel = std::make_unique<FakeChannel>(clock_);
        channel->baudRate = baudRate;
        channel->echoes = echoMode == 1;
        channel->onWrite = [this, index](FakeChannel& ch, const std::vector<uint8_t>& bytes) {
            OnWrite(ch, index, bytes);
        };

        if (state_ == State::WaitingForAnswer && !silent) {
            if (baudRate == bootBaud) {
                channel->Deliver({kStart}, startSignalDelayMs);
            } else {
                // Heard at the wrong rate the start signal is no 0x0A, and as it is never
                // answered the bootloader keeps sending it.
                const uint8_t garbled = baudRate > bootBaud ? 0x00 : 0xFF;
                for (int k = 0; k < kGarbledSignals; ++k)
                    channel->Deliver({garbled}, startSignalDelayMs + k * kStartSignalPeriodMs);
            }
        }
        return OpenedChannel{std::move(channel), true};
    };
}

int ScriptedBootloader::Count(const std::string& command) const {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

void ScriptedBootloader::OnWrite(FakeChannel& channel, size_t opening,
                                 const std::vector<uint8_t>& bytes) {
    Opening& from = openings[opening];
    from.written.insert(from.written.end(), bytes.begin(), bytes.end());

    if (state_ == State::Application) {
        const bool listening = std::find(std::begin(kApplicationRates), std::end(kApplicationRates),
                                         from.baudRate) != std::end(kApplicationRates);
        if (!listening) {
            heard_.clear();
            noiseBytes += static_cast<int>(bytes.size());
            return;
        }
        heard_.insert(heard_.end(), bytes.begin(), bytes.end());
        const size_t size = sizeof kWakeUp;
        if (heard_.size() >= size && std::equal(heard_.end() - size, heard_.end(), kWakeUp)) {
            heard_.clear();
            pending_.clear();
            ++wakeUps;
            state_ = State::WaitingForAnswer;
        }
        return;
    }

    if (from.baudRate != bootBaud) {
        noiseBytes += static_cast<int>(bytes.size());
        return;
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    TakeCommands(channel);
}

void ScriptedBootloader::TakeCommands(FakeChannel& channel) {
    while (!pending_.empty() && state_ != State::Application) {
        const uint8_t first = pending_.front();
        if (state_ == State::WaitingForAnswer) {
            if (first == kStart) {
                commands.push_back("start");
                state_ = State::Bootloader;
            } else {
                commands.push_back(Named("?%02x", first));
            }
            pending_.erase(pending_.begin());
            continue;
        }
        const size_t length = FrameLength(first);
        if (length == 0) {
            commands.push_back(Named("?%02x", first));
            pending_.erase(pending_.begin());
            continue;
        }
        if (pending_.size() < length)
            return;  // the rest of the frame is still to come
        const std::vector<uint8_t> frame(pending_.begin(), pending_.begin() + length);
        pending_.erase(pending_.begin(), pending_.begin() + length);
        Answer(channel, frame);
    }
}

size_t ScriptedBootloader::FrameLength(uint8_t command) const {
    switch (command) {
        case 0x09:
        case 0x08:
            return 1;
        default:
            break;
    }
    if (kind_ == BootloaderKind::Pic) {
        switch (command) {
            case 0x10:
            case 0x11:
                return 1;
            case 0x02:
                return 4;
            case 0x03:
                return 4 + 3 * static_cast<size_t>(picRowInstructions);
            case 0x05:
                return 4 + 32;
            default:
                return 0;
        }
    }
    if (kind_ == BootloaderKind::Sam) {
        switch (command) {
            case 0x10:
                return 1;
            case 0x03:
            case 0x05:
                return 3 + 128;
            case 0x07:
                return 1 + 4;
            default:
                return 0;
        }
    }
    return 0;
}

void ScriptedBootloader::Answer(FakeChannel& channel, const std::vector<uint8_t>& frame) {
    const uint8_t command = frame[0];
    switch (command) {
        case 0x09: {
            commands.push_back("identify");
            // The low nibble of byte 5 is the silicon revision; only the high nibble is the PI.
            channel.Deliver(
                {static_cast<uint8_t>(deviceId_ & 0xFF), static_cast<uint8_t>(deviceId_ >> 8), 0x00,
                 0x00, 0x00, static_cast<uint8_t>((pi_ << 4) | 0x02), 0x00, 0x00},
                replyDelayMs);
            return;
        }
        case 0x08:
            commands.push_back("finish");
            state_ = State::Application;
            pending_.clear();
            return;
        case 0x10:
            commands.push_back("version");
            if (!versionReply.empty())
                channel.Deliver(versionReply, replyDelayMs);
            return;
        case 0x11:
            commands.push_back("addresses");
            if (!addressReply.empty())
                channel.Deliver(addressReply, replyDelayMs);
            return;
        default:
            break;
    }

    if (kind_ == BootloaderKind::Pic && command == 0x02) {
        const uint32_t address = frame[1] | (frame[2] << 8) | (frame[3] << 16);
        commands.push_back(Named("read %06x", address));
        if (!answerFlashReads)
            return;
        std::vector<uint8_t> reply;
        if (flashReads++ == strayBeforeRead)
            reply.push_back(0x55);
        for (int i = 0; i < picRowInstructions; ++i) {
            const auto found = instructions.find(address + 2u * static_cast<uint32_t>(i));
            const uint32_t value = found != instructions.end() ? found->second : 0xFFFFFF;
            reply.push_back(static_cast<uint8_t>(value >> 16));
            reply.push_back(static_cast<uint8_t>(value >> 8));
            reply.push_back(static_cast<uint8_t>(value));
        }
        channel.Deliver(reply, replyDelayMs);
        return;
    }

    // A row frame.
    const RowFate fate = rowFate ? rowFate(rowFramesTaken) : RowFate();
    ++rowFramesTaken;
    const int answerDelayMs = fate.delayMs >= 0 ? fate.delayMs : replyDelayMs;
    if (fate.refuse) {
        commands.push_back("refused");
        channel.Deliver({kNack}, answerDelayMs);
        return;
    }
    RowFrame row;
    row.command = command;
    size_t header = 1;
    if (command != 0x07) {
        header = kind_ == BootloaderKind::Pic ? 4 : 3;
        for (size_t k = 1; k < header; ++k)
            row.address |= static_cast<uint32_t>(frame[k]) << (8 * (k - 1));
    }
    row.data.assign(frame.begin() + static_cast<std::ptrdiff_t>(header), frame.end());
    const char* format = kind_ == BootloaderKind::Pic ? "%06x" : "%04x";
    if (command == 0x03) {
        commands.push_back("program " + Named(format, row.address));
        // The row reaches the flash, where a read finds it (L, M, U an instruction).
        for (size_t i = 0; kind_ == BootloaderKind::Pic && i + 2 < row.data.size(); i += 3) {
            instructions[row.address + static_cast<uint32_t>(2 * (i / 3))] =
                row.data[i] | (row.data[i + 1] << 8) | (uint32_t{row.data[i + 2]} << 16);
        }
    } else if (command == 0x05)
        commands.push_back("eeprom " + Named(format, row.address));
    else
        commands.push_back("fuses");
    rows.push_back(std::move(row));
    if (!fate.silent)
        channel.Deliver({kAck}, answerDelayMs);
}

std::vector<uint8_t> ScriptedBootloader::PicVersionReply(uint16_t productCode, uint16_t appVersion,
                                                         uint8_t appUpper, uint16_t bootVersion) {
    return {static_cast<uint8_t>(productCode & 0xFF),
            static_cast<uint8_t>(productCode >> 8),
            0x00,
            0x00,
            static_cast<uint8_t>(appVersion & 0xFF),
            static_cast<uint8_t>(appVersion >> 8),
            appUpper,
            0x00,
            static_cast<uint8_t>(bootVersion & 0xFF),
            static_cast<uint8_t>(bootVersion >> 8),
            0x00,
            0x00};
}

std::vector<uint8_t> ScriptedBootloader::SamVersionReply(uint16_t productCode, uint16_t appVersion,
                                                         uint16_t bootVersion) {
    return {static_cast<uint8_t>(productCode >> 8),
            static_cast<uint8_t>(productCode & 0xFF),
            0x00,
            0x00,
            static_cast<uint8_t>(appVersion >> 8),
            static_cast<uint8_t>(appVersion & 0xFF),
            0x00,
            0x00,
            static_cast<uint8_t>(bootVersion >> 8),
            static_cast<uint8_t>(bootVersion & 0xFF),
            0x00,
            0x00};
}

std::vector<uint8_t> ScriptedBootloader::AddressReply(uint32_t productCode, uint32_t version,
                                                      uint32_t third) {
    std::vector<uint8_t> reply;
    for (uint32_t value : {productCode, version, third}) {
        for (int k = 0; k < 4; ++k)
            reply.push_back(static_cast<uint8_t>(value >> (8 * k)));
    }
    return reply;
}

}  // namespace tamrix::test
