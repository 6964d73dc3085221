#include "app/qt/AboutDlg.h"

#include "app/qt/AppIcon.h"
#include "ui_AboutDlg.h"

namespace tamrix {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::CAboutDlg>()) {
    ui_->setupUi(this);
    // A fixed box: a caption with a close button, nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const QIcon icon = ApplicationIcon();
    ui_->iconLabel->setPixmap(icon.pixmap(32, 32));
    setWindowIcon(icon);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace tamrix
