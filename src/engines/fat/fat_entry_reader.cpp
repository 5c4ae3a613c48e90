#include "engines/fat/fat_entry_reader.h"

namespace lumacore {

void FatEntryReader::Read(std::span<const std::byte> buffer, std::size_t firstEntry,
                          const std::function<bool()>& keepGoing, const FolderSink& folder, const FileSink& file) {
    const std::size_t count = buffer.size() / kDirEntrySize;
    for (std::size_t i = firstEntry; i < count && keepGoing(); ++i) {
        const FatDirEntry entry = EntryAt(buffer, i);
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
    return node;
}

}  // namespace lumacore
