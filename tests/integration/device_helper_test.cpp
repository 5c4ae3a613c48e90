// The privileged device helper, as an unprivileged user meets it: the helper runs as root (pkexec's part,
// played here by the test, which is root), the command line runs as "nobody" and reads a loop device it
// has no right to open, through the descriptor the helper passes back.
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "integration/image_fixture.h"
#include "platform/device_helper_protocol.h"
#include "platform/file_descriptor.h"

namespace lumacore {
namespace {

using testing::RunCommand;
using testing::ShellQuote;

constexpr uid_t kNobody = 65534;

struct Helper {
    FileDescriptor socket;
    pid_t pid = -1;
};

Helper StartHelper(const char* program) {
    int ends[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(ends[1], STDIN_FILENO);
        ::close(ends[0]);
        ::close(ends[1]);
        ::execl(program, program, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    return Helper{FileDescriptor(ends[0]), pid};
}

int StopHelper(Helper& helper) {
    helper.socket.Close();
    int status = 0;
    ::waitpid(helper.pid, &status, 0);
    return status;
}

// Asks the helper directly; returns the answer text and the descriptor it carried (or -1).
std::string Ask(int socket, const std::string& path, FileDescriptor& received) {
    const std::string request = "open " + path;
    EXPECT_GT(::send(socket, request.data(), request.size(), 0), 0);
    char text[device_helper::kMaxMessage];
    iovec part{text, sizeof(text)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t n = ::recvmsg(socket, &message, 0);
    if (n <= 0) return "(no answer)";
    if (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr && header->cmsg_type == SCM_RIGHTS) {
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(header), sizeof(int));
        received = FileDescriptor(fd);
    }
    return std::string(text, static_cast<std::size_t>(n));
}

// Runs the command line as "nobody" with the given environment additions; output and exit status.
testing::CommandResult RunAsNobody(const std::string& arguments, const std::string& environment,
                                   int keepFd = -1) {
    int output[2];
    EXPECT_EQ(::pipe(output), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
        const std::string command = "env " + environment + " " + ShellQuote(LUMACORE_CLI) + " " + arguments;
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    testing::CommandResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(output[0], buffer, sizeof(buffer))) > 0)
        result.output.append(buffer, static_cast<std::size_t>(n));
    ::close(output[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class DeviceHelperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up a loop device and play pkexec's part";
        if (!testing::ToolAvailable("losetup")) GTEST_SKIP() << "losetup is missing";
        const auto image = testing::ImageFixtures::ScratchDir() / "helper-sample.img";
        ASSERT_EQ(
            RunCommand(
                "zstd -d -q -f " +
                ShellQuote((testing::ImageFixtures::SourceDir() / "samples/sample-disk.img.zst").string()) +
                " -o " + ShellQuote(image.string()))
                .status,
            0);
        const auto loop = RunCommand("losetup -r -f --show " + ShellQuote(image.string()));
        if (loop.status != 0) GTEST_SKIP() << "no loop device here";
        loop_ = loop.output.substr(0, loop.output.find('\n'));
        ::chmod(loop_.c_str(), 0660);  // root and the disk group only, as udev leaves it
    }
    void TearDown() override {
        if (!loop_.empty()) RunCommand("losetup -d " + ShellQuote(loop_));
    }
    std::string loop_;
};

TEST_F(DeviceHelperTest, UnprivilegedScanReadsTheLoopDeviceThroughTheHelper) {
    const std::string scan = "--no-devices --image " + ShellQuote(loop_) + " scan --volume 0 --json";

    // Without a helper "nobody" cannot read the device, and says why.
    const auto denied = RunAsNobody(scan, "LUMACORE_HELPER_DIR=/nonexistent");
    EXPECT_NE(denied.status, 0);
    EXPECT_NE(denied.output.find("not installed"), std::string::npos) << denied.output;

    Helper helper = StartHelper(LUMACORE_DEVICE_HELPER);
    const auto allowed = RunAsNobody(scan, "LUMACORE_DEVICE_HELPER_FD=" + std::to_string(helper.socket.get()),
                                     helper.socket.get());
    EXPECT_EQ(allowed.status, 0) << allowed.output;
    EXPECT_NE(allowed.output.find("\"foundFiles\": 6"), std::string::npos) << allowed.output;
    EXPECT_EQ(StopHelper(helper), 0);  // the helper ends when the program closes its socket
}

TEST_F(DeviceHelperTest, HelperOpensOnlyBlockDevicesUnderDev) {
    Helper helper = StartHelper(LUMACORE_DEVICE_HELPER);
    FileDescriptor fd;
    EXPECT_EQ(Ask(helper.socket.get(), loop_, fd), "ok");
    ASSERT_TRUE(fd.valid());
    // Read-only: the descriptor the reader hands out cannot write.
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_ACCMODE, O_RDONLY);
    char byte = 0;
    EXPECT_EQ(::pwrite(fd.get(), &byte, 1, 0), -1);

    const auto link = testing::ImageFixtures::ScratchDir() / "link-to-passwd";
    std::filesystem::remove(link);
    std::filesystem::create_symlink("/etc/passwd", link);
    for (const std::string& path : {std::string("/etc/passwd"), link.string(), std::string("/dev/null"),
                                    std::string("relative/path"), std::string("/dev/../etc/shadow")}) {
        FileDescriptor none;
        const std::string answer = Ask(helper.socket.get(), path, none);
        EXPECT_EQ(answer.rfind("error ", 0), 0u) << path << ": " << answer;
        EXPECT_FALSE(none.valid()) << path;
    }
    EXPECT_EQ(Ask(helper.socket.get(), "/dev/does-not-exist", fd).rfind("error 2 ", 0), 0u);
    EXPECT_EQ(StopHelper(helper), 0);
}

TEST_F(DeviceHelperTest, WriterOpensReadWriteAndServesOneRequest) {
    Helper writer = StartHelper(LUMACORE_DEVICE_WRITER);
    FileDescriptor fd;
    EXPECT_EQ(Ask(writer.socket.get(), loop_, fd), "ok");
    ASSERT_TRUE(fd.valid());
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_ACCMODE, O_RDWR);
    int status = 0;
    ::waitpid(writer.pid, &status, 0);  // one request, then it ends on its own
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace lumacore
