// The "COM Port Manager" with ports and device changes played by the test: its rows and their
// order, what OK and a double click hand back, refreshing when a port arrives or leaves, and the
// main window's Search taking the chosen port.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/Profile.h"
#include "app/qt/DeviceListDlg.h"
#include "app/qt/StatusDisplay.h"
#include "app/qt/TamrixDlg.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/FirmwareBuilder.h"

namespace tamrix {
namespace {

// The ports "present", changed by the test between listings.
struct PortsOnTheMachine {
    std::vector<SerialPortInfo> ports;
    std::vector<std::string> problems;
    int listings = 0;
};

class FakeEnumerator : public CPortEnumerator {
  public:
    explicit FakeEnumerator(PortsOnTheMachine& machine) : machine_(machine) {}
    std::vector<SerialPortInfo> Enumerate() override {
        ++machine_.listings;
        return machine_.ports;
    }
    const std::vector<std::string>& Problems() const override { return machine_.problems; }

  private:
    PortsOnTheMachine& machine_;
};

// Device changes through a pipe, as the system's device monitor gives them: readable when
// something happened.
class FakeMonitor : public CPortMonitor {
  public:
    explicit FakeMonitor(int fds[2]) : read_(fds[0]), write_(fds[1]) {}
    ~FakeMonitor() override {
        close(read_);
        close(write_);
    }
    int Handle() const override { return read_; }
    bool TakeEvents() override {
        ++taken;
        char byte = 0;
        return read(read_, &byte, 1) == 1 && byte == 's';  // 's': a serial port came or went
    }
    void Signal(char what) { ASSERT_EQ(write(write_, &what, 1), 1); }
    int taken = 0;

  private:
    int read_;
    int write_;
};

SerialPortInfo Port(const std::string& friendlyName, const std::string& device) {
    SerialPortInfo port;
    port.friendlyName = friendlyName;
    port.device = device;
    return port;
}

class DeviceListDlgTest : public ::testing::Test {
  protected:
    std::unique_ptr<CDeviceListDlg> MakeDialog(FakeMonitor** monitorOut = nullptr) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        auto monitor = std::make_unique<FakeMonitor>(fds);
        if (monitorOut != nullptr)
            *monitorOut = monitor.get();
        auto dialog = std::make_unique<CDeviceListDlg>(std::make_unique<FakeEnumerator>(machine),
                                                       std::move(monitor));
        dialog->show();
        return dialog;
    }
    static QTreeWidget* List(CDeviceListDlg& dialog) {
        return dialog.findChild<QTreeWidget*>("portList");
    }
    static QStringList Rows(CDeviceListDlg& dialog) {
        QStringList rows;
        for (int i = 0; i < List(dialog)->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = List(dialog)->topLevelItem(i);
            rows << item->text(0) + " | " + item->text(1);
        }
        return rows;
    }
    static void SelectRow(CDeviceListDlg& dialog, const QString& portName) {
        for (int i = 0; i < List(dialog)->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = List(dialog)->topLevelItem(i);
            if (item->text(0) == portName)
                List(dialog)->setCurrentItem(item);
        }
    }
    // A double click of the left button at `at` in the list's viewport.
    static void DoubleClick(CDeviceListDlg& dialog, QPoint at) {
        QWidget* viewport = List(dialog)->viewport();
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(at),
                          QPointF(viewport->mapToGlobal(at)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &click);
    }

    PortsOnTheMachine machine;
};

// A name from the device database or a line of the map file cannot break the list with its
// control characters: they are shown escaped.
TEST_F(DeviceListDlgTest, ControlCharactersInNamesAndProblemsAreShownEscaped) {
    machine.ports = {Port("Adapter\x1b[2J\r\n (COM5)", "/dev/ttyUSB0\x07")};
    machine.problems = {"port map /m line 2: expected COMn = /dev/..., not \"\x1b]0;x\x07\""};
    auto dialog = MakeDialog();
    EXPECT_EQ(Rows(*dialog), QStringList{"COM5 | Adapter\\x1B[2J\\x0D\\x0A (COM5)"});
    EXPECT_EQ(List(*dialog)->topLevelItem(0)->toolTip(1), "/dev/ttyUSB0\\x07");
    EXPECT_EQ(dialog->findChild<QLabel*>("problemLabel")->text(),
              "port map /m line 2: expected COMn = /dev/..., not \"\\x1B]0;x\\x07\"");
}

TEST_F(DeviceListDlgTest, ListsPortsByNameInByteOrderAndHandsBackTheChosenNumber) {
    machine.ports = {Port("USB Serial Port (COM3)", "/dev/ttyUSB0"),
                     Port("USB Serial Port (COM10)", "/dev/ttyUSB1"),
                     Port("Printer Port (LPT1)", "/dev/lp0"),
                     Port("Communications Port (COM2)", "/dev/ttyS1"),
                     Port("Odd) adapter (COM7)", "/dev/ttyACM0")};
    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->windowTitle(), "COM Port Manager");
    EXPECT_EQ(List(*dialog)->headerItem()->text(0), "Port");
    EXPECT_EQ(List(*dialog)->headerItem()->text(1), "Device");
    EXPECT_EQ(Rows(*dialog),
              (QStringList{" | Odd) adapter (COM7)", "COM10 | USB Serial Port (COM10)",
                           "COM2 | Communications Port (COM2)", "COM3 | USB Serial Port (COM3)"}));

