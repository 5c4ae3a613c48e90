// lumacore-device-helper / lumacore-device-writer: run as root through pkexec, they open block devices
// for the unprivileged desktop program and command line and hand the open descriptor back over the
// socket on standard input. Nothing but block devices under /dev is ever opened; the reader opens them
// read-only, the writer (its own polkit action, authorised for every use) read-write for a partition
// restore.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/device_helper_protocol.h"

namespace {

using namespace lumacore::device_helper;

constexpr int kSocket = STDIN_FILENO;

#ifdef LUMACORE_HELPER_WRITES
constexpr int kOpenFlags = O_RDWR;
constexpr bool kServesOneRequest = true;
#else
constexpr int kOpenFlags = O_RDONLY;
constexpr bool kServesOneRequest = false;
#endif

bool Send(const std::string& text, int fd = -1) {
    iovec part{const_cast<char*>(text.data()), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    }
    while (true) {
        if (::sendmsg(kSocket, &message, MSG_NOSIGNAL) >= 0) return true;
        if (errno != EINTR) return false;
    }
}

bool Refuse(int code, const std::string& why) {
    return Send(std::string(kErrorAnswer) + std::to_string(code) + " " + why);
}

// The path the caller names is resolved here, as root, so that a link cannot lead the helper anywhere but
// a block device under /dev; the opened descriptor is checked again, since the name could change between
// the two looks.
bool Serve(const std::string& request) {
    if (request.rfind(kOpenRequest, 0) != 0) return Refuse(EINVAL, "unknown request");
    const std::string path = request.substr(kOpenRequest.size());
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
        return Refuse(EINVAL, "not an absolute path");
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return Refuse(errno, std::strerror(errno));
    if (std::strncmp(resolved, "/dev/", 5) != 0) return Refuse(EPERM, "only devices under /dev are opened");
    const int fd = ::open(resolved, kOpenFlags | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return Refuse(errno, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) {
        ::close(fd);
        return Refuse(EPERM, "only block devices are opened");
    }
    const bool sent = Send(std::string(kOkAnswer), fd);
    ::close(fd);
    return sent;
}

}  // namespace

int main() {
    struct stat st {};
    if (::fstat(kSocket, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        static const char usage[] = "this helper is started by lumacore through pkexec, not by hand\n";
        (void)!::write(STDERR_FILENO, usage, sizeof(usage) - 1);
        return 2;
    }
    char buffer[kMaxMessage];
    while (true) {
        const ssize_t n = ::recv(kSocket, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;  // the program closed its end: done
        if (!Serve(std::string(buffer, static_cast<std::size_t>(n)))) return 1;
        if (kServesOneRequest) return 0;
    }
}
