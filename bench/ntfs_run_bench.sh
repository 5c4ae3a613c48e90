#!/usr/bin/env bash
# NTFS benchmark: the deleted-file scan of a volume with more than 100,000 MFT records against The
# Sleuth Kit's `fls -r -d -p` and ntfs-3g's `ntfsundelete --scan`, warm page cache: elapsed time and
# peak memory of each (GNU time), the best of five runs, and how many deleted files each lists.
# Usage: bench/ntfs_run_bench.sh [IMAGE_DIR]   (image from bench/ntfs_make_bench_image.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-bench}
bench/ntfs_make_bench_image.sh "$dir" >/dev/null
cmake --build --preset default --target lumacore-cli >/dev/null
cli=$PWD/build/bin/lumacore-cli
img=$dir/ntfs-many.img
cat "$img" > /dev/null  # warm

mft_bytes=$(istat "$img" 0 | awk '/^Type: \$DATA/ { for (i = 1; i <= NF; i++) if ($i == "size:") print $(i + 1) }')
echo "== image: $img, \$MFT $mft_bytes bytes ($(( mft_bytes / 1024 )) records)"
echo "== deleted files listed: lumacore $("$cli" --no-devices --image "$img" scan --volume 0 | tail -1 | cut -d' ' -f5)," \
     "fls $(fls -r -d -p "$img" | grep -c '^-/r'), ntfsundelete $(ntfsundelete "$img" --scan --force 2>/dev/null | grep -c '^[0-9]')"

# best-of-five elapsed seconds and the peak resident set of that run, in KiB
measure() {
    local name=$1 best= rss= t r stats
    shift
    stats=$(mktemp)
    for _ in 1 2 3 4 5; do
        /usr/bin/time -o "$stats" -f '%e %M' "$@" > /dev/null 2>&1 || true
        read -r t r < "$stats"
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; rss=$r; fi
    done
    rm -f "$stats"
    printf '%-14s %8s s %10s KiB peak\n' "$name" "$best" "$rss"
}
measure lumacore "$cli" --no-devices --image "$img" scan --volume 0
measure fls fls -r -d -p "$img"
measure ntfsundelete ntfsundelete "$img" --scan --force
