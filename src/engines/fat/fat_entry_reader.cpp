#include "engines/fat/fat_entry_reader.h"

#include "core/utf8.h"

namespace lumacore {

void FatEntryReader::Read(std::span<const std::byte> buffer, std::size_t firstEntry,
                          const std::function<bool()>& keepGoing, const FolderSink& folder, const FileSink& file) {
    const std::size_t count = buffer.size() / kDirEntrySize;
    leading_ = {};
    trailing_ = {};
    bool atStart = !longName_.HasName();
    std::size_t i = firstEntry;
    for (; i < count && keepGoing(); ++i) {
        const FatDirEntry entry = EntryAt(buffer, i);
        if (atStart && !entry.isLongName()) {
            atStart = false;
            if (longName_.HasName() && !longName_.StartsWithLastPiece() && !entry.isFree() && !entry.isVolumeLabel()) {
                leading_ = {true, longName_.checksum(), longName_.units()};
            } else if (!longName_.HasName() && i == 0 && !entry.isFree() && !entry.isVolumeLabel()) {
                leading_.present = true;
                leading_.bare = true;
                for (std::size_t k = 0; k < 11; ++k) leading_.shortName[k] = entry.byte(k);
            }
        }
        if (entry.isFree() || entry.isVolumeLabel()) {
            longName_.Clear();
            continue;
        }
        if (entry.isLongName()) {
            longName_.AddPiece(entry);
            continue;
        }
        const bool isFolder = entry.isDirectory();
        const bool hasLongName = longName_.HasName();
        if (IsPlausibleEntry(entry, geometry_, isFolder, hasLongName, currentYear_)) {
            if (isFolder) {
                folder(entry, hasLongName ? longName_.Text() : BuildShortName(entry).name);
            } else {
                file(entry);
            }
        }
        longName_.Clear();
    }
    if (i == count && longName_.HasName()) trailing_ = {true, longName_.checksum(), longName_.units()};
}

std::string FatEntryReader::JoinSeam(const NameSeam& leading, const NameSeam& trailing) {
    // Pieces are stored last first, so the part read later on disk is the start of the name.
    return Utf16ToUtf8(leading.units + trailing.units, U'_');
}

std::unique_ptr<FatFileNode> FatEntryReader::MakeNode(const FatDirEntry& entry) const {
    const ShortName shortName = BuildShortName(entry);
    auto node = std::make_unique<FatFileNode>();
    if (longName_.HasName()) {
        const std::string longName = longName_.Text();
        node->displayName = longName;  // the whole long name, whatever the length of its extension
        node->extension = SplitLongName(longName, shortName.extension).extension;
    } else {
        node->displayName = shortName.extension.empty() ? shortName.name : shortName.name + "." + shortName.extension;
        node->extension = shortName.extension;
    }
    node->attributeText = AttributeText(entry.attributes());
    node->size = entry.size();
    node->firstCluster = geometry_.kind == FatKind::Fat32 ? entry.firstCluster32() : entry.lowCluster();
    node->creationTime = entry.creationTime();
    node->creationDate = entry.creationDate();
    node->lastAccessDate = entry.lastAccessDate();
    node->lastWriteTime = entry.lastWriteTime();
    node->lastWriteDate = entry.lastWriteDate();
    node->deleted = entry.isDeleted();
    return node;
}

}  // namespace lumacore
