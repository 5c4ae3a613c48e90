#pragma once

#include <cstdint>
#include <filesystem>

namespace lumacore {

// Which header a repair rewrites.
enum MailRepairKind : int {
    kRepairMailFolder = 1,      // .dbx: mail folder file of the older mail client
    kRepairPersonalFolder = 2,  // .pst: personal folder file
};

// What a repair returns besides the header value: the copy could not be made, or the file is not of the
// kind it claims to be.
constexpr std::int32_t kRepairFailed = -1;
constexpr std::int32_t kRepairUnsupported = -2;

// Copies `source` to `target` in 1024-byte reads and rewrites the copy's header; the source is only ever
// read. A .dbx copy must carry "LocalStore\0" at 9409, gets its signature and class identifier rewritten,
// and the result is the 32-bit value at 0xC4 read back (as a signed number). A .pst copy gets "!BDN" over
// its first four bytes and the result 0. A target that is the source itself (same file, also through
// links) is refused with kRepairFailed before anything is opened for writing.
std::int32_t RepairMailFolder(const std::filesystem::path& source, const std::filesystem::path& target);
std::int32_t RepairPersonalFolder(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace lumacore
