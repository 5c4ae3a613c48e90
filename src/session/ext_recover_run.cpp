#include "session/ext_recover_run.h"

#include <algorithm>

#include "session/found_file_times.h"

namespace lumacore {

namespace {

// The report's byte runs of a mapped file: holes have none, and the last block's slack is not the file's.
std::vector<SourceByteRun> DiskRuns(const ExtFileMap& map, const CExtVolume& engine) {
    const std::uint64_t blockSize = engine.superblock().blockSize;
    std::vector<SourceByteRun> runs;
    for (const ExtRun& run : map.runs) {
        const std::uint64_t fileOffset = run.logical * blockSize;
        if (fileOffset >= map.size) break;
        runs.push_back({fileOffset, engine.volumeOffset() + run.physical * blockSize,
                        std::min(run.count * blockSize, map.size - fileOffset)});
    }
    return runs;
}

}  // namespace

ExtRecoverRunResult RunExtRecovery(const std::vector<ExtFileNode*>& files, CExtVolume& engine,
                                   RecoveredFileWriter& writer, ProgressFields& progress,
                                   const StopToken& stop) {
    ExtRecoverRunResult result;
    RecoverRunResult& counts = result.counts;
    const auto checked =
        std::count_if(files.begin(), files.end(), [](const ExtFileNode* n) { return n && n->checked; });
    progress.SetTotal(checked);
    progress.SetDone(0);
    std::int64_t done = 0;
    for (ExtFileNode* node : files) {
        if (stop.StopRequested() || writer.cancelled()) {
            counts.cancelled = true;
            break;
        }
        if (node == nullptr || !node->checked) continue;
        ++done;
        progress.SetText((writer.destinationRoot() / node->name).string());
        auto map = engine.MapFile(*node, &stop);
        if (!map) {
            if (map.error().kind == ErrorKind::Cancelled) {
                counts.cancelled = true;
                break;
            }
            ++counts.failures;
            result.unmapped.push_back({node->name, map.error().message});
            progress.SetDone(done);
            continue;
        }
        const auto outcome =
            writer.WriteFile(writer.destinationRoot(), node->name, node->inode.size,
                             [&](OutputFile& out) {
                                 return engine.Extract(
                                     *map, [&](std::span<const std::byte> data) { return out.Write(data); },
                                     stop, [&](std::uint64_t hole) { return out.Skip(hole); });
                             },
                             {ExtFileTimes(*node), DiskRuns(*map, engine)});
        counts.Count(outcome, node->inode.size);
        progress.SetDone(done);
        if (counts.cancelled) break;
    }
    if (stop.StopRequested()) counts.cancelled = true;
    return result;
}

}  // namespace lumacore
