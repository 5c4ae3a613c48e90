#include "ui/results/result_page.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QTreeView>

#include "core/recovery_settings.h"
#include "core/size_text.h"
#include "disk/drive_tree_text.h"
#include "preview/image_type.h"
#include "recovery/destination_guard.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/dialogs/filter_dlg.h"
#include "ui/dialogs/overwrite_dlg.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/preview/file_preview.h"
#include "ui/preview/image_decoder.h"
#include "ui/results/file_type_catalog.h"
#include "ui/results/result_checks.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_splitter.h"
#include "ui/results/result_texts.h"
#include "ui/results/result_tree_model.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/card.h"
#include "ui/worker/background_job.h"

namespace lumacore::ui {

namespace {

const QRect kCardRect(20, 84, 745, 248);
const QPoint kFoundTotalsAt(28, 352);
const QPoint kSelectedTotalsAt(298, 352);

}  // namespace

CResultPage::CResultPage(const PageContext& context, std::unique_ptr<ResultFamily> family,
                         const QString& className, QWidget* parent)
    : CPage(context, parent),
      className_(className),
      family_(std::move(family)),
      treeModel_(std::make_unique<ResultTreeModel>(*family_)),
      listModel_(std::make_unique<ResultListModel>(*family_)),
      progress_(std::make_unique<CProgressDlg>(app().recoverySettings().Progress, this)),
      pageFilter_(FilterSettings::Initial()) {
    setObjectName(className_);
    const PartitionInfo& partition = app().recoverySettings().SelectedPartition;
    SetHeading(QStringLiteral("Found Files"), ModeTitle(mode()) + QStringLiteral("  \u2022  ") +
                                                  QString::fromStdString(VolumeItemText(partition)));

    auto* card = new CCard(kCardRect, this);
    splitter_ = new CResultSplitter(*treeModel_, *listModel_, card);
    splitter_->setGeometry(QRect(QPoint(0, 0), kCardRect.size()).adjusted(8, 8, -8, -8));
    // The file list takes the room a larger window gives.
    card->Anchor(splitter_, Follow::Width | Follow::Height);
    Anchor(card, Follow::Width | Follow::Height);

    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    filterCheck_ = new QCheckBox(this);
    filterCheck_->setObjectName(QStringLiteral("FilterCheck"));
    filterCheck_->setToolTip(QStringLiteral("Show only the files that pass the filter"));
    filterCheck_->setGeometry(392, 395, 20, 18);
    Anchor(filterCheck_, Follow::Right | Follow::Bottom);
    filter_ = AddCommandButton(QStringLiteral("Filter"), QStringLiteral("option"), QRect(416, 386, 100, 36));
    filter_->setEnabled(false);
    viewMode_ = AddCommandButton(QStringLiteral("View Mode"), QString(), QRect(524, 386, 116, 36));
    recovery_ =
        AddCommandButton(QStringLiteral("Recovery"), QStringLiteral("next"), QRect(648, 386, 117, 36), true);

    connect(back_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(PAGE_DRIVE, mode()); });
    connect(filterCheck_, &QCheckBox::toggled, this, &CResultPage::ApplyFilter);
    connect(filter_, &QAbstractButton::clicked, this, [this] {
        if (CFilterDlg::EditPageCopy(this, pageFilter_) == QDialog::Accepted) RefillList();
    });
    connect(viewMode_, &QAbstractButton::clicked, this, &CResultPage::ShowViewModeMenu);
    connect(recovery_, &QAbstractButton::clicked, this, &CResultPage::Recover);

    connect(treeModel_.get(), &ResultTreeModel::folderCheckClicked, this, &CResultPage::OnFolderCheck);
    connect(listModel_.get(), &ResultListModel::fileCheckClicked, this, &CResultPage::OnFileCheck);
    connect(splitter_->treeView()->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) SelectFolder(treeModel_->FolderAt(current));
            });
    QHeaderView* header = splitter_->detailsView()->header();
    connect(header, &QHeaderView::sectionClicked, this, &CResultPage::OnSortClicked);
    connect(splitter_->detailsView(), &QAbstractItemView::doubleClicked, this, &CResultPage::OnPreview);
    connect(splitter_->iconView(), &QAbstractItemView::doubleClicked, this, &CResultPage::OnPreview);

    // The scan starts once the page is on screen, so that the progress dialog has the page behind it.
    QTimer::singleShot(kScanDelayMs, this, &CResultPage::StartScan);
}

