#include "sim/SimTarget.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "sim/LineSpeed.h"
#include "sim/PicBootloader.h"
#include "sim/SamBootloader.h"
#include "sim/SimProduct.h"
#include "sim/SimVerify.h"

namespace tamrix {

namespace {

// While the host does not read and the terminal is full, look again this often in case the
// terminal does not report room to write.
constexpr int64_t kBlockedRetryUs = 10000;
constexpr size_t kChunk = 4096;

int64_t SteadyNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CSimTarget::CSimTarget(SimOptions options) : product_(options), options_(std::move(options)) {
    options_.initialImage.clear();
}

CSimTarget::~CSimTarget() {
    Stop();
}

bool CSimTarget::Start(std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable() || product_.State() != SimState::Stopped)
        return fail("already started");
    std::string why;
    if (!product_.Start(&why))
        return fail(why);
    const auto halt = [this, &fail](const std::string& reason) {
        product_.Halt();
        return fail(reason);
    };
    if (options_.bootBaud <= 0 || SpeedFromBaud(options_.bootBaud) == B0)
        return halt("the bootloader's baud rate is not one a serial port can be set to");
    if (!terminal_.Open(options_.linkPath, &why))
        return halt(why);
    wakeFd_.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wakeFd_.IsOpen()) {
        terminal_.Close();
        return halt(std::string("eventfd: ") + std::strerror(errno));
    }
    // The product's clock starts now: a bootloader started at once sends its first signal now.
    originNs_ = SteadyNs();
    stopping_ = false;
    thread_ = std::thread(&CSimTarget::Run, this);
    return true;
}

void CSimTarget::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    Wake();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    terminal_.Close();
    wakeFd_.Reset();
    product_.Halt();
    ++generation_;
    changed_.notify_all();
}

std::string CSimTarget::DevicePath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return terminal_.SlavePath();
}

std::string CSimTarget::LinkPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return terminal_.LinkPath();
}

SimState CSimTarget::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.State();
}

SimCounters CSimTarget::Counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Counters();
}

SimVersions CSimTarget::Versions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Versions();
}

void CSimTarget::PowerCycle() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (product_.State() == SimState::Stopped || product_.State() == SimState::HungUp)
            return;
        product_.PowerCycle();
        inbound_.clear();
        outbound_.clear();
        inboundLineFreeUs_ = 0;
        lineBusy_ = false;
        outboundLineFreeUs_ = 0;
        outputBlocked_ = false;
        ++generation_;
    }
    changed_.notify_all();
    Wake();
}

void CSimTarget::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        product_.Faults().Set(faults);
    }
    Wake();
}

SimFaults CSimTarget::Faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Faults().Current();
}

uint32_t CSimTarget::ProgramWord(uint32_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Pic() ? product_.Pic()->Flash().Instruction(address) : 0;
}

uint16_t CSimTarget::EepromWord(uint32_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Pic() ? product_.Pic()->Flash().EepromWord(address) : 0;
}

uint16_t CSimTarget::ConfigWord(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Pic() ? product_.Pic()->Flash().ConfigWord(index) : 0;
}

uint8_t CSimTarget::SamByte(uint32_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.Sam() ? product_.Sam()->Flash().Byte(address) : 0;
}

std::map<uint32_t, uint8_t> CSimTarget::HexImage() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return product_.HexImage();
}

std::vector<SimTraceEntry> CSimTarget::Trace() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return trace_;
}

void CSimTarget::ClearTrace() {
    std::lock_guard<std::mutex> lock(mutex_);
    trace_.clear();
}

int CSimTarget::WaitingInTerminal() const {
    if (!terminal_.IsOpen())
        return 0;
    // What the host writes reaches the master's queue a moment later, by a kernel worker:
    // FIONREAD alone can say 0 for a byte the host has already written (most of the time right
    // after the write, measured here). A poll hands such bytes over first, so a host that ends
    // right after its last byte does not find the product idle with that byte still on its way.
    pollfd ready{terminal_.Master(), POLLIN, 0};
    ::poll(&ready, 1, 0);
    int waiting = 0;
    if (::ioctl(terminal_.Master(), FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

bool CSimTarget::IsIdle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !lineBusy_ && inbound_.empty() && outbound_.empty() && WaitingInTerminal() == 0;
}

bool CSimTarget::WaitUntilIdle(int timeoutMs) const {
    return WaitFor([this] { return IsIdle(); }, timeoutMs);
}

bool CSimTarget::WaitFor(const std::function<bool()>& condition, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const uint64_t seen = generation_;
        lock.unlock();
        if (condition())
            return true;
        lock.lock();
        // A step that happened while the condition was evaluated has moved the generation on.
        if (!changed_.wait_until(lock, deadline, [&] { return generation_ != seen; })) {
            lock.unlock();
            return condition();
        }
    }
}

// The loop ------------------------------------------------------------------------------------

int64_t CSimTarget::NowUs() const {
    return (SteadyNs() - originNs_) / 1000;
}

void CSimTarget::Wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!wakeFd_.IsOpen())
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_.Get(), &one, sizeof one);
}

