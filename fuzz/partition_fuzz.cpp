// Fuzz target: a disk of arbitrary bytes (padded to whole sectors) through the partition-table walk,
// the extended-chain walk and the inventory's merge, then the lost-partition search (Auto Scan and the
// deep search) and the planning of a restore of every candidate. With the first byte odd, the rest is
// also read as a partition backup of that disk (its records run through the same restore planning), and
// as a backup file of its own, header included.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/byte_reader.h"
#include "disk/disk_inventory.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "one_disk_map.h"

using namespace lumacore;

namespace {

// A backup file in memory, reachable by a path as LoadBackup wants one.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("backup", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~MemoryFile() { ::close(fd_); }
    const std::string& Fill(const std::string& bytes) {
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
            std::abort();
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool backupMode = size > 0 && (data[0] & 1) != 0;
    auto bytes = std::make_shared<std::vector<std::byte>>((size + 511) / 512 * 512);
    if (size > 0) std::memcpy(bytes->data(), data, size);
    OneDiskMap map(bytes);
    const auto searched = SearchAndPlan(map);
    const CDiskInventory& inventory = *searched;
    if (inventory.disks.empty()) return 0;

    if (backupMode) {
        static MemoryFile file;
        const DiskInfo& disk = inventory.disks[0];
        std::string backup(4, '\0');
        std::array<std::byte, 4> magic{};
        PutLe(magic, 0, kBackupMagic, 4);
        std::memcpy(backup.data(), magic.data(), 4);
        const auto record = disk.Serialize();
        backup.append(reinterpret_cast<const char*>(record.data()), record.size());
        backup.append(reinterpret_cast<const char*>(data + 1), size - 1);
        if (auto loaded = LoadBackup(file.Fill(backup), disk)) PlanEach(inventory, map, *loaded);
        (void)LoadBackup(file.Fill(std::string(reinterpret_cast<const char*>(data + 1), size - 1)), disk);
    }
    return 0;
}
