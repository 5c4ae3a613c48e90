// The preview as the result pages run it: the two windows, the per-family flows, documents handed to the
// desktop through the private folder, the desktop's application lookup, and JPEGs found by each engine
// on file systems made with the real tools at test time.
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "session/found_file_source.h"
#include "disk/disk_inventory.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"
#include "preview/hex_dump_text.h"
#include "ui/preview/desktop_handler.h"
#include "ui/preview/file_info_dlg.h"
#include "ui/preview/file_preview.h"
#include "ui/preview/image_view_dlg.h"

namespace lumacore {

namespace {

using testing::RunCommand;
using testing::ShellQuote;

std::vector<std::byte> ToBytes(const QByteArray& bytes) {
    const auto* first = reinterpret_cast<const std::byte*>(bytes.constData());
    return {first, first + bytes.size()};
}

QByteArray JpegBytes(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// A found file held in memory; remembers how much the preview asked for.
struct MemoryFile {
    std::vector<std::byte> data;
    std::uint64_t asked = 0;
    bool fail = false;

    PreviewSource Source(const std::string& name) {
        return {name, data.size(), [this](std::uint64_t maxBytes) -> Result<std::vector<std::byte>> {
                    asked = maxBytes;
                    if (fail) return Error::Io("unreadable sector");
                    return std::vector<std::byte>(
                        data.begin(), data.begin() + static_cast<std::ptrdiff_t>(
                                                         std::min<std::uint64_t>(maxBytes, data.size())));
                }};
    }
};

// Takes the desktop's part for the life of the object: answers the lookup and records what was opened.
struct DesktopRecorder {
    bool hasApplication = true;
    QStringList asked;
    QStringList opened;
    DesktopRecorder() {
        ui::SetDesktopHandler({[this](const QString& name) {
                                   asked << name;
                                   return hasApplication;
                               },
                               [this](const QString& path) {
                                   opened << path;
                                   return true;
                               }});
    }
    ~DesktopRecorder() { ui::SetDesktopHandler({}); }
};

bool IsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

class FilePreviewTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void imageWindowSqueezesEachDirectionSeparatelyAndCentres() {
        QImage wide(2000, 100, QImage::Format_RGB32);
        wide.fill(Qt::red);
        ui::CImageViewDlg dialog(wide, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("View Image File..."));
        dialog.resize(600, 400);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.canvas()->geometry(), QRect(0, 150, 600, 100));
        const QImage shot = dialog.grab().toImage();
        QCOMPARE(shot.pixelColor(300, 200), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(300, 20), QColor(Qt::white));
        // The canvas follows the window.
        dialog.resize(300, 80);
        QTRY_COMPARE(dialog.canvas()->geometry(), QRect(0, 0, 300, 80));
        dialog.resize(2400, 500);
        QTRY_COMPARE(dialog.canvas()->geometry(), QRect(200, 200, 2000, 100));
        QCOMPARE(ui::CImageViewDlg::CanvasRect(QSize(100, 50), QSize(600, 400)), QRect(250, 175, 100, 50));
        QCOMPARE(ui::CImageViewDlg::CanvasRect(QSize(), QSize(600, 400)), QRect());
    }

