#include "core/ntfs_runs.h"

#include "core/byte_reader.h"

namespace lumacore {

RunListResult DecodeRunList(std::span<const std::byte> mappingPairs, std::uint64_t firstVcn,
                            const RunListLimits& limits) {
    RunListResult result;
    ByteReader r(mappingPairs);
    std::size_t pos = 0;
    std::uint64_t vcn = firstVcn;
    std::int64_t lcn = 0;
    while (r.has(pos, 1)) {
        const std::uint8_t header = r.u8(pos);
        if (header == 0) {
            result.complete = true;
            return result;
        }
        const std::size_t lengthSize = header & 0x0F;
        const std::size_t offsetSize = header >> 4;
        if (lengthSize == 0 || lengthSize > 8 || offsetSize > 8 || !r.has(pos + 1, lengthSize + offsetSize)) break;
        if (result.runs.size() >= limits.maxRuns) break;

        std::uint64_t length = 0;
        for (std::size_t i = 0; i < lengthSize; ++i) length |= std::uint64_t{r.u8(pos + 1 + i)} << (8 * i);
        std::uint64_t delta = 0;
        for (std::size_t i = 0; i < offsetSize; ++i) delta |= std::uint64_t{r.u8(pos + 1 + lengthSize + i)} << (8 * i);
        if (offsetSize > 0 && offsetSize < 8 && (delta >> (8 * offsetSize - 1)) != 0) {
            delta |= ~std::uint64_t{0} << (8 * offsetSize);  // sign-extend the relative offset
        }
        pos += 1 + lengthSize + offsetSize;
        if (length == 0 || length > (std::uint64_t{1} << 48)) break;  // no volume has 2^48 clusters

        ClusterRun run;
        run.vcn = vcn;
        run.length = length;
        if (offsetSize == 0) {
            run.sparse = true;
        } else {
            lcn += static_cast<std::int64_t>(delta);
            if (lcn < 0) break;
            run.lcn = static_cast<std::uint64_t>(lcn);
            if (limits.clusterCount != 0 &&
                (run.lcn >= limits.clusterCount || run.length > limits.clusterCount - run.lcn)) {
                break;
            }
        }
        result.runs.push_back(run);
        vcn += length;
    }
    return result;
}

bool ApplyUpdateSequence(std::span<std::byte> record, std::size_t strideSize) {
    ByteReader r(record);
    const std::size_t arrayOffset = r.u16le(4);
    const std::size_t arrayCount = r.u16le(6);  // the sequence number plus one entry per stride
    if (!r.ok() || arrayCount < 2 || strideSize < 2) return false;
    const std::size_t strides = arrayCount - 1;
    if (strides > record.size() / strideSize || !r.has(arrayOffset, arrayCount * 2)) return false;
    const std::uint16_t sequence = r.u16le(arrayOffset);
    for (std::size_t i = 0; i < strides; ++i) {
        if (r.u16le((i + 1) * strideSize - 2) != sequence) return false;
    }
    for (std::size_t i = 0; i < strides; ++i) {
        const std::size_t tail = (i + 1) * strideSize - 2;
        record[tail] = record[arrayOffset + 2 + 2 * i];
        record[tail + 1] = record[arrayOffset + 3 + 2 * i];
    }
    return true;
}

}  // namespace lumacore
