#include "repair/mail_store_signature.h"

#include <array>
#include <cstring>
#include <fstream>

namespace lumacore {

namespace {

constexpr std::streamoff kLocalStoreOffset = 9409;
constexpr char kLocalStore[11] = {'L', 'o', 'c', 'a', 'l', 'S', 't', 'o', 'r', 'e', '\0'};
constexpr unsigned char kMailFolderMagic[4] = {0xCF, 0xAD, 0x12, 0xFE};
constexpr char kPersonalFolderMagic[4] = {'!', 'B', 'D', 'N'};
constexpr char kPersonalFolderClient[2] = {'S', 'M'};
// ANSI (14, 15) and Unicode (23, 36) personal folder files.
constexpr unsigned kPersonalFolderVersions[] = {14, 15, 23, 36};

bool ReadAt(std::ifstream& in, std::streamoff at, char* data, std::size_t size) {
    in.clear();
    in.seekg(at);
    return in.read(data, static_cast<std::streamsize>(size)) &&
           in.gcount() == static_cast<std::streamsize>(size);
}

}  // namespace

bool HasMailStoreSignature(const std::filesystem::path& file, MailRepairKind kind) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::array<char, 12> head{};
    const bool headRead = ReadAt(in, 0, head.data(), head.size());
    if (kind == kRepairMailFolder) {
        if (headRead && std::memcmp(head.data(), kMailFolderMagic, sizeof kMailFolderMagic) == 0) return true;
        std::array<char, sizeof kLocalStore> mark{};
        return ReadAt(in, kLocalStoreOffset, mark.data(), mark.size()) &&
               std::memcmp(mark.data(), kLocalStore, sizeof kLocalStore) == 0;
    }
    if (!headRead) {
        // A file shorter than the header can only be named by its magic.
        return ReadAt(in, 0, head.data(), sizeof kPersonalFolderMagic) &&
               std::memcmp(head.data(), kPersonalFolderMagic, sizeof kPersonalFolderMagic) == 0;
    }
    if (std::memcmp(head.data(), kPersonalFolderMagic, sizeof kPersonalFolderMagic) == 0) return true;
    if (std::memcmp(head.data() + 8, kPersonalFolderClient, sizeof kPersonalFolderClient) != 0) return false;
    const unsigned version =
        static_cast<unsigned char>(head[10]) | (static_cast<unsigned char>(head[11]) << 8);
    for (const unsigned known : kPersonalFolderVersions) {
        if (version == known) return true;
    }
    return false;
}

}  // namespace lumacore
