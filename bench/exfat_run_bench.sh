#!/usr/bin/env bash
# exFAT benchmark: the deleted-file scan of a 50,000-file volume against `fls -r -d -p`, and the
# recovery of everything found against tsk_recover, counted byte-exact by SHA-256 against the files as
# they were written. Warm page cache; wall time and peak memory from /usr/bin/time; output into a tmpfs.
# Usage (as root): bench/exfat_run_bench.sh [DIR]   (image from bench/exfat_make_bench_image.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-exfat-bench}
bench/exfat_make_bench_image.sh "$dir"
build=${LUMACORE_BUILD_DIR:-build}
cmake --build "$build" --target lumacore >/dev/null
driver=$dir/exfat_bench_driver
c++ -std=c++20 -O2 -Isrc bench/exfat_bench_driver.cpp "$build/src/liblumacore.a" -lblkid -pthread -o "$driver"
img=$dir/exfat-bench.img
out=$(mktemp -d /dev/shm/lumacore-exfat-bench.XXXXXX)
trap 'rm -rf "$out"' EXIT

measure() {  # LABEL COMMAND...
    local label=$1; shift
    /usr/bin/time -f "%e s wall, %U+%S s CPU, %M KiB peak" -o "$out/time" "$@" > "$out/log" 2>&1 || true
    printf '%-36s %s   %s\n' "$label" "$(cat "$out/time")" "$(grep -E '^(scan|recover):' "$out/log" | tr '\n' ' ')"
}
# Deleted files whose recovered copy (found anywhere below FOLDER) has the bytes that were written.
identical() {
    find "$1" -type f -print0 | xargs -0 -r sha256sum | cut -d' ' -f1 | sort -u > "$out/got"
    cut -d' ' -f1 "$dir/exfat-bench.deleted" | sort | comm -12 - "$out/got" | wc -l
}

cat "$img" > /dev/null
echo "== $(basename "$img"): $(wc -l < "$dir/exfat-bench.deleted") deleted files (warm cache)"
for run in 1 2 3; do measure "lumacore deleted scan (run $run)" "$driver" "$img" 0 deleted; done
for run in 1 2 3; do
    measure "fls -r -d -p (run $run)" fls -r -d -p "$img"
    echo "   listed: $(grep -c . "$out/log") entries"
done
rm -rf "$out/ours"; mkdir "$out/ours"
measure "lumacore scan + recover" "$driver" "$img" 0 deleted "$out/ours"
echo "   byte-identical deleted files: $(identical "$out/ours")"
rm -rf "$out/ours" "$out/theirs"; mkdir "$out/theirs"
measure "tsk_recover" tsk_recover "$img" "$out/theirs"
echo "   byte-identical deleted files: $(identical "$out/theirs")"
