#!/usr/bin/env bash
# Formatted-drive mode: figures for the issue note. Not part of the test run (it builds 2 GiB images).
#
#   scripts/bench-formatted.sh peers          the formatted fixture volumes: files written before the
#                                             format that come back byte-identical, and the time, for
#                                             us (recover --mode formatted), The Sleuth Kit
#                                             (tsk_recover -e: everything the file system lists) and
#                                             photorec (carving the volume)
#   scripts/bench-formatted.sh speed [DIR]    2 GiB FAT32 and NTFS volumes filled with 1.2 GiB of files
#                                             and quick-formatted: the formatted scan (FAT: phase 1
#                                             reads the whole volume; NTFS: the sector search reads the
#                                             whole volume) against cat of the same image and The
#                                             Sleuth Kit's fls -r, cold (this file evicted from the
#                                             page cache) and warm
#
# Needs root (loop device and ntfs-3g mount for the speed images), mtools, dosfstools, ntfs-3g,
# sleuthkit, testdisk (photorec). Results of recoveries go to a fresh folder on a tmpfs.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
dir=${2:-/tmp/lumacore-bench-formatted}
# LUMACORE_CLI names an already built program; otherwise the default build is made.
cli=${LUMACORE_CLI:-}
if [ -z "$cli" ]; then
    cmake --preset default >/dev/null && cmake --build --preset default --target lumacore-cli >/dev/null
    cli=$PWD/build/bin/lumacore-cli
fi
manifest=$PWD/tests/fixtures/manifest.txt
scratch=$(mktemp -d /dev/shm/lumacore-formatted.XXXXXX)
loop=
cleanup() {
    mountpoint -q "$scratch/mnt" 2>/dev/null && umount "$scratch/mnt"
    [ -n "$loop" ] && losetup -d "$loop"
    rm -rf "$scratch"
}
trap cleanup EXIT

# identical IMAGE START DIR: how many files the manifest lists for that volume have a byte-identical
# copy somewhere under DIR.
identical() {
    python3 - "$manifest" "$1" "$2" "$3" <<'PY'
import hashlib, os, sys
manifest, image, start, root = sys.argv[1:5]
want = [l.split("\t")[5] for l in open(manifest, encoding="utf-8")
        if l.startswith(image + "\t") and l.split("\t")[1] == start]
have = set()
for folder, _, files in os.walk(root):
    for f in files:
        with open(os.path.join(folder, f), "rb") as h:
            have.add(hashlib.sha256(h.read()).hexdigest())
print("%d/%d" % (sum(w in have for w in want), len(want)))
PY
}

seconds() {  # COMMAND...: runs it, prints the wall time in seconds
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l | xargs printf '%.2f'
}

peers() {
    echo "== formatted fixtures: files written before the format that come back byte-identical (time)"
    printf '%-20s %6s  %-18s %-18s %-18s\n' image start lumacore tsk_recover photorec
    while read -r name start sectors index; do
        local img=$scratch/$name.img vol=$scratch/$name-$start.vol out=$scratch/out
        [ -f "$img" ] || zstd -d -q -f "tests/fixtures/images/$name.img.zst" -o "$img"
        dd if="$img" of="$vol" bs=512 skip="$start" count="$sectors" status=none
        rm -rf "$out"; mkdir -p "$out"
        local t_ours t_tsk t_photo
        t_ours=$(seconds "$cli" --no-devices --image "$img" recover --volume "$index" --mode formatted \
            --overwrite yes --to "$out/ours")
        t_tsk=$(seconds tsk_recover -e -o "$start" "$img" "$out/tsk")
        mkdir -p "$out/photorec"
        t_photo=$(seconds bash -c "cd '$out/photorec' && photorec /log /d '$out/photorec/recup' /cmd '$vol' \
            partition_none,options,paranoid,fileopt,everything,enable,wholespace,search")
        printf '%-20s %6s  %-18s %-18s %-18s\n' "$name" "$start" \
            "$(identical "$name.img" "$start" "$out/ours") (${t_ours}s)" \
            "$(identical "$name.img" "$start" "$out/tsk") (${t_tsk}s)" \
            "$(identical "$name.img" "$start" "$out/photorec") (${t_photo}s)"
        rm -f "$vol"
    done <<'VOLUMES'
fat-formatted 2048 79872 0
fat-formatted 81920 65536 1
ntfs-formatted 2048 49152 0
ntfs-formatted 51200 49152 1
VOLUMES
}

