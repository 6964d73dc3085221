#include "app/qt/TamrixApp.h"

#include <QFileInfo>

#include "app/qt/AppIcon.h"
#include "app/qt/QtProfile.h"
#include "app/qt/TamrixDlg.h"

namespace tamrix {

CTamrixApp::CTamrixApp(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    setApplicationName(SettingsApplicationName(applicationFilePath()));
    setWindowIcon(ApplicationIcon());
}

QString CTamrixApp::SettingsApplicationName(const QString& programPath) {
    return QFileInfo(programPath).completeBaseName();
}

int CTamrixApp::InitInstance() {
    CQtProfile profile;
    TamrixDlgServices services;
    services.profile = &profile;
    CTamrixDlg window(std::move(services));
    window.exec();
    // A download stopped by closing the window ends its row first, so the port is released and
    // the product left in its bootloader, not in the middle of a frame.
    window.WaitForDownloadEnd();
    return 0;
}

}  // namespace tamrix