void CSimTarget::Run() {
    // Wake up when a byte is due, not tens of microseconds later: the pacing is measured.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<SimTraceEntry> deliver;
    for (;;) {
        int64_t wakeAtUs = -1;
        bool wantRead = true;
        bool wantWrite = false;
        bool ended = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return;
            const int64_t now = NowUs();
            ReadFromHost(now);
            Advance(now);
            if (hangUpPending_) {
                // Gone from the port: the host's descriptor sees a hang-up.
                terminal_.HangUp();
                inbound_.clear();
                lineBusy_ = false;
                outbound_.clear();
                product_.HangUp();
                ended = true;
            } else {
                wakeAtUs = NextWakeUs(now);
                // While bytes wait in the terminal for their wire time, it stays readable: the
                // loop sleeps until they are due instead.
                wantRead = !lineBusy_;
                wantWrite = outputBlocked_;
            }
            deliver.swap(traceToDeliver_);
            ++generation_;
        }
        changed_.notify_all();
        if (options_.onTrace) {
            for (const SimTraceEntry& entry : deliver)
                options_.onTrace(entry);
        }
        deliver.clear();
        if (ended)
            return;
        WaitForEvents(wakeAtUs, wantRead, wantWrite);
    }
}

void CSimTarget::WaitForEvents(int64_t wakeAtUs, bool wantRead, bool wantWrite) {
    pollfd fds[2] = {};
    fds[0].fd = terminal_.Master();  // only this thread closes it, and only after this wait
    fds[0].events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
    fds[1].fd = wakeFd_.Get();
    fds[1].events = POLLIN;
    timespec timeout{};
    timespec* limit = nullptr;
    if (wakeAtUs >= 0) {
        const int64_t delta = std::max<int64_t>(0, wakeAtUs - NowUs());
        timeout.tv_sec = static_cast<time_t>(delta / 1000000);
        timeout.tv_nsec = static_cast<long>((delta % 1000000) * 1000);
        limit = &timeout;
    }
    if (ppoll(fds, 2, limit, nullptr) > 0 && (fds[1].revents & POLLIN)) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(fds[1].fd, &count, sizeof count);
    }
}

void CSimTarget::ReadFromHost(int64_t now) {
    if (options_.pace) {
        TakeFromLine(now);
        return;
    }
    uint8_t buffer[kChunk];
    for (;;) {
        const ssize_t got = ::read(terminal_.Master(), buffer, sizeof buffer);
        if (got <= 0)
            return;  // EAGAIN: nothing more for now
        // The speed the host sends at, read as the bytes come: the host may change it between
        // writes (wake-up at 19200 and 9600, then its chosen rate).
        const int baud = ReadLineSpeeds(terminal_.Slave()).transmit;
        for (ssize_t i = 0; i < got; ++i)
            inbound_.push_back({now, buffer[i], baud});
    }
}

// Paced: a byte is taken out of the terminal only once its wire time is over, so bytes the host
// wrote stay "on the line" as long as a real line needs to carry them, and a host that does not
// wait for that sees them still in flight. The line carries the waiting bytes back to back; a
// byte that finds it idle starts its wire time when it is noticed.
void CSimTarget::TakeFromLine(int64_t now) {
    uint8_t buffer[kChunk];
    for (;;) {
        if (!lineBusy_) {
            const int waiting = WaitingInTerminal();
            if (waiting <= 0)
                return;
            // The speed the host sends at, read as the bytes come: the host may change it
            // between writes (wake-up at 19200 and 9600, then its chosen rate).
            const int baud = ReadLineSpeeds(terminal_.Slave()).transmit;
            lineBaud_ = baud > 0 ? baud : options_.bootBaud;
            lineByteUs_ = ByteTimeUs(lineBaud_);
            nextByteDueUs_ = std::max(now, inboundLineFreeUs_) + lineByteUs_;
            backlogEndUs_ = nextByteDueUs_ + (waiting - 1) * lineByteUs_;
            lineBusy_ = true;
        }
        if (nextByteDueUs_ > now)
            return;
        const int64_t due =
            std::min<int64_t>(1 + (now - nextByteDueUs_) / lineByteUs_, sizeof buffer);
        const ssize_t got = ::read(terminal_.Master(), buffer, static_cast<size_t>(due));
        lineBusy_ = false;
        if (got <= 0)
            return;  // gone meanwhile (the host flushed its output)
        for (ssize_t i = 0; i < got; ++i)
            inbound_.push_back({nextByteDueUs_ + i * lineByteUs_, buffer[i], lineBaud_});
        inboundLineFreeUs_ = nextByteDueUs_ + (got - 1) * lineByteUs_;
        if (got < due)
            continue;  // the line ran dry before now; a later byte starts afresh
        // Bytes waiting right behind follow back to back.
        const int waiting = WaitingInTerminal();
        if (waiting <= 0)
            return;
        nextByteDueUs_ = inboundLineFreeUs_ + lineByteUs_;
        backlogEndUs_ = nextByteDueUs_ + (waiting - 1) * lineByteUs_;
        lineBusy_ = true;
    }
}

