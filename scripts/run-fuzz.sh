#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/run-fuzz.sh TARGET [SECONDS] [JOBS]
# Targets: fat_fuzz, partition_fuzz. Findings land in build-fuzz/findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/run-fuzz.sh TARGET [SECONDS] [JOBS]}
seconds=${2:-600}
jobs=${3:-1}

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target"

corpus=build-fuzz/corpus/$target
findings=build-fuzz/findings/$target
mkdir -p "$corpus" "$findings"
# Seed with the fixture images: real boot sectors, FATs, tables and directories.
if [ -z "$(ls -A "$corpus")" ]; then
    case "$target" in
        fat_fuzz)
            # image, first sector of the FAT volume, 1 for the FAT32 engine
            while read -r image start fat32; do
                # (head closes the pipe early on purpose: the writers' SIGPIPE is not a failure)
                { printf "\\x0$fat32"; zstd -d -q -c "tests/fixtures/images/$image.img.zst" |
                    tail -c +$((start * 512 + 1)) | head -c 1000000 || true; } > "$corpus/$image"
            done <<'SEEDS'
fat16-default 2048 0
fat16-root1cluster 2048 0
fat16-sector63 63 0
fat32-deleted 2048 1
whole-fat16 0 0
whole-fat32 0 1
SEEDS
            ;;
        *)
            for image in tests/fixtures/images/*.img.zst; do
                zstd -d -q -c "$image" | head -c 1048576 > "$corpus/$(basename "$image" .img.zst)" || true
            done
            ;;
    esac
fi
build-fuzz/bin/"$target" "$corpus" -artifact_prefix="$findings/" -max_total_time="$seconds" \
    -jobs="$jobs" -workers="$jobs" -max_len=1048576 -rss_limit_mb=4096 -print_final_stats=1
