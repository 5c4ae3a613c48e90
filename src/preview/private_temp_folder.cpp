#include "preview/private_temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace lumacore {

namespace {

std::filesystem::path DefaultBase() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        std::error_code error;
        if (value != nullptr && *value == '/' && std::filesystem::is_directory(value, error)) return value;
    }
    return "/tmp";
}

Error SystemError(const std::string& what, int code) {
    return Error::Io(what + ": " + std::strerror(code), code);
}

}  // namespace

Result<PrivateTempFolder> PrivateTempFolder::Create(const std::filesystem::path& base) {
    std::string pattern = ((base.empty() ? DefaultBase() : base) / "lumacore-preview-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp makes the folder with mode 0700 and a name nobody can guess, or fails.
    if (::mkdtemp(buffer.data()) == nullptr)
        return SystemError("cannot make a private temporary folder", errno);
    std::filesystem::path made(buffer.data());
    FileDescriptor folder(::open(buffer.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) {
        const int code = errno;
        ::rmdir(buffer.data());
        return SystemError("cannot open the private temporary folder", code);
    }
    return PrivateTempFolder(std::move(made), std::move(folder));
}

PrivateTempFolder::PrivateTempFolder(PrivateTempFolder&& other) noexcept
    : path_(std::exchange(other.path_, {})), folder_(std::move(other.folder_)) {}

PrivateTempFolder& PrivateTempFolder::operator=(PrivateTempFolder&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::exchange(other.path_, {});
        folder_ = std::move(other.folder_);
    }
    return *this;
}

PrivateTempFolder::~PrivateTempFolder() {
    Remove();
}

void PrivateTempFolder::Remove() {
    if (path_.empty()) return;
    std::error_code ignored;
    // remove_all deletes links themselves, never what they point at.
    std::filesystem::remove_all(path_, ignored);
    path_.clear();
    folder_.Close();
}

Result<std::filesystem::path> PrivateTempFolder::WriteFile(std::string_view name, std::span<const std::byte> data,
                                                           const OutputGuard& guard) {
    if (!folder_.valid()) return Error::Make(ErrorKind::NotFound, "the private temporary folder is gone");
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos) {
        return Error::Make(ErrorKind::InvalidArgument, "not a plain file name: " + std::string(name));
    }
    const std::string file(name);
    if (::unlinkat(folder_.get(), file.c_str(), 0) != 0 && errno != ENOENT) {
        return SystemError("cannot replace " + file, errno);
    }
    if (auto allowed = guard.CheckFolder(folder_.get(), path_.string()); !allowed) return allowed.error();
    // Made new here, never opened through something put in its place.
    Result<FileDescriptor> out = guard.Create(folder_.get(), file, 0600);
    if (!out) return out.error();
    if (!WriteAllTo(out->get(), data.data(), data.size())) return SystemError("cannot write " + file, errno ? errno : EIO);
    if (const int code = out->Close(); code != 0) return SystemError("cannot write " + file, code);
    return path_ / file;
}

}  // namespace lumacore