CResultPage::~CResultPage() {
    // The views go first: they read the models, which read the family's records.
    delete splitter_;
    splitter_ = nullptr;
}

void CResultPage::StartScan() {
    if (scanStarted_) return;
    scanStarted_ = true;
    progress_->SetTitle(family_->ScanTitle(mode()));
    progress_->SetEstimateMode(family_->ScanEstimateMode(mode()));
    const ScanRequest request{app().recoverySettings(), mode(), app().recoverySettings().Progress, stop_};
    RunWithProgress(*progress_, stop_, [&](JobContext&) { family_->Scan(request); });
    progress_->SetEstimateMode(0);

    treeModel_->Reload();
    ExpandHints();
    SelectFolder(family_->initialFolder());
    UpdateSelectedTotals();
    scanFinished_ = true;
    Q_EMIT scanDone();
}

void CResultPage::ExpandHints() {
    const FolderId root = family_->root();
    if (root == kNoFolder) return;
    QTreeView* tree = splitter_->treeView();
    tree->expand(treeModel_->IndexOf(root));
    std::vector<FolderId> pending(family_->children(root).begin(), family_->children(root).end());
    while (!pending.empty()) {
        const FolderId id = pending.back();
        pending.pop_back();
        if (!family_->folderExpanded(id)) continue;
        tree->expand(treeModel_->IndexOf(id));
        for (FolderId child : family_->children(id)) pending.push_back(child);
    }
}

void CResultPage::SelectFolder(FolderId folder) {
    if (folder == kNoFolder) {
        listModel_->SetRows({});
        found_ = {};
        update();
        return;
    }
    const QModelIndex index = treeModel_->IndexOf(folder);
    QTreeView* tree = splitter_->treeView();
    if (tree->currentIndex() != index) {
        // Comes back here through the view's current-changed signal.
        tree->setCurrentIndex(index);
        return;
    }
    shownFolder_ = folder;
    listChanged_ = true;
    SetViewMode(VIEW_DETAILS);
    ShowRows(ListedFiles());
    found_ = FoundTotals();
    update();
}

void CResultPage::ShowRows(std::vector<FileId> rows) {
    // New rows come in the folder's own order: no column is sorted any more.
    splitter_->detailsView()->header()->setSortIndicatorShown(false);
    listModel_->SetRows(std::move(rows));
    // Once the view has laid the new rows out: the widths are measured on the rows in view.
    QTimer::singleShot(0, splitter_, &CResultSplitter::FitColumns);
}

FileTotals CResultPage::FoundTotals() const {
    // The folder with everything below it, counted through the filter while it is on.
    const FolderId folder = family_->flatChecks() ? family_->root() : shownFolder_;
    return FolderTotals(*family_, folder, false, filterCheck_->isChecked() ? &pageFilter_ : nullptr);
}

std::vector<FileId> CResultPage::ListedFiles() const {
    std::vector<FileId> rows;
    if (shownFolder_ == kNoFolder) return rows;
    // A flat family has one list, whichever of its items is selected.
    std::vector<FolderId> folders{family_->flatChecks() ? family_->root() : shownFolder_};
    if (family_->flatChecks()) {
        for (std::size_t i = 0; i < folders.size(); ++i) {
            for (FolderId child : family_->children(folders[i])) folders.push_back(child);
        }
    }
    const bool filtered = filterCheck_->isChecked();
    for (FolderId folder : folders) {
        for (FileId file : family_->filesOf(folder)) {
            if (!filtered || PassesFilter(family_->filterSubject(file), pageFilter_)) rows.push_back(file);
        }
    }
    return rows;
}

void CResultPage::ApplyFilter(bool on) {
    if (filterCheck_->isChecked() != on) {
        filterCheck_->setChecked(on);  // comes back here through toggled()
        return;
    }
    filter_->setEnabled(on);
    RefillList();
}

void CResultPage::RefillList() {
    ShowRows(ListedFiles());
    found_ = FoundTotals();
    update();
    // The rows are new: thumbnails, when shown, are drawn again.
    listChanged_ = true;
    SetViewMode(viewModeValue_);
}

