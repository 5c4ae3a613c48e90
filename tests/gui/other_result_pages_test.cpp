// The NTFS, EXT and RAW result pages on fixture images made with mkntfs + ntfs-3g, mke2fs + debugfs and
// mkfs.fat: what each shows, its check rule, and recovery compared byte for byte with what was written.
#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdlib>

#include "core/scan_mode.h"
#include "gui/result_page_support.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_splitter.h"

namespace lumacore {

using testing::FileSha256;
using testing::ManifestSha256;
using testing::ResultPageRig;

namespace {

std::string PrefixSha256(const std::filesystem::path& file, qint64 bytes) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(in.read(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

}  // namespace

class OtherResultPagesTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir out_;
    std::filesystem::path Out(const std::string& name) const {
        return std::filesystem::path(out_.path().toStdString()) / name;
    }

  private Q_SLOTS:
    void theListAndTheTreeUseTheRoomOfALargerWindow() {
        ResultPageRig rig(testing::FixtureImage("ntfs-deleted"), [](const PartitionInfo& v) {
            return v.FsName() == "NTFS" && v.startSector == 2048;
        });
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        QTreeView* list = page->splitter()->detailsView();
        QTreeView* tree = page->splitter()->treeView();
        const auto settle = [] {
            for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        };
        // The longest name in the folder, and what a row needs for it: box, icon and the text.
        page->SelectFolder(rig.Folder(QStringLiteral("Old Stuff")));
        settle();
        int longest = 0;
        for (const QString& name : rig.Column(ui::kColumnName))
            longest = std::max(longest, list->fontMetrics().horizontalAdvance(name));
        const int nameNeeds = longest + 13 + 16 + 8;
        const QString rootText = page->family().folderText(page->family().root());
        const int rootNeeds = tree->indentation() + 13 + 16 + tree->fontMetrics().horizontalAdvance(rootText);

        // At the designed size the columns keep what their items need, and the list scrolls.
        QVERIFY2(list->columnWidth(ui::kColumnName) >= nameNeeds,
                 qPrintable(QStringLiteral("%1 < %2").arg(list->columnWidth(ui::kColumnName)).arg(nameNeeds)));

        // At 1280 x 800 (the page below the title strip) nothing is cut while there is room to the right:
        // the columns fill the row, the Name column takes the rest, and the tree shows its root whole.
        page->resize(1280, 770);
        settle();
        const int row = list->viewport()->width();
        QHeaderView* header = list->header();
        QCOMPARE(header->sectionViewportPosition(header->logicalIndex(header->count() - 1)) +
                     header->sectionSize(header->logicalIndex(header->count() - 1)),
                 row);
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QVERIFY(list->columnWidth(ui::kColumnName) > nameNeeds);
        QCOMPARE(tree->horizontalScrollBar()->maximum(), 0);
        QVERIFY2(tree->columnWidth(0) >= rootNeeds,
                 qPrintable(QStringLiteral("%1 < %2").arg(tree->columnWidth(0)).arg(rootNeeds)));
        QVERIFY(tree->viewport()->width() >= rootNeeds);

        // The root, with a name longer than any window: the column fits it whole, and the list scrolls.
        page->SelectFolder(page->family().root());
        settle();
        int longestInRoot = 0;
        for (const QString& name : rig.Column(ui::kColumnName))
            longestInRoot = std::max(longestInRoot, list->fontMetrics().horizontalAdvance(name));
        QVERIFY(longestInRoot > row);
        QVERIFY(list->columnWidth(ui::kColumnName) >= longestInRoot + 13 + 16 + 8);
        QVERIFY(list->horizontalScrollBar()->maximum() > 0);
        // And back in the first folder the row is full again, without scrolling.
        page->SelectFolder(rig.Folder(QStringLiteral("Old Stuff")));
        settle();
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QVERIFY(list->columnWidth(ui::kColumnName) > nameNeeds);

        // Back to the designed size: the Name column gives the room back (never below its items).
        page->resize(785, 435);
        settle();
        QVERIFY(list->columnWidth(ui::kColumnName) >= nameNeeds / 2);
        QVERIFY(list->columnWidth(ui::kColumnName) < 400);
    }

    void ntfsPage() {
        ResultPageRig rig(testing::FixtureImage("ntfs-deleted"), [](const PartitionInfo& v) {
            return v.FsName() == "NTFS" && v.startSector == 2048;
        });
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_NTFS"));
        const auto& family = page->family();
        QCOMPARE(family.folderText(family.root()), QStringLiteral("NTFS - Logical Disk (C:)"));
        const ui::FolderId oldStuff = rig.Folder(QStringLiteral("Old Stuff"));
        QVERIFY(oldStuff != ui::kNoFolder);
        QVERIFY(rig.Column(ui::kColumnName).contains(QStringLiteral("downloaded.txt:Zone.Identifier")));
        const int row = rig.Row(QStringLiteral("crosses stride.txt"));
        QVERIFY(row >= 0);
        QCOMPARE(rig.Column(ui::kColumnSize)[row], QStringLiteral("700B"));
        QCOMPARE(rig.Column(ui::kColumnAttributes)[row], QStringLiteral("A-Del-"));

        {
            testing::MessageRecorder messages;
            page->Recover();
            QCOMPARE(messages.messages().size(), std::size_t{1});
            QCOMPARE(messages.messages().front().first, QStringLiteral("Notice"));
            QCOMPARE(messages.messages().front().second, QStringLiteral("Please select file to recover!"));
        }

        rig.TickFolder(oldStuff, true);
        QCOMPARE(page->selectedTotalsText(),
                 QStringLiteral("4 files - 40.89 KB"));  // 2000 + 9270 + 600 + 30000
        rig.RecoverInto(Out("ntfs"));
        for (const char* path : {"Old Stuff/first letter.txt", "Old Stuff/picture.bmp",
                                 "Old Stuff/Nested/deep note.txt", "Old Stuff/Nested/data.bin"}) {
            QCOMPARE(FileSha256(Out("ntfs") / path), ManifestSha256("ntfs-deleted", std::string("/") + path));
        }
        // Unticked since: not taken by the next run.
        page->SelectFolder(oldStuff);
        rig.TickRow(QStringLiteral("picture.bmp"), false);
        rig.RecoverInto(Out("ntfs-2"));
        QVERIFY(std::filesystem::exists(Out("ntfs-2") / "Old Stuff" / "first letter.txt"));
        QVERIFY(!std::filesystem::exists(Out("ntfs-2") / "Old Stuff" / "picture.bmp"));

        // The picture decodes into a thumbnail through the NTFS read.
        rig.TickRow(QStringLiteral("picture.bmp"), true);
        page->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page->thumbnailsDecoded(), 1);
    }