# The content written into both speed volumes: 40 folders of 200 small files and 20 files of 50 MiB.
stage_files() {
    local stage=$dir/stage
    [ -f "$stage/done" ] && return 0
    rm -rf "$stage"; mkdir -p "$stage/big"
    python3 - "$stage" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(7)
for a in range(40):
    folder = os.path.join(root, "set %02d" % a)
    os.mkdir(folder)
    for c in range(200):
        with open(os.path.join(folder, "document %03d.txt" % c), "w") as f:
            f.write(("line %d of set %d " % (c, a)) * rnd.randint(60, 2000))
PY
    for i in $(seq -w 1 20); do head -c 50M /dev/urandom > "$stage/big/video $i.bin"; done
    touch "$stage/done"
}

make_speed_images() {
    mkdir -p "$dir"
    stage_files
    if [ ! -f "$dir/fat32-2g.img" ]; then
        rm -f "$dir/fat32-2g.tmp"; truncate -s 2G "$dir/fat32-2g.tmp"
        mkfs.fat -F 32 -n BENCH "$dir/fat32-2g.tmp" >/dev/null
        MTOOLS_SKIP_CHECK=1 mcopy -s -i "$dir/fat32-2g.tmp" "$dir"/stage/set* "$dir/stage/big" ::/
        mkfs.fat -F 32 -n BENCH "$dir/fat32-2g.tmp" >/dev/null  # quick format, same geometry
        mv "$dir/fat32-2g.tmp" "$dir/fat32-2g.img"
    fi
    if [ ! -f "$dir/ntfs-2g.img" ]; then
        rm -f "$dir/ntfs-2g.tmp"; truncate -s 2G "$dir/ntfs-2g.tmp"
        loop=$(losetup -f --show "$dir/ntfs-2g.tmp")
        mkntfs -Q -F -L BENCH "$loop" >/dev/null 2>&1
        mkdir -p "$scratch/mnt"
        ntfs-3g "$loop" "$scratch/mnt"
        cp -r "$dir"/stage/set* "$dir/stage/big" "$scratch/mnt/"
        umount "$scratch/mnt"
        mkntfs -Q -F -L BENCH "$loop" >/dev/null 2>&1  # quick format, same geometry
        losetup -d "$loop"; loop=
        mv "$dir/ntfs-2g.tmp" "$dir/ntfs-2g.img"
    fi
}

evict() { dd if="$1" iflag=nocache count=0 status=none; }

run_speed() {  # LABEL IMAGE: the seconds one run of that command takes
    case $1 in
        cat) seconds cat "$2" ;;
        fls*) seconds fls -r "$2" ;;
        *) seconds "$cli" --no-devices --image "$2" scan --volume 0 --mode formatted ;;
    esac
}

speed() {
    make_speed_images
    echo "== 2 GiB volumes, 1.2 GiB of files, quick-formatted; best of 3 runs (seconds)"
    printf '%-14s %-44s %8s %8s\n' image command cold warm
    for img in "$dir/fat32-2g.img" "$dir/ntfs-2g.img"; do
        local name; name=$(basename "$img")
        for label in "cat" "scan --mode formatted" "fls -r (TSK)"; do
            local cold=999 warm=999 t
            for _ in 1 2 3; do
                evict "$img"
                t=$(run_speed "$label" "$img")
                cold=$(echo "if ($t < $cold) $t else $cold" | bc -l)
            done
            cat "$img" >/dev/null
            for _ in 1 2 3; do
                t=$(run_speed "$label" "$img")
                warm=$(echo "if ($t < $warm) $t else $warm" | bc -l)
            done
            printf '%-14s %-44s %8.2f %8.2f\n' "$name" "$label" "$cold" "$warm"
        done
        echo "   $("$cli" --no-devices --image "$img" scan --volume 0 --mode formatted | tail -2 | tr '\n' ' ')"
    done
}

case $what in
    peers) peers ;;
    speed) speed ;;
    all) peers; speed ;;
    *) echo "usage: $0 [peers|speed|all] [DIR]" >&2; exit 2 ;;
esac
