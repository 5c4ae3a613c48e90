#include "disk/disk_inventory.h"

namespace lumacore {

void CDiskInventory::NoteGpt(int diskNumber, const Result<GptTable>& gpt) {
    std::string note;
    if (!gpt) {
        note = "GPT unreadable: " + gpt.error().message;
    } else if (gpt->fromBackup) {
        note = "GPT (backup header; primary: " + gpt->damage + ")";
    } else {
        note = "GPT";
    }
    tableNotes_[diskNumber] = note;
}

std::string CDiskInventory::PartitionTableNote(int diskNumber) const {
    const auto it = tableNotes_.find(diskNumber);
    return it == tableNotes_.end() ? std::string() : it->second;
}

}  // namespace lumacore
