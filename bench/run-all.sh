#!/usr/bin/env bash
# Every engine beside its peers on the same generated images, warm and cold page cache, with a table
# of ratios (ours/peer, ours/cat) at the end. Not part of the test run: it makes several GiB of
# images the first time (root: loop devices and FUSE mounts) and takes minutes.
#
#   LUMACORE_BENCH_DIR   where the images are made and kept between runs (default /var/tmp/lumacore-bench)
#   LUMACORE_BENCH_RUNS  runs per measurement, the best one counts (default 3)
#   LUMACORE_BUILD_DIR   the build whose lumacore-cli is measured (default build)
#
# Cold = the image evicted from the page cache before each run (posix_fadvise DONTNEED through dd's
# iflag=nocache), never the machine's whole cache. Outputs go to a tmpfs so the writing disk does not
# decide. Peak memory is the largest resident set GNU time saw. Counts: files each one lists or writes.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${LUMACORE_BENCH_DIR:-/var/tmp/lumacore-bench}
runs=${LUMACORE_BENCH_RUNS:-3}
build=${LUMACORE_BUILD_DIR:-build}
mkdir -p "$dir"
cmake --build "$build" --target lumacore-cli >/dev/null
cli=$PWD/$build/bin/lumacore-cli
out=$(mktemp -d /dev/shm/lumacore-bench-all.XXXXXX)
results=$dir/results.tsv
loop=
cleanup() {
    mountpoint -q "$out/mnt" 2>/dev/null && umount "$out/mnt"
    [ -n "$loop" ] && losetup -d "$loop"
    rm -rf "$out"
}
trap cleanup EXIT

make_ext4() {
    [ -f "$dir/ext4-deleted.img" ] && return
    # EXT4 keeps a deleted file's older inode in its journal: 20,000 files, a third deleted between syncs.
    truncate -s 1G "$dir/ext4.tmp"
    loop=$(losetup -f --show "$dir/ext4.tmp")
    mke2fs -q -F -t ext4 "$loop"
    mkdir -p "$out/mnt" && mount "$loop" "$out/mnt"
    python3 - "$out/mnt" <<'PY'
import os, random, sys
rng = random.Random(4)
for a in range(40):
    os.mkdir(os.path.join(sys.argv[1], "set%02d" % a))
    for c in range(500):
        with open(os.path.join(sys.argv[1], "set%02d" % a, "f%03d.bin" % c), "wb") as f:
            f.write(rng.randbytes(rng.randint(1000, 40000)))
PY
    sync
    find "$out/mnt" -name 'f*[05].bin' -delete
    find "$out/mnt" -name 'f*3.bin' -delete
    sync
    umount "$out/mnt"
    losetup -d "$loop"
    loop=
    mv "$dir/ext4.tmp" "$dir/ext4-deleted.img"
}

: > "$results"
evict() { dd if="$1" iflag=nocache count=0 status=none; }
warm() { cat "$1" > /dev/null; }

# measure ENGINE TASK WHO IMAGE COUNT_COMMAND COMMAND   (commands run by bash in a fresh $out/work)
measure() {
    local engine=$1 task=$2 who=$3 img=$4 count=$5 command=$6 cache t m bestT bestM
    for cache in warm cold; do
        bestT= bestM=
        for _ in $(seq "$runs"); do
            rm -rf "$out/work" && mkdir -p "$out/work"
            if [ "$cache" = warm ]; then warm "$img"; else evict "$img"; fi
            (cd "$out/work" && /usr/bin/time -f '%e %M' -o "$out/time" bash -c "$command" > "$out/stdout" 2>/dev/null) || true
            read -r t m < "$out/time"
            if [ -z "$bestT" ] || awk -v a="$t" -v b="$bestT" 'BEGIN { exit !(a < b) }'; then bestT=$t bestM=$m; fi
        done
        local found=-
        [ -n "$count" ] && found=$(cd "$out/work" && bash -c "$count" 2>/dev/null || echo -)
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$engine" "$task" "$who" "$cache" "$bestT" "$bestM" "$found" >> "$results"
        printf '%-6s %-8s %-14s %-4s %7s s %8s KiB  %s\n' "$engine" "$task" "$who" "$cache" "$bestT" "$bestM" "$found"
    done
}
# Our scan command line for an image and its volume options.
scan() { echo "$cli --no-devices --image $1 scan $2"; }

cat_all() { measure "$1" "$2" cat "$3" "" "cat $3 > /dev/null"; }

