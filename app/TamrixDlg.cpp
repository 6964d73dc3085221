#include "app/TamrixDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/DeviceListDlg.h"
#include "app/GuiHandOver.h"
#include "app/Profile.h"
#include "app/StatusDisplay.h"
#include "comm/PortMap.h"
#include "common/Format.h"
#include "common/LinkChoices.h"
#include "common/ReportRelay.h"
#include "platform/UserFolders.h"
#include "ui_TamrixDlg.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tamrix {

namespace {

constexpr const char* kCaption = "ZKT Orvane Firmware Update Utility.  Ver-1.0";
constexpr const char* kAboutEntry = "&About ZKT Orvane Firmware Update Utility";
constexpr int kTimerPeriodMs = 250;
constexpr const char* kRunReportName = "TamrixRuns.jsonl";
// The system menu's About command, as the window's own commands are numbered there.
[[maybe_unused]] constexpr unsigned kAboutCommand = 0x0010;

QString DefaultChooseFirmwareFile(QWidget* parent, const QString& initialPath) {
    // The chosen file must exist: the dialog's open mode only accepts existing files.
    return QFileDialog::getOpenFileName(parent, QString(), initialPath,
                                        QStringLiteral("Upgrade Binary File(*.bin);;"
                                                       "ALL Filess(*.*)"));
}

bool DefaultConfirmClose(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QStringLiteral("A download is running.\n\n"
                                   "If you close the window now, the download stops after the "
                                   "row being written, and the product stays in its bootloader "
                                   "without complete firmware. To finish it, run the download "
                                   "again.\n\n"
                                   "Close the window anyway?"),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    // A download that ends while the question is open leaves nothing to warn of: the window
    // closes as the technician meant it to.
    if (auto* window = qobject_cast<CTamrixDlg*>(parent)) {
        QObject::connect(window, &CTamrixDlg::DownloadEnded, &box,
                         [&box] { box.done(QMessageBox::Yes); });
    }
    return box.exec() == QMessageBox::Yes;
}

std::string PathForCore(const QString& path) { return QFile::encodeName(path).toStdString(); }

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

CTamrixDlg::CTamrixDlg(TamrixDlgServices services, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CTamrixDlg>()), services_(std::move(services)) {
    ui_->setupUi(this);
    UseDefaultServices();
    FillChoiceLists();
    SetUpWindowFrame();
    OpenStatusDisplay();
    ApplyStoredChoices();
    ApplyStoredSwitches();
    SayWhereTheLogIs();
    ConnectControls();
}

void CTamrixDlg::UseDefaultServices() {
    if (!services_.chooseFirmwareFile)
        services_.chooseFirmwareFile = DefaultChooseFirmwareFile;
    if (!services_.choosePort)
        services_.choosePort = CDeviceListDlg::ChoosePort;
    if (!services_.confirmCloseDuringDownload)
        services_.confirmCloseDuringDownload = DefaultConfirmClose;
}

void CTamrixDlg::FillChoiceLists() {
    // The baud rates and the wirings are the ones every front end offers, in their order.
    for (int rate : BaudRates())
        ui_->baudRateCombo->addItem(QString::number(rate));
    ui_->usbWiringRadio->setText(QString::fromLatin1(WiringAt(0).label));
    ui_->signalWiringRadio->setText(QString::fromLatin1(WiringAt(1).label));
}

void CTamrixDlg::SetUpWindowFrame() {
    SetUpAboutEntry();
    setWindowIcon(ApplicationIcon());
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void CTamrixDlg::OpenStatusDisplay() {
    std::string logPath = services_.logPath;
    if (logPath.empty())
        logPath = CProcessLog::ChoosePath(CProcessLog::ProgramFolder());
    status_ = std::make_unique<CStatusDisplay>(ui_->statusList, ui_->progressBar,
                                               ui_->progressLabel, logPath);
}

void CTamrixDlg::ApplyStoredSwitches() {
    ui_->verifyCheck->setChecked(ReadSwitch(*services_.profile, kVerifyEntry));
    ui_->runReportCheck->setChecked(ReadSwitch(*services_.profile, kRunReportEntry));
    ui_->runReportCheck->setToolTip(
        QStringLiteral("After every download, adds one line (JSON) saying what was done and how "
                       "it ended to\n%1")
            .arg(QString::fromStdString(EscapeControls(RunReportPath()))));
}

void CTamrixDlg::SayWhereTheLogIs() {
    // The log normally lies beside the program; say once where it is when it does not.
    const std::string& logPath = LogPath();
    const std::string programFolder = CProcessLog::ProgramFolder();
    if (services_.logPath.empty() && !programFolder.empty() &&
        QFileInfo(QString::fromStdString(logPath)).absolutePath() !=
            QFileInfo(QString::fromStdString(programFolder)).absoluteFilePath()) {
        AddStatusLine(Format(IsSystemProgramFolder(programFolder)
                                 ? "[Notice] : The program's folder holds the system's programs; "
                                   "the process log is kept in %s \r\n"
                                 : "[Notice] : The program's folder cannot be written to; the "
                                   "process log is kept in %s \r\n",
                             EscapeControls(logPath).c_str()));
    }
}

void CTamrixDlg::ConnectControls() {
    connect(ui_->comPortCombo, qOverload<int>(&QComboBox::activated), this,
            &CTamrixDlg::OnComPortChange);
    connect(ui_->baudRateCombo, qOverload<int>(&QComboBox::activated), this,
            &CTamrixDlg::OnBaudRateChange);
    connect(ui_->browseButton, &QPushButton::clicked, this, &CTamrixDlg::OnBrowse);
    connect(ui_->searchButton, &QPushButton::clicked, this, &CTamrixDlg::OnSearch);
    connect(ui_->programButton, &QPushButton::clicked, this, &CTamrixDlg::OnProgram);
    connect(ui_->exitButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->verifyCheck, &QCheckBox::toggled, this,
            [this](bool on) { WriteSwitch(*services_.profile, kVerifyEntry, on); });
    connect(ui_->runReportCheck, &QCheckBox::toggled, this,
            [this](bool on) { WriteSwitch(*services_.profile, kRunReportEntry, on); });
    timer_.setInterval(kTimerPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CTamrixDlg::OnTimer);
}

CTamrixDlg::~CTamrixDlg() {
    // Whatever still runs must not report into a window that is gone.
    LetGoOfDownload();
}

const std::string& CTamrixDlg::LogPath() const { return status_->LogPath(); }

std::string CTamrixDlg::RunReportPath() const {
    return PathForCore(QFileInfo(QFile::decodeName(LogPath().c_str()))
                           .absoluteDir()
                           .filePath(QString::fromLatin1(kRunReportName)));
}

void CTamrixDlg::SetUpAboutEntry() {
    // The About box is reached from a Help menu and with F1, and from the window's context menu.
    auto* about = new QAction(QString::fromLatin1(kAboutEntry), this);
    about->setShortcut(QKeySequence::HelpContents);
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CTamrixDlg::OnAbout);
    addAction(about);
    auto* menuBar = new QMenuBar(this);
    menuBar->addMenu(QStringLiteral("&Help"))->addAction(about);
    layout()->setMenuBar(menuBar);
    setContextMenuPolicy(Qt::ActionsContextMenu);
#ifdef Q_OS_WIN
    // Where Windows users have always found it: the window's system menu, below a separator.
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, kAboutCommand, kAboutEntry);
    }
