#!/usr/bin/env bash
# Makes the NTFS benchmark image (not committed; it is large):
#   OUT/ntfs-many.img  NTFS volume over the whole image, made with mkntfs and filled through ntfs-3g:
#                      120 folders x 900 small files (108,000 files, over 108,000 MFT records), a
#                      quarter of the files of the first 80 folders deleted, and 20 folders deleted
#                      whole. Needs root (loop device, FUSE mount).
# Usage: bench/ntfs_make_bench_image.sh [OUT]   (default /tmp/lumacore-bench)
set -euo pipefail
out=${1:-/tmp/lumacore-bench}
mkdir -p "$out"
[ -f "$out/ntfs-many.img" ] && { ls -la "$out/ntfs-many.img"; exit 0; }
work=$(mktemp -d)
mnt="$work/mnt"
loop=
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$loop" ] && losetup -d "$loop"
    rm -rf "$work"
}
trap cleanup EXIT

img="$work/many.img"
truncate -s 512M "$img"
loop=$(losetup -f --show "$img")
mkntfs -Q -F -L BENCH "$loop" >/dev/null 2>&1
mkdir -p "$mnt"
ntfs-3g "$loop" "$mnt"
python3 - "$mnt" <<'PY'
import os, shutil, sys
root = sys.argv[1]
for a in range(1, 121):
    folder = os.path.join(root, "project %03d" % a)
    os.mkdir(folder)
    for c in range(1, 901):
        with open(os.path.join(folder, "document number %03d.txt" % c), "w") as f:
            f.write("file %d %d\n" % (a, c) * (1 + c % 40))
for a in range(1, 81):
    for c in range(4, 901, 4):
        os.remove(os.path.join(root, "project %03d" % a, "document number %03d.txt" % c))
for a in range(101, 121):
    shutil.rmtree(os.path.join(root, "project %03d" % a))
PY
umount "$mnt"
losetup -d "$loop"
loop=
mv "$img" "$out/ntfs-many.img"
ls -la "$out/ntfs-many.img"
