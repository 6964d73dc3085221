#include "app/qt/DeviceListDlg.h"

#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyle>

#include "comm/PortList.h"
#include "comm/PortMap.h"
#include "common/Format.h"
#include "ui_DeviceListDlg.h"

namespace tamrix {

namespace {

// Column widths in pixels: the port name, then the device's name.
constexpr int kPortWidth = 80;
constexpr int kDeviceWidth = 250;

// The small picture of a serial connector that marks the rows, as the ports' device class has.
QIcon PortIcon() {
    return QIcon(QStringLiteral(":/icons/serial-port.png"));
}

}  // namespace

CDeviceListDlg::CDeviceListDlg(std::unique_ptr<CPortEnumerator> enumerator,
                               std::unique_ptr<CPortMonitor> monitor, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::CDeviceListDlg>()),
      enumerator_(std::move(enumerator)),
      monitor_(std::move(monitor)) {
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->portList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui_->portList->header()->setStretchLastSection(true);
    ui_->portList->setColumnWidth(0, kPortWidth);
    ui_->portList->setColumnWidth(1, kDeviceWidth);
    ui_->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(ui_->buttonBox, &QDialogButtonBox::accepted, this, &CDeviceListDlg::accept);
    connect(ui_->buttonBox, &QDialogButtonBox::rejected, this, &CDeviceListDlg::reject);
    // A double click anywhere in the list, on a row or on the empty part below, is OK.
    ui_->portList->viewport()->installEventFilter(this);
    if (monitor_ != nullptr) {
        notifier_ = new QSocketNotifier(static_cast<qintptr>(monitor_->Handle()),
                                        QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &CDeviceListDlg::OnDeviceChange);
    }
    RefreshPortList();
}

CDeviceListDlg::~CDeviceListDlg() = default;

void CDeviceListDlg::OnDeviceChange() {
    if (monitor_->TakeEvents())
        RefreshPortList();
}

void CDeviceListDlg::RefreshPortList() {
    selectedPort_ = 0;
    ui_->portList->clear();
    const std::vector<SerialPortInfo> ports =
        enumerator_ != nullptr ? enumerator_->Enumerate() : std::vector<SerialPortInfo>();
    const QIcon icon = PortIcon();
    for (const PortListEntry& entry : BuildPortList(ports)) {
        // Names and descriptions come from the device database and the devices themselves.
        auto* item = new QTreeWidgetItem(
            ui_->portList, {QString::fromStdString(entry.portName),
                            QString::fromStdString(EscapeControls(entry.friendlyName))});
        item->setIcon(0, icon);
        QString tip = QString::fromStdString(EscapeControls(entry.device));
        if (!entry.byIdKey.empty())
            tip += '\n' + QString::fromStdString(EscapeControls(entry.byIdKey));
        if (!entry.accessible) {
            // Listed all the same: the technician learns here, not from "Port Open Fail", what
            // to do about it.
            tip += entry.group.empty()
                       ? QStringLiteral("\nThis account may not open the port.")
                       : QStringLiteral(
                             "\nThis account may not open the port: join the group "
                             "%1 (sudo usermod -aG %1 $USER) and log in again.")
                             .arg(QString::fromStdString(EscapeControls(entry.group)));
            item->setIcon(1, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
        item->setToolTip(0, tip);
        item->setToolTip(1, tip);
    }

    // No row is chosen yet; the first arrow key chooses one.
    ui_->portList->setCurrentIndex(QModelIndex());

    QStringList problems;
    if (enumerator_ == nullptr)
        problems << QStringLiteral("The serial ports of this machine cannot be listed.");
    else
        for (const std::string& problem : enumerator_->Problems())
            problems << QString::fromStdString(EscapeControls(problem));
    ui_->problemLabel->setText(problems.join('\n'));
    ui_->problemLabel->setVisible(!problems.isEmpty());
}

bool CDeviceListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->portList->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CDeviceListDlg::accept() {
    std::vector<std::string> selected;
    for (int row = 0; row < ui_->portList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = ui_->portList->topLevelItem(row);
        if (item->isSelected())
            selected.push_back(item->text(0).toStdString());
    }
    if (!selected.empty())
        selectedPort_ = PortNumberFromSelection(selected);
    QDialog::accept();
}

int CDeviceListDlg::ChoosePort(QWidget* parent) {
    CDeviceListDlg dialog(CreatePortEnumerator(CPortMap::MapFilePath()), CreatePortMonitor(),
                          parent);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return dialog.SelectedPort();
}

}  // namespace tamrix
