#include "repair/mail_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/file_descriptor.h"
#include "platform/output_guard.h"

namespace lumacore {

namespace {

constexpr std::size_t kCopyUnit = 1024;
constexpr off_t kLocalStoreOffset = 9409;
constexpr char kLocalStore[11] = {'L', 'o', 'c', 'a', 'l', 'S', 't', 'o', 'r', 'e', '\0'};
constexpr off_t kResultOffset = 0xC4;

bool WriteAll(int fd, const void* data, std::size_t size, off_t at) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, bytes + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t size, off_t at) {
    auto* bytes = static_cast<unsigned char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(fd, bytes + done, size - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Opens the source for reading and creates (or empties) the target, then copies the whole source in
// 1024-byte reads until a short read, which is written too. The target goes through the output guard:
// never the source itself, never a link or anything but a regular file. The caller has already asked
// about an existing target.
bool CopyForRepair(const std::filesystem::path& source, const std::filesystem::path& target, FileDescriptor& out) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return false;
    Result<FileDescriptor> opened = OutputGuard({}, {source}).Open(target, true, 0644, true);
    if (!opened) return false;
    out = std::move(*opened);
    std::array<unsigned char, kCopyUnit> unit{};
    for (off_t at = 0;; at += static_cast<off_t>(kCopyUnit)) {
        ssize_t got = 0;
        std::size_t filled = 0;
        // A read of a regular file may come back short only at its end; keep reading until the unit is
        // full or the file has ended.
        while (filled < unit.size()) {
            got = ::read(in.get(), unit.data() + filled, unit.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) break;
            filled += static_cast<std::size_t>(got);
        }
        if (filled > 0 && !WriteAll(out.get(), unit.data(), filled, at)) return false;
        if (filled < unit.size()) return true;
    }
}

}  // namespace

std::int32_t RepairMailFolder(const std::filesystem::path& source, const std::filesystem::path& target) {
    FileDescriptor out;
    if (!CopyForRepair(source, target, out)) return kRepairFailed;
    std::array<char, sizeof kLocalStore> check{};
    if (!ReadAll(out.get(), check.data(), check.size(), kLocalStoreOffset) ||
        std::memcmp(check.data(), kLocalStore, sizeof kLocalStore) != 0) {
        return kRepairUnsupported;  // the unrepaired copy stays where it is
    }
    static constexpr unsigned char kHeader[8] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F};
    if (!WriteAll(out.get(), kHeader, sizeof kHeader, 0)) return kRepairFailed;
    unsigned char value[4] = {};
    if (!ReadAll(out.get(), value, sizeof value, kResultOffset)) return kRepairFailed;
    const std::uint32_t result = value[0] | (value[1] << 8) | (value[2] << 16) | (std::uint32_t{value[3]} << 24);
    return static_cast<std::int32_t>(result);
}

std::int32_t RepairPersonalFolder(const std::filesystem::path& source, const std::filesystem::path& target) {
    FileDescriptor out;
    if (!CopyForRepair(source, target, out)) return kRepairFailed;
    static constexpr char kSignature[4] = {'!', 'B', 'D', 'N'};
    if (!WriteAll(out.get(), kSignature, sizeof kSignature, 0)) return kRepairFailed;
    return 0;
}

}  // namespace lumacore
