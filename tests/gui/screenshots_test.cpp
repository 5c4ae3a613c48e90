// Every page and dialog renders without a display, at the window's size, with something on it.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "app/recovery_app.h"
#include "app/screenshots.h"
#include "gui/gui_test_support.h"

namespace lumacore {

class ScreenshotsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyPageAndDialogIsWritten() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        CRecoveryApp app;
        QString error;
        QVERIFY(app.ConfigureDevices({testing::FixtureImage("mbr-modern2048"), testing::FixtureImage("mbr-empty")}, false,
                                     &error));
        const QStringList written = WriteScreenshots(app, folder.path());
        const QStringList expected = {
            "01-home", "03-drive-deleted-listing", "03-drive-deleted", "03-drive-deleted-disk", "03-drive-deleted-not-accessible",
            "03-drive-deleted-partition", "04-drive-formatted", "05-drive-raw", "06-result-fat", "06-result-fat-icons",
            "06-result-ntfs", "06-result-ntfs-icons", "06-result-ext", "06-result-ext-icons", "06-result-raw",
            "06-result-raw-icons", "07-partition-page-listing", "07-partition-page", "07-partition-page-candidates",
            "07-partition-page-disk-list", "08-filter-dialog",
            "09-filter-dialog-between", "10-progress-dialog", "11-about", "12-message", "13-button-states",
            "14-repair-menu", "15-repair-dbx", "16-repair-pst", "17-repair-log", "18-overwrite-dialog",
            "19-drive-raw-whole-disk", "20-raw-options", "21-file-information", "22-image-view",
            "23-image-view-squeezed", "24-backup-summary"};
        for (const QString& name : expected) {
            const QString path = QDir(folder.path()).filePath(name + QStringLiteral(".png"));
            QVERIFY2(written.contains(path), qPrintable(name));
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(name));
            if (name.front() == QLatin1Char('0') && !name.startsWith(QLatin1String("08")) &&
                !name.startsWith(QLatin1String("09"))) {
                QCOMPARE(image.size(), QSize(785, 465));
            }
            // Art, not an empty rectangle: count the distinct colours of a sparse sample.
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 7) {
                for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
            }
            QVERIFY2(colours.size() > 20, qPrintable(name));
        }
        // The home page's header is dark and its content light: the skin was painted.
        const QImage home(QDir(folder.path()).filePath(QStringLiteral("01-home.png")));
        QVERIFY(qGray(home.pixel(400, 60)) < 90);
        QVERIFY(qGray(home.pixel(400, 110)) > 200);
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::ScreenshotsTest)
#include "screenshots_test.moc"