void CResultPage::ShowViewModeMenu() {
    QMenu menu(this);
    QAction* icons = menu.addAction(QStringLiteral("Icons"));
    QAction* details = menu.addAction(QStringLiteral("Details"));
    icons->setCheckable(true);
    details->setCheckable(true);
    icons->setChecked(viewModeValue_ == VIEW_ICONS);
    details->setChecked(viewModeValue_ == VIEW_DETAILS);
    const QPoint at = viewMode_->mapToGlobal(QPoint(0, -menu.sizeHint().height() - 4));
    if (QAction* chosen = menu.exec(at)) SetViewMode(chosen == icons ? VIEW_ICONS : VIEW_DETAILS);
}

void CResultPage::SetViewMode(int mode) {
    viewModeValue_ = mode == VIEW_ICONS ? VIEW_ICONS : VIEW_DETAILS;
    const bool icons = viewModeValue_ == VIEW_ICONS;
    listModel_->SetThumbnailMode(icons);
    splitter_->ShowIcons(icons);
    if (icons && listChanged_) RunThumbnails();
}

void CResultPage::RunThumbnails() {
    ++thumbnailRuns_;
    struct Row {
        FileId file;
        std::string name;
        std::uint64_t size;
    };
    std::vector<Row> rows;
    for (FileId file : listModel_->rows())
        rows.push_back({file, family_->fileName(file), family_->fileSize(file)});
    progress_->SetTitle(QString::fromLatin1(kViewingIcon));
    progress_->SetRateUnit(QStringLiteral("files"));
    RunWithProgress(*progress_, stop_, [&](JobContext& job) {
        job.progress().Start("", static_cast<std::int64_t>(rows.size()));
        for (std::size_t i = 0; i < rows.size() && !job.StopRequested(); ++i) {
            job.progress().SetDone(static_cast<std::int64_t>(i));
            const int type = ImageTypeFromName(rows[i].name);
            if (type == 0 || rows[i].size == 0 || rows[i].size > kMaxThumbnailBytes) continue;
            auto bytes = family_->Read(rows[i].file, rows[i].size);
            if (!bytes) continue;
            const QImage picture = DecodeImage(*bytes, type, QSize(kThumbnailSize, kThumbnailSize));
            if (picture.isNull()) continue;
            job.PostToUi([this, file = rows[i].file, cell = ThumbnailCell(picture)] {
                listModel_->SetThumbnail(file, cell);
                ++thumbnailsDecoded_;
            });
        }
        job.progress().SetDone(static_cast<std::int64_t>(rows.size()));
    });
    listChanged_ = false;
    listModel_->RowsChanged(Qt::DecorationRole);
}

void CResultPage::OnFolderCheck(FolderId folder, bool checked) {
    CheckFolder(*family_, folder, checked);
    listModel_->RowsChanged(Qt::CheckStateRole);
    UpdateSelectedTotals();
}

void CResultPage::OnFileCheck(FileId file, bool checked) {
    CheckFile(*family_, file, shownFolder_, checked);
    listModel_->RowsChanged(Qt::CheckStateRole);
    UpdateSelectedTotals();
}

void CResultPage::UpdateSelectedTotals() {
    selected_ = CheckedTotals(*family_);
    treeModel_->SetPartlyChecked(PartlyCheckedFolders(*family_));
    splitter_->RepaintChecks();
    update();
}

