#include "session/found_file_source.h"

#include "engines/ext/ext_row_text.h"
#include "engines/fat/fat_extractor.h"
#include "session/node_tree.h"
#include "session/tree_path.h"

namespace lumacore {

namespace {

Error NotFound(const std::string& path) {
    return Error::Make(ErrorKind::NotFound, "no file '" + path + "' was found");
}

// Reads into a buffer of at most `maxBytes` (never more than the file holds) and trims it to what came.
template <typename ReadInto>
Result<std::vector<std::byte>> ReadUpTo(std::uint64_t size, std::uint64_t maxBytes, ReadInto readInto) {
    std::vector<std::byte> data(static_cast<std::size_t>(std::min(size, maxBytes)));
    auto count = readInto(std::span<std::byte>(data));
    if (!count) return count.error();
    data.resize(std::min(*count, data.size()));
    return data;
}

}  // namespace

Result<std::vector<std::byte>> ReadFoundFile(FatExtractor& extractor, const FatFileNode& node,
                                             std::uint64_t maxBytes) {
    return ReadUpTo(node.size, maxBytes,
                    [&](std::span<std::byte> out) { return extractor.Read(node, 0, out); });
}

Result<std::vector<std::byte>> ReadFoundFile(ExfatExtractor& extractor, const ExfatFileNode& node,
                                             std::uint64_t maxBytes) {
    return ReadUpTo(node.size, maxBytes,
                    [&](std::span<std::byte> out) { return extractor.Read(node, 0, out); });
}

Result<std::vector<std::byte>> ReadFoundFile(CExtVolume& volume, const ExtFileNode& node,
                                             std::uint64_t maxBytes) {
    return ReadUpTo(node.inode.size, maxBytes,
                    [&](std::span<std::byte> out) { return volume.ReadInto(node, out); });
}

Result<std::vector<std::byte>> ReadFoundFile(const CRawCarver& carver, const RawFileNode& node,
                                             std::uint64_t maxBytes) {
    // A carved file cut short by an unreadable sector still shows what was read.
    std::vector<std::byte> data;
    const int code = carver.ReadCarvedFile(&node, data, maxBytes);
    if (code != 0 && data.empty())
        return Error::Io("cannot read the sectors of " + node.name, code > 0 ? code : 0);
    return data;
}

PreviewSource FatPreviewSource(const DeviceMap& devices, const PartitionInfo& volume,
                               const FatFileNode& node) {
    return {node.displayName, node.size,
            [&devices, volume, &node](std::uint64_t maxBytes) -> Result<std::vector<std::byte>> {
                auto disk = devices.OpenPhysicalDrive(volume.diskNumber, AccessMode::ReadOnly);
                if (!disk) return disk.error();
                auto extractor = FatExtractor::Open(std::move(*disk), volume);
                if (!extractor) return extractor.error();
                return ReadFoundFile(*extractor, node, maxBytes);
            }};
}

PreviewSource ExfatPreviewSource(ExfatExtractor& extractor, const ExfatFileNode& node) {
    return {node.displayName, node.size,
            [&extractor, &node](std::uint64_t maxBytes) { return ReadFoundFile(extractor, node, maxBytes); }};
}

PreviewSource NtfsPreviewSource(const CNtfsVolume& volume, const NtfsFileNode& node) {
    return {node.name, node.size,
            [&volume, &node](std::uint64_t maxBytes) { return volume.ReadFileData(node, maxBytes); }};
}

PreviewSource ExtPreviewSource(CExtVolume& volume, const ExtFileNode& node) {
    return {ExtRowName(node), node.inode.size,
            [&volume, &node](std::uint64_t maxBytes) { return ReadFoundFile(volume, node, maxBytes); }};
}

PreviewSource RawPreviewSource(const CRawCarver& carver, const RawFileNode& node) {
    return {node.name, node.length,
            [&carver, &node](std::uint64_t maxBytes) { return ReadFoundFile(carver, node, maxBytes); }};
}

Result<const FatFileNode*> FindFatFile(const FatScan& scan, const std::string& path) {
    return FindNodeTreeFile<FatFileNode>(scan.tree, scan.root, path);
}

Result<const ExfatFileNode*> FindExfatFile(const ExfatScan& scan, const std::string& path) {
    return FindNodeTreeFile<ExfatFileNode>(scan.tree, scan.root, path);
}

Result<const NtfsFileNode*> FindNtfsFile(const NtfsScan& scan, const std::string& path) {
    const std::vector<std::string> names = SplitTreePath(path);
    if (scan.root == NtfsResultTree::kNoItem || names.empty()) return NotFound(path);
    const auto folder = FolderAtPath(scan.tree, scan.root, std::span(names).first(names.size() - 1));
    if (folder == NtfsResultTree::kNoItem) return NotFound(path);
    for (std::uint32_t index : scan.tree.item(folder).data.nodes) {
        const NtfsFileNode& node = *scan.volume->nodes()[index];
        if (node.name == names.back()) return &node;
    }
    return NotFound(path);
}

Result<const ExtFileNode*> FindExtFile(const ExtScan& scan, const std::string& path) {
    if (scan.lostFiles == ExtResultTree::kNoItem) return NotFound(path);
    const std::string folder = scan.tree.item(scan.lostFiles).text + "/";
    const std::string name = path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path;
    for (const ExtFileNode* node : scan.tree.item(scan.lostFiles).data.files) {
        if (ExtRowName(*node) == name) return node;
    }
    return NotFound(path);
}

Result<const RawFileNode*> FindRawFile(const RawScan& scan, const std::string& path) {
    if (scan.root == RawResultTree::kNoItem) return NotFound(path);
    const std::size_t slash = path.find('/');
    const std::string kind = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (RawResultTree::ItemId child : scan.tree.item(scan.root).children) {
        const auto& item = scan.tree.item(child);
        if (!kind.empty() && item.text != kind) continue;
        for (std::uint32_t index : item.data) {
            const RawFileNode& node = *scan.carver->found()[index];
            if (node.name == name) return &node;
        }
    }
    return NotFound(path);
}

}  // namespace lumacore
