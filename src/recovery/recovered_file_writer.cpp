#include "recovery/recovered_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include "core/sha256.h"

namespace lumacore {

namespace {

namespace fs = std::filesystem;

// How many names EnsureFolder tries when the ones it picks are taken on disk by something that is not a
// folder (files or links left by an earlier run). Past that the destination is not worth fighting.
constexpr int kMaxFolderNameAttempts = 64;

// Files from this size on are hashed by reading them back once written, several at a time; below it
// they are hashed on their way out (in order, on one core beside the writer).
constexpr std::uint64_t kReadBackHashBytes = 8 << 20;

// Records that wait for the read-back hasher are settled at least this often, to keep what waits small.
constexpr std::size_t kMaxAwaitingDigests = 4096;

// Files up to an eighth of the memory are still in the page cache when they are read back.
std::uint64_t ReadBackLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 8;
}

std::string SystemMessage(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

// The path with "." and ".." resolved and without a trailing separator, so that "dest/" and "dest"
// compare equal.
fs::path Normal(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    return normal;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// The free space of the file system holding the folder; nullopt when the system does not say.
std::optional<std::uint64_t> FreeBytes(int folderFd) {
    struct statvfs vfs {};
    if (::fstatvfs(folderFd, &vfs) != 0) return std::nullopt;
    const std::uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    const std::uint64_t blocks = vfs.f_bavail;
    return unit != 0 && blocks > UINT64_MAX / unit ? UINT64_MAX : blocks * unit;
}

Result<void> NoRoomError(std::uint64_t size, std::uint64_t free) {
    return Error::Io("The file (" + std::to_string(size) +
                         " bytes) is larger than the free space left in the destination (" +
                         std::to_string(free) + " bytes)",
                     ENOSPC);
}

timespec Timespec(const std::optional<FileTime>& time) {
    if (!time) return {0, UTIME_OMIT};
    return {static_cast<time_t>(time->seconds), static_cast<long>(time->nanoseconds)};
}

// Access time first, then modification time, as futimens and utimensat take them.
std::array<timespec, 2> Timespecs(const FileTimes& times) {
    return {Timespec(times.accessed), Timespec(times.modified)};
}

// Best effort: a destination that refuses times (some FUSE file systems) still gets the data, which is
// what the user came for.
void SetTimes(int fd, const FileTimes& times) {
    if (!times.modified && !times.accessed) return;
    const std::array<timespec, 2> stamps = Timespecs(times);
    ::futimens(fd, stamps.data());
}

}  // namespace

bool HasQuoteInFirstThree(std::string_view name) {
    return name.substr(0, 3).find('"') != std::string_view::npos;
}

RecoveredFileWriter::RecoveredFileWriter(fs::path destinationRoot, OverwritePolicy policy, AskOverwrite ask,
                                         std::vector<fs::path> protectedFiles, WriterOptions options)
    : root_(std::move(destinationRoot)),
      policy_(policy),
      ask_(std::move(ask)),
      guard_({}, protectedFiles),
      options_(options),
      readBackLimit_(ReadBackLimit()) {}

bool RecoveredFileWriter::HashesByReadingBack(std::uint64_t size) const {
    return options_.hash && size >= kReadBackHashBytes && size <= readBackLimit_;
}

void RecoveredFileWriter::SettleDigests() {
    if (awaitingDigest_.empty()) return;
    std::vector<Result<std::string>> digests = readBackHasher_->TakeAll();
    for (std::size_t i = 0; i < awaitingDigest_.size() && i < digests.size(); ++i) {
        RecoveredFileRecord& record = recorded_[awaitingDigest_[i]];
        if (digests[i]) {
            record.sha256 = std::move(*digests[i]);
        } else {
            failures_.push_back({record.path, "No sha256 for " + record.path + ": " + digests[i].error().message});
        }
    }
    awaitingDigest_.clear();
}

std::optional<std::string> RecoveredFileWriter::BelowRoot(const fs::path& path) const {
    const fs::path relative = Normal(path).lexically_relative(Normal(root_));
    if (relative.empty()) return std::nullopt;  // one is absolute and the other not, or other roots
    if (relative == ".") return std::string();
    for (const fs::path& part : relative) {
        if (part == "..") return std::nullopt;
    }
    return relative.generic_string();
}

Result<int> RecoveredFileWriter::OpenFolder(const fs::path& folder) {
    const std::optional<std::string> relative = BelowRoot(folder);
    if (!relative) {
        return Error::Make(ErrorKind::InvalidArgument,
                           folder.string() + " is not inside the destination folder");
    }
    if (!rootFd_.valid()) {
        // The root is the user's choice, so a link there is followed; below it nothing is.
        rootFd_ = FileDescriptor(::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!rootFd_.valid()) {
            const int code = errno;
            return Error::Io(SystemMessage("Cannot open " + root_.string(), code), code);
        }
        if (auto allowed = guard_.CheckFolder(rootFd_.get(), root_.string()); !allowed) {
            rootFd_ = FileDescriptor();
            return allowed.error();
        }
    }
    if (relative->empty()) return rootFd_.get();
    if (openFolderFd_.valid() && openFolderKey_ == *relative) return openFolderFd_.get();

    openFolderFd_ = FileDescriptor();
    FileDescriptor current;
    for (const fs::path& part : fs::path(*relative)) {
        const int at = current.valid() ? current.get() : rootFd_.get();
        FileDescriptor next(::openat(at, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            const int code = errno;
            return Error::Io(SystemMessage("Cannot open the folder " + Join(root_.string(), *relative), code),
                             code);
        }
        current = std::move(next);
    }
    openFolderFd_ = std::move(current);
    openFolderKey_ = *relative;
    return openFolderFd_.get();
}

void RecoveredFileWriter::Fail(const fs::path& folder, const std::string& name, std::string message) {
    failures_.push_back({Join(BelowRoot(folder).value_or(folder.string()), name), std::move(message)});
}

Result<fs::path> RecoveredFileWriter::EnsureFolder(const fs::path& parent, std::string_view rawName) {
    const std::optional<std::string> parentKey = BelowRoot(parent);
    const std::string safe = SanitizePathComponent(rawName);
    if (!parentKey) {
        Error error = Error::Make(ErrorKind::InvalidArgument,
                                  parent.string() + " is not inside the destination folder");
        Fail(parent, safe, error.message);
        return error;
    }
    const auto known = folders_.find({*parentKey, std::string(rawName)});
    if (known != folders_.end()) return known->second;

    const Result<int> parentFd = OpenFolder(parent);
    if (!parentFd) {
        Fail(parent, safe, parentFd.error().message);
        return parentFd.error();
    }
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        const std::string name = names_.Claim(*parentKey, safe);
        if (::mkdirat(*parentFd, name.c_str(), 0777) != 0 && errno != EEXIST) {
            const int code = errno;
            Error error = Error::Io(SystemMessage("Cannot create the folder " + name, code), code);
            Fail(parent, name, error.message);
            return error;
        }
        struct stat st {};
        if (::fstatat(*parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            fs::path folder = parent / name;
            folders_.emplace(std::make_pair(*parentKey, std::string(rawName)), folder);
            return folder;
        }
        // Something that is not a folder holds the name: take the next one rather than write through it.
    }
    Error error = Error::Make(ErrorKind::Io, "Cannot create the folder " + safe + ": every name is taken");
    Fail(parent, safe, error.message);
    return error;
}

// true: write over it; false: keep it; nullopt: the user cancelled the run.
std::optional<bool> RecoveredFileWriter::MayOverwrite(const std::string& fileName) {
    switch (policy_) {
        case OverwritePolicy::Always:
            return true;
        case OverwritePolicy::Never:
            return false;
        case OverwritePolicy::Ask:
            break;
    }
    if (!ask_) return false;
    switch (ask_(fileName)) {
        case OverwriteAnswer::Yes:
            return true;
        case OverwriteAnswer::YesToAll:
            policy_ = OverwritePolicy::Always;
            return true;
        case OverwriteAnswer::Cancel:
            return std::nullopt;
        case OverwriteAnswer::No:
            return false;
    }
    return false;  // an answer the dialog does not have keeps the file
}

RecoveredFileWriter::Outcome RecoveredFileWriter::WriteFile(
    const fs::path& folder, std::string_view rawName, std::uint64_t size,
    const std::function<Result<void>(OutputFile&)>& copy, const FoundFileDetails& details) {
    if (cancelled_) return Outcome::Cancelled;
    const std::optional<std::string> folderKey = BelowRoot(folder);
    const std::string safe = SanitizePathComponent(rawName);
    if (!folderKey) {
        Fail(folder, safe, folder.string() + " is not inside the destination folder");
        return Outcome::Failed;
    }
    const std::string name = names_.Claim(*folderKey, safe);
    const Result<int> dirFd = OpenFolder(folder);
    if (!dirFd) {
        Fail(folder, name, dirFd.error().message);
        return Outcome::Failed;
    }
    if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        Fail(folder, name, "The file is too large to write");
        return Outcome::Failed;
    }

    if (auto room = CheckFreeSpace(*dirFd, folderKey->c_str(), size); !room) {
        Fail(folder, name, room.error().message);
        return Outcome::Failed;
    }
    const bool readBack = HashesByReadingBack(size);
    Result<FileDescriptor> created = guard_.Create(*dirFd, name, 0644, readBack);
    const bool newFile = static_cast<bool>(created);
    if (!created && created.error().systemCode != EEXIST) {
        Fail(folder, name, created.error().message);
        return Outcome::Failed;
    }
    if (!created) {
        if (auto allowed = guard_.CheckExisting(*dirFd, name); !allowed) {
            Fail(folder, name, allowed.error().message);
            return Outcome::Failed;
        }
        const std::optional<bool> overwrite = MayOverwrite(name);
        if (!overwrite) {
            cancelled_ = true;
            return Outcome::Cancelled;
        }
        if (!*overwrite) return Outcome::KeptExisting;
        created = guard_.OpenExisting(*dirFd, name, readBack);
        if (!created) {
            Fail(folder, name, created.error().message);
            return Outcome::Failed;
        }
    }
    FileDescriptor file = std::move(*created);

    Sha256 digest;
    if (options_.hash && !hasher_) hasher_ = std::make_unique<BackgroundHasher>();
    OutputFile out(file.get(), Join(*folderKey, name), options_.hash && !readBack ? &digest : nullptr, size,
                   hasher_.get());
    if (readBack) out.HashByReadingBack();
    const Result<void> copied = copy(out);
    const std::uint64_t finalSize = copied ? size : out.written();
    // A new file whose data ended exactly at its size already is that size: no call needed.
    const bool sized = newFile && out.dataEnd() == finalSize && out.written() == finalSize;
    if (!sized && ::ftruncate(file.get(), static_cast<off_t>(finalSize)) != 0) {
        const int code = errno;
        Fail(folder, name, SystemMessage("Cannot set the size of " + name, code));
        return Outcome::Failed;
    }
    if (copied && finalSize > out.written()) out.HashZeros(finalSize - out.written());
    if (options_.times) SetTimes(file.get(), details.times);
    // The read-back hasher gets its own descriptor, so that closing this one still reports a failed write.
    FileDescriptor reader;
    std::optional<Sha256> readBackDigest = out.ReadBackDigestOf(size);
    if (readBack && copied && !readBackDigest) {
        reader = FileDescriptor(::fcntl(file.get(), F_DUPFD_CLOEXEC, 0));
        if (!reader.valid()) {  // no descriptor to spare: hash it here
            Sha256 here;
            if (HashWrittenBytes(file.get(), size, size, here)) readBackDigest = here;
        }
    }
    if (const int code = file.Close(); code != 0) {
        Fail(folder, name, SystemMessage("Cannot write file " + name, code));
        return Outcome::Failed;
    }
    if (!copied) {
        Fail(folder, name, copied.error().message);
        return Outcome::Failed;
    }
    freeEstimate_ -= std::min(freeEstimate_, size);
    if (options_.hash || options_.report) {
        std::optional<std::string> sha256;
        out.FinishHashing();
        if (readBackDigest) {
            sha256 = readBackDigest->HexDigest();
        } else if (reader.valid()) {
            if (!readBackHasher_) readBackHasher_ = std::make_unique<ReadBackHasher>();
            readBackHasher_->Add(std::move(reader), size);
            awaitingDigest_.push_back(recorded_.size());
        } else if (options_.hash && !readBack) {
            sha256 = digest.HexDigest();
        }
        recorded_.push_back(
            {Join(*folderKey, name), size, std::move(sha256), details.times, details.byteRuns});
        if (awaitingDigest_.size() >= kMaxAwaitingDigests) SettleDigests();
    }
    return Outcome::Written;
}

// Refuses a file the destination has no room for before anything is written, rather than filling the
// disk and failing every file after it. An existing file being overwritten counts as no room given
// back: the check stays simple and errs on the side of refusing. The file system is asked again only
// when the folder changes or the estimate (its last answer less what was written since) runs short,
// not once per file.
Result<void> RecoveredFileWriter::CheckFreeSpace(int folderFd, const char* folderKey, std::uint64_t size) {
    if (folderKey == freeFolderKey_ && size <= freeEstimate_) return {};
    const std::optional<std::uint64_t> free = FreeBytes(folderFd);
    if (!free) return {};  // no answer: the writes themselves will tell
    freeFolderKey_ = folderKey;
    freeEstimate_ = *free;
    if (size <= *free) return {};
    return NoRoomError(size, *free);
}

void RecoveredFileWriter::SetFolderTimes(const fs::path& folder, const FileTimes& times) {
    const std::optional<std::string> key = BelowRoot(folder);
    // The root is the user's own folder: its times are not ours to change.
    if (!key || key->empty() || times.empty()) return;
    folderTimes_.emplace_back(*key, times);
}

void RecoveredFileWriter::ApplyFolderTimes() {
    const auto depth = [](const std::string& path) { return std::count(path.begin(), path.end(), '/'); };
    std::stable_sort(folderTimes_.begin(), folderTimes_.end(),
                     [&](const auto& a, const auto& b) { return depth(a.first) > depth(b.first); });
    for (const auto& [key, times] : folderTimes_) {
        const fs::path relative(key);
        const Result<int> parentFd = OpenFolder(root_ / relative.parent_path());
        if (!parentFd) continue;
        const std::array<timespec, 2> stamps = Timespecs(times);
        // Best effort like the files' times: the folder and everything in it are already written.
        ::utimensat(*parentFd, relative.filename().c_str(), stamps.data(), AT_SYMLINK_NOFOLLOW);
    }
    folderTimes_.clear();
}

Result<void> RecoveredFileWriter::WriteReport(std::string_view wantedName, const std::string& text) {
    const Result<int> rootFd = OpenFolder(root_);
    if (!rootFd) return rootFd.error();
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        const std::string name = names_.Claim("", SanitizePathComponent(wantedName));
        Result<FileDescriptor> created = guard_.Create(*rootFd, name);
        if (!created && created.error().systemCode == EEXIST) continue;  // never over an existing file
        if (!created) return created.error();
        OutputFile out(created->get(), name);
        if (auto written = out.Write(std::as_bytes(std::span<const char>(text.data(), text.size())));
            !written) {
            return written.error();
        }
        if (const int code = created->Close(); code != 0)
            return Error::Io(SystemMessage("Cannot write " + name, code), code);
        return {};
    }
    return Error::Make(ErrorKind::Io,
                       std::string("Cannot create ") + std::string(wantedName) + ": every name is taken");
}

Result<void> RecoveredFileWriter::Finish(const std::string& source) {
    if (finished_) return {};
    finished_ = true;
    SettleDigests();
    if (options_.times) ApplyFolderTimes();
    if (!options_.report || recorded_.empty()) return {};
    Result<void> outcome;
    if (auto written = WriteReport(kDfxmlReportName, DfxmlReportText(recorded_, source)); !written) {
        Fail(root_, kDfxmlReportName, written.error().message);
        outcome = written.error();
    }
    if (options_.hash) {
        if (auto written = WriteReport(kSha256ListName, Sha256ListText(recorded_)); !written) {
            Fail(root_, kSha256ListName, written.error().message);
            outcome = written.error();
        }
    }
    return outcome;
}

}  // namespace lumacore
