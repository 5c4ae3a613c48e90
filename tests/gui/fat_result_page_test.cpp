// The FAT result page on a FAT16 image made with mkfs.fat and mtools: the scan behind the progress
// dialog, tree and list texts, check boxes and totals, recovery compared byte for byte with what was
// written, the overwrite answers, sorting, the page's filter and the thumbnails.
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QCryptographicHash>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "core/scan_mode.h"
#include "preview/image_type.h"
#include "ui/preview/image_decoder.h"
#include "core/size_text.h"
#include "gui/result_page_support.h"
#include "ui/dialogs/overwrite_dlg.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_tree_model.h"
#include "ui/skin/skin_button.h"

namespace lumacore {

using testing::FileSha256;
using testing::ManifestSha256;
using ui::CResultPage;

namespace {

const std::string kImage = "fat16-default";

void Scribble(const std::filesystem::path& file, std::size_t bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << std::string(bytes, 'X');
}

}  // namespace

class FatResultPageTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testing::ResultPageRig> rig_;
    QTemporaryDir out_;

    CResultPage* page() const { return rig_->page(); }
    std::filesystem::path Out(const std::string& name) const {
        return std::filesystem::path(out_.path().toStdString()) / name;
    }

  private Q_SLOTS:
    void initTestCase() {
        rig_ = std::make_unique<testing::ResultPageRig>(
            testing::FixtureImage(kImage), [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        QVERIFY(rig_->hasPartition());
        QVERIFY(rig_->Open(SCAN_DELETED));
        QCOMPARE(page()->className(), QStringLiteral("CResultPage_FAT"));
    }
    void cleanupTestCase() { rig_.reset(); }

    void treeAndListShowWhatTheScanFound() {
        const auto& family = page()->family();
        QCOMPARE(family.folderText(family.root()), QStringLiteral("FAT16 - Logical Disk (C:)"));
        QVERIFY(rig_->Folder(QStringLiteral("Old Stuff/Nested")) != ui::kNoFolder);
        QVERIFY(rig_->Folder(QStringLiteral("Projects/2023/Q4")) != ui::kNoFolder);
        // The root is shown first: its own files, and the totals of everything below it.
        QCOMPARE(page()->shownFolder(), family.root());
        QCOMPARE(rig_->Column(ui::kColumnName),
                 QStringList({QStringLiteral("deleted-contiguous.bin"), QStringLiteral("Ελληνικά.txt"),
                              QStringLiteral("old 2020 report.txt"), QStringLiteral("#HORT.txt")}));
        QCOMPARE(rig_->Column(ui::kColumnSize),
                 QStringList({QStringLiteral("40.00 KB"), QStringLiteral("1.46 KB"),
                              QStringLiteral("3.91 KB"), QStringLiteral("300 Byte")}));
        QCOMPARE(rig_->Column(ui::kColumnModified)[2], QStringLiteral("2020-06-15   12:00:00"));
        QCOMPARE(rig_->Column(ui::kColumnAccessed)[0], QStringLiteral("2026-10-05   12:00:00"));
        QCOMPARE(rig_->Column(ui::kColumnAttributes)[0], QStringLiteral("RW"));
        QVERIFY(!rig_->Column(ui::kColumnType)[0].isEmpty());
        QCOMPARE(page()->foundTotalsText(), QStringLiteral("12 files - 72.18 KB"));
        QCOMPARE(page()->selectedTotalsText(), QStringLiteral("0 files - 0.00 Byte"));
    }

    void ticksKeepTreeListAndRecordsInStep() {
        const ui::FolderId oldStuff = rig_->Folder(QStringLiteral("Old Stuff"));
        const ui::FolderId nested = rig_->Folder(QStringLiteral("Old Stuff/Nested"));
        rig_->TickFolder(oldStuff, true);
        const auto& family = page()->family();
        QVERIFY(family.folderChecked(family.root()));
        QVERIFY(family.folderChecked(nested));
        QCOMPARE(page()->selectedTotalsText(), QStringLiteral("3 files - 11.59 KB"));  // 2000 + 9270 + 600

        page()->SelectFolder(oldStuff);
        QCOMPARE(rig_->Column(ui::kColumnName),
                 QStringList({QStringLiteral("first letter.txt"), QStringLiteral("#ICTURE.bmp")}));
        QCOMPARE(page()->listModel().index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        rig_->TickRow(QStringLiteral("first letter.txt"), false);
        QCOMPARE(page()->selectedTotalsText(), QStringLiteral("2 files - 9.64 KB"));
        QVERIFY(family.folderChecked(oldStuff));  // the picture is still ticked
        rig_->TickRow(QStringLiteral("#ICTURE.bmp"), false);
        QVERIFY(family.folderChecked(oldStuff));  // so is Nested below it
        rig_->TickFolder(nested, false);
        QVERIFY(!family.folderChecked(oldStuff));
        QVERIFY(!family.folderChecked(family.root()));
        QCOMPARE(page()->selectedTotalsText(), QStringLiteral("0 files - 0.00 Byte"));
    }

    // A double-click previews what the page's own read gives: the found picture whole, decodable.
    void previewReadsTheFoundFileThroughThePage() {
        page()->SelectFolder(rig_->Folder(QStringLiteral("Old Stuff")));
        const int row = rig_->Row(QStringLiteral("#ICTURE.bmp"));
        QVERIFY(row >= 0);
        const PreviewSource source = page()->family().Preview(page()->listModel().FileAt(row));
        QCOMPARE(source.name, std::string("#ICTURE.bmp"));
        auto data = source.read(source.size);
        QVERIFY(data.has_value());
        QCOMPARE(data->size(), source.size);
        const QByteArray bytes(reinterpret_cast<const char*>(data->data()), static_cast<qsizetype>(data->size()));
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString(),
                 ManifestSha256(kImage, "/Old Stuff/picture.bmp"));
        QVERIFY(!ui::DecodeImage(*data, ImageTypeFromName(source.name)).isNull());
    }

    void recoveryWritesTheTickedFilesByteForByte() {
        rig_->TickFolder(rig_->Folder(QStringLiteral("Old Stuff")), true);
        rig_->RecoverInto(Out("all"));
        QCOMPARE(FileSha256(Out("all") / "Old Stuff" / "first letter.txt"),
                 ManifestSha256(kImage, "/Old Stuff/first letter.txt"));
        QCOMPARE(FileSha256(Out("all") / "Old Stuff" / "#ICTURE.bmp"),
                 ManifestSha256(kImage, "/Old Stuff/picture.bmp"));
        QCOMPARE(FileSha256(Out("all") / "Old Stuff" / "Nested" / "deep note.txt"),
                 ManifestSha256(kImage, "/Old Stuff/Nested/deep note.txt"));
        QVERIFY(!std::filesystem::exists(Out("all") / "Projects"));  // not ticked
        QVERIFY(rig_->asked.isEmpty());

        // The next run takes what is ticked now, not what was ticked before.
        page()->SelectFolder(rig_->Folder(QStringLiteral("Old Stuff")));
        rig_->TickRow(QStringLiteral("first letter.txt"), false);
        rig_->RecoverInto(Out("second"));
        QVERIFY(!std::filesystem::exists(Out("second") / "Old Stuff" / "first letter.txt"));
        QVERIFY(std::filesystem::exists(Out("second") / "Old Stuff" / "#ICTURE.bmp"));
        rig_->TickRow(QStringLiteral("first letter.txt"), true);
    }

    void overwriteAnswers() {
        const auto folder = Out("all") / "Old Stuff";
        const auto letter = folder / "first letter.txt", picture = folder / "#ICTURE.bmp",
                   note = folder / "Nested" / "deep note.txt";
        // Longer than the found files: a kept tail would show.
        for (const auto& file : {letter, picture, note}) Scribble(file, 20000);

        rig_->asked.clear();
        rig_->RecoverInto(Out("all"), {OverwriteAnswer::No, OverwriteAnswer::Yes, OverwriteAnswer::Cancel});
        QCOMPARE(rig_->asked, QStringList({QStringLiteral("first letter.txt"), QStringLiteral("#ICTURE.bmp"),
                                           QStringLiteral("deep note.txt")}));
        QCOMPARE(std::filesystem::file_size(letter), std::uintmax_t{20000});  // No: untouched
        QCOMPARE(FileSha256(picture), ManifestSha256(kImage, "/Old Stuff/picture.bmp"));
        QCOMPARE(std::filesystem::file_size(note), std::uintmax_t{20000});  // Cancel: untouched, run over

        for (const auto& file : {letter, picture, note}) Scribble(file, 20000);
        rig_->asked.clear();
        rig_->RecoverInto(Out("all"), {OverwriteAnswer::YesToAll});
        QCOMPARE(rig_->asked.size(), 1);
        QCOMPARE(FileSha256(letter), ManifestSha256(kImage, "/Old Stuff/first letter.txt"));
        QCOMPARE(FileSha256(picture), ManifestSha256(kImage, "/Old Stuff/picture.bmp"));
        QCOMPARE(FileSha256(note), ManifestSha256(kImage, "/Old Stuff/Nested/deep note.txt"));
    }

    void overwriteDialogButtons() {
        const std::pair<QPushButton* (ui::COverwriteDlg::*)() const, OverwriteAnswer> buttons[] = {
            {&ui::COverwriteDlg::yesButton, OverwriteAnswer::Yes},
            {&ui::COverwriteDlg::yesToAllButton, OverwriteAnswer::YesToAll},
            {&ui::COverwriteDlg::noButton, OverwriteAnswer::No},
            {&ui::COverwriteDlg::cancelButton, OverwriteAnswer::Cancel}};
        for (const auto& [button, answer] : buttons) {
            ui::COverwriteDlg dialog(QStringLiteral("a.txt"), page());
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Confirm File Overwrite"));
            QCOMPARE(dialog.questionText(),
                     QStringLiteral("This folder already contains a file named 'a.txt'"));
            QVERIFY(dialog.yesButton()->isDefault());
            dialog.show();
            (dialog.*button)()->click();
            QCOMPARE(dialog.answer(), answer);
            QVERIFY(dialog.isHidden());
        }
        // Closing it any other way is Cancel.
        ui::COverwriteDlg dialog(QStringLiteral("a.txt"), page());
        dialog.show();
        dialog.close();
        QCOMPARE(dialog.answer(), OverwriteAnswer::Cancel);
    }

    void sortingBySizeTwice() {
        page()->SelectFolder(page()->family().root());
        page()->listModel().SortByColumn(ui::kColumnSize);
        QCOMPARE(rig_->Column(ui::kColumnName),
                 QStringList({QStringLiteral("deleted-contiguous.bin"), QStringLiteral("old 2020 report.txt"),
                              QStringLiteral("Ελληνικά.txt"), QStringLiteral("#HORT.txt")}));
        page()->listModel().SortByColumn(ui::kColumnSize);
        QCOMPARE(
            rig_->Column(ui::kColumnName),
            QStringList({QStringLiteral("#HORT.txt"), QStringLiteral("Ελληνικά.txt"),
                         QStringLiteral("old 2020 report.txt"), QStringLiteral("deleted-contiguous.bin")}));
        // Name: first click descending, compared without case.
        page()->listModel().SortByColumn(ui::kColumnName);
        QCOMPARE(rig_->Column(ui::kColumnName).first(), QStringLiteral("Ελληνικά.txt"));
        QCOMPARE(rig_->Column(ui::kColumnName).last(), QStringLiteral("#HORT.txt"));
    }

    void filterCheckBoxNarrowsTheList() {
        page()->SelectFolder(page()->family().root());
        page()->pageFilter().nameText = "REPORT";
        QVERIFY(!page()->filterButton()->isEnabled());
        page()->filterCheck()->click();
        QVERIFY(page()->filterButton()->isEnabled());
        QCOMPARE(rig_->Column(ui::kColumnName), QStringList({QStringLiteral("old 2020 report.txt")}));
        QCOMPARE(page()->foundTotalsText(), QStringLiteral("1 files - 3.91 KB"));
        page()->filterCheck()->click();
        QVERIFY(!page()->filterButton()->isEnabled());
        QCOMPARE(rig_->Column(ui::kColumnName).size(), 4);
        page()->pageFilter().nameText.clear();
    }

    void iconsTwiceDrawsThumbnailsOnce() {
        page()->SelectFolder(rig_->Folder(QStringLiteral("Old Stuff")));
        const int runs = page()->thumbnailRuns();
        page()->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page()->thumbnailRuns(), runs + 1);
        // The BMP decodes; the text file gets its icon.
        const ui::FileId picture = page()->listModel().FileAt(rig_->Row(QStringLiteral("#ICTURE.bmp")));
        const ui::FileId letter = page()->listModel().FileAt(rig_->Row(QStringLiteral("first letter.txt")));
        QVERIFY(page()->listModel().HasThumbnail(picture));
        QVERIFY(!page()->listModel().HasThumbnail(letter));
        const auto cell =
            page()->listModel().index(rig_->Row(QStringLiteral("#ICTURE.bmp")), 0).data(Qt::DecorationRole);
        QCOMPARE(cell.value<QPixmap>().size(), QSize(90, 90));

        page()->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page()->thumbnailRuns(), runs + 1);
        page()->SetViewMode(ui::VIEW_DETAILS);
        page()->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page()->thumbnailRuns(), runs + 1);
        // A new selection shows details again, and the next Icons draws anew.
        page()->SelectFolder(page()->family().root());
        QCOMPARE(page()->viewMode(), int(ui::VIEW_DETAILS));
        page()->SelectFolder(rig_->Folder(QStringLiteral("Old Stuff")));
        page()->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page()->thumbnailRuns(), runs + 2);
        page()->SetViewMode(ui::VIEW_DETAILS);
    }

    void totalsTexts() {
        QCOMPARE(QString::fromStdString(TotalsText(1, 1023)), QStringLiteral("1 files - 1023.00 Byte"));
        QCOMPARE(QString::fromStdString(TotalsText(1, 1024)), QStringLiteral("1 files - 1.00 KB"));
        QCOMPARE(QString::fromStdString(TotalsText(1, 1048576)), QStringLiteral("1 files - 1.00 MB"));
        QCOMPARE(QString::fromStdString(TotalsText(1, 1073741824)), QStringLiteral("1 files - 1.00 GB"));
        // Beyond 32 bits the totals keep counting rather than wrap.
        QCOMPARE(QString::fromStdString(TotalsText(2, 6442450944ull)), QStringLiteral("2 files - 6.00 GB"));
    }

    // A copy quick-formatted by mkfs.fat over the same geometry: the formatted-drive mode finds the old
    // folders by their content.
    void formattedDriveMode() {
        const auto image = Out("formatted.img");
        std::filesystem::copy_file(testing::FixtureImage(kImage), image);
        const std::string format =
            "mkfs.fat -F 16 -h 2048 --offset=2048 '" + image.string() + "' 31744 >/dev/null 2>&1";
        if (std::system(format.c_str()) != 0) QSKIP("mkfs.fat (dosfstools) is not installed");

        testing::ResultPageRig rig(image.string(),
                                   [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        ui::CResultPage* formatted = rig.Open(SCAN_FORMATTED);
        QVERIFY(formatted);
        QCOMPARE(formatted->progressDialog()->titleText(), QStringLiteral("Scanning Formated Drive ..."));
        QVERIFY(formatted->family().children(formatted->family().root()).size() > 0);
        rig.TickFolder(formatted->family().root(), true);
        rig.RecoverInto(Out("formatted-out"));
        // The three-deep Projects/2023/Q4 comes back with its summary, wherever the tree hangs it.
        bool found = false;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Out("formatted-out"))) {
            // Short names only: the formatted-drive scan reads 8.3 entries.
            if (QString::fromStdString(entry.path().filename().string()).toLower() !=
                QStringLiteral("summary.txt"))
                continue;
            QCOMPARE(FileSha256(entry.path()), ManifestSha256(kImage, "/Projects/2023/Q4/summary.txt"));
            found = true;
        }
        QVERIFY(found);
    }

    void nothingTickedAsksToTick() {
        testing::MessageRecorder messages;
        rig_->TickFolder(page()->family().root(), false);
        bool chooserShown = false;
        page()->SetFolderChooser([&](QWidget*) {
            chooserShown = true;
            return QString();
        });
        page()->Recover();
        QVERIFY(!chooserShown);
        QCOMPARE(messages.texts(), QStringList({QStringLiteral("Please check files for recovering")}));
        QCOMPARE(messages.messages().front().first, QString());
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::FatResultPageTest)
#include "fat_result_page_test.moc"