    // A quick-formatted NTFS volume: the records found outside the new MFT give the old files back
    // under their own folder, read through their own run lists.
    void ntfsFormattedPage() {
        ResultPageRig rig(testing::FixtureImage("ntfs-formatted"), [](const PartitionInfo& v) {
            return v.FsName() == "NTFS" && v.startSector == 2048;
        });
        ui::CResultPage* page = rig.Open(SCAN_FORMATTED);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_NTFS"));
        const ui::FolderId old = rig.Folder(QStringLiteral("Old MFT Records"));
        QVERIFY(old != ui::kNoFolder);
        rig.TickFolder(old, true);
        rig.RecoverInto(Out("ntfs-formatted"));
        for (const char* path : {"root picture.bmp", "Documents/small.txt", "Documents/report.txt"}) {
            QCOMPARE(FileSha256(Out("ntfs-formatted") / "Old MFT Records" / path),
                     ManifestSha256("ntfs-formatted", std::string("/") + path));
        }
    }

    void extPage() {
        ResultPageRig rig(testing::FixtureImage("ext2-deleted"),
                          [](const PartitionInfo& v) { return v.FsName() == "EXT2"; });
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_EXT"));
        const auto& family = page->family();
        QCOMPARE(family.folderText(family.root()), QStringLiteral("EXT2( EXT2_1K )"));
        QCOMPARE(family.folderText(family.children(family.root()).front()), QStringLiteral("Lost files"));
        QCOMPARE(rig.Column(ui::kColumnName).size(), 10);
        const int row = rig.Row(QStringLiteral("inode_00000011.tmp"));
        QCOMPARE(rig.Column(ui::kColumnSize)[row], QStringLiteral(" 1.46 KB"));
        QCOMPARE(rig.Column(ui::kColumnAttributes)[row], QStringLiteral("rw-r--"));
        QCOMPARE(page->foundTotalsText(), QStringLiteral("10 files - 5.33 MB"));

        // Nothing ticked: Recovery does nothing, and says nothing.
        {
            testing::MessageRecorder messages;
            bool asked = false;
            page->SetFolderChooser([&](QWidget*) {
                asked = true;
                return QString();
            });
            page->Recover();
            QVERIFY(!asked);
            QVERIFY(messages.messages().empty());
        }

        // Flat checks: a row ticks the root; unticking the last row clears it.
        rig.TickRow(QStringLiteral("inode_00000011.tmp"), true);
        QVERIFY(family.folderChecked(family.root()));
        rig.TickRow(QStringLiteral("inode_0000065C.tmp"), true);
        rig.TickRow(QStringLiteral("inode_0000065C.tmp"), false);
        QVERIFY(family.folderChecked(family.root()));
        rig.TickRow(QStringLiteral("inode_00000011.tmp"), false);
        QVERIFY(!family.folderChecked(family.root()));

        rig.TickRow(QStringLiteral("inode_00000011.tmp"), true);
        rig.TickRow(QStringLiteral("inode_0000065C.tmp"), true);
        QCOMPARE(page->selectedTotalsText(), QStringLiteral("2 files - 10.52 KB"));  // 1500 + 9270
        rig.RecoverInto(Out("ext"));
        QCOMPARE(FileSha256(Out("ext") / "inode_00000011.tmp"), ManifestSha256("ext2-deleted", "/Grüße.txt"));
        QCOMPARE(FileSha256(Out("ext") / "inode_0000065C.tmp"),
                 ManifestSha256("ext2-deleted", "/docs/old/picture.bmp"));
        // The two files, and the hash list and report the writer leaves beside them.
        QCOMPARE(std::distance(std::filesystem::directory_iterator(Out("ext")), {}), 4);
        QVERIFY(std::filesystem::exists(Out("ext") / "sha256sums.txt"));
        QVERIFY(std::filesystem::exists(Out("ext") / "report.xml"));

        // Overwrite: No keeps the file, Yes to All writes the rest without asking again.
        QFile::resize(QString::fromStdString((Out("ext") / "inode_00000011.tmp").string()), 5);
        QFile::resize(QString::fromStdString((Out("ext") / "inode_0000065C.tmp").string()), 5);
        rig.RecoverInto(Out("ext"), {OverwriteAnswer::No, OverwriteAnswer::YesToAll});
        QCOMPARE(rig.asked.size(), 2);
        QCOMPARE(std::filesystem::file_size(Out("ext") / "inode_00000011.tmp"), std::uintmax_t{5});
        QCOMPARE(FileSha256(Out("ext") / "inode_0000065C.tmp"),
                 ManifestSha256("ext2-deleted", "/docs/old/picture.bmp"));

        // Ticking the tree ticks every file.
        rig.TickFolder(family.root(), true);
        QCOMPARE(page->selectedTotalsText(), QStringLiteral("10 files - 5.33 MB"));
    }

