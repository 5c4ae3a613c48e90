#include "partition/partition_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

namespace fs = std::filesystem;

// A disk has far fewer records than this; a larger file is not a backup of ours.
constexpr std::uintmax_t kMaxBackupBytes = 4 + DiskInfo::kStoredSize + 4096 * PartitionInfo::kStoredSize;

}  // namespace

std::string CreatedText(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    // Linux keeps no creation time in stat; the last status change is the nearest we have.
    std::tm local{};
    localtime_r(&st.st_ctime, &local);
    char text[64];
    std::strftime(text, sizeof text, "     %Y-%m-%d %H:%M:%S", &local);
    return text;
}

Result<void> WriteBackup(const fs::path& file, const DiskInfo& disk, const std::vector<PartitionInfo>& volumes,
                         const OutputGuard& guard, bool overwriteConfirmed) {
    std::string bytes;
    std::array<std::byte, 4> magic{};
    PutLe(magic, 0, kBackupMagic, 4);
    bytes.append(reinterpret_cast<const char*>(magic.data()), magic.size());
    const auto diskRecord = disk.Serialize();
    bytes.append(reinterpret_cast<const char*>(diskRecord.data()), diskRecord.size());
    for (const PartitionInfo& volume : volumes) {
        if (volume.diskNumber != disk.diskNumber) continue;
        const auto record = volume.Serialize();
        bytes.append(reinterpret_cast<const char*>(record.data()), record.size());
    }
    Result<FileDescriptor> out = guard.Open(file, overwriteConfirmed);
    if (!out) return Error::Io(std::string(kBackupFailed) + " (" + out.error().message + ")", out.error().systemCode);
    const bool ok = WriteAllTo(out->get(), bytes.data(), bytes.size());
    if (!ok || out->Close() != 0) return Error::Io(std::string(kBackupFailed) + " (" + file.string() + ")");
    return {};
}

Result<PartitionList> LoadBackup(const fs::path& file, const DiskInfo& disk) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error || size > kMaxBackupBytes) return Error::Make(ErrorKind::InvalidArgument, kBackupLoadFailed);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::span<const std::byte> data(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
    const ByteReader r(data);
    if (!r.has(0, 4 + DiskInfo::kStoredSize) || r.u32le(0) != kBackupMagic) {
        return Error::Make(ErrorKind::InvalidArgument, kBackupLoadFailed);
    }
    const DiskInfo stored = DiskInfo::Deserialize(data.subspan(4).first<DiskInfo::kStoredSize>());
    if (stored.model != disk.model || stored.sizeBytes != disk.sizeBytes) {
        return Error::Make(ErrorKind::InvalidArgument, kBackupLoadFailed);
    }
    PartitionList records;
    for (std::size_t at = 4 + DiskInfo::kStoredSize; r.has(at, PartitionInfo::kStoredSize); at += PartitionInfo::kStoredSize) {
        records.push_back(PartitionInfo::Deserialize(data.subspan(at).first<PartitionInfo::kStoredSize>()));
    }
    return records;
}

fs::path UserBackupFolder() {
    fs::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".local" / "share";
    } else {
        base = fs::temp_directory_path();
    }
    const fs::path folder = base / "lumacore" / "backup";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

std::vector<fs::path> BackupFolders() {
    std::vector<fs::path> folders{UserBackupFolder()};
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) folders.push_back(program.parent_path() / "backup");
    return folders;
}

std::vector<BackupListing> ListBackups(const DiskInfo& disk) {
    std::vector<BackupListing> listing;
    const std::string model = disk.Model();
    for (const fs::path& folder : BackupFolders()) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file(error) || entry.path().extension() != ".pbf" || name.rfind(model, 0) != 0) continue;
            listing.push_back({entry.path(), CreatedText(entry.path())});
        }
    }
    return listing;
}

}  // namespace lumacore
