// The demo's product over an in-memory link, where there are no pseudo-terminals (Windows): every
// channel the download opens hands its bytes straight to the product, at the channel's rate, and
// takes the product's answers from it. The one-wire echo is read away as the serial port reads it.
// Bytes take no wire time here.

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "cli/DemoProduct.h"
#include "sim/SimProduct.h"

namespace tamrix::cli {

namespace {

int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The product and the line to it, shared by every channel of the download (one at a time).
struct MemoryLine {
    std::mutex mutex;
    CSimProduct product;
    explicit MemoryLine(const SimOptions& options) : product(options) {}
};

class CMemoryLinkChannel : public CCommChannel {
  public:
    explicit CMemoryLinkChannel(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}

    int Open(int, int baudRate, int echoMode) override {
        baud_ = baudRate;
        echo_ = echoMode == 1;
        open_ = true;
        return 1;
    }
    void Close() override {
        open_ = false;
        received_.clear();
    }
    void FlushTx() override {}
    bool FlushRx() override {
        Take();
        received_.clear();
        return open_;
    }
    int Write(const uint8_t* buffer, int count) override {
        lastAccepted_ = 0;
        if (!open_ || buffer == nullptr || count <= 0)
            return 0;
        Take();
        std::lock_guard<std::mutex> lock(line_->mutex);
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> answer = line_->product.Receive(buffer[i], baud_, NowUs());
            // One wire: the echo comes first and is read away here, as the serial port does.
            if (echo_ && !answer.empty() && answer.front() == buffer[i])
                answer.erase(answer.begin());
            received_.insert(received_.end(), answer.begin(), answer.end());
        }
        lastAccepted_ = count;
        return count;
    }
    int LastWriteAccepted() const override { return lastAccepted_; }
    int Read(uint8_t* buffer, int count) override {
        if (!open_ || buffer == nullptr)
            return 0;
        Take();
        int copied = 0;
        while (copied < count && !received_.empty()) {
            buffer[copied++] = received_.front();
            received_.pop_front();
        }
        return copied;
    }
    int BytesAvailable() override {
        if (!open_)
            return 0;
        Take();
        return static_cast<int>(received_.size());
    }
    void WaitForInput(int count, int timeoutMs) override {
        const int64_t deadline = NowUs() + int64_t{timeoutMs} * 1000;
        while (NowUs() < deadline && BytesAvailable() < count) {
            int64_t next = deadline;
            {
                std::lock_guard<std::mutex> lock(line_->mutex);
                if (const int64_t due = line_->product.NextDueUs(); open_ && due >= 0)
                    next = std::min(next, due);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::max<int64_t>(std::min<int64_t>(next - NowUs(), deadline - NowUs()), 100)));
        }
    }
    int WireTimeMs(int bytes) const override {
        return baud_ > 0 ? static_cast<int>((int64_t{bytes} * 10 * 1000 + baud_ - 1) / baud_) : 0;
    }

  private:
    // What the product has sent meanwhile (its start signal).
    void Take() {
        if (!open_)
            return;
        std::lock_guard<std::mutex> lock(line_->mutex);
        const std::vector<uint8_t> due = line_->product.Due(NowUs(), baud_);
        received_.insert(received_.end(), due.begin(), due.end());
    }

    std::shared_ptr<MemoryLine> line_;
    std::deque<uint8_t> received_;
    int baud_ = 0;
    bool echo_ = false;
    bool open_ = false;
    int lastAccepted_ = 0;
};

class CMemoryProduct : public CDemoProduct {
  public:
    explicit CMemoryProduct(const SimOptions& options)
        : line_(std::make_shared<MemoryLine>(options)) {}

    bool Start(std::string* error) override { return line_->product.Start(error); }
    std::string Where() const override { return "an in-memory link"; }
    PortName Port() const override { return PortName{0, "(in-memory link)"}; }
    ChannelOpener Opener(const CPortMap&, CReportWindow*) override {
        return [line = line_](int baudRate, Wiring wiring) {
            auto channel = std::make_unique<CMemoryLinkChannel>(line);
            const bool opened = channel->Open(0, baudRate, EchoModeOf(wiring)) == 1;
            return OpenedChannel{std::move(channel), opened};
        };
    }
    void Finish(bool) override {}  // the finish byte has reached the product with the write
    std::map<uint32_t, uint8_t> HexImage() const override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        return line_->product.HexImage();
    }
    bool IsPic() const override { return line_->product.IsPic(); }
    SimVersions Versions() const override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        return line_->product.Versions();
    }

  private:
    std::shared_ptr<MemoryLine> line_;
};

}  // namespace

std::unique_ptr<CDemoProduct> MakeMemoryDemoProduct(const SimOptions& options) {
    return std::make_unique<CMemoryProduct>(options);
}

}  // namespace tamrix::cli
