// The result views on a generated result set of the size a big disk gives: a folder of 100,000 files
// fills the list and sorts by every column in well under a second, and a tree of 10,000 folders opens at
// once. Prints the figures; fails only far beyond them, so that a loaded machine does not fail it.
// LUMACORE_BIG_RESULT_FILES=1000000 runs the same with a million files (scripts/gui-big-results.sh),
// where each step must stay under one second.
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include "app/recovery_app.h"
#include "gui/gui_test_support.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_page.h"
#include "ui/results/result_splitter.h"
#include "ui/results/result_tree_model.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kDefaultFiles = 100000;
constexpr std::uint32_t kFolders = 10000;
// A million rows is the aim; more than that is not a test of the views but of the machine's memory.
constexpr std::uint32_t kMaxFiles = 4000000;

std::uint32_t FileCount() {
    bool ok = false;
    const qulonglong wanted = qEnvironmentVariable("LUMACORE_BIG_RESULT_FILES").toULongLong(&ok);
    return ok && wanted > 0 ? static_cast<std::uint32_t>(std::min<qulonglong>(wanted, kMaxFiles))
                            : kDefaultFiles;
}

const std::uint32_t kFiles = FileCount();

// Folder 0 is the root, 1 holds every file, 2 .. kFolders+1 are empty sub-folders of the root.
class GeneratedFamily final : public ui::ResultFamily {
  public:
    GeneratedFamily() {
        const char* extensions[] = {"txt", "jpg", "doc", "bin", "png", "mp3", "xlsx", "zip"};
        for (std::uint32_t i = 0; i < kFiles; ++i) {
            names_.push_back("File " + std::to_string((i * 7919u) % kFiles) + "." + extensions[i % 8]);
            sizes_.push_back((i * 2654435761u) % 50000000u);
            files_.push_back(i);
        }
        checked_.assign(kFiles, false);
        rootChildren_.push_back(1);
        for (std::uint32_t f = 0; f < kFolders; ++f) rootChildren_.push_back(2 + f);
        folderChecked_.assign(kFolders + 2, false);
    }

    PreviewFamily previewFamily() const override { return PreviewFamily::Fat; }
    QString ScanTitle(int) const override { return QStringLiteral("Scanning Deleted Files ..."); }
    bool Scan(const ui::ScanRequest&) override { return true; }
    ui::FolderId root() const override { return 0; }
    const std::vector<ui::FolderId>& children(ui::FolderId f) const override {
        return f == 0 ? rootChildren_ : none_;
    }
    ui::FolderId parent(ui::FolderId f) const override { return f == 0 ? ui::kNoFolder : 0; }
    int rowInParent(ui::FolderId f) const override { return f == 0 ? 0 : static_cast<int>(f - 1); }
    QString folderText(ui::FolderId f) const override {
        return f == 0 ? QStringLiteral("FAT32 - Logical Disk (D:)") : QStringLiteral("Folder %1").arg(f);
    }
    int folderImage(ui::FolderId f) const override { return f == 0 ? 0 : 1; }
    bool folderExpanded(ui::FolderId) const override { return false; }
    ui::FolderId initialFolder() const override { return 0; }
    bool folderChecked(ui::FolderId f) const override { return folderChecked_[f]; }
    void setFolderChecked(ui::FolderId f, bool c) override { folderChecked_[f] = c; }
    std::size_t fileCount() const override { return kFiles; }
    const std::vector<ui::FileId>& filesOf(ui::FolderId f) const override { return f == 1 ? files_ : none_; }
    bool fileChecked(ui::FileId f) const override { return checked_[f]; }
    void setFileChecked(ui::FileId f, bool c) override { checked_[f] = c; }
    std::string fileName(ui::FileId f) const override { return names_[f]; }
    std::uint64_t fileSize(ui::FileId f) const override { return sizes_[f]; }
    QString cellText(ui::FileId f, int column) const override {
        switch (column) {
            case ui::kColumnName:
                return QString::fromStdString(names_[f]);
            case ui::kColumnSize:
                return QString::number(sizes_[f]);
            case ui::kColumnAttributes:
                return QStringLiteral("RW");
            case ui::kColumnType:
                return {};
            default:
                return QStringLiteral("2026-10-05   09:30:00");
        }
    }
    ui::SortKey sortKey(ui::FileId f, int column) const override {
        if (column == ui::kColumnName) return {0, LowerCaseUtf8(names_[f])};
        if (column == ui::kColumnAttributes) return {0, "RW"};
        return {column == ui::kColumnSize ? sizes_[f] : (f * 40503u) % 65536u, {}};
    }
    FilterSubject filterSubject(ui::FileId f) const override { return {names_[f], {}, 0, sizes_[f]}; }
    Result<std::vector<std::byte>> Read(ui::FileId, std::uint64_t) override {
        return std::vector<std::byte>{};
    }
    ui::NothingCheckedNotice NothingChecked() const override { return {}; }
    ui::RecoveryReport Recover(RecoveredFileWriter&, ProgressFields&, const StopToken&) override {
        return {};
    }

