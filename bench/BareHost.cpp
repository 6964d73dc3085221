#include "bench/BareHost.h"

#include <chrono>

#include "comm/SerialPort.h"

namespace tamrix::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kStartSignal = 0x0A;
constexpr uint8_t kWriteProgramRow = 0x03;
constexpr uint8_t kFinish = 0x08;
constexpr uint8_t kAck = 0x01;
constexpr int kSamRowBytes = 128;
constexpr int kStartSignalWaitMs = 2000;
constexpr int kAckWaitMs = 500;
constexpr uint8_t kFiller = 0x5A;

bool WriteAll(CSerialPort& port, const std::vector<uint8_t>& bytes) {
    const int count = static_cast<int>(bytes.size());
    return port.Write(bytes.data(), count) == count;
}

// The next byte within `timeoutMs`; -1 when none came.
int ReadByte(CSerialPort& port, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        uint8_t byte = 0;
        if (port.Read(&byte, 1) == 1)
            return byte;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return -1;
        port.WaitForInput(1, static_cast<int>(left.count()) + 1);
    }
}

}  // namespace

std::vector<BareFrame> SamRowFrames(int rows) {
    std::vector<BareFrame> frames;
    for (int n = 0; n < rows; ++n) {
        const int base = n * kSamRowBytes;
        frames.push_back({{kWriteProgramRow, static_cast<uint8_t>(base & 0xFF),
                           static_cast<uint8_t>((base >> 8) & 0xFF)},
                          std::vector<uint8_t>(kSamRowBytes, kFiller)});
    }
    return frames;
}

std::vector<BareFrame> PicRowFrames(int rows, int instructions) {
    std::vector<BareFrame> frames;
    for (int n = 0; n < rows; ++n) {
        const int base = n * instructions * 2;
        std::vector<uint8_t> frame{kWriteProgramRow, static_cast<uint8_t>(base & 0xFF),
                                   static_cast<uint8_t>((base >> 8) & 0xFF),
                                   static_cast<uint8_t>((base >> 16) & 0xFF)};
        frame.resize(frame.size() + 3 * static_cast<size_t>(instructions), kFiller);
        frames.push_back({frame});
    }
    return frames;
}

bool RunBareRows(const std::string& device, int baud, const std::vector<BareFrame>& frames,
                 double& rowsMs, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    // Two wires: nothing echoed.
    CSerialPort port;
    if (port.OpenDevice(device, baud, 0) != 1)
        return fail("cannot open " + device);
    const auto startWait = Clock::now() + std::chrono::milliseconds(kStartSignalWaitMs);
    int byte = -1;
    while (byte != kStartSignal && Clock::now() < startWait)
        byte = ReadByte(port, kStartSignalWaitMs);
    if (byte != kStartSignal || !WriteAll(port, {kStartSignal}))
        return fail("no start signal from the bootloader");

    const auto start = Clock::now();
    for (size_t row = 0; row < frames.size(); ++row) {
        for (const std::vector<uint8_t>& piece : frames[row]) {
            if (!WriteAll(port, piece))
                return fail("write failed");
        }
        if (ReadByte(port, kAckWaitMs) != kAck)
            return fail("row " + std::to_string(row) + " not acknowledged");
    }
    if (!WriteAll(port, {kFinish}))
        return fail("write failed");
    rowsMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return true;
}

}  // namespace tamrix::bench
