#!/usr/bin/env bash
# FAT benchmark: the deleted-file scan against The Sleuth Kit's fls on a volume with more than 50,000
# directory entries, and recovery throughput of large contiguous files against a plain copy and a
# plain read of the image. Warm page cache; output into a tmpfs so the writing disk does not decide.
# Usage: bench/run-fat-bench.sh [IMAGE_DIR]   (images from bench/make-fat-bench-images.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-bench}
bench/make-fat-bench-images.sh "$dir" >/dev/null
cmake --build --preset default --target lumacore-cli >/dev/null
cli=$PWD/build/bin/lumacore-cli
out=$(mktemp -d /dev/shm/lumacore-bench.XXXXXX)
trap 'rm -rf "$out"' EXIT
command -v hyperfine >/dev/null || { echo "hyperfine is needed (apt-get install hyperfine)" >&2; exit 1; }

many=$dir/fat32-many.img
large=$dir/fat32-large.img
cat "$many" "$large" > /dev/null  # warm

echo "== entries: $(fls -r -p -o 2048 "$many" | wc -l) (fls), deleted listed by fls: $(fls -r -d -p -o 2048 "$many" | wc -l)"
echo "== deleted files listed by lumacore: $("$cli" --no-devices --image "$many" scan --volume 0 | tail -1)"
hyperfine -N -w 2 -r 10 \
    "$cli --no-devices --image $many scan --volume 0" \
    "fls -r -d -p -o 2048 $many"

hyperfine -w 1 -r 5 -p "rm -rf $out/recovered $out/copy" \
    "$cli --no-devices --image $large recover --volume 0 --to $out/recovered --overwrite yes" \
    "head -c 838860800 $large > $out/copy" \
    "cat $large > /dev/null"
