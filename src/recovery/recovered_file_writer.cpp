#include "recovery/recovered_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace lumacore {

namespace {

namespace fs = std::filesystem;

// How many names EnsureFolder tries when the ones it picks are taken on disk by something that is not a
// folder (files or links left by an earlier run). Past that the destination is not worth fighting.
constexpr int kMaxFolderNameAttempts = 64;

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

}  // namespace

bool HasQuoteInFirstThree(std::string_view name) {
    return name.substr(0, 3).find('"') != std::string_view::npos;
}

RecoveredFileWriter::RecoveredFileWriter(fs::path destinationRoot, OverwritePolicy policy, AskOverwrite ask,
                                         std::vector<fs::path> protectedFiles)
    : root_(std::move(destinationRoot)), policy_(policy), ask_(std::move(ask)) {
    for (const fs::path& file : protectedFiles) {
        if (auto identity = IdentityOf(file)) protected_.push_back(*identity);
    }
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

bool RecoveredFileWriter::IsProtected(std::uint64_t device, std::uint64_t inode) const {
    for (const FileIdentity& identity : protected_) {
        if (identity == FileIdentity{device, inode}) return true;
    }
    return false;
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
    const std::function<Result<void>(OutputFile&)>& copy) {
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

    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor file(::openat(*dirFd, name.c_str(), kCreate, 0666));
    if (!file.valid()) {
        if (const int code = errno; code != EEXIST) {
            Fail(folder, name, SystemMessage("Cannot create file " + name, code));
            return Outcome::Failed;
        }
        struct stat existing {};
        if (::fstatat(*dirFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            const int code = errno;
            Fail(folder, name, SystemMessage("Cannot query file " + name, code));
            return Outcome::Failed;
        }
        if (S_ISLNK(existing.st_mode)) {
            Fail(folder, name, name + " is a symbolic link; recovered files are never written through one");
            return Outcome::Failed;
        }
        if (!S_ISREG(existing.st_mode)) {
            Fail(folder, name, name + " exists and is not a regular file");
            return Outcome::Failed;
        }
        if (IsProtected(existing.st_dev, existing.st_ino)) {
            Fail(folder, name, name + " is the image being recovered from");
            return Outcome::Failed;
        }
        const std::optional<bool> overwrite = MayOverwrite(name);
        if (!overwrite) {
            cancelled_ = true;
            return Outcome::Cancelled;
        }
        if (!*overwrite) return Outcome::KeptExisting;

        // O_NONBLOCK: should a FIFO have taken the file's place since the check, opening it must not hang.
        file = FileDescriptor(::openat(*dirFd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (!file.valid() || ::fstat(file.get(), &opened) != 0) {
            const int code = errno;
            Fail(folder, name, SystemMessage("Cannot open file " + name, code));
            return Outcome::Failed;
        }
        if (opened.st_dev != existing.st_dev || opened.st_ino != existing.st_ino) {
            Fail(folder, name, name + " changed while it was being opened");
            return Outcome::Failed;
        }
    }

    OutputFile out(file.get(), Join(*folderKey, name));
    const Result<void> copied = copy(out);
    const std::uint64_t finalSize = copied ? size : out.written();
    if (::ftruncate(file.get(), static_cast<off_t>(finalSize)) != 0) {
        const int code = errno;
        Fail(folder, name, SystemMessage("Cannot set the size of " + name, code));
        return Outcome::Failed;
    }
    if (const int code = file.Close(); code != 0) {
        Fail(folder, name, SystemMessage("Cannot write file " + name, code));
        return Outcome::Failed;
    }
    if (!copied) {
        Fail(folder, name, copied.error().message);
        return Outcome::Failed;
    }
    return Outcome::Written;
}

}  // namespace lumacore
