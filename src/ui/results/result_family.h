#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/filter.h"
#include "core/progress.h"
#include "core/result.h"
#include "preview/preview_source.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {
class DeviceMap;
class RecoverySettings;
}  // namespace lumacore

namespace lumacore::ui {

// A folder of the result tree (the engine's tree item id) and a found file (an index into the family's
// table of records, fixed once the scan has ended).
using FolderId = std::uint32_t;
using FileId = std::uint32_t;
inline constexpr FolderId kNoFolder = 0xFFFFFFFFu;

// The file list's columns, the same on every page.
enum ResultColumn : int {
    kColumnName,
    kColumnSize,
    kColumnType,
    kColumnAttributes,
    kColumnModified,
    kColumnCreated,
    kColumnAccessed,
    kColumnCount
};

struct FileTotals {
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};

// How a column of a record sorts: by number, or by text compared byte-wise.
struct SortKey {
    std::uint64_t number = 0;
    std::string text;
};

// What a scan is started with; read once by the worker.
struct ScanRequest {
    const RecoverySettings& settings;
    int mode = 0;  // SCAN_DELETED, SCAN_FORMATTED or SCAN_RAW
    ProgressFields& progress;
    const StopToken& stop;
};

// What a recovery run did: its counts and a line per file that failed ("name: reason"); when the run
// could not start at all, `error` is set and `text` says why.
struct RecoveryReport {
    QString text;
    bool error = false;
    RecoverRunResult counts;
    std::vector<std::string> failures;
};

// What the page says when Recovery is pressed with nothing to recover; nothing when the text is empty.
struct NothingCheckedNotice {
    QString caption;
    QString text;
    bool information = false;
};

// One engine family (FAT, NTFS, EXT, RAW) as the result page sees it: the scan, the folder tree with its
// check boxes, the records with their row texts and sort keys, the read primitive of previews and
// thumbnails, and the recover run. The page, its models and its workers know nothing else of an engine.
// Workers call Scan, Read and Recover while the user-interface thread waits in the progress dialog, so
// nothing here is ever used from two threads at once.
class ResultFamily {
  public:
    virtual ~ResultFamily() = default;

    virtual PreviewFamily previewFamily() const = 0;
    // Flat check boxes (EXT: the root stands for "some file is ticked") or folder-wise ones.
    virtual bool flatChecks() const { return false; }
    // The progress dialog's title line for the scan, and its estimate mode.
    virtual QString ScanTitle(int mode) const = 0;
    virtual int ScanEstimateMode(int /*mode*/) const { return 0; }

    // Runs the engine's scan (worker thread). False when the engine could not read the volume: the
    // tree then stays empty.
    virtual bool Scan(const ScanRequest& request) = 0;

    // The folder tree.
    virtual FolderId root() const = 0;
    virtual const std::vector<FolderId>& children(FolderId folder) const = 0;
    virtual FolderId parent(FolderId folder) const = 0;
    virtual int rowInParent(FolderId folder) const = 0;
    virtual QString folderText(FolderId folder) const = 0;
    // 0 drive root, 1/2 folder, 3/4 deleted folder (the engines' image numbers).
    virtual int folderImage(FolderId folder) const = 0;
    virtual bool folderExpanded(FolderId folder) const = 0;
    // The folder the scan asked to have selected, else the root.
    virtual FolderId initialFolder() const = 0;
    virtual bool folderChecked(FolderId folder) const = 0;
    virtual void setFolderChecked(FolderId folder, bool checked) = 0;

    // The records.
    virtual std::size_t fileCount() const = 0;
    virtual const std::vector<FileId>& filesOf(FolderId folder) const = 0;
    virtual bool fileChecked(FileId file) const = 0;
    virtual void setFileChecked(FileId file, bool checked) = 0;
    virtual std::string fileName(FileId file) const = 0;  // the name the row shows (UTF-8)
    virtual std::uint64_t fileSize(FileId file) const = 0;
    // The row's text in a column; for kColumnType only the record's own type text (EXT), else empty,
    // and the page shows the desktop's type name.
    virtual QString cellText(FileId file, int column) const = 0;
    // Sort key of a column other than kColumnType.
    virtual SortKey sortKey(FileId file, int column) const = 0;
    virtual FilterSubject filterSubject(FileId file) const = 0;

    // Up to `maxBytes` of the file's data from its start (worker or user-interface thread).
    virtual Result<std::vector<std::byte>> Read(FileId file, std::uint64_t maxBytes) = 0;

    // Whether the Recovery button has anything to take (by default: the root is ticked), and what it
    // says when not.
    virtual bool HasRecoverableSelection() const { return root() != kNoFolder && folderChecked(root()); }
    virtual NothingCheckedNotice NothingChecked() const = 0;
    // Writes what is ticked now (worker thread) through `writer`.
    virtual RecoveryReport Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                   const StopToken& stop) = 0;

    // The preview's view of a record.
    PreviewSource Preview(FileId file);
    bool AnyFileChecked() const;
};

}  // namespace lumacore::ui
