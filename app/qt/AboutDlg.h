#pragma once
// The About box: the program's icon, its name and version, and OK.

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

namespace tamrix {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

  private:
    std::unique_ptr<Ui::CAboutDlg> ui_;
};

}  // namespace tamrix
