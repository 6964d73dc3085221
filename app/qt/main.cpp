// tamrix: the firmware update utility's dialog program.

#include "app/qt/TamrixApp.h"

int main(int argc, char** argv) {
    tamrix::CTamrixApp app(argc, argv);
    return app.InitInstance();
}