void CSimTarget::Advance(int64_t now) {
    while (!inbound_.empty() && inbound_.front().atUs <= now && !hangUpPending_) {
        const InboundByte in = inbound_.front();
        inbound_.pop_front();
        Process(in);
    }
    if (hangUpPending_)
        return;
    SendStartSignal(now);
    WriteDue(now);
}

void CSimTarget::Process(const InboundByte& in) {
    const SimTaken taken = product_.Take(in.byte, in.baud, in.atUs);
    if (taken.echo)
        WriteEcho(in);
    AddTrace(in.atUs, taken.noise ? SimTraceDirection::Noise : SimTraceDirection::HostToTarget,
             in.byte);
    const SimActions& out = taken.actions;
    if (out.hangUp) {
        hangUpPending_ = true;
        return;
    }
    if (!out.reply.empty() && !product_.Faults().Silent())
        Queue(out.reply, in.atUs + 1000LL * out.replyDelayMs);
}

void CSimTarget::SendStartSignal(int64_t now) {
    // Nothing piles up while the host is not listening: a signal goes out only on an idle line.
    const int64_t dueUs =
        product_.TakeStartSignal(now, !product_.Faults().Silent() && outbound_.empty());
    if (dueUs >= 0)
        Queue({kSimStartSignal}, dueUs);
}

void CSimTarget::Queue(const std::vector<uint8_t>& bytes, int64_t readyUs) {
    for (uint8_t byte : bytes) {
        int64_t at = readyUs;
        if (options_.pace) {
            at = std::max(readyUs, outboundLineFreeUs_) + ByteTimeUs(options_.bootBaud);
            outboundLineFreeUs_ = at;
        }
        outbound_.push_back({at, byte});
    }
}

void CSimTarget::WriteDue(int64_t now) {
    if (outbound_.empty() || outbound_.front().atUs > now)
        return;
    const int hostBaud = ReadLineSpeeds(terminal_.Slave()).receive;
    uint8_t buffer[kChunk];
    size_t count = 0;
    for (const OutboundByte& out : outbound_) {
        if (out.atUs > now || count == kChunk)
            break;
        buffer[count++] = product_.AsHostHearsIt(out.byte, hostBaud);
    }
    const ssize_t written = ::write(terminal_.Master(), buffer, count);
    if (written < 0) {
        outputBlocked_ = (errno == EAGAIN || errno == EWOULDBLOCK);
        return;
    }
    for (ssize_t i = 0; i < written; ++i) {
        AddTrace(now, SimTraceDirection::TargetToHost, buffer[i]);
        outbound_.pop_front();
    }
    outputBlocked_ = static_cast<size_t>(written) < count;
}

void CSimTarget::WriteEcho(const InboundByte& in) {
    // A host that does not read its echo loses it once the terminal is full; nothing waits.
    if (::write(terminal_.Master(), &in.byte, 1) == 1) {
        AddTrace(in.atUs, SimTraceDirection::Echo, in.byte);
    }
}

int64_t CSimTarget::NextWakeUs(int64_t now) const {
    int64_t next = INT64_MAX;
    if (!inbound_.empty())
        next = inbound_.front().atUs;
    if (lineBusy_) {
        int64_t due = nextByteDueUs_;
        // Without echo nobody can tell when a byte inside a frame was taken: sleep until the
        // frame can be complete (or the bytes known to wait run out), and answer the moment it
        // is.
        if (options_.wiring == SimWiring::TwoWire && product_.State() == SimState::Bootloader) {
            const int64_t wanted = static_cast<int64_t>(product_.BytesWanted());
            due = std::min(backlogEndUs_,
                           nextByteDueUs_ + (std::max<int64_t>(wanted, 1) - 1) * lineByteUs_);
        }
        next = std::min(next, due);
    }
    if (const int64_t signal = product_.NextDueUs(); signal >= 0)
        next = std::min(next, signal);
    if (!outbound_.empty()) {
        next = std::min(next, outputBlocked_ ? now + kBlockedRetryUs : outbound_.front().atUs);
    }
    return next == INT64_MAX ? -1 : next;
}

void CSimTarget::AddTrace(int64_t atUs, SimTraceDirection direction, uint8_t byte) {
    const SimTraceEntry entry{atUs, direction, byte};
    if (options_.keepTrace)
        trace_.push_back(entry);
    if (options_.onTrace)
        traceToDeliver_.push_back(entry);
}

SimVerifyResult VerifySimFlash(const CSimTarget& target,
                               const std::map<uint32_t, uint8_t>& fileImage,
                               const std::map<uint32_t, uint8_t>& before) {
    return VerifyFlashImage(target.IsPic(), target.HexImage(), fileImage, before);
}

}  // namespace tamrix
