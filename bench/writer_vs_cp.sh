#!/usr/bin/env bash
# Times writing recovered files against `cp -r` of the same files into the same kind of file system,
# `sync` included in both, warm cache. Two sets on a 2 GiB FAT32 volume (mkfs.fat + mtools), every file
# deleted afterwards so that a deleted-files recovery writes them all:
#   small: 50,000 files of 0.5-16 KiB in 100 folders of 500
#   large: 4 files of 256 MiB
# Each timed run writes into a fresh ext4 made on a loop device for that run alone (the kernel is slow
# to reuse inodes freed a moment ago). Needs root (loop mounts).
# Usage: bench/writer_vs_cp.sh [WORK] [RUNS]   (default /tmp/lumacore-writer-bench, 3 runs)
#        LUMACORE_CLI=path/to/lumacore-cli to time another build.
#        FOLDERS (default 100) and LARGE_MIB (default 256) make smaller sets: mtools takes most of an
#        hour to copy 50,000 files onto a 2 GiB FAT32 volume on a busy 2-core machine.
#        SETS (default "small large") picks the sets to make and time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${LUMACORE_CLI:-$here/build/bin/lumacore-cli}
work=${1:-/tmp/lumacore-writer-bench}
runs=${2:-3}
folders=${FOLDERS:-100}
large_mib=${LARGE_MIB:-256}
sets=${SETS:-small large}
export MTOOLS_SKIP_CHECK=1
mkdir -p "$work"

make_set() {  # name python-generator
    local name=$1 generator=$2 img="$work/$1.img"
    [ -f "$img" ] && return 0
    rm -rf "$work/$name"
    python3 -c "$generator" "$work/$name" "$folders" "$large_mib"
    truncate -s 2049M "$img.part"
    printf 'label: dos\nstart=2048, type=c\n' | sfdisk -q --no-reread --no-tell-kernel "$img.part"
    mkfs.fat -F 32 -s 8 --offset=2048 "$img.part" $((2048 * 1024)) >/dev/null
    mcopy -s -i "$img.part@@1M" "$work/$name"/* ::
    for entry in "$work/$name"/*; do
        if [ -d "$entry" ]; then mdeltree -i "$img.part@@1M" "::$(basename "$entry")"; else mdel -i "$img.part@@1M" "::$(basename "$entry")"; fi
    done
    fallocate --dig-holes "$img.part"
    mv "$img.part" "$img"
}

[[ " $sets " == *" small "* ]] && make_set small '
import os, random, sys
rng = random.Random(50000)
for f in range(int(sys.argv[2])):
    d = os.path.join(sys.argv[1], f"folder {f:03d}")
    os.makedirs(d)
    for i in range(500):
        with open(os.path.join(d, f"file {f:03d}-{i:03d}.bin"), "wb") as out:
            out.write(rng.randbytes(rng.randint(512, 16 * 1024)))
'
[[ " $sets " == *" large "* ]] && make_set large '
import os, random, sys
rng = random.Random(4)
os.makedirs(sys.argv[1])
for i in range(4):
    with open(os.path.join(sys.argv[1], f"large{i}.bin"), "wb") as out:
        for _ in range(int(sys.argv[3])):
            out.write(rng.randbytes(1 << 20))
'

target="$work/target.img"
mnt="$work/mnt"
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -f "$target"
}
trap cleanup EXIT

# Prints the seconds one command takes to write into a fresh ext4 and sync it.
timed_into_fresh_ext4() {
    truncate -s 4G "$target"
    mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$target"
    mount -o loop "$target" "$mnt"
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    sync
    end=$(date +%s.%N)
    umount "$mnt"
    # The loop device lets go of its file a moment after the unmount; removing the file before that
    # leaves freeing its blocks and pages to the kernel during the next timed run, which then pays for
    # this one. Wait for the detach, and sync the removal.
    for _ in $(seq 50); do [ -z "$(losetup -j "$target")" ] && break; sleep 0.1; done
    rm -f "$target"
    sync
    echo "$end - $start" | bc
}

# The machine's write-back speed drifts from one minute to the next, so the two take turns going first
# and the summary is the median of each run's ratio.
printf '%-6s %-4s %10s %10s %7s\n' set run cp_s ours_s ours/cp
for name in $sets; do
    cat "$work/$name.img" > /dev/null
    find "$work/$name" -type f -exec cat {} + > /dev/null
    ratios=()
    for run in $(seq 1 "$runs"); do
        time_cp() { cp_s=$(timed_into_fresh_ext4 cp -r "$work/$name" "$mnt/copy"); }
        time_ours() {
            ours_s=$(timed_into_fresh_ext4 "$cli" --no-devices --image "$work/$name.img" recover --disk 0 --start 2048 \
                --to "$mnt" --overwrite no)
        }
        if [ $((run % 2)) = 1 ]; then time_cp; time_ours; else time_ours; time_cp; fi
        printf '%-6s %-4s %10.2f %10.2f %7.2f\n' "$name" "$run" "$cp_s" "$ours_s" "$(echo "$ours_s / $cp_s" | bc -l)"
        ratios+=("$(echo "$cp_s / $ours_s" | bc -l)")
    done
    printf '%s\n' "${ratios[@]}" | sort -g | awk -v set="$name" '{ r[NR] = $1 }
        END { m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
              printf "%s: speed ratio cp_s/ours_s median %.2f (%.2f-%.2f over %d runs)\n", set, m, r[1], r[NR], NR }'
done
echo "speed ratio = cp_s / ours_s (aim: at least 0.7, i.e. ours/cp at most 1.43)"
