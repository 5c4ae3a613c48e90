#include "platform/source_overlap.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <limits>
#include <set>
#include <system_error>

namespace lumacore {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSysfsSectorBytes = 512;  // sysfs counts start and size in 512-byte units
constexpr std::uint64_t kOpenEnded = std::numeric_limits<std::uint64_t>::max();

// Device mapper and md stacks are rarely more than three deep (crypt on LVM on md); the bound only
// stops a looping or hostile tree.
constexpr int kMaxStackDepth = 8;

std::string ReadSysText(const fs::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end == text.data()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ReadSysNumber(const fs::path& path) {
    return ParseNumber(ReadSysText(path));
}

// A sysfs count of 512-byte units in bytes; absent or too large to express means "to the end".
std::uint64_t SectorsToBytes(std::optional<std::uint64_t> sectors, std::uint64_t absent) {
    if (!sectors) return absent;
    if (*sectors > kOpenEnded / kSysfsSectorBytes) return kOpenEnded;
    return *sectors * kSysfsSectorBytes;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > kOpenEnded - a ? kOpenEnded : a + b;
}

// Do [aStart, aStart + aLength) and [bStart, bStart + bLength) share a byte? A length of 0 means
// "unknown", which has to count as reaching to the end.
bool Overlaps(std::uint64_t aStart, std::uint64_t aLength, std::uint64_t bStart, std::uint64_t bLength) {
    const std::uint64_t aEnd = aLength == 0 ? kOpenEnded : SaturatingAdd(aStart, aLength);
    const std::uint64_t bEnd = bLength == 0 ? kOpenEnded : SaturatingAdd(bStart, bLength);
    return aStart < bEnd && bStart < aEnd;
}

// "MAJ:MIN" as sysfs writes device numbers.
std::optional<std::uint64_t> ReadDeviceNumber(const fs::path& devFile) {
    const std::string text = ReadSysText(devFile);
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto major = ParseNumber(std::string_view(text).substr(0, colon));
    const auto minor = ParseNumber(std::string_view(text).substr(colon + 1));
    if (!major || !minor || *major > 0xFFFFFFFFu || *minor > 0xFFFFFFFFu) return std::nullopt;
    return makedev(static_cast<unsigned>(*major), static_cast<unsigned>(*minor));
}

class StackWalk {
public:
    StackWalk(const SourceDevice& source, const fs::path& sysRoot) : source_(source), sysRoot_(sysRoot) {}

    bool DeviceTouchesSource(std::uint64_t device) {
        if (source_.isBlockDevice && device == source_.device) return true;
        const fs::path link = sysRoot_ / "dev" / "block" /
                              (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
        std::error_code ec;
        const fs::path dir = fs::canonical(link, ec);
        if (ec) return false;  // not a block device (tmpfs, overlay, network file systems)
        return BlockDirTouchesSource(dir, 0);
    }

private:
    // Does the block device sysfs describes at `dir` hold any byte of the source partition?
    bool BlockDirTouchesSource(const fs::path& dir, int depth) {
        if (depth > kMaxStackDepth || !visited_.insert(dir.string()).second) return false;
        const auto device = ReadDeviceNumber(dir / "dev");
        if (source_.isBlockDevice && device && *device == source_.device) return true;

        std::error_code ec;
        fs::path disk = dir;
        std::uint64_t start = 0;
        const std::uint64_t length = SectorsToBytes(ReadSysNumber(dir / "size"), 0);
        if (fs::exists(dir / "partition", ec)) {
            // A partition's sysfs folder sits inside its disk's.
            disk = dir.parent_path();
            start = SectorsToBytes(ReadSysNumber(dir / "start"), 0);
            const auto diskDevice = ReadDeviceNumber(disk / "dev");
            if (source_.isBlockDevice && diskDevice && *diskDevice == source_.device &&
                Overlaps(start, length, source_.partitionOffset, source_.partitionLength)) {
                return true;
            }
        }
        if (LoopTouchesSource(disk, start, length)) return true;
        return SlavesTouchSource(dir, depth) || (disk != dir && SlavesTouchSource(disk, depth));
    }

    // A loop device over the source: its backing file is the source and the range [start, start +
    // length) of the loop device, moved by the loop's own offset, overlaps the source partition.
    bool LoopTouchesSource(const fs::path& disk, std::uint64_t start, std::uint64_t length) {
        const std::string backing = ReadSysText(disk / "loop" / "backing_file");
        if (backing.empty()) return false;
        std::error_code ec;
        const fs::path backingPath = fs::canonical(backing, ec);
        if (ec || backingPath != source_.canonicalPath) return false;  // a deleted backing file is not ours
        const std::uint64_t loopOffset = ReadSysNumber(disk / "loop" / "offset").value_or(0);
        return Overlaps(SaturatingAdd(loopOffset, start), length, source_.partitionOffset,
                        source_.partitionLength);
    }

    // Which part of a slave a device-mapper or md device uses is not in sysfs in a form worth parsing
    // here, so any slave that touches the source at all counts.
    bool SlavesTouchSource(const fs::path& dir, int depth) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir / "slaves", ec)) {
            std::error_code linkError;
            const fs::path slave = fs::canonical(entry.path(), linkError);
            if (!linkError && BlockDirTouchesSource(slave, depth + 1)) return true;
        }
        return false;
    }

    const SourceDevice& source_;
    const fs::path& sysRoot_;
    std::set<std::string> visited_;
};

}  // namespace

bool WritesOntoSource(std::uint64_t destinationDevice, const SourceDevice& source, const fs::path& sysRoot) {
    return StackWalk(source, sysRoot).DeviceTouchesSource(destinationDevice);
}

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

bool IsSameFile(const fs::path& a, const fs::path& b) {
    const auto first = IdentityOf(a);
    const auto second = IdentityOf(b);
    return first && second && *first == *second;
}

std::optional<SourceDevice> DescribeSource(const fs::path& path, std::uint64_t offset, std::uint64_t length) {
    struct stat from {};
    if (::stat(path.c_str(), &from) != 0) return std::nullopt;
    SourceDevice device;
    device.isBlockDevice = S_ISBLK(from.st_mode);
    device.device = from.st_rdev;
    std::error_code ec;
    device.canonicalPath = fs::canonical(path, ec);
    device.partitionOffset = offset;
    device.partitionLength = length;
    return device;
}

}  // namespace lumacore
