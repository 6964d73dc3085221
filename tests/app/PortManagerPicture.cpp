// Shows the COM Port Manager with an on-board port and two USB adapters, one of which this
// account may not open, for scripts/gui-screenshots to take its picture on a machine without
// adapters. Closes with the dialog.

#include <QApplication>

#include "app/qt/DeviceListDlg.h"

namespace {

class ShownPorts : public tamrix::CPortEnumerator {
  public:
    std::vector<tamrix::SerialPortInfo> Enumerate() override {
        tamrix::SerialPortInfo onBoard{"Communications Port (COM1)", "/dev/ttyS0", "", 1, true, ""};
        tamrix::SerialPortInfo ftdi{
            "FTDI FT232R USB UART (COM5)",
            "/dev/ttyUSB0",
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3TQ4-if00-port0",
            5,
            true,
            ""};
        tamrix::SerialPortInfo prolific{
            "Prolific PL2303 Serial Port (COM6)",
            "/dev/ttyUSB1",
            "/dev/serial/by-id/usb-Prolific_USB-Serial_Controller-if00-port0",
            6,
            false,
            "dialout"};
        return {onBoard, ftdi, prolific};
    }
    const std::vector<std::string>& Problems() const override { return problems_; }

  private:
    std::vector<std::string> problems_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tamrix::CDeviceListDlg dialog(std::make_unique<ShownPorts>(), nullptr);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
