// lumacore: the desktop program.
#include <QApplication>

#include "app/recovery_app.h"
#include "ui/shell.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("lumacore"));

    lumacore::CRecoveryApp app;
    if (!app.InitInstance(QApplication::arguments())) return app.ExitInstance();
    const int status = QApplication::exec();
    const int exitStatus = app.ExitInstance();
    return status != 0 ? status : exitStatus;
}
