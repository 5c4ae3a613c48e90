#include "platform/device_helper_client.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/device_helper_protocol.h"

namespace lumacore {

namespace {

using namespace device_helper;

constexpr const char* kReadHelper = "lumacore-device-helper";
constexpr const char* kWriteHelper = "lumacore-device-writer";
// pkexec's own exit codes: the user dismissed the dialog or was not authorised.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;

Error Refused(const std::string& path, const std::string& why) {
    return Error::Make(ErrorKind::AccessDenied, path + ": " + why);
}

std::optional<std::filesystem::path> HelperProgram(const char* name) {
    std::error_code error;
    std::filesystem::path folder;
    if (const char* dir = std::getenv("LUMACORE_HELPER_DIR"); dir != nullptr && *dir != '\0') {
        folder = dir;
    } else {
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error) return std::nullopt;
        folder = program.parent_path().parent_path() / "libexec" / "lumacore";
    }
    const auto helper = folder / name;
    if (!std::filesystem::is_regular_file(helper, error)) return std::nullopt;
    return helper;
}

// A helper started through pkexec, talking over a SOCK_SEQPACKET pair whose far end is its standard input.
struct HelperProcess {
    FileDescriptor socket;
    pid_t pid = -1;
};

Result<HelperProcess> StartHelper(const char* name, const std::string& path) {
    const auto helper = HelperProgram(name);
    if (!helper)
        return Refused(path, "administrator rights are needed and the device helper is not installed");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        return Error::Io("cannot start the device helper", errno);
    }
    FileDescriptor ours(ends[0]);
    FileDescriptor theirs(ends[1]);
    const std::string program = helper->string();
    const pid_t pid = ::fork();
    if (pid < 0) return Error::Io("cannot start the device helper", errno);
    if (pid == 0) {
        // dup2 leaves the copy open across exec; everything else of ours is close-on-exec.
        if (::dup2(theirs.get(), STDIN_FILENO) < 0) ::_exit(kPkexecNotAuthorised);
        ::execlp("pkexec", "pkexec", program.c_str(), static_cast<char*>(nullptr));
        ::_exit(kPkexecNotAuthorised);
    }
    return HelperProcess{std::move(ours), pid};
}

// Why a helper ended without answering: the user said no, or the helper could not run.
std::string EndedWhy(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) &&
        (WEXITSTATUS(status) == kPkexecDismissed || WEXITSTATUS(status) == kPkexecNotAuthorised)) {
        return "authorisation was refused";
    }
    return "the device helper ended without an answer";
}

// One request and its answer. nullopt when the helper is gone (no answer at all).
std::optional<Result<FileDescriptor>> Ask(int socket, const std::string& path) {
    const std::string request = std::string(kOpenRequest) + path;
    if (request.size() > kMaxMessage) return Result<FileDescriptor>(Refused(path, "the path is too long"));
    while (::send(socket, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    char text[kMaxMessage];
    iovec part{text, sizeof(text)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    ssize_t n;
    while ((n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (n <= 0) return std::nullopt;
    FileDescriptor received;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
            header->cmsg_len == CMSG_LEN(sizeof(int))) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(header), sizeof(int));
            received = FileDescriptor(fd);
        }
    }
    const std::string answer(text, static_cast<std::size_t>(n));
    if (answer == kOkAnswer && received.valid()) return Result<FileDescriptor>(std::move(received));
    if (answer.rfind(kErrorAnswer, 0) == 0) {
        const std::string rest = answer.substr(kErrorAnswer.size());
        const std::size_t space = rest.find(' ');
        Error e = Error::Io(
            "cannot open " + path + ": " + (space == std::string::npos ? rest : rest.substr(space + 1)),
            std::atoi(rest.c_str()));
        if (e.systemCode == EACCES || e.systemCode == EPERM) e.kind = ErrorKind::AccessDenied;
        if (e.systemCode == ENOENT) e.kind = ErrorKind::NotFound;
        return Result<FileDescriptor>(std::move(e));
    }
    return Result<FileDescriptor>(Refused(path, "the device helper gave no device"));
}

// The read helper lives as long as the program, so the user authorises once; once refused, it is not
// asked again in this run (every disk of the list would pop up another dialog).
class ReadHelperConnection {
  public:
    Result<FileDescriptor> Open(const std::string& path) {
        std::lock_guard lock(mutex_);
        if (refusedWhy_) return Refused(path, *refusedWhy_);
        if (!socket_.valid()) {
            if (const char* fd = std::getenv("LUMACORE_DEVICE_HELPER_FD"); fd != nullptr && *fd != '\0') {
                socket_ = FileDescriptor(::dup(std::atoi(fd)));
                if (!socket_.valid()) return Refused(path, "LUMACORE_DEVICE_HELPER_FD is not open");
            } else {
                auto started = StartHelper(kReadHelper, path);
                if (!started) return started.error();
                socket_ = std::move(started->socket);
                pid_ = started->pid;
            }
        }
        if (auto answer = Ask(socket_.get(), path)) return std::move(*answer);
        socket_.Close();
        refusedWhy_ = pid_ > 0 ? EndedWhy(std::exchange(pid_, -1)) : std::string("the device helper ended");
        return Refused(path, *refusedWhy_);
    }

  private:
    std::mutex mutex_;
    FileDescriptor socket_;
    pid_t pid_ = -1;
    std::optional<std::string> refusedWhy_;
};

Result<FileDescriptor> OpenForWriting(const std::string& path) {
    auto started = StartHelper(kWriteHelper, path);
    if (!started) return started.error();
    auto answer = Ask(started->socket.get(), path);
    started->socket.Close();
    if (!answer) return Refused(path, EndedWhy(started->pid));
    int status = 0;
    while (::waitpid(started->pid, &status, 0) < 0 && errno == EINTR) {
    }
    return std::move(*answer);
}

}  // namespace

Result<FileDescriptor> OpenThroughHelper(const std::string& path, AccessMode mode) {
    if (mode == AccessMode::ReadWrite) return OpenForWriting(path);
    static ReadHelperConnection connection;
    return connection.Open(path);
}

}  // namespace lumacore
