#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/recovery_app.h"
#include "gui/gui_test_support.h"
#include "ui/results/result_page.h"

namespace lumacore::testing {

// A result page opened on a fixture image the way the drive page leaves things: the partition chosen
// in the application object, then the page created and its scan run to the end.
class ResultPageRig {
  public:
    // `imagePath` is attached as the only disk; `volume` picks the partition among its volume records.
    ResultPageRig(const std::string& imagePath, const std::function<bool(const PartitionInfo&)>& volume);

    // Creates the page (of the kind the chosen partition leads to) and waits for its scan.
    ui::CResultPage* Open(int mode);
    ui::CResultPage* page() const { return page_.get(); }
    CRecoveryApp& app() { return *app_; }
    bool hasPartition() const { return found_; }
    // The navigation requests the page made.
    const std::vector<std::pair<int, int>>& hostRequests() const { return host_.requests; }

    // The tree's folder with this path below the root ("Old Stuff/Nested"); kNoFolder when absent.
    ui::FolderId Folder(const QString& path) const;
    // The list's texts in one column, row by row.
    QStringList Column(int column) const;
    // The list row of the file with this name; -1 when absent.
    int Row(const QString& name) const;
    void TickFolder(ui::FolderId folder, bool checked);
    void TickRow(const QString& name, bool checked);
    // Runs Recovery into `folder` (created if needed) with the given overwrite answers; records the
    // names asked about.
    void RecoverInto(const std::filesystem::path& folder, std::vector<OverwriteAnswer> answers = {});
    QStringList asked;
    std::vector<ui::RunSummary> summaries;

  private:
    std::unique_ptr<CRecoveryApp> app_;
    RecordingHost host_;
    std::unique_ptr<ui::CResultPage> page_;
    bool found_ = false;
};

// The SHA-256 of what the fixture script wrote at `path` in `image` (manifest.txt); empty when unknown.
std::string ManifestSha256(const std::string& image, const std::string& path);
std::string FileSha256(const std::filesystem::path& file);

}  // namespace lumacore::testing