    // A folder on the very volume being read (mounted through a loop device over the image) is refused
    // on the EXT page too, before anything is written.
    void extRefusesItsOwnVolume() {
        const auto image = Out("ext-copy.img");
        std::filesystem::copy_file(testing::FixtureImage("ext2-deleted"), image);
        ResultPageRig rig(image.string(), [](const PartitionInfo& v) { return v.FsName() == "EXT2"; });
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        const std::uint64_t offset = std::uint64_t{rig.app().settings.SelectedPartition.startSector} * 512;
        const auto mountPoint = Out("mnt");
        std::filesystem::create_directories(mountPoint);
        const std::string mount = "mount -o ro,loop,offset=" + std::to_string(offset) + " '" +
                                  image.string() + "' '" + mountPoint.string() + "' 2>/dev/null";
        if (std::system(mount.c_str()) != 0)
            QSKIP("cannot loop-mount the image here (needs root and loop devices)");
        rig.TickFolder(page->family().root(), true);
        testing::MessageRecorder messages;
        bool asked = false;
        page->SetOverwriteAsker([&](const QString&) {
            asked = true;
            return OverwriteAnswer::Cancel;
        });
        page->SetFolderChooser([&](QWidget*) { return QString::fromStdString(mountPoint.string()); });
        page->Recover();
        const std::string unmount = "umount '" + mountPoint.string() + "'";
        QCOMPARE(std::system(unmount.c_str()), 0);
        QCOMPARE(messages.messages().size(), std::size_t{1});
        QCOMPARE(messages.messages().front().first, QStringLiteral("Lumacore Data Recovery"));
        QCOMPARE(messages.messages().front().second,
                 QStringLiteral(
                     "The lost files can\u2019t be recovered to the same drive where they were originally "
                     "located. Please select another partition."));
        QVERIFY(!asked);
    }