    void fileInformationWindowIsReadOnlyFixedPitchWithBothScrollBars() {
        const auto bytes = ToBytes(QByteArray(4096, 'Q'));
        ui::CFileInfoDlg dialog(QString::fromStdString(HexDumpText(bytes)), nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("View File Information..."));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QPlainTextEdit* edit = dialog.edit();
        QVERIFY(edit->isReadOnly());
        // Monospaced by what it draws: QFontInfo::fixedPitch() is false for some monospaced families.
        const QFontMetricsF metrics(edit->font());
        for (const QChar c : QStringLiteral("iW.0m| ")) {
            QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('M')));
        }
        QCOMPARE(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(edit->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(edit->document()->blockCount(), 256);
        QVERIFY(edit->toPlainText().startsWith(QStringLiteral("00000000  51 51 51 51  51")));
        QVERIFY(edit->geometry().size() == dialog.size());
    }

    void eachFamilyShowsAPictureOrFallsBackToItsDump() {
        MemoryFile jpeg{ToBytes(JpegBytes(QSize(64, 48)))};
        for (auto family :
             {PreviewFamily::Fat, PreviewFamily::Ntfs, PreviewFamily::Ext, PreviewFamily::Raw}) {
            auto shown = ui::PrepareFilePreview(family, jpeg.Source("photo.JPG"));
            QVERIFY(shown);
            QCOMPARE(shown->plan.action, PreviewAction::ShowImage);
            QCOMPARE(shown->image.size(), QSize(64, 48));
            QCOMPARE(jpeg.asked, jpeg.data.size());
        }
        MemoryFile broken{std::vector<std::byte>(6000, std::byte{0x5A})};
        const std::pair<PreviewFamily, int> cuts[] = {{PreviewFamily::Ext, 4096},
                                                      {PreviewFamily::Raw, 512},
                                                      {PreviewFamily::Fat, 1024},
                                                      {PreviewFamily::Ntfs, 512}};
        for (const auto& [family, cut] : cuts) {
            auto shown = ui::PrepareFilePreview(family, broken.Source("broken.jpg"));
            QVERIFY(shown);
            QCOMPARE(shown->plan.action, PreviewAction::ShowDump);
            QVERIFY(shown->image.isNull());
            QCOMPARE(shown->plan.text,
                     HexDumpText(std::span(broken.data).first(static_cast<std::size_t>(cut))));
        }
        // Not a picture: only the shown part is read.
        MemoryFile text{ToBytes(QByteArray(5000, 'a'))};
        auto shown = ui::PrepareFilePreview(PreviewFamily::Ntfs, text.Source("readme.txt"));
        QCOMPARE(shown->plan.action, PreviewAction::ShowText);
        QCOMPARE(text.asked, 512u);
        QCOMPARE(shown->plan.text.size(), 512u);
        // A read that fails ends the preview.
        text.fail = true;
        QVERIFY(!ui::PrepareFilePreview(PreviewFamily::Fat, text.Source("readme.txt")));
    }

    void documentsOpenFromACopyInThePrivateFolder() {
        DesktopRecorder desktop;
        MemoryFile doc{ToBytes(QByteArray(3000, 'D'))};
        auto shown = ui::PrepareFilePreview(PreviewFamily::Fat, doc.Source("Letter.doc"));
        QVERIFY(shown);
        QCOMPARE(shown->plan.action, PreviewAction::OpenWithDesktop);
        QCOMPARE(desktop.asked, QStringList{QStringLiteral("2356.doc")});
        const QString folder = ui::PreviewTempFolderPath();
        QCOMPARE(shown->copyPath, folder + QStringLiteral("/2356.doc"));
        QCOMPARE(desktop.opened, QStringList{shown->copyPath});
        QVERIFY(shown->opened);
        QCOMPARE(QFileInfo(shown->copyPath).size(), 3000);
        struct stat info {};
        QCOMPARE(::lstat(folder.toLocal8Bit().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
        QVERIFY(!folder.startsWith(QStringLiteral("/tmp/2356")));

        // A link planted under the copy's name is replaced, not written through.
        const std::string victim =
            QDir::temp().filePath(QStringLiteral("lumacore-preview-victim")).toStdString();
        std::ofstream(victim) << "untouched";
        QFile::remove(shown->copyPath);
        std::filesystem::create_symlink(victim, shown->copyPath.toStdString());
        shown = ui::PrepareFilePreview(PreviewFamily::Fat, doc.Source("Letter.doc"));
        QVERIFY(shown && shown->opened);
        QVERIFY(!QFileInfo(shown->copyPath).isSymLink());
        QCOMPARE(std::filesystem::file_size(victim), 9u);
        std::filesystem::remove(victim);

        // Without an application for the kind: the dump of what the page cuts.
        desktop.hasApplication = false;
        desktop.opened.clear();
        shown = ui::PrepareFilePreview(PreviewFamily::Fat, doc.Source("Letter.doc"));
        QCOMPARE(shown->plan.action, PreviewAction::ShowDump);
        QCOMPARE(shown->plan.byteCount, 1024u);
        QVERIFY(desktop.opened.isEmpty());
    }

    void theDesktopLookupReadsTheDesktopsOwnFiles() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("data/applications"));
        QDir(home.path()).mkpath(QStringLiteral("config"));
        QFile entry(home.filePath(QStringLiteral("data/applications/lumacore-test-writer.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write(
            "[Desktop Entry]\nType=Application\nName=Writer\nExec=true %f\nMimeType=application/msword;\n");
        entry.close();
        QFile defaults(home.filePath(QStringLiteral("config/mimeapps.list")));
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write("[Default Applications]\napplication/msword=lumacore-test-writer.desktop\n");
        defaults.close();
        const QByteArray oldData = qgetenv("XDG_DATA_HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS"), oldConfigDirs = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
        // The system's MIME database stays visible, its applications do not.
        QDir(home.path()).mkpath(QStringLiteral("system"));
        QFile::link(QStringLiteral("/usr/share/mime"), home.filePath(QStringLiteral("system/mime")));
        qputenv("XDG_DATA_DIRS", home.filePath(QStringLiteral("system")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", home.filePath(QStringLiteral("nothing")).toLocal8Bit());
        const ui::DesktopHandler system = ui::SystemDesktopHandler();
        const bool word = system.hasApplication(QStringLiteral("2356.doc"));
        const bool excel = system.hasApplication(QStringLiteral("2356.xls"));
        const bool unknown = system.hasApplication(QStringLiteral("2356.qqqzz"));
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        qputenv("XDG_DATA_DIRS", oldDirs);
        qputenv("XDG_CONFIG_DIRS", oldConfigDirs);
        QVERIFY(word);
        QVERIFY(!excel);
        QVERIFY(!unknown);
    }

    // A deleted JPEG on FAT (mkfs.fat + mtools), EXT3 (kernel driver, the name from the journal) and NTFS
    // (ntfs-3g), and the same JPEG carved from the FAT image, each previewed through its engine's read.
    void aJpegFoundByEachEnginePreviewsAsAPicture() {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const std::string dir = work.path().toStdString();
        const QByteArray jpeg = JpegBytes(QSize(320, 200));
        {
            QFile file(work.filePath(QStringLiteral("photo.jpg")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(jpeg);
        }
        const std::string photo = ShellQuote(dir + "/photo.jpg");
        const std::string fat = dir + "/fat.img";
        QCOMPARE(RunCommand("mkfs.fat -C -F 16 " + ShellQuote(fat) +
                            " 16384 >/dev/null 2>&1 && "
                            "MTOOLS_SKIP_CHECK=1 mcopy -i " +
                            ShellQuote(fat) + " " + photo +
                            " '::holiday photo.jpg' && "
                            "MTOOLS_SKIP_CHECK=1 mdel -i " +
                            ShellQuote(fat) + " '::holiday photo.jpg'")
                     .status,
                 0);
        std::vector<std::string> images{fat};
        const bool mounts = IsRoot() && testing::ToolAvailable("mke2fs") &&
                            testing::ToolAvailable("ntfs-3g") && testing::ToolAvailable("mkntfs");
        if (mounts) {
            const std::string ext = dir + "/ext.img", ntfs = dir + "/ntfs.img",
                              mnt = ShellQuote(dir + "/mnt");
            const auto made = RunCommand(
                "set -e; mkdir " + mnt + "; truncate -s 16M " + ShellQuote(ext) + "; mke2fs -q -F -t ext3 " +
                ShellQuote(ext) + "; mount -o loop " + ShellQuote(ext) + " " + mnt + "; cp " + photo + " " +
                mnt + "/; sync; rm " + mnt + "/photo.jpg; sync; umount " + mnt + "; truncate -s 16M " +
                ShellQuote(ntfs) + "; mkntfs -Q -F -q -p 0 -H 255 -S 63 " + ShellQuote(ntfs) +
                " >/dev/null 2>&1; ntfs-3g " + ShellQuote(ntfs) + " " + mnt + "; cp " + photo + " " + mnt +
                "/; rm " + mnt + "/photo.jpg; umount " + mnt);
            QVERIFY2(made.status == 0, made.output.c_str());
            images.push_back(ext);
            images.push_back(ntfs);
        }
        SystemDeviceMap::Options options;
        options.images = images;
        options.includeBlockDevices = false;
        auto devices = SystemDeviceMap::Create(options);
        QVERIFY(devices);
        CDiskInventory inventory(**devices);
        inventory.Refresh();
        auto volumeOn = [&](int disk) {
            for (int i = 0; i < inventory.volumeCount(); ++i) {
                const PartitionInfo& v = inventory.GetVolume(i);
                if (v.diskNumber == disk && (IsFatRecord(v) || IsNtfsRecord(v) || IsExtRecord(v))) return v;
            }
            return PartitionInfo{};
        };
        auto expectPicture = [&](PreviewFamily family, const PreviewSource& source) {
            // Every engine gives the file's own size; a carved JPEG ends at its end-of-image marker.
            QCOMPARE(source.size, std::uint64_t(jpeg.size()));
            auto shown = ui::PrepareFilePreview(family, source);
            QVERIFY(shown);
            QCOMPARE(shown->plan.action, PreviewAction::ShowImage);
            QCOMPARE(shown->image.size(), QSize(320, 200));
        };
        ProgressFields progress;
        const PartitionInfo fatVolume = volumeOn(0);
        auto fatScan = ScanFatVolume(**devices, fatVolume, FilterSettings::Initial(), progress);
        QVERIFY(fatScan);
        auto fatNode = FindFatFile(**fatScan, "holiday photo.jpg");
        QVERIFY(fatNode);
        expectPicture(PreviewFamily::Fat, FatPreviewSource(**devices, fatVolume, **fatNode));

        RawScanRequest request;
        request.source = fatVolume;
        request.types = {"jpg"};
        auto rawScan = ScanRaw(**devices, request, progress);
        QVERIFY2(rawScan, rawScan ? "" : rawScan.error().message.c_str());
        QVERIFY((*rawScan)->carver->found().size() == 1);
        expectPicture(PreviewFamily::Raw,
                      RawPreviewSource(*(*rawScan)->carver, *(*rawScan)->carver->found()[0]));

        if (!mounts) QSKIP("EXT3 and NTFS images need root, mke2fs and ntfs-3g");
        auto extScan = ScanExtVolume(**devices, volumeOn(1), FilterSettings::Initial(), progress);
        QVERIFY(extScan);
        auto extNode = FindExtFile(**extScan, "Lost files/photo.jpg");
        QVERIFY(extNode);
        expectPicture(PreviewFamily::Ext, ExtPreviewSource(*(*extScan)->engine, **extNode));

        auto ntfsScan = ScanNtfsVolume(**devices, volumeOn(2), FilterSettings::Initial(), progress);
        QVERIFY(ntfsScan);
        auto ntfsNode = FindNtfsFile(**ntfsScan, "photo.jpg");
        QVERIFY(ntfsNode);
        expectPicture(PreviewFamily::Ntfs, NtfsPreviewSource(*(*ntfsScan)->volume, **ntfsNode));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::FilePreviewTest)
#include "file_preview_test.moc"
