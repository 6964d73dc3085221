// The worker thread of a download and the window it reports to: a window that goes away while the
// download runs must neither wait for it nor leave it a dangling window.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "download/DownloadStart.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "platform/Clock.h"
#include "tests/download/TempDir.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/RecordingWindow.h"

namespace tamrix {
namespace {

using test::FakeChannel;
using test::RecordingWindow;

// The first opening of the port waits until released, as a port stuck in its driver would: the
// download is then surely running.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
};

TEST(DownloadWorkerTest, AWorkerLeftBehindGoesOnWithTheWindowItReportsTo) {
    test::TempDir folder;
    const std::string text = FormatIntelHex({{0x1800, 0x39}, {0x1801, 0x30}});
    std::string error;
    const std::string file = folder.Path("update.bin");
    ASSERT_TRUE(
        WriteFirmwareFile(file, std::vector<uint8_t>(text.begin(), text.end()), kConversionSeed,
                          error));

    auto gate = std::make_shared<Gate>();
    auto clock = std::make_shared<CVirtualClock>();
    DownloadSettings settings;
    settings.clock = clock.get();
    settings.openChannel = [gate, clock](int, Wiring) {
        std::unique_lock<std::mutex> lock(gate->mutex);
        gate->entered = true;
        gate->changed.notify_all();
        gate->changed.wait(lock, [&] { return gate->open; });
        // The download's own opening fails: the process ends at once.
        return OpenedChannel{std::make_unique<FakeChannel>(*clock), false};
    };
    auto params = std::make_unique<DownloadParams>();
    params->port = PortName::Com(7);
    params->filePath = file;
    auto window = std::make_shared<RecordingWindow>();
    const std::weak_ptr<RecordingWindow> watch = window;

    std::atomic<bool> releasedTooEarly{false};
    {
        CDownloadWorker worker;
        ASSERT_TRUE(worker.Start(std::move(params), settings, window));
        {
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->changed.wait(lock, [&] { return gate->entered; });
        }
        EXPECT_TRUE(worker.IsRunning());
        window.reset();  // the window goes away...
        EXPECT_FALSE(watch.expired()) << "...but the worker keeps what it reports into";
        // ...and so does its worker object, without waiting for the download.
    }
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        releasedTooEarly = gate->open;
        gate->open = true;
        gate->changed.notify_all();
    }
    EXPECT_FALSE(releasedTooEarly);

    // The download finishes its step on its own and then lets the window go.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!watch.expired() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(watch.expired());
}

TEST(DownloadWorkerTest, TheOutcomeIsCollectedWhenTheWorkerEnds) {
    auto clock = std::make_shared<CVirtualClock>();
    DownloadSettings settings;
    settings.clock = clock.get();
    int openings = 0;
    settings.openChannel = [&openings, clock](int, Wiring) {
        ++openings;
        return OpenedChannel{std::make_unique<FakeChannel>(*clock), false};
    };
    auto params = std::make_unique<DownloadParams>();
    params->filePath = "/nonexistent/tamrix/update.bin";
    auto window = std::make_shared<RecordingWindow>();
    CDownloadWorker worker;
    ASSERT_TRUE(worker.Start(std::move(params), settings, window));
    EXPECT_EQ(worker.Wait(), DownloadOutcome::FileLoadFailed);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(openings, 0);
    EXPECT_TRUE(window->HasStatus("[Message] : File Loading Fail. Download Process Stop! \r\n"));
}

}  // namespace
}  // namespace tamrix
