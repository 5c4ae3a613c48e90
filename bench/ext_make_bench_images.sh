#!/usr/bin/env bash
# Makes the EXT benchmark images (root: loop devices and mounts):
#   ext2-inodes.img  1 GiB ext2, 4 KiB blocks, 131,072 inodes; 60,000 small files written through the
#                    kernel, 10,000 of them deleted with debugfs (their inodes keep their pointers);
#   ext3-journal.img 512 MiB ext3 with a 32 MiB journal that metadata churn has filled and wrapped;
#                    the last 10,000 files are deleted with a sync before and after.
# Usage: bench/ext_make_bench_images.sh [DIR]   (default /tmp/lumacore-ext-bench; kept when present)
set -euo pipefail
dir=${1:-/tmp/lumacore-ext-bench}
mkdir -p "$dir"
mnt=$(mktemp -d)
loop=
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
    rmdir "$mnt"
}
trap cleanup EXIT

# COUNT small files of 200 bytes to 6 KiB, named d<N/1000>/f<N>, with a sync every 5000.
fill() {
    python3 - "$mnt" "$1" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%d" % i), "wb") as f:
        f.write(bytes([97 + i % 26]) * (200 + (i * 7919) % 6000))
    if i % 5000 == 4999:
        os.sync()
PY
}

if [ ! -f "$dir/ext2-inodes.img" ]; then
    rm -f "$dir/ext2-inodes.tmp"
    truncate -s 1G "$dir/ext2-inodes.tmp"
    mke2fs -q -F -t ext2 -b 4096 -N 131072 "$dir/ext2-inodes.tmp"
    loop=$(losetup -f --show "$dir/ext2-inodes.tmp")
    mount "$loop" "$mnt"
    fill 60000
    umount "$mnt"
    # Every sixth file goes, deleted the way older kernels left them: pointers kept.
    for (( i = 0; i < 60000; i += 6 )); do echo "rm /d$(( i / 1000 ))/f$i"; done > "$dir/rm.cmd"
    debugfs -w -f "$dir/rm.cmd" "$loop" >/dev/null 2>&1
    losetup -d "$loop"; loop=
    mv "$dir/ext2-inodes.tmp" "$dir/ext2-inodes.img"
fi

if [ ! -f "$dir/ext3-journal.img" ]; then
    rm -f "$dir/ext3-journal.tmp"
    truncate -s 512M "$dir/ext3-journal.tmp"
    mke2fs -q -F -t ext3 -J size=32 "$dir/ext3-journal.tmp"
    loop=$(losetup -f --show "$dir/ext3-journal.tmp")
    mount "$loop" "$mnt"
    # Churn: create and remove folders of files until the journal has wrapped, then the files to find.
    for round in 1 2 3; do
        fill 20000
        rm -rf "$mnt"/d*
        sync
    done
    fill 20000
    sync
    for (( i = 0; i < 20000; i += 2 )); do rm "$mnt/d$(( i / 1000 ))/f$i"; done
    sync
    umount "$mnt"
    losetup -d "$loop"; loop=
    mv "$dir/ext3-journal.tmp" "$dir/ext3-journal.img"
fi
ls -la "$dir"/*.img
