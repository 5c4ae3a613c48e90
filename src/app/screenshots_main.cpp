// lumacore-screenshots OUTDIR [--size WxH] [--image FILE]...: a PNG of every page and dialog, for looking
// at the program without a display (QT_QPA_PLATFORM=offscreen) and for the GUI tests.
#include <QApplication>
#include <iostream>

#include "app/recovery_app.h"
#include "app/screenshots.h"
#include "ui/skin/skin.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::cerr << "usage: lumacore-screenshots OUTDIR [--image FILE]...\n";
        return 2;
    }
    std::vector<std::string> images;
    QSize size;
    for (qsizetype i = 2; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--size")) {
            const QStringList parts = arguments[i + 1].split(QLatin1Char('x'));
            if (parts.size() == 2) size = QSize(parts[0].toInt(), parts[1].toInt());
            continue;
        }
        if (arguments[i] != QLatin1String("--image")) {
            std::cerr << "lumacore-screenshots: unexpected argument " << arguments[i].toStdString() << '\n';
            return 2;
        }
        images.push_back(arguments[i + 1].toStdString());
    }
    lumacore::ui::skin::ApplyApplicationLook(application);
    lumacore::CRecoveryApp app;
    QString error;
    if (!app.ConfigureDevices(images, false, &error)) {
        std::cerr << "lumacore-screenshots: " << error.toStdString() << '\n';
        return 2;
    }
    const QStringList written = lumacore::WriteScreenshots(app, arguments[1], size);
    for (const QString& path : written) std::cout << path.toStdString() << '\n';
    return written.isEmpty() ? 1 : 0;
}
