#include "session/found_file_times.h"

namespace lumacore {

namespace {

std::optional<FileTime> FromExfat(const ExfatTimestamp& stamp) {
    std::optional<int> offset;
    if (stamp.hasUtcOffset()) offset = stamp.utcOffsetMinutes();
    return FromDosWithOffset(stamp.dosDate(), stamp.dosTime(), stamp.tenMs, offset);
}

}  // namespace

FileTimes FatFileTimes(const FatFileNode& node) {
    return {FromDosLocal(node.lastWriteDate, node.lastWriteTime), FromDosLocal(node.lastAccessDate, 0),
            FromDosLocal(node.creationDate, node.creationTime)};
}

FileTimes FatFolderFileTimes(const FatFolderTimes& folder) {
    return {FromDosLocal(folder.lastWriteDate, folder.lastWriteTime), FromDosLocal(folder.lastAccessDate, 0),
            std::nullopt};
}

FileTimes ExfatFileTimes(const ExfatFileNode& node) {
    return {FromExfat(node.modified), FromExfat(node.accessed), FromExfat(node.created)};
}

FileTimes NtfsFileTimes(const NtfsFileNode& node) {
    return {FromFiletime(node.modificationTime), FromFiletime(node.accessTime),
            FromFiletime(node.creationTime)};
}

std::optional<FileTime> NtfsRecordChangeTime(const NtfsFileNode& node) {
    return FromFiletime(node.mftChangeTime);
}

FileTimes ExtFileTimes(const ExtFileNode& node) {
    return {FromUnixSeconds(node.inode.mtime), FromUnixSeconds(node.inode.atime), std::nullopt};
}

}  // namespace lumacore
