#include "platform/probe_shadow.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "layout/ntfs_boot_sector.h"

namespace lumacore {

namespace {

constexpr std::uint64_t kTableSpan = 1u << 20;
constexpr std::uint64_t kVolumeStartSpan = 1u << 20;
// The first MFT records ($MFT .. $Volume and a little beyond) at the largest record size in use.
constexpr std::uint64_t kMftSpan = 64u * 4096u;

}  // namespace

ProbeShadow::ProbeShadow(ByteSource& source) : source_(source) {
    FileDescriptor fd(::memfd_create("lumacore-probe", MFD_CLOEXEC));
    if (!fd.valid()) return;
    if (::ftruncate(fd.get(), static_cast<off_t>(std::min<std::uint64_t>(source.Size(), INT64_MAX))) != 0)
        return;
    fd_ = std::move(fd);
}

void ProbeShadow::Copy(std::uint64_t offset, std::uint64_t length) {
    if (!valid() || offset >= source_.Size()) return;
    length = std::min(length, source_.Size() - offset);
    std::vector<std::byte> buffer(static_cast<std::size_t>(length));
    auto read = source_.ReadAt(offset, buffer);
    if (!read || *read == 0) return;
    // A failed copy leaves zeros, which the probe takes for "nothing here".
    [[maybe_unused]] const ssize_t written =
        ::pwrite(fd_.get(), buffer.data(), *read, static_cast<off_t>(offset));
}

void ProbeShadow::CopyTables() {
    Copy(0, kTableSpan);
    const std::uint64_t size = source_.Size();
    if (size > kTableSpan) Copy(size - kTableSpan, kTableSpan);
}

void ProbeShadow::CopyVolumeStart(std::uint64_t offset, std::uint64_t length) {
    Copy(offset, std::min(length, kVolumeStartSpan));
    std::vector<std::byte> boot(512);
    auto read = source_.ReadAt(offset, boot);
    if (!read || *read < boot.size()) return;
    const auto ntfs = DecodeNtfsBootSector(boot);
    if (!ntfs || ntfs->oemName != "NTFS    ") return;
    const std::uint64_t clusterBytes = ntfs->clusterSize;
    if (ntfs->mftCluster > (length / clusterBytes)) return;
    Copy(offset + ntfs->mftCluster * clusterBytes, kMftSpan);
}

}  // namespace lumacore