    void rawPage() {
        ResultPageRig rig(testing::FixtureImage("fat16-default"),
                          [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        ui::CResultPage* page = rig.Open(SCAN_RAW);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_RAW"));
        const auto& family = page->family();
        QCOMPARE(family.folderText(family.root()), QStringLiteral("RAW - Logical Disk (C:)"));
        const ui::FolderId bitmaps = rig.Folder(QStringLiteral("Windows bitmap"));
        QVERIFY(bitmaps != ui::kNoFolder);
        page->SelectFolder(bitmaps);
        QCOMPARE(rig.Column(ui::kColumnName),
                 QStringList({QStringLiteral("File0.bmp"), QStringLiteral("File1.bmp")}));
        // The bitmap's own size, as its header gives it: not the run to the next header.
        QCOMPARE(rig.Column(ui::kColumnSize).front(), QStringLiteral("18.1KB"));

        {
            testing::MessageRecorder messages;
            page->Recover();
            QCOMPARE(messages.texts(), QStringList({QStringLiteral("Please select file to recover!")}));
        }
        rig.TickRow(QStringLiteral("File0.bmp"), true);
        QVERIFY(family.folderChecked(bitmaps));
        QCOMPARE(page->selectedTotalsText(), QStringLiteral("1 files - 18.05 KB"));
        rig.RecoverInto(Out("raw"));
        // The carved file starts with the chart that was written there.
        QCOMPARE(PrefixSha256(Out("raw") / "bmp" / "File0.bmp", 18486),
                 ManifestSha256("fat16-default", "/Projects/2023/Q4/chart.bmp"));
        QCOMPARE(std::filesystem::file_size(Out("raw") / "bmp" / "File0.bmp"), std::uintmax_t{18486});
        QVERIFY(!std::filesystem::exists(Out("raw") / "bmp" / "File1.bmp"));

        // Both carved files begin with a bitmap's header.
        page->SetViewMode(ui::VIEW_ICONS);
        QCOMPARE(page->thumbnailsDecoded(), 2);
    }

    // Only the types left ticked in the options dialog are carved.
    void rawPageCarvesTheTickedTypesOnly() {
        ResultPageRig rig(testing::FixtureImage("fat16-default"),
                          [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        QVERIFY(rig.app().rawTypeSelection.EnsureLoaded());
        QVERIFY(rig.app().rawTypeSelection.EnableOnly({"png"}).empty());
        ui::CResultPage* page = rig.Open(SCAN_RAW);
        QVERIFY(page);
        QCOMPARE(rig.Folder(QStringLiteral("Windows bitmap")), ui::kNoFolder);
    }

    // Deselect All then OK carves nothing at all (it once carved every type).
    void rawPageWithNothingTickedCarvesNothing() {
        ResultPageRig rig(testing::FixtureImage("fat16-default"),
                          [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        QVERIFY(rig.app().rawTypeSelection.EnsureLoaded());
        for (SignatureEntry& entry : rig.app().rawTypeSelection.entries()) entry.enabled = false;
        ui::CResultPage* page = rig.Open(SCAN_RAW);
        QVERIFY(page);
        // The scan did nothing: no tree of carved files.
        QCOMPARE(page->family().root(), ui::kNoFolder);
    }

    // Ticks travel entry by entry: an unticked entry stays off though a ticked one shares its extension.
    void rawPageKeepsTheTickOfEachEntrySharingAnExtension() {
        ResultPageRig rig(testing::FixtureImage("fat16-default"),
                          [](const PartitionInfo& v) { return v.FsName() == "FAT"; });
        auto& entries = rig.app().rawTypeSelection.entries();
        QVERIFY(rig.app().rawTypeSelection.EnsureLoaded());
        const auto bitmap = std::find_if(entries.begin(), entries.end(),
                                         [](const SignatureEntry& e) { return e.extension == "bmp"; });
        QVERIFY(bitmap != entries.end());
        SignatureEntry copy = *bitmap;
        copy.description = "Bitmap, second entry";
        for (SignatureEntry& entry : entries) entry.enabled = false;
        copy.enabled = true;
        entries.push_back(copy);
        ui::CResultPage* page = rig.Open(SCAN_RAW);
        QVERIFY(page);
        QCOMPARE(rig.Folder(QStringLiteral("Windows bitmap")), ui::kNoFolder);
        QVERIFY(rig.Folder(QStringLiteral("Bitmap, second entry")) != ui::kNoFolder);
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::OtherResultPagesTest)
#include "other_result_pages_test.moc"