    SelectRow(*dialog, "COM10");
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->SelectedPort(), 10);

    // The row without a port name hands back 0, which the main window ignores.
    auto again = MakeDialog();
    SelectRow(*again, "");
    DoubleClick(*again, List(*again)->visualItemRect(List(*again)->currentItem()).center());
    EXPECT_EQ(again->result(), QDialog::Accepted);
    EXPECT_EQ(again->SelectedPort(), 0);

    // A double click on the empty part of the list with nothing selected also ends with OK and 0.
    auto none = MakeDialog();
    List(*none)->clearSelection();
    DoubleClick(*none, QPoint(5, List(*none)->viewport()->height() - 3));
    EXPECT_EQ(none->result(), QDialog::Accepted);
    EXPECT_EQ(none->SelectedPort(), 0);
}

TEST_F(DeviceListDlgTest, APortArrivingOrLeavingRefreshesTheListAndForgetsTheChoice) {
    machine.ports = {Port("Communications Port (COM1)", "/dev/ttyS0")};
    FakeMonitor* monitor = nullptr;
    auto dialog = MakeDialog(&monitor);
    EXPECT_EQ(Rows(*dialog), QStringList{"COM1 | Communications Port (COM1)"});

    // A device change that is no serial port leaves the list as it is.
    const int listings = machine.listings;
    monitor->Signal('x');
    ASSERT_TRUE(test::WaitUntil([&] { return monitor->taken == 1; }));
    EXPECT_EQ(machine.listings, listings);

    SelectRow(*dialog, "COM1");
    machine.ports.push_back(Port("FT232R USB UART (COM5)", "/dev/ttyUSB0"));
    monitor->Signal('s');
    ASSERT_TRUE(test::WaitUntil([&] { return List(*dialog)->topLevelItemCount() == 2; }));
    EXPECT_EQ(Rows(*dialog),
              (QStringList{"COM1 | Communications Port (COM1)", "COM5 | FT232R USB UART (COM5)"}));
    EXPECT_TRUE(List(*dialog)->selectedItems().isEmpty());

    SelectRow(*dialog, "COM5");
    machine.ports.pop_back();
    monitor->Signal('s');
    ASSERT_TRUE(test::WaitUntil([&] { return List(*dialog)->topLevelItemCount() == 1; }));
    dialog->accept();
    EXPECT_EQ(dialog->SelectedPort(), 0);
}

TEST_F(DeviceListDlgTest, SearchSelectsThePortChosenInTheDialog) {
    machine.ports = {Port("Communications Port (COM1)", "/dev/ttyS0"),
                     Port("Communications Port (COM3)", "/dev/ttyS2")};
    test::TempFolder folder;
    CMemoryProfile profile;
    TamrixDlgServices services;
    services.profile = &profile;
    services.logPath = folder.File("ProcssLog.log");
    services.choosePort = [this](QWidget* parent) {
        CDeviceListDlg dialog(std::make_unique<FakeEnumerator>(machine), nullptr, parent);
        QTimer::singleShot(0, &dialog, [&dialog] {
            SelectRow(dialog, "COM3");
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        return dialog.exec() == QDialog::Accepted ? dialog.SelectedPort() : 0;
    };
    CTamrixDlg window(std::move(services));
    window.show();
    window.findChild<QPushButton*>("searchButton")->click();

    EXPECT_EQ(window.findChild<QComboBox*>("comPortCombo")->currentText(), "COM3");
    QTableWidget* list = window.findChild<QTableWidget*>("statusList");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 2)->data(kStatusTextRole).toString(), "COM Port change: COM3 \r\n");
    EXPECT_TRUE(profile.writes.empty());
}

}  // namespace
}  // namespace tamrix