# NTFS: deleted-file scan of 108,000 files, ntfsundelete and fls; the 1 M-record MFT; recovery
bench/ntfs_make_bench_image.sh "$dir" >/dev/null
[ -f "$dir/ntfs-million.img" ] || bench/ntfs_make_million_mft.py "$dir/ntfs-many.img" "$dir/ntfs-million.img" >/dev/null
img=$dir/ntfs-many.img
measure NTFS scan lumacore "$img" "tail -1 ../stdout | grep -o '[0-9]\\+' | head -1" "$(scan "$img" '--volume 0')"
measure NTFS scan ntfsundelete "$img" "grep -c '^[0-9]' ../stdout" "ntfsundelete $img --scan --force"
measure NTFS scan fls "$img" "grep -c '^-/r' ../stdout" "fls -r -d -p $img"
cat_all NTFS scan "$img"
measure NTFS recover lumacore "$img" "find . -type f | wc -l" "$cli --no-devices --image $img recover --volume 0 --to out --overwrite yes"
measure NTFS recover tsk_recover "$img" "find . -type f | wc -l" "tsk_recover $img out"
img=$dir/ntfs-million.img
measure NTFS-1M scan lumacore "$img" "tail -1 ../stdout | grep -o '[0-9]\\+' | head -1" "$(scan "$img" '--volume 0')"
cat_all NTFS-1M scan "$img"

# RAW: carving a 512 MiB image with 800 embedded files, photorec and foremost
[ -f "$dir/raw-bench.img" ] || bench/raw_make_bench_image.py "$dir/raw-bench.img" 512 800 >/dev/null
img=$dir/raw-bench.img
measure RAW carve lumacore "$img" "find . -type f ! -name '*.tsv' | wc -l" "$cli --no-devices --image $img recover --disk 0 --mode raw --signatures $PWD/res/rp.dat --to out --overwrite yes"
measure RAW carve photorec "$img" "find . -type f -path '*recup*' -name 'f*' | wc -l" \
    "photorec /log /d recup /cmd $img partition_none,options,paranoid,fileopt,everything,enable,wholespace,search"
measure RAW carve foremost "$img" "find out -type f ! -name audit.txt | wc -l" "foremost -Q -t all -i $img -o out"
cat_all RAW carve "$img"

# EXT4: recovery of the deleted files, extundelete
make_ext4
img=$dir/ext4-deleted.img
measure EXT4 recover lumacore "$img" "find . -type f | wc -l" "$cli --no-devices --image $img recover --volume 0 --to out --overwrite yes"
measure EXT4 recover extundelete "$img" "find . -type f | wc -l" "extundelete $img --restore-all"
cat_all EXT4 recover "$img"

# FAT32: deleted-file scan, fls
bench/make-fat-bench-images.sh "$dir" >/dev/null
img=$dir/fat32-many.img
measure FAT32 scan lumacore "$img" "tail -1 ../stdout | grep -o '[0-9]\\+' | head -1" "$(scan "$img" '--volume 0')"
measure FAT32 scan fls "$img" "grep -c . ../stdout" "fls -r -d -p -o 2048 $img"
cat_all FAT32 scan "$img"

# exFAT: deleted-file scan, fls
bench/exfat_make_bench_image.sh "$dir" >/dev/null
img=$dir/exfat-bench.img
measure exFAT scan lumacore "$img" "tail -1 ../stdout | grep -o '[0-9]\\+' | head -1" "$(scan "$img" '--volume 0')"
measure exFAT scan fls "$img" "grep -c '^[-r]/r' ../stdout" "fls -r -d -p $img"
cat_all exFAT scan "$img"

# ---- the table: ours against each peer and against cat, warm and cold ----
python3 - "$results" <<'PY'
import sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
value = {(e, t, w, c): (float(s), int(m), f) for e, t, w, c, s, m, f in rows}
print("\n%-8s %-8s %-13s %-5s %8s %8s %7s %9s %7s %9s" %
      ("engine", "task", "peer", "cache", "ours s", "peer s", "ratio", "ours/cat", "ours MB", "peer MB") + "  found ours/peer")
for (e, t, w, c), (s, m, f) in value.items():
    if w in ("lumacore", "cat"):
        continue
    ours = value.get((e, t, "lumacore", c))
    cat = value.get((e, t, "cat", c))
    if not ours:
        continue
    print("%-8s %-8s %-13s %-5s %8.2f %8.2f %7.2f %9s %7.1f %9.1f  %s/%s" % (
        e, t, w, c, ours[0], s, ours[0] / s if s else 0,
        "%.2f" % (ours[0] / cat[0]) if cat and cat[0] else "-", ours[1] / 1024, m / 1024, ours[2], f))
for (e, t, w, c), (s, m, f) in value.items():
    if w == "lumacore" and not any(k[0] == e and k[1] == t and k[2] not in ("lumacore", "cat") for k in value):
        cat = value.get((e, t, "cat", c))
        print("%-8s %-8s %-13s %-5s %8.2f %8s %7s %9s %7.1f %9s  %s" % (
            e, t, "-", c, s, "-", "-", "%.2f" % (s / cat[0]) if cat and cat[0] else "-", m / 1024, "-", f))
PY
