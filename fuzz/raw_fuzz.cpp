// Fuzz target: the signature matcher and the carver. The input's first bytes become up to eight
// signatures (pattern texts of hex digits, bars, upper case and other characters, offsets inside and
// beyond the first sector); the rest is the disk. The compiled matcher must answer as the textual rule
// does on every sector, the carve must run with and without read-ahead alike, and every found file must
// lie inside the range and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engines/raw/raw_carver.h"
#include "engines/raw/signature_matcher.h"

using namespace lumacore;

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
};

std::string PatternText(Input& in) {
    static constexpr char kAlphabet[] = "0123456789abcdef0123456789abcdef||A ";
    const std::size_t length = in.Byte() % 24;
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(kAlphabet[in.Byte() % (sizeof kAlphabet - 1)]);
    return text;
}

std::vector<std::unique_ptr<RawFileNode>> Carve(const std::vector<std::byte>& disk, RawTypeSelection& list,
                                                std::uint64_t first, std::uint64_t last, std::uint32_t limit,
                                                bool readAhead) {
    PartitionInfo partition;
    partition.driveLetter = 'R';
    partition.totalBytes = disk.size();
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    carver.SetRange(first, last);
    carver.SetSizeLimit(limit);
    carver.SetSignatures(&list);
    carver.SetReadAhead(readAhead);
    ProgressFields progress;
    StopToken stop;
    if (carver.Scan(progress, stop) != 0) return {};
    for (const auto& node : carver.found()) {
        if (node->length == 0 || node->length % 512 != 0 || node->firstSector < first ||
            node->firstSector * 512 + node->length > std::min<std::uint64_t>(last * 512, disk.size())) {
            std::abort();
        }
        std::vector<std::byte> bytes;
        if (carver.ReadCarvedFile(node.get(), bytes) != 0 || bytes.size() != node->length) std::abort();
    }
    RawResultTree tree;
    carver.BuildTree(tree);
    return std::move(carver.found());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    RawTypeSelection list;
    const int count = 1 + in.Byte() % 8;
    for (int s = 0; s < count; ++s) {
        SignatureEntry entry;
        entry.extension = "e" + std::to_string(s % 3);
        entry.description = "kind " + std::to_string(s % 3);
        entry.partCount = 1 + in.Byte() % 3;
        for (int p = 0; p < entry.partCount; ++p) {
            const std::uint8_t where = in.Byte();
            // Mostly inside the first sector, sometimes past it or before the file's start.
            entry.offsets[static_cast<std::size_t>(p)] = where < 200   ? where % 40
                                                         : where < 250 ? 500 + (where - 200) * 20
                                                                       : -(where - 250);
            entry.patterns[static_cast<std::size_t>(p)] = PatternText(in);
        }
        entry.enabled = in.Byte() % 8 != 0;
        list.entries().push_back(entry);
    }
    const std::uint32_t limit = in.Byte() % 4;
    std::vector<std::byte> disk(size - in.at);
    if (!disk.empty()) std::memcpy(disk.data(), data + in.at, disk.size());

    const SignatureMatcher matcher(list.entries());
    for (std::size_t at = 0; at + 512 <= disk.size(); at += 512) {
        const auto window = std::span<const std::byte>(disk).subspan(
            at, std::min(disk.size() - at, 512 + matcher.lookahead()));
        if (matcher.Match(window) != MatchSignaturesByText(list.entries(), window)) std::abort();
    }

    const std::uint64_t sectors = disk.size() / 512;
    const std::uint64_t first = sectors > 0 ? data[0] % (sectors + 1) : 0;
    const auto plain = Carve(disk, list, first, sectors + 2, limit, false);
    const auto ahead = Carve(disk, list, first, sectors + 2, limit, true);
    if (plain.size() != ahead.size()) std::abort();
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i]->firstSector != ahead[i]->firstSector || plain[i]->length != ahead[i]->length)
            std::abort();
    }
    return 0;
}