#endif
}

#ifdef Q_OS_WIN
bool CTamrixDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand) {
        OnAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CTamrixDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CTamrixDlg::ApplyStoredChoices() {
    choices_ = ReadDialogChoices(*services_.profile);
    PushFields();
    // A port index beyond the list leaves the combo without a selection; the stored number is
    // kept and used by Program.
    ui_->comPortCombo->setCurrentIndex(
        choices_.portIndex >= 0 && choices_.portIndex < ui_->comPortCombo->count()
            ? choices_.portIndex
            : -1);
    if (choices_.baudIndex < 0 || choices_.baudIndex >= BaudRateCount()) {
        const int stored = choices_.baudIndex;
        choices_.baudIndex = BaudIndexFromRate(kDefaultBaudRate);
        AddStatusLine(Format("[Notice] : The stored baud rate choice %d is not in the list; "
                             "%d is used. \r\n",
                             stored, kDefaultBaudRate));
    }
    ui_->baudRateCombo->setCurrentIndex(choices_.baudIndex);
    ui_->filePathEdit->setText(choices_.filePath);
}

void CTamrixDlg::PullFields() {
    choices_.filePath = ui_->filePathEdit->text();
    choices_.interfaceType = ui_->signalWiringRadio->isChecked() ? 1 : 0;
}

void CTamrixDlg::PushFields() {
    ui_->filePathEdit->setText(choices_.filePath);
    // A stored wiring other than the two leaves both radios unchecked, as the stored value says.
    ui_->usbWiringRadio->setAutoExclusive(false);
    ui_->signalWiringRadio->setAutoExclusive(false);
    ui_->usbWiringRadio->setChecked(choices_.interfaceType == 0);
    ui_->signalWiringRadio->setChecked(choices_.interfaceType == 1);
    ui_->usbWiringRadio->setAutoExclusive(true);
    ui_->signalWiringRadio->setAutoExclusive(true);
    status_->SetProgressText(status_->ProgressText());
}

void CTamrixDlg::EnableDownloadControls(bool enable) {
    ui_->browseButton->setEnabled(enable);
    ui_->programButton->setEnabled(enable);
    ui_->searchButton->setEnabled(enable);
    ui_->comPortCombo->setEnabled(enable);
    ui_->baudRateCombo->setEnabled(enable);
    ui_->verifyCheck->setEnabled(enable);
    ui_->runReportCheck->setEnabled(enable);
}

void CTamrixDlg::OnComPortChange(int index) {
    // No selection reads as -1, as the list control reports it.
    choices_.portIndex = index >= 0 ? PortNumberOfItem(index) - 1 : -1;
    AddStatusLine(Format("COM Port change: COM%d \r\n", choices_.portIndex + 1));
}

int CTamrixDlg::PortNumberOfItem(int index) const {
    const QVariant number = ui_->comPortCombo->itemData(index);
    return number.isValid() ? number.toInt() : index + 1;
}

void CTamrixDlg::SelectPortNumber(int portNumber) {
    for (int index = 0; index < ui_->comPortCombo->count(); ++index) {
        if (PortNumberOfItem(index) == portNumber) {
            ui_->comPortCombo->setCurrentIndex(index);
            return;
        }
    }
    // A port above the listed ones (a USB adapter numbered COM16 or higher) joins the list, so
    // the choice is kept instead of being lost.
    ui_->comPortCombo->addItem(QStringLiteral("COM%1").arg(portNumber), portNumber);
    ui_->comPortCombo->setCurrentIndex(ui_->comPortCombo->count() - 1);
}

void CTamrixDlg::OnBaudRateChange(int index) {
    choices_.baudIndex = index;
    AddStatusLine(Format("Baud Rate change: %d \r\n", BaudRateFromIndex(index)));
}

void CTamrixDlg::OnBrowse() {
    const QString chosen = services_.chooseFirmwareFile(this, ui_->filePathEdit->text());
    if (!chosen.isEmpty())
        choices_.filePath = chosen;
    // A cancelled dialog puts the stored path back over whatever was typed.
    ui_->filePathEdit->setText(choices_.filePath);
}

void CTamrixDlg::OnSearch() {
    const int portNumber = services_.choosePort(this);
    if (portNumber <= 0)
        return;
    SelectPortNumber(portNumber);
    ui_->comPortCombo->setFocus();
    OnComPortChange(ui_->comPortCombo->currentIndex());
    PushFields();
}

void CTamrixDlg::OnProgram() {
    PullFields();
    // The worker reports through a relay this window can detach, to a hand-over to this thread.
    auto handOver = std::make_shared<CGuiHandOver>(this);
    auto relay = std::make_shared<CReportRelay>(handOver);

    DownloadSettings settings = services_.downloadSettings;
    settings.verify = ui_->verifyCheck->isChecked();
    auto params = std::make_unique<DownloadParams>();
    params->port = PortName::Com(choices_.portIndex + 1);
    params->baudRate = BaudRateFromIndex(choices_.baudIndex);
    params->wiring = WiringFromInterfaceType(choices_.interfaceType);
    params->filePath = PathForCore(choices_.filePath);
    params->window = relay.get();
    if (!settings.openChannel) {
        settings.portMap = CPortMap::Load();
        settings.openChannel = SerialPortOpener(params->port, settings.portMap, relay.get());
    }
    if (CheckDownloadStart(*params, settings.openChannel) != StartCheck::Ok)
        return;

    std::optional<RunContext> report;
    if (ui_->runReportCheck->isChecked())
        report = RunContextFor(*params, "tamrix");

    EnableDownloadControls(false);
    LogDownloadInfo(*params, settings.portMap);
    auto worker = std::make_unique<CDownloadWorker>();
    // The timer notices the end within its period; the worker's own notice is at once.
    auto onEnd = [handOver] { handOver->PostToWindow("OnTimer"); };
    if (!worker->Start(std::move(params), std::move(settings), relay, onEnd)) {
        EnableDownloadControls(true);
        AddStatusLine("[Error] : The download could not be started: no worker thread could be "
                      "created. Nothing was sent to the product. \r\n");
        PushFields();
        return;
    }
    worker_ = std::move(worker);
    handOver_ = std::move(handOver);
    relay_ = std::move(relay);
    pendingReport_ = std::move(report);
    timer_.start();
    WriteDialogChoices(*services_.profile, choices_);
    PushFields();
}

void CTamrixDlg::OnTimer() {
    if (worker_ == nullptr || worker_->IsRunning())
        return;
    KeepRunReport(worker_->Wait());
    worker_.reset();
    // Nothing may reach this window through them any more (a notice of the end still queued).
    handOver_->Abandon();
    relay_.reset();
    handOver_.reset();
    timer_.stop();
    EnableDownloadControls(true);
    emit DownloadEnded();
}

void CTamrixDlg::done(int result) {
    if (IsDownloading() && isVisible() && !services_.confirmCloseDuringDownload(this))
        return;
    LetGoOfDownload();
    QDialog::done(result);
}

void CTamrixDlg::LetGoOfDownload() {
    if (handOver_ != nullptr && (worker_ == nullptr || !worker_->IsRunning()))
        handOver_->Abandon();  // the notice of the end may still be on its way
    if (worker_ == nullptr || !worker_->IsRunning())
        return;
    WriteProcessLog("Window closed during the download: the download stops after the row being "
                    "written; the product stays in its bootloader until it is powered off and "
                    "on. \r\n");
    relay_->Detach();
    handOver_->Abandon();
    worker_->RequestStop();
}

void CTamrixDlg::WaitForDownloadEnd() {
    // A download stopped by closing the window still gets its record: it is the one that left a
    // product without complete firmware.
    if (worker_ != nullptr)
        KeepRunReport(worker_->Wait());
}

void CTamrixDlg::KeepRunReport(DownloadOutcome outcome) {
    if (!pendingReport_)
        return;
    RunContext context = std::move(*pendingReport_);
    pendingReport_.reset();
    context.outcome = outcome;
    const std::string path = RunReportPath();
    std::string reason;
    if (AppendRunReport(path, RunReportLine(worker_->Record(), context), &reason))
        return;
    // After the download's own lines, so its last word stays where the technician looks; a
    // window already closed has only the log left to say it in.
    const std::string text = Format(
        "[Notice] : The run report %s cannot be written (%s); this "
        "download is not recorded there. \r\n",
        EscapeControls(path).c_str(), reason.c_str());
    if (isVisible())
        AddStatusLine(text);
    else
        WriteProcessLog(text);
}

void CTamrixDlg::AddStatusLine(const std::string& text) { status_->AddStatusLine(text); }

void CTamrixDlg::WriteProcessLog(const std::string& text) { status_->WriteProcessLog(text); }

void CTamrixDlg::SendProgress(int value, const std::string& labelPrefix) {
    status_->ShowProgress(value, labelPrefix);
    PushFields();
}

MessageAnswer CTamrixDlg::ShowMessageBox(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) {
    // The download's boxes belong to no window, as the worker raises them; they are still modal
    // for the whole application, so nothing else can be done until they are answered.
    QMessageBox box(BoxIcon(icon),
                    caption.empty() ? QCoreApplication::applicationName() : TextForDisplay(caption),
                    TextForDisplay(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowIcon(windowIcon());
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace tamrix
