// A window that closes while a download goes on: the relay between them.

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ReportRelay.h"

namespace tamrix {
namespace {

// A window that records what reaches it and answers Yes; optionally it holds a message box open
// until released, as a user who has not answered yet.
class HeldWindow : public CReportWindow {
  public:
    std::vector<std::string> seen;
    bool holdBoxes = false;

    void SendProgress(int value, const std::string& prefix) override {
        seen.push_back(prefix + std::to_string(value));
    }
    void AddStatusLine(const std::string& text) override { seen.push_back("status " + text); }
    void WriteProcessLog(const std::string& text) override { seen.push_back("log " + text); }
    MessageAnswer ShowMessageBox(const std::string& text, const std::string&, MessageIcon,
                                 MessageButtons) override {
        std::unique_lock<std::mutex> lock(mutex_);
        seen.push_back("box " + text);
        inBox_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !holdBoxes; });
        return MessageAnswer::Yes;
    }
    void WaitUntilInBox() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return inBox_; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        holdBoxes = false;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool inBox_ = false;
};

TEST(ReportRelayTest, AfterDetachReportsAreDroppedAndQuestionsAnsweredNo) {
    auto window = std::make_shared<HeldWindow>();
    CReportRelay relay(window);
    relay.AddStatusLine("one");
    relay.SendStatusLine("two");
    relay.WriteProcessLog("three");
    relay.SendProgress(5, "p");
    EXPECT_EQ(relay.ShowMessageBox("q", "c", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::Yes);
    EXPECT_EQ(window->seen, (std::vector<std::string>{"status one", "status two", "log three",
                                                      "p5", "box q"}));

    relay.Detach();
    EXPECT_TRUE(relay.IsDetached());
    relay.AddStatusLine("late");
    relay.WriteProcessLog("late");
    relay.SendProgress(6, "p");
    EXPECT_EQ(relay.ShowMessageBox("q", "c", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No);
    EXPECT_EQ(relay.ShowMessageBox("i", "c", MessageIcon::Error, MessageButtons::Ok),
              MessageAnswer::Ok);
    EXPECT_EQ(window->seen.size(), 5u) << "nothing reached the window after it detached";
}

// The window detaches (and lets go of its own reference) while the worker waits in one of its
// message boxes: the call completes against a window that is still alive.
TEST(ReportRelayTest, ACallInFlightKeepsTheWindowAlive) {
    auto window = std::make_shared<HeldWindow>();
    window->holdBoxes = true;
    const std::weak_ptr<HeldWindow> watch = window;
    auto relay = std::make_shared<CReportRelay>(window);

    MessageAnswer answer = MessageAnswer::Ok;
    std::thread worker([relay, &answer] {
        answer = relay->ShowMessageBox("older file?", "Product Code", MessageIcon::Question,
                                       MessageButtons::YesNo);
    });
    window->WaitUntilInBox();
    HeldWindow* raw = window.get();
    relay->Detach();
    window.reset();
    EXPECT_FALSE(watch.expired()) << "the call in flight holds it";
    raw->Release();
    worker.join();
    EXPECT_EQ(answer, MessageAnswer::Yes);
    EXPECT_TRUE(watch.expired()) << "and lets it go when it returns";
}

}  // namespace
}  // namespace tamrix
