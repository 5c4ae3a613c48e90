#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/file_times.h"
#include "core/result.h"
#include "platform/file_descriptor.h"
#include "platform/output_guard.h"
#include "recovery/background_hasher.h"
#include "recovery/destination_guard.h"
#include "recovery/name_sanitizer.h"
#include "recovery/output_file.h"
#include "recovery/readback_hasher.h"
#include "recovery/recovery_report.h"

namespace lumacore {

// The overwrite question, as the desktop program and the command line ask it: the existing file's name
// goes between the first text's quotes.
inline constexpr const char* kOverwriteExistsPrefix = "This folder already contains a file named '";
inline constexpr const char* kOverwriteQuestion = "Would you like to overwrite the exsisting file?";

// The overwrite dialog's four results.
enum class OverwriteAnswer : int { Cancel = 0, Yes = 1, YesToAll = 2, No = 3 };

// What to do with a file that already exists: --overwrite ask|yes|no ("all" on the command line = Always).
enum class OverwritePolicy { Ask, Always, Never };

// Asked with the name of the existing file (as it is in the destination folder).
using AskOverwrite = std::function<OverwriteAnswer(const std::string& fileName)>;

// Names that have a double quote among their first three characters are left out of a recovery.
bool HasQuoteInFirstThree(std::string_view name);

// One file or folder that could not be recovered, for the run's report.
struct RecoveryFailure {
    std::string name;  // path below the destination root, '/'-separated
    std::string message;
};

// What a found file brings besides its data: its times and where its data lay on the source.
struct FoundFileDetails {
    FileTimes times;
    std::vector<SourceByteRun> byteRuns;
};

// What the writer does beyond writing the data; everything is on unless switched off.
struct WriterOptions {
    // Files and folders get the modification and access times they had. Linux has no call that sets a
    // birth time, so creation times only reach the report.
    bool times = true;
    // sha256 of every file, computed from the bytes as they are written.
    bool hash = true;
    // report.xml (DFXML) and sha256sums.txt beside the recovered files, written by Finish.
    bool report = true;
};

// Writes recovered files below a destination root, and never anywhere else: every name is sanitised
// and made unique per folder, folders are opened one level at a time without following symbolic links,
// and the last component is opened with O_NOFOLLOW. Files that are the image being read are never
// opened for writing. Used by the GUI and the command line alike, so both lay out and overwrite the same.
class RecoveredFileWriter {
  public:
    enum class Outcome { Written, KeptExisting, Failed, Cancelled };

    // `protectedFiles` are the images being read; a missing one is simply not there to protect.
    // Without an `ask` callback, Ask keeps existing files.
    RecoveredFileWriter(std::filesystem::path destinationRoot, OverwritePolicy policy, AskOverwrite ask,
                        std::vector<std::filesystem::path> protectedFiles, WriterOptions options = {});

    // Creates (if needed) the sanitised sub-folder `rawName` inside `parent`, which must be the
    // destination root or a folder returned by this writer, and returns its path. The same name in the
    // same parent gives the same folder; names that only sanitise alike get distinct folders.
    Result<std::filesystem::path> EnsureFolder(const std::filesystem::path& parent, std::string_view rawName);

    // Writes one file as folder/sanitised(rawName) (made unique within the run), asking about an
    // existing file as the policy says. `copy` appends the file's data from offset 0; when it succeeds
    // the file is then cut or extended to exactly `size` bytes, and when it fails the file keeps just
    // what was written. An existing longer file therefore never keeps its old tail. Once cancelled,
    // every further call returns Cancelled without touching anything.
    // A written file gets the times of `details` (as the options say) and is listed in the report.
    Outcome WriteFile(const std::filesystem::path& folder, std::string_view rawName, std::uint64_t size,
                      const std::function<Result<void>(OutputFile&)>& copy,
                      const FoundFileDetails& details = {});

    // Gives `folder` (one returned by EnsureFolder) these times once the run is over: writing files into
    // a folder moves its modification time, so folder times wait for Finish.
    void SetFolderTimes(const std::filesystem::path& folder, const FileTimes& times);

    // Ends the run: folder times are set (deepest first, so a parent's time is not moved by its
    // children's), then the reports are written into the destination root under names no file of the
    // run or of the folder has. `source` names the disk or image read, for the report. Only the first
    // call does anything; a failure is also in failures().
    Result<void> Finish(const std::string& source = {});

    // Every file written so far, with its digest (this waits for the files still being hashed).
    const std::vector<RecoveredFileRecord>& recorded() {
        SettleDigests();
        return recorded_;
    }
    const WriterOptions& options() const { return options_; }

    bool cancelled() const { return cancelled_; }
    OverwritePolicy policy() const { return policy_; }
    const std::filesystem::path& destinationRoot() const { return root_; }
    const std::vector<RecoveryFailure>& failures() const { return failures_; }

  private:
    Result<int> OpenFolder(const std::filesystem::path& folder);
    std::optional<std::string> BelowRoot(const std::filesystem::path& path) const;
    std::optional<bool> MayOverwrite(const std::string& fileName);
    void Fail(const std::filesystem::path& folder, const std::string& name, std::string message);
    void ApplyFolderTimes();
    Result<void> WriteReport(std::string_view wantedName, const std::string& text);
    Result<void> CheckFreeSpace(int folderFd, const char* folderKey, std::uint64_t size);
    bool HashesByReadingBack(std::uint64_t size) const;
    void SettleDigests();

    std::filesystem::path root_;
    OverwritePolicy policy_;
    AskOverwrite ask_;
    OutputGuard guard_;
    bool cancelled_ = false;
    UniqueNames names_;
    std::map<std::pair<std::string, std::string>, std::filesystem::path> folders_;  // (parent, raw) -> folder
    FileDescriptor rootFd_;
    // The folder files were last written to: a run writes one folder's files one after another.
    std::string openFolderKey_;
    FileDescriptor openFolderFd_;
    std::vector<RecoveryFailure> failures_;
    WriterOptions options_;
    std::vector<RecoveredFileRecord> recorded_;
    std::unique_ptr<BackgroundHasher> hasher_;  // made when the first file is hashed
    // Large files are hashed by reading them back (see ReadBackHasher), up to this size: beyond it the
    // page cache may no longer hold a file's start by the time it is read back.
    std::uint64_t readBackLimit_ = 0;
    std::unique_ptr<ReadBackHasher> readBackHasher_;  // made when the first large file is written
    std::vector<std::size_t> awaitingDigest_;  // records whose files the read-back hasher has, in its order
    std::vector<std::pair<std::string, FileTimes>> folderTimes_;  // folder below the root -> times
    bool finished_ = false;
    std::string freeFolderKey_;  // the folder whose file system freeEstimate_ is of
    std::uint64_t freeEstimate_ = 0;
};

}  // namespace lumacore
