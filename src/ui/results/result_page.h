#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "core/filter_settings.h"
#include "core/progress.h"
#include "recovery/recovered_file_writer.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/pages/page.h"
#include "ui/results/result_family.h"

class QCheckBox;
class QMenu;

namespace lumacore::ui {

class CProgressDlg;
class CResultSplitter;
class ResultListModel;
class ResultTreeModel;

// List view modes of the View Mode menu.
enum ViewMode : int { VIEW_ICONS = 32773, VIEW_DETAILS = 32774 };

// The result page of every engine family (CResultPage_FAT, _NTFS, _EXT and _RAW are this page with
// their family): 300 ms after it opens it runs the scan behind the progress dialog, then shows the
// folder tree beside the file list with the found and ticked totals, narrows the list with the page's
// own filter, switches between details and thumbnails, previews a file on a double-click, and writes the
// ticked files into a folder the user picks, asking before it overwrites anything.
class CResultPage : public CPage {
    Q_OBJECT
  public:
    QString helpSection() const override { return QStringLiteral("results"); }
    // Home throws the scan away: asked first when it found anything.
    bool ConfirmLeave() override;
    static constexpr const char* kLeaveQuestion =
        "Going to the home page discards the files this scan found. Leave the results?";
    static constexpr int kScanDelayMs = 300;
    // Thumbnails read at most this much of a file: a picture larger than this is shown by its icon.
    static constexpr std::uint64_t kMaxThumbnailBytes = std::uint64_t{64} << 20;

    CResultPage(const PageContext& context, std::unique_ptr<ResultFamily> family, const QString& className,
                QWidget* parent);
    ~CResultPage() override;

    // The page's class name as the code knows it ("CResultPage_FAT", ...).
    QString className() const { return className_; }
    ResultFamily& family() const { return *family_; }
    ResultTreeModel& treeModel() const { return *treeModel_; }
    ResultListModel& listModel() const { return *listModel_; }
    CResultSplitter* splitter() const { return splitter_; }
    CProgressDlg* progressDialog() const { return progress_.get(); }
    QCheckBox* filterCheck() const { return filterCheck_; }
    CSkinButton* filterButton() const { return filter_; }
    CSkinButton* viewModeButton() const { return viewMode_; }
    CSkinButton* recoveryButton() const { return recovery_; }
    CSkinButton* backButton() const { return back_; }

    bool scanFinished() const { return scanFinished_; }
    int viewMode() const { return viewModeValue_; }
    FolderId shownFolder() const { return shownFolder_; }
    FileTotals foundTotals() const { return found_; }
    FileTotals selectedTotals() const { return selected_; }
    QString foundTotalsText() const;
    QString selectedTotalsText() const;
    FilterSettings& pageFilter() { return pageFilter_; }
    int thumbnailRuns() const { return thumbnailRuns_; }
    int thumbnailsDecoded() const { return thumbnailsDecoded_; }
    QString destination() const { return destination_; }

    // The steps behind the controls, public so that tests and the screenshot tool can take them.
    void StartScan();
    void SelectFolder(FolderId folder);
    void ApplyFilter(bool on);
    void RefillList();
    void SetViewMode(int mode);
    void Recover();
    void ShowViewModeMenu();

    // Seams: where the destination comes from (the folder chooser by default) and who answers the
    // overwrite question (COverwriteDlg by default).
    using FolderChooser = std::function<QString(QWidget*)>;
    using OverwriteAsker = std::function<OverwriteAnswer(const QString& fileName)>;
    void SetFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    void SetOverwriteAsker(OverwriteAsker asker) { askOverwrite_ = std::move(asker); }
    // Who is told the summary after a recovery (the summary box by default).
    using SummaryShower = std::function<void(const RunSummary&)>;
    void SetSummaryShower(SummaryShower shower) { showSummary_ = std::move(shower); }
    // The summary of the last recovery run.
    const RunSummary& lastSummary() const { return lastSummary_; }

  Q_SIGNALS:
    void scanDone();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnFolderCheck(FolderId folder, bool checked);
    void OnFileCheck(FileId file, bool checked);
    void OnSortClicked(int column);
    void OnPreview(const QModelIndex& index);
    void RunThumbnails();
    void UpdateSelectedTotals();
    void ExpandHints();
    std::vector<FileId> ListedFiles() const;
    FileTotals FoundTotals() const;
    void ShowRows(std::vector<FileId> rows);
    QString ChooseFolder();
    OverwriteAnswer AskOverwrite(const QString& fileName);
    void ShowSummary(const RunSummary& summary);

    QString className_;
    std::unique_ptr<ResultFamily> family_;
    std::unique_ptr<ResultTreeModel> treeModel_;
    std::unique_ptr<ResultListModel> listModel_;
    std::unique_ptr<CProgressDlg> progress_;
    StopToken stop_;
    FilterSettings pageFilter_;
    CResultSplitter* splitter_ = nullptr;
    QCheckBox* filterCheck_ = nullptr;
    CSkinButton* filter_ = nullptr;
    CSkinButton* viewMode_ = nullptr;
    CSkinButton* recovery_ = nullptr;
    CSkinButton* back_ = nullptr;
    bool scanStarted_ = false;
    bool scanFinished_ = false;
    bool listChanged_ = true;
    int viewModeValue_ = VIEW_DETAILS;
    FolderId shownFolder_ = kNoFolder;
    FileTotals found_;
    FileTotals selected_;
    int thumbnailRuns_ = 0;
    int thumbnailsDecoded_ = 0;
    QString destination_;
    FolderChooser chooseFolder_;
    OverwriteAsker askOverwrite_;
    SummaryShower showSummary_;
    RunSummary lastSummary_;
};

// The summary of a recovery run into `folder`; `stopped`: Cancel was pressed during it.
RunSummary RecoverySummary(const RecoveryReport& report, const QString& folder, bool stopped);

}  // namespace lumacore::ui
