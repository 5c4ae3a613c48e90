// The exFAT result page on volumes made by mkfs.exfat and written and deleted through exfat-fuse: the
// page the drive page's choice leads to in both modes, the rows, the preview read and recovery compared
// byte for byte with what the fixture script wrote (exfat-manifest.txt).
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "core/scan_mode.h"
#include "gui/result_page_support.h"
#include "integration/image_fixture.h"
#include "ui/results/result_list_model.h"

namespace lumacore {

using testing::FileSha256;
using ui::CResultPage;

namespace {

std::string ExfatManifestSha256(const std::string& path) {
    std::ifstream in(testing::ImageFixtures::SourceDir() / "tests" / "fixtures" / "exfat-manifest.txt");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() > 3 && fields[1] == path) return fields[3];
    }
    return {};
}

bool IsExfat(const PartitionInfo& volume) {
    return volume.FsName() == "exFAT";
}

}  // namespace

class ExfatResultPageTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir out_;

    std::filesystem::path Out(const std::string& name) const {
        return std::filesystem::path(out_.path().toStdString()) / name;
    }

  private Q_SLOTS:
    void deletedFilesAreListedPreviewedAndRecovered() {
        testing::ResultPageRig rig(testing::FixtureImage("exfat-deleted"), IsExfat);
        QVERIFY(rig.hasPartition());
        CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_exFAT"));
        const auto& family = page->family();
        QVERIFY(family.folderText(family.root()).startsWith(QStringLiteral("exFAT - Logical Disk (")));
        QVERIFY(rig.Folder(QStringLiteral("Old/Sub")) != ui::kNoFolder);
        QVERIFY(rig.Folder(QStringLiteral("DCIM/100CAMERA")) != ui::kNoFolder);

        // Rows as on the FAT page; sizes and times from the entry sets.
        QCOMPARE(page->shownFolder(), family.root());
        const int large = rig.Row(QStringLiteral("large.bin"));
        QVERIFY(large >= 0);
        QCOMPARE(rig.Column(ui::kColumnSize)[large], QStringLiteral("3.00 MB"));
        QCOMPARE(rig.Column(ui::kColumnAttributes)[large], QStringLiteral("RW"));
        QCOMPARE(rig.Column(ui::kColumnModified)[large].size(), 21);
        QVERIFY(!rig.Column(ui::kColumnCreated)[large].isEmpty());
        QVERIFY(!rig.Column(ui::kColumnAccessed)[large].isEmpty());
        page->listModel().SortByColumn(ui::kColumnSize);
        QCOMPARE(rig.Column(ui::kColumnName).first(), QStringLiteral("large.bin"));

        // The preview reads through the page's own read.
        const int small = rig.Row(QStringLiteral("small.txt"));
        QVERIFY(small >= 0);
        const PreviewSource source = page->family().Preview(page->listModel().FileAt(small));
        auto data = source.read(source.size);
        QVERIFY(data.has_value());
        const QByteArray bytes(reinterpret_cast<const char*>(data->data()),
                               static_cast<qsizetype>(data->size()));
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString(),
                 ExfatManifestSha256("small.txt"));

        // Only what is ticked is written, into the folders the tree shows.
        rig.TickFolder(rig.Folder(QStringLiteral("Old")), true);
        rig.RecoverInto(Out("deleted"));
        QCOMPARE(FileSha256(Out("deleted") / "Old" / "notes.txt"), ExfatManifestSha256("Old/notes.txt"));
        QCOMPARE(FileSha256(Out("deleted") / "Old" / "Sub" / "deep.txt"),
                 ExfatManifestSha256("Old/Sub/deep.txt"));
        QVERIFY(!std::filesystem::exists(Out("deleted") / "DCIM"));
        QVERIFY(!std::filesystem::exists(Out("deleted") / "large.bin"));
    }

    void formattedDriveScanFindsTheOldFolders() {
        testing::ResultPageRig rig(testing::FixtureImage("exfat-formatted"), IsExfat);
        QVERIFY(rig.hasPartition());
        CResultPage* page = rig.Open(SCAN_FORMATTED);
        QVERIFY(page);
        QCOMPARE(page->className(), QStringLiteral("CResultPage_exFAT"));
        const ui::FolderId lostDir = rig.Folder(QStringLiteral("LostDIR"));
        QVERIFY(lostDir != ui::kNoFolder);

        // The old "keep" folder is one of the DIR%d folders; tick it alone and get its files back.
        const auto& family = page->family();
        ui::FolderId keep = ui::kNoFolder;
        for (ui::FolderId child : family.children(lostDir)) {
            page->SelectFolder(child);
            if (rig.Row(QStringLiteral("readme.txt")) >= 0) keep = child;
        }
        QVERIFY(keep != ui::kNoFolder);
        rig.TickFolder(keep, true);
        rig.RecoverInto(Out("formatted"));
        const auto folder = Out("formatted") / "LostDIR" / family.folderText(keep).toStdString();
        QCOMPARE(FileSha256(folder / "readme.txt"), ExfatManifestSha256("keep/readme.txt"));
        QCOMPARE(FileSha256(folder / "live-big.bin"), ExfatManifestSha256("keep/live-big.bin"));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::ExfatResultPageTest)
#include "exfat_result_page_test.moc"
