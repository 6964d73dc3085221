#include "app/qt/TamrixDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSpacerItem>

#include "app/qt/AboutDlg.h"
#include "app/qt/AppIcon.h"
#include "app/qt/DeviceListDlg.h"
#include "app/qt/GuiHandOver.h"
#include "app/qt/StatusDisplay.h"
#include "common/Format.h"
#include "common/LinkChoices.h"
#include "ui_TamrixDlg.h"

namespace tamrix {

namespace {

constexpr const char* kCaption = "ZKT Orvane Firmware Update Utility.  Ver-1.0";
constexpr const char* kAboutEntry = "&About ZKT Orvane Firmware Update Utility";
constexpr int kTimerPeriodMs = 250;

QString DefaultChooseFirmwareFile(QWidget* parent, const QString& initialPath) {
    // The chosen file must exist: the dialog's open mode only accepts existing files.
    return QFileDialog::getOpenFileName(parent, QString(), initialPath,
                                        QStringLiteral("Upgrade Binary File(*.bin);;"
                                                       "ALL Filess(*.*)"));
}

// A window manager cuts a caption wider than the box it belongs to ("Ch…nel"): the box is made
// at least as wide as its caption, its title bar buttons and frame included.
void WidenForCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    const int captionWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
    grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

bool DefaultConfirmClose(QWidget* parent) {
    // The question is the window's own: it carries the window's caption.
    QMessageBox box(QMessageBox::Warning,
                    parent != nullptr ? parent->windowTitle() : QCoreApplication::applicationName(),
                    QString::fromLatin1(kCloseDuringDownloadQuestion),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    WidenForCaption(box);
    // A download that ends while the question is open leaves nothing to warn of: the window
    // closes as the technician meant it to.
    if (auto* window = qobject_cast<CTamrixDlg*>(parent)) {
        QObject::connect(window, &CTamrixDlg::DownloadEnded, &box,
                         [&box] { box.done(QMessageBox::Yes); });
    }
    return box.exec() == QMessageBox::Yes;
}

std::string PathForCore(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString PathForDisplay(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

// The window opens at its template's size, 387 x 238 dialog units in the window's font (a dialog
// unit is a quarter of the average character width and an eighth of the font's height), or at
// what its controls need when that is more.
QSize OpeningSize(const QWidget& window) {
    const QFontMetrics metrics(window.font());
    const int charWidth = metrics.averageCharWidth();
    const QSize templateSize((387 * charWidth + 2) / 4, (238 * metrics.height() + 4) / 8);
    return templateSize.expandedTo(window.minimumSizeHint());
}

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
    status_ =
        std::make_unique<CStatusDisplay>(ui_->statusList, ui_->progressBar, ui_->progressLabel);
    CDialogView& view = *this;
    logic_ =
        std::make_unique<CDialogLogic>(view, static_cast<const DialogLogicServices&>(services_));
    logic_->Start();
    ApplyStoredChoices();
    ApplyStoredSwitches();
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
    // The frame of a fixed dialog: a minimize box, no maximize box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(OpeningSize(*this));
}

void CTamrixDlg::ApplyStoredSwitches() {
    ui_->verifyCheck->setChecked(logic_->Verify());
    ui_->runReportCheck->setChecked(logic_->RunReport());
    ui_->runReportCheck->setToolTip(
        QStringLiteral("After every download, adds one line (JSON) saying what was done and how "
                       "it ended to\n%1")
            .arg(QString::fromStdString(EscapeControls(RunReportPath()))));
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
            [this](bool on) { logic_->SetVerify(on); });
    connect(ui_->runReportCheck, &QCheckBox::toggled, this,
            [this](bool on) { logic_->SetRunReport(on); });
    timer_.setInterval(kTimerPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CTamrixDlg::OnTimer);
}

CTamrixDlg::~CTamrixDlg() {
    // Whatever still runs must not report into a window that is gone.
    logic_.reset();
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
}

void CTamrixDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CTamrixDlg::ApplyStoredChoices() {
    const DialogChoices& choices = logic_->Choices();
    PushFields();
    // A port index beyond the list leaves the combo without a selection; the stored number is
    // kept and used by Program.
    ui_->comPortCombo->setCurrentIndex(
        choices.portIndex >= 0 && choices.portIndex < ui_->comPortCombo->count() ? choices.portIndex
                                                                                 : -1);
    ui_->baudRateCombo->setCurrentIndex(choices.baudIndex);
}

void CTamrixDlg::PullFields() {
    logic_->Choices().filePath = PathForCore(ui_->filePathEdit->text());
    logic_->Choices().interfaceType = ui_->signalWiringRadio->isChecked() ? 1 : 0;
}

void CTamrixDlg::PushFields() {
    const DialogChoices& choices = logic_->Choices();
    ui_->filePathEdit->setText(PathForDisplay(choices.filePath));
    // A stored wiring other than the two leaves both radios unchecked, as the stored value says.
    ui_->usbWiringRadio->setAutoExclusive(false);
    ui_->signalWiringRadio->setAutoExclusive(false);
    ui_->usbWiringRadio->setChecked(choices.interfaceType == 0);
    ui_->signalWiringRadio->setChecked(choices.interfaceType == 1);
    ui_->usbWiringRadio->setAutoExclusive(true);
    ui_->signalWiringRadio->setAutoExclusive(true);
    status_->SetProgressText(TextForDisplay(logic_->ProgressText()));
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
    logic_->OnComPortChange(index >= 0 ? PortNumberOfItem(index) - 1 : -1);
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
    logic_->OnBaudRateChange(index);
}

void CTamrixDlg::OnBrowse() {
    const QString chosen = services_.chooseFirmwareFile(this, ui_->filePathEdit->text());
    if (!chosen.isEmpty())
        logic_->Choices().filePath = PathForCore(chosen);
    // A cancelled dialog puts the stored path back over whatever was typed.
    ui_->filePathEdit->setText(PathForDisplay(logic_->Choices().filePath));
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
    logic_->OnProgram();
}

void CTamrixDlg::OnTimer() {
    if (logic_->OnTimer())
        emit DownloadEnded();
}

void CTamrixDlg::done(int result) {
    if (!logic_->OnClose())
        return;
    QDialog::done(result);
}

void CTamrixDlg::SetTimerRunning(bool running) {
    if (running)
        timer_.start();
    else
        timer_.stop();
}

std::shared_ptr<CWindowHandOver> CTamrixDlg::MakeHandOver() {
    return std::make_shared<CGuiHandOver>(this);
}

bool CTamrixDlg::ConfirmCloseDuringDownload() {
    return services_.confirmCloseDuringDownload(this);
}

void CTamrixDlg::AppendStatusRow(int number, const std::string& time, const std::string& text) {
    status_->AppendRow(number, time, text);
}

void CTamrixDlg::ShowProgress(int value, const std::string& label) {
    status_->ShowProgress(value, label);
}

void CTamrixDlg::AddStatusLine(const std::string& text) {
    logic_->AddStatusLine(text);
}

void CTamrixDlg::WriteProcessLog(const std::string& text) {
    logic_->WriteProcessLog(text);
}

void CTamrixDlg::SendProgress(int value, const std::string& labelPrefix) {
    logic_->SendProgress(value, labelPrefix);
}

MessageAnswer CTamrixDlg::ShowMessageBox(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) {
    return logic_->ShowMessageBox(text, caption, icon, buttons);
}

MessageAnswer CTamrixDlg::ShowBox(const std::string& text, const std::string& caption,
                                  MessageIcon icon, MessageButtons buttons) {
    // The download's boxes belong to no window, as the worker raises them; they are still modal
    // for the whole application, so nothing else can be done until they are answered.
    QMessageBox box(
        BoxIcon(icon),
        caption.empty() ? QCoreApplication::applicationName() : TextForDisplay(caption),
        TextForDisplay(text),
        buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowIcon(windowIcon());
    WidenForCaption(box);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace tamrix
