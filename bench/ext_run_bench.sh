#!/usr/bin/env bash
# EXT benchmark: the EXT2 inode scan (1 GiB volume, 131,072 inodes, 10,000 deleted) and the EXT3 journal
# scan (32 MiB journal, filled and wrapped), each followed by the recovery of what was found, against
# extundelete --restore-all on the same images. Warm page cache; wall time and peak memory from
# /usr/bin/time; output into a tmpfs so the writing disk does not decide.
# Usage: bench/ext_run_bench.sh [IMAGE_DIR]   (images from bench/ext_make_bench_images.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-ext-bench}
bench/ext_make_bench_images.sh "$dir" >/dev/null
build=${LUMACORE_BUILD_DIR:-build}
cmake --build "$build" --target lumacore_cli >/dev/null
driver=$dir/ext_bench_driver
c++ -std=c++20 -O2 -Isrc bench/ext_bench_driver.cpp "$build/src/liblumacore_cli.a" "$build/src/liblumacore.a" \
    -lblkid -pthread -o "$driver"
out=$(mktemp -d /dev/shm/lumacore-ext-bench.XXXXXX)
trap 'rm -rf "$out"' EXIT
command -v extundelete >/dev/null || { echo "extundelete is needed (apt-get install extundelete)" >&2; exit 1; }

measure() {  # LABEL COMMAND...
    local label=$1; shift
    /usr/bin/time -f "%e s, %M KiB peak" -o "$out/time" "$@" > "$out/log" 2>&1 || true
    printf '%-44s %s   %s\n' "$label" "$(cat "$out/time")" "$(grep -E '^(scan|recover):' "$out/log" | tr '\n' ' ')"
}

for image in ext2-inodes ext3-journal; do
    img=$dir/$image.img
    fs=EXT2; [ "$image" = ext3-journal ] && fs=EXT3
    cat "$img" > /dev/null  # warm
    echo "== $image ($(stat -c %s "$img") bytes, $fs)"
    for run in 1 2 3; do measure "lumacore scan (run $run)" "$driver" "$img" 0 "$fs"; done
    rm -rf "$out/ours"; mkdir "$out/ours"
    measure "lumacore scan + recover" "$driver" "$img" 0 "$fs" "$out/ours"
    echo "   recovered: $(find "$out/ours" -type f | wc -l) files"
    rm -rf "$out/ours"
    loop=$(losetup -r -f --show "$img")
    rm -rf "$out/theirs"; mkdir "$out/theirs"
    ( cd "$out/theirs" && measure "extundelete --restore-all" extundelete "$loop" --restore-all )
    echo "   recovered: $(find "$out/theirs/RECOVERED_FILES" -type f 2>/dev/null | wc -l) files"
    rm -rf "$out/theirs"
    losetup -d "$loop"
done
