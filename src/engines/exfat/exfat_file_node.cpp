#include "engines/exfat/exfat_file_node.h"

#include "core/dos_file_text.h"
#include "core/utf8.h"

namespace lumacore {

std::unique_ptr<ExfatFileNode> MakeExfatFileNode(const ExfatEntrySet& set) {
    auto node = std::make_unique<ExfatFileNode>();
    node->displayName = Utf16ToUtf8(set.name, U'_');
    node->extension = SplitLongName(node->displayName, "").extension;
    // The attribute text looks at read-only, hidden and system, the bits FAT and exFAT share.
    node->attributeText = AttributeText(static_cast<std::uint8_t>(set.attributes & 0xFF));
    node->size = set.dataLength;
    node->validDataLength = set.validDataLength;
    node->firstCluster = set.firstCluster;
    node->noFatChain = set.noFatChain;
    node->deleted = !set.inUse;
    node->created = set.created;
    node->modified = set.modified;
    node->accessed = set.accessed;
    return node;
}

}  // namespace lumacore