void CResultPage::OnSortClicked(int column) {
    listModel_->SortByColumn(column);
    splitter_->detailsView()->header()->setSortIndicatorShown(true);
    splitter_->detailsView()->header()->setSortIndicator(
        column, listModel_->lastSortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CResultPage::OnPreview(const QModelIndex& index) {
    if (!index.isValid()) return;
    PreviewFoundFile(this, family_->previewFamily(), family_->Preview(listModel_->FileAt(index.row())));
}

bool CResultPage::ConfirmLeave() {
    if (!scanFinished_ || family_->fileCount() == 0) return true;
    return Ask(this, QMessageBox::Question, QString::fromLatin1(kProductTitle),
               QString::fromLatin1(kLeaveQuestion), QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString CResultPage::ChooseFolder() {
    if (chooseFolder_) return chooseFolder_(this);
    // Qt's own dialog: it shows the chosen folder's full path, which is all the status line was for.
    return ChooseExistingFolder(this, QString::fromLatin1(kFolderChooserTitle), destination_);
}

OverwriteAnswer CResultPage::AskOverwrite(const QString& fileName) {
    return askOverwrite_ ? askOverwrite_(fileName) : COverwriteDlg::Ask(this, fileName.toStdString());
}

void CResultPage::Recover() {
    if (!scanFinished_) return;
    if (!family_->HasRecoverableSelection()) {
        const NothingCheckedNotice notice = family_->NothingChecked();
        if (!notice.text.isEmpty()) {
            ShowMessage(this, notice.caption, notice.text,
                        notice.information ? MessageIcon::Information : MessageIcon::None);
        }
        return;
    }
    const QString chosen = ChooseFolder();
    if (chosen.isEmpty()) return;
    destination_ = chosen;

    // Nothing may be written onto the volume being recovered: on any page, EXT included.
    const PartitionInfo& partition = app().recoverySettings().SelectedPartition;
    const auto devices = app().devices();
    const RecoverySource source = SourceOf(*devices, partition);
    const std::filesystem::path destination = chosen.toStdString();
    // Checked before anything runs: a kernel or read-only file system, or the scanned volume itself.
    if (auto allowed = CheckDestination(destination, source); !allowed) {
        ShowMessage(this, QString::fromLatin1(kProductTitle), QString::fromStdString(allowed.error().message),
                    MessageIcon::Warning);
        return;
    }

    const std::vector<std::filesystem::path> images = SourceDrivePaths(*devices);
    RecoveryReport report;
    progress_->SetTitle(QString::fromLatin1(kRecoveringTitle));
    progress_->SetRateUnit(QStringLiteral("files"));
    RunWithProgress(*progress_, stop_, [&](JobContext& job) {
        RecoveredFileWriter writer(
            destination, OverwritePolicy::Ask,
            [&](const std::string& name) {
                OverwriteAnswer answer = OverwriteAnswer::Cancel;
                job.RunOnUi([&] { answer = AskOverwrite(QString::fromStdString(name)); });
                return answer;
            },
            images);
        report = family_->Recover(writer, job.progress(), stop_);
    });
    ShowSummary(RecoverySummary(report, chosen, stop_.StopRequested()));
}

RunSummary RecoverySummary(const RecoveryReport& report, const QString& folder, bool stopped) {
    RunSummary summary;
    summary.action = QStringLiteral("Recovery");
    summary.written = report.counts.filesWritten;
    summary.bytes = report.counts.bytesWritten;
    summary.failed = report.counts.failures;
    summary.kept = report.counts.keptExisting;
    summary.cancelled = report.counts.cancelled || stopped;
    for (const std::string& line : report.failures) summary.failures << QString::fromStdString(line);
    summary.folder = folder;
    if (report.error) summary.reason = report.text;
    return summary;
}

void CResultPage::ShowSummary(const RunSummary& summary) {
    lastSummary_ = summary;
    if (showSummary_) {
        showSummary_(summary);
    } else {
        ShowRunSummary(this, summary);
    }
}

QString CResultPage::foundTotalsText() const {
    return QString::fromStdString(TotalsText(found_.count, found_.bytes));
}

QString CResultPage::selectedTotalsText() const {
    return QString::fromStdString(TotalsText(selected_.count, selected_.bytes));
}

void CResultPage::paintEvent(QPaintEvent* event) {
    CPage::paintEvent(event);
    QPainter p(this);
    const auto label = [&](QPoint at, const QString& caption, const QString& value) {
        p.setFont(skin::Font(12));
        p.setPen(skin::colour::kTextMuted);
        p.drawText(at, caption);
        const int captionWidth = p.fontMetrics().horizontalAdvance(caption);
        p.setFont(skin::Font(12, QFont::DemiBold));
        p.setPen(skin::colour::kText);
        p.drawText(at + QPoint(captionWidth + 6, 0), value);
    };
    label(Placed(kFoundTotalsAt, Follow::Bottom), QStringLiteral("Found:"), foundTotalsText());
    label(Placed(kSelectedTotalsAt, Follow::Bottom), QStringLiteral("Selected:"), selectedTotalsText());
}

}  // namespace lumacore::ui
