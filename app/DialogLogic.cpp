#include "app/DialogLogic.h"

#include <algorithm>

#include "app/Profile.h"
#include "app/WindowHandOver.h"
#include "comm/PortMap.h"
#include "common/Format.h"
#include "common/LinkChoices.h"
#include "common/ReportRelay.h"
#include "download/LinkSummary.h"
#include "platform/UserFolders.h"

namespace tamrix {

namespace {

std::string ChooseLogPath(const std::string& given) {
    return given.empty() ? CProcessLog::ChoosePath(CProcessLog::ProgramFolder()) : given;
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

CDialogLogic::CDialogLogic(CDialogView& view, DialogLogicServices services)
    : view_(view), services_(std::move(services)), log_(ChooseLogPath(services_.logPath)) {}

CDialogLogic::~CDialogLogic() {
    // Whatever still runs must not report into a window that is gone.
    LetGoOfDownload();
}

void CDialogLogic::Start() {
    ApplyStoredChoices();
    verify_ = ReadSwitch(*services_.profile, kVerifyEntry);
    runReport_ = ReadSwitch(*services_.profile, kRunReportEntry);
    SayWhereTheLogIs();
}

void CDialogLogic::ApplyStoredChoices() {
    choices_ = ReadDialogChoices(*services_.profile);
    // A port index beyond the list is kept as stored and used by Program; a baud choice beyond
    // the list has no rate at all.
    if (choices_.baudIndex < 0 || choices_.baudIndex >= BaudRateCount()) {
        const int stored = choices_.baudIndex;
        choices_.baudIndex = BaudIndexFromRate(kDefaultBaudRate);
        AddStatusLine(
            Format("[Notice] : The stored baud rate choice %d is not in the list; "
                   "%d is used. \r\n",
                   stored, kDefaultBaudRate));
    }
}

void CDialogLogic::SayWhereTheLogIs() {
    // The log normally lies beside the program; say once where it is when it does not.
    const std::string programFolder = CProcessLog::ProgramFolder();
    if (!services_.logPath.empty() || programFolder.empty() ||
        FolderOfPath(LogPath()) == programFolder) {
        return;
    }
    AddStatusLine(Format(IsSystemProgramFolder(programFolder)
                             ? "[Notice] : The program's folder holds the system's programs; "
                               "the process log is kept in %s \r\n"
                             : "[Notice] : The program's folder cannot be written to; the "
                               "process log is kept in %s \r\n",
                         EscapeControls(LogPath()).c_str()));
}

void CDialogLogic::SetVerify(bool on) {
    verify_ = on;
    WriteSwitch(*services_.profile, kVerifyEntry, on);
}

void CDialogLogic::SetRunReport(bool on) {
    runReport_ = on;
    WriteSwitch(*services_.profile, kRunReportEntry, on);
}

std::string CDialogLogic::RunReportPath() const {
    const std::string folder = FolderOfPath(LogPath());
    return folder.empty() ? std::string(kRunReportName) : folder + "/" + kRunReportName;
}

void CDialogLogic::OnComPortChange(int portIndex) {
    choices_.portIndex = portIndex;
    AddStatusLine(Format("COM Port change: COM%d \r\n", choices_.portIndex + 1));
}

void CDialogLogic::OnBaudRateChange(int baudIndex) {
    choices_.baudIndex = baudIndex;
    AddStatusLine(Format("Baud Rate change: %d \r\n", BaudRateFromIndex(baudIndex)));
}

std::unique_ptr<DownloadParams> CDialogLogic::MakeParams(DownloadSettings& settings,
                                                         CReportWindow* window) const {
    auto params = std::make_unique<DownloadParams>();
    params->port = PortName::Com(choices_.portIndex + 1);
    params->baudRate = BaudRateFromIndex(choices_.baudIndex);
    params->wiring = WiringFromInterfaceType(choices_.interfaceType);
    params->filePath = choices_.filePath;
    params->window = window;
    if (!settings.openChannel) {
        settings.portMap = CPortMap::Load();
        settings.openChannel = SerialPortOpener(params->port, settings.portMap, window);
    }
    return params;
}

void CDialogLogic::OnProgram() {
    // The worker reports through a relay this window can detach, to a hand-over to this thread.
    std::shared_ptr<CWindowHandOver> handOver = view_.MakeHandOver();
    auto relay = std::make_shared<CReportRelay>(handOver);
    DownloadSettings settings = services_.downloadSettings;
    settings.verify = verify_;
    std::unique_ptr<DownloadParams> params = MakeParams(settings, relay.get());
    if (CheckDownloadStart(*params, settings.openChannel) != StartCheck::Ok)
        return;

    std::optional<RunContext> report;
    if (runReport_)
        report = RunContextFor(*params, "tamrix");

    view_.EnableDownloadControls(false);
    LogDownloadInfo(*params, settings.portMap);
    auto worker = std::make_unique<CDownloadWorker>();
    // The timer notices the end within its period; the worker's own notice is at once.
    auto onEnd = [handOver] { handOver->NotifyDownloadEnded(); };
    if (!worker->Start(std::move(params), std::move(settings), relay, onEnd)) {
        view_.EnableDownloadControls(true);
        AddStatusLine(
            "[Error] : The download could not be started: no worker thread could be "
            "created. Nothing was sent to the product. \r\n");
        view_.PushFields();
        return;
    }
    worker_ = std::move(worker);
    handOver_ = std::move(handOver);
    relay_ = std::move(relay);
    pendingReport_ = std::move(report);
    downloadBaudRate_ = BaudRateFromIndex(choices_.baudIndex);
    view_.SetTimerRunning(true);
    WriteDialogChoices(*services_.profile, choices_);
    view_.PushFields();
}

bool CDialogLogic::OnTimer() {
    if (worker_ == nullptr || worker_->IsRunning())
        return false;
    const DownloadOutcome outcome = worker_->Wait();
    SayHowTheLinkWent();
    KeepRunReport(outcome);
    worker_.reset();
    // Nothing may reach this window through them any more (a notice of the end still queued).
    handOver_->Abandon();
    relay_.reset();
    handOver_.reset();
    view_.SetTimerRunning(false);
    view_.EnableDownloadControls(true);
    return true;
}

bool CDialogLogic::OnClose() {
    if (IsDownloading() && view_.IsShown() && !view_.ConfirmCloseDuringDownload())
        return false;
    LetGoOfDownload();
    // The window goes: what the download still has to say goes to the log, when it is collected.
    view_.SetTimerRunning(false);
    return true;
}

void CDialogLogic::LetGoOfDownload() {
    if (handOver_ != nullptr && (worker_ == nullptr || !worker_->IsRunning()))
        handOver_->Abandon();  // the notice of the end may still be on its way
    if (worker_ == nullptr || !worker_->IsRunning())
        return;
    WriteProcessLog(
        "Window closed during the download: the download stops after the row being "
        "written; the product stays in its bootloader until it is powered off and "
        "on. \r\n");
    relay_->Detach();
    handOver_->Abandon();
    worker_->RequestStop();
}

void CDialogLogic::WaitForDownloadEnd() {
    // A download stopped by closing the window still gets its record: it is the one that left a
    // product without complete firmware.
    if (worker_ == nullptr)
        return;
    const DownloadOutcome outcome = worker_->Wait();
    SayHowTheLinkWent();
    KeepRunReport(outcome);
    worker_.reset();
}

void CDialogLogic::SayHowTheLinkWent() {
    // The line tamrix-cli ends a download with, and its hint when the link needed many retries.
    const DownloadRecord& record = worker_->Record();
    SayAfterTheDownload(LinkSummaryLine(record, downloadBaudRate_) + "\r\n");
    if (LinkNeedsAdvice(record.link))
        SayAfterTheDownload(LinkAdvice(record.link, downloadBaudRate_) + "\r\n");
}

void CDialogLogic::SayAfterTheDownload(const std::string& text) {
    // A window already closed has only the log left to say it in.
    if (view_.IsShown())
        AddStatusLine(text);
    else
        WriteProcessLog(text);
}

void CDialogLogic::KeepRunReport(DownloadOutcome outcome) {
    if (!pendingReport_)
        return;
    RunContext context = std::move(*pendingReport_);
    pendingReport_.reset();
    context.outcome = outcome;
    const std::string path = RunReportPath();
    std::string reason;
    if (AppendRunReport(path, RunReportLine(worker_->Record(), context), &reason))
        return;
    // After the download's own lines, so its last word stays where the technician looks.
    SayAfterTheDownload(
        Format("[Notice] : The run report %s cannot be written (%s); this "
               "download is not recorded there. \r\n",
               EscapeControls(path).c_str(), reason.c_str()));
}

void CDialogLogic::AddStatusLine(const std::string& text) {
    WriteProcessLog(text);
    AppendRow(text);
}

void CDialogLogic::AppendRow(const std::string& text) {
    // The rows are numbered from 1 in every new window, whatever the log already holds.
    view_.AppendStatusRow(++rows_, FormatLogTime(), text);
}

void CDialogLogic::WriteProcessLog(const std::string& text) {
    std::string reason;
    if (log_.Write(text, &reason) || logFailureShown_)
        return;
    // Said in the list only: the log is what cannot be written.
    logFailureShown_ = true;
    AppendRow(Format(
        "[Notice] : The process log %s cannot be written (%s); its entries are not kept. \r\n",
        EscapeControls(log_.Path()).c_str(), reason.c_str()));
}

void CDialogLogic::SendProgress(int value, const std::string& labelPrefix) {
    progressText_ = Format("%s%d%%", labelPrefix.c_str(), value);
    view_.ShowProgress(std::clamp(value, 0, 100), progressText_);
    view_.PushFields();
}

MessageAnswer CDialogLogic::ShowMessageBox(const std::string& text, const std::string& caption,
                                           MessageIcon icon, MessageButtons buttons) {
    return view_.ShowBox(text, caption, icon, buttons);
}

}  // namespace tamrix
