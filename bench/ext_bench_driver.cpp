// Times the EXT engines on one volume of an image: the deleted-file scan, then (with an output folder)
// the recovery of everything it found. Used by bench/ext_run_bench.sh.
// Usage: ext_bench_driver IMAGE START_SECTOR EXT2|EXT3 [OUTPUT_FOLDER]
#include <chrono>
#include <iostream>

#include "session/ext_scan.h"
#include "platform/device.h"

using namespace lumacore;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: ext_bench_driver IMAGE START_SECTOR EXT2|EXT3 [OUTPUT_FOLDER]\n";
        return 2;
    }
    auto device = Device::Open(argv[1], AccessMode::ReadOnly);
    if (!device) {
        std::cerr << device.error().message << '\n';
        return 1;
    }
    PartitionInfo partition;
    partition.startSector = static_cast<std::uint32_t>(std::stoul(argv[2]));
    partition.SetFsName(argv[3]);
    const auto started = std::chrono::steady_clock::now();
    auto engine = MakeExtVolume(std::move(*device), partition);
    if (!engine->IsOpen()) {
        std::cerr << engine->openError().message << '\n';
        return 1;
    }
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    engine->Scan(tree, progress, stop);
    const auto scanned = std::chrono::steady_clock::now();
    std::cout << "scan: " << engine->results().size() << " files, "
              << std::chrono::duration<double>(scanned - started).count() << " s\n";
    if (argc < 5) return 0;
    std::vector<ExtFileNode*> files = tree.item(engine->lostFilesItem()).data.files;
    for (ExtFileNode* node : files) node->checked = true;
    RecoveredFileWriter writer(argv[4], OverwritePolicy::Always, nullptr, {});
    const ExtRecoverRunResult result = RunExtRecovery(files, *engine, writer, progress, stop);
    const auto recovered = std::chrono::steady_clock::now();
    std::cout << "recover: " << result.counts.filesWritten << " files, " << result.counts.bytesWritten
              << " bytes, " << result.counts.failures << " failed, "
              << std::chrono::duration<double>(recovered - scanned).count() << " s\n";
    return 0;
}