  private:
    std::vector<std::string> names_;
    std::vector<std::uint64_t> sizes_;
    std::vector<ui::FileId> files_;
    std::vector<bool> checked_;
    std::vector<ui::FolderId> rootChildren_;
    std::vector<ui::FolderId> none_;
    std::vector<bool> folderChecked_;
};

void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace

class ResultViewsSpeedTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void bigFolderAndBigTree() {
        CRecoveryApp app;
        testing::RecordingHost host;
        ui::CResultPage page(ui::PageContext{app, host, 10000}, std::make_unique<GeneratedFamily>(),
                             QStringLiteral("CResultPage_FAT"), nullptr);
        page.resize(785, 435);
        page.show();
        QElapsedTimer clock;

        clock.start();
        page.StartScan();  // the tree of 10,000 folders appears, the root selected
        Settle();
        const qint64 treeMs = clock.elapsed();
        QCOMPARE(page.treeModel().rowCount(page.treeModel().IndexOf(0)), int(kFolders + 1));

        clock.restart();
        page.SelectFolder(1);
        Settle();
        const qint64 fillMs = clock.elapsed();
        QCOMPARE(page.listModel().rowCount(), int(kFiles));
        QCOMPARE(page.foundTotals().count, std::uint64_t{kFiles});

        QString figures = QStringLiteral("tree of %1 folders: %2 ms; list of %3 files: %4 ms; sort by")
                              .arg(kFolders)
                              .arg(treeMs)
                              .arg(kFiles)
                              .arg(fillMs);
        qint64 slowestSort = 0;
        for (int column = 0; column < ui::kColumnCount; ++column) {
            clock.restart();
            page.listModel().SortByColumn(column);
            Settle();
            const qint64 ms = clock.elapsed();
            slowestSort = std::max(slowestSort, ms);
            figures +=
                QStringLiteral(" %1 %2 ms;")
                    .arg(page.listModel().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString())
                    .arg(ms);
        }
        // Ticking the whole folder from the tree and recounting.
        clock.restart();
        page.treeModel().setData(page.treeModel().IndexOf(0), Qt::Checked, Qt::CheckStateRole);
        Settle();
        const qint64 tickMs = clock.elapsed();
        figures += QStringLiteral(" tick all: %1 ms").arg(tickMs);
        QCOMPARE(page.selectedTotals().count, std::uint64_t{kFiles});
        qInfo("%s", qPrintable(figures));

        // Generous bounds by default: a shared, loaded machine must not fail this; the figures above are
        // the measure. The million-file run asked for explicitly holds the aim of one second a step.
        const qint64 bound = kFiles == kDefaultFiles ? 3000 : 1000;
        QVERIFY2(treeMs < 3000, qPrintable(figures));
        QVERIFY2(fillMs < bound, qPrintable(figures));
        QVERIFY2(slowestSort < bound, qPrintable(figures));
        QVERIFY2(tickMs < bound, qPrintable(figures));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::ResultViewsSpeedTest)
#include "result_views_speed_test.moc"
