#pragma once
// CDeviceListDlg, the "COM Port Manager": the serial ports present on this machine with their
// device names, for the technician to pick one. OK or a double click hands back the chosen COM
// number; the list refreshes itself when a port arrives or leaves while the dialog is open, and a
// refresh forgets a choice not yet confirmed.

#include <QDialog>
#include <memory>

#include "comm/PortEnumerator.h"
#include "comm/PortMonitor.h"

class QSocketNotifier;
class QTreeWidgetItem;

namespace Ui {
class CDeviceListDlg;
}

namespace tamrix {

class CDeviceListDlg : public QDialog {
    Q_OBJECT

  public:
    // `monitor` may be null (no notice of ports arriving or leaving).
    CDeviceListDlg(std::unique_ptr<CPortEnumerator> enumerator,
                   std::unique_ptr<CPortMonitor> monitor, QWidget* parent = nullptr);
    ~CDeviceListDlg() override;

    // The COM number chosen with OK or a double click; 0 when none was.
    int SelectedPort() const { return selectedPort_; }

    // Lists the ports present now; any choice not yet confirmed is forgotten.
    void RefreshPortList();

    // Runs the dialog; the chosen COM number, 0 when cancelled or nothing was chosen.
    static int ChoosePort(QWidget* parent);

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnDeviceChange();

    std::unique_ptr<Ui::CDeviceListDlg> ui_;
    std::unique_ptr<CPortEnumerator> enumerator_;
    std::unique_ptr<CPortMonitor> monitor_;
    QSocketNotifier* notifier_ = nullptr;
    int selectedPort_ = 0;
};

}  // namespace tamrix
