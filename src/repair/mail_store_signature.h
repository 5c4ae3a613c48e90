#pragma once

#include <filesystem>

#include "repair/mail_repair.h"

namespace lumacore {

// Whether `file` carries a mark of the kind of mail store it is said to be, one that a damaged header
// leaves in place (the repair rewrites the header itself, so its magic alone cannot be asked for):
// .dbx: its magic, or "LocalStore\0" at 9409, which the repair needs;
// .pst: "!BDN" at 0, or the client magic "SM" at 8 with a known format version at 10.
// A file that cannot be read has no mark.
bool HasMailStoreSignature(const std::filesystem::path& file, MailRepairKind kind);

}  // namespace lumacore
