#include "download/DownloadStart.h"

#include <system_error>

#include "comm/OpenFailure.h"
#include "comm/PortMap.h"
#include "common/Format.h"
#include "common/ReportWindow.h"

namespace tamrix {

StartCheck CheckDownloadStart(const DownloadParams& params, const ChannelOpener& openChannel) {
    CReportWindow* window = params.window;
    if (params.filePath.empty()) {
        if (window != nullptr) {
            window->ShowMessageBox("Error opening HEX file for input!", kApplicationCaption,
                                   MessageIcon::Warning, MessageButtons::Ok);
        }
        return StartCheck::EmptyPath;
    }
    if (window != nullptr)
        window->WriteProcessLog("Firmware Download Process Start!!  \r\n");
    if (!TrialOpenPort(openChannel, params.baudRate, params.wiring, window)) {
        return StartCheck::PortOpenFailed;
    }
    return StartCheck::Ok;
}

PortTrial TrialOpenPort(const ChannelOpener& openChannel, int baudRate, Wiring wiring,
                        CReportWindow* window) {
    PortTrial trial;
    {
        OpenedChannel opening = openChannel(baudRate, wiring);
        if (opening.channel && opening.opened)
            opening.channel->Close();
        else if (opening.channel)
            trial.failure = opening.channel->LastOpenFailure();
        trial.opened = opening.opened;
    }
    if (!trial.opened)
        ReportPortOpenFail(window, trial.failure);
    return trial;
}

void ReportPortOpenFail(CReportWindow* window, const OpenFailure& failure) {
    if (window == nullptr)
        return;
    window->WriteProcessLog("Port Open Fail  \r\n");
    window->ShowMessageBox("Port Open Fail", "Channel", MessageIcon::Error, MessageButtons::Ok);
    // "Port Open Fail" alone leaves the user guessing which device it was and why.
    if (const std::string advice = OpenFailureAdvice(failure); !advice.empty())
        window->AddStatusLine(advice);
}

void LogDownloadInfo(const DownloadParams& params, const CPortMap& portMap) {
    if (params.window == nullptr)
        return;
    // The log names the port the same way whichever form was used.
    const int portNumber = params.port.path.empty() ? params.port.number
                                                    : portMap.NumberForDevice(params.port.path);
    params.window->WriteProcessLog(
        Format("Download Info. Port : %d, BaudRate : %d, SignalType : %d  \r\n", portNumber,
               params.baudRate, InterfaceTypeOf(params.wiring)));
    // The name as the file system has it, but never a control character in the log's line.
    params.window->WriteProcessLog(
        Format("Download File : %s   \r\n", EscapeControls(params.filePath).c_str()));
}

CDownloadWorker::~CDownloadWorker() {
    if (!thread_.joinable())
        return;
    // A download that still runs goes on by itself (it owns what it uses); one that has ended is
    // collected.
    if (IsRunning())
        thread_.detach();
    else
        thread_.join();
}

bool CDownloadWorker::Start(std::unique_ptr<DownloadParams> params, DownloadSettings settings,
                            std::shared_ptr<CReportWindow> window, std::function<void()> onEnd) {
    if (thread_.joinable() || !params)
        return false;
    params->window = window.get();
    auto state = std::make_shared<State>();
    settings.stopRequest = state->stop;
    try {
        thread_ = std::thread([state, window = std::move(window), p = std::move(params),
                               s = std::move(settings), onEnd = std::move(onEnd)]() mutable {
            DownloadOutcome result = DownloadOutcome::NoTarget;
            DownloadRecord record;
            DownloadThreadProc(std::move(p), s, &result, &record);
            state->outcome = result;
            state->record = std::move(record);
            state->running = false;
            if (onEnd)
                onEnd();
        });
    } catch (const std::system_error&) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

void CDownloadWorker::RequestStop() {
    if (state_ != nullptr)
        state_->stop->store(true);
}

DownloadOutcome CDownloadWorker::Wait() {
    if (thread_.joinable())
        thread_.join();
    return state_ != nullptr ? state_->outcome : DownloadOutcome::NoTarget;
}

DownloadRecord CDownloadWorker::Record() const {
    // Written by the thread before `running` turned false, which the caller has seen.
    return state_ != nullptr && !IsRunning() ? state_->record : DownloadRecord();
}

}  // namespace tamrix
