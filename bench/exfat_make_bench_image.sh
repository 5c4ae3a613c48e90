#!/usr/bin/env bash
# Makes the exFAT benchmark image: a 3 GiB volume (mkfs.exfat) with 50,000 files of 1-40 KB in 300
# folders written through exfat-fuse, then 10 whole folders (about 1,700 files) and every 50th other
# file deleted. The SHA-256 of every deleted file is kept beside the image (exfat-bench.deleted).
# Usage (as root): bench/exfat_make_bench_image.sh [DIR]
set -euo pipefail
dir=${1:-/tmp/lumacore-exfat-bench}
img=$dir/exfat-bench.img
[ -f "$img" ] && [ -f "$dir/exfat-bench.deleted" ] && exit 0
mkdir -p "$dir/mnt"
rm -f "$img"; truncate -s 3G "$img"
loop=$(losetup -f --show "$img")
trap 'mountpoint -q "$dir/mnt" && umount "$dir/mnt"; losetup -d "$loop"' EXIT
mkfs.exfat -L BENCH "$loop" >/dev/null
mount.exfat-fuse "$loop" "$dir/mnt"
python3 - "$dir/mnt" "$dir/exfat-bench.deleted" <<'PY'
import hashlib, os, random, shutil, sys
root, listing = sys.argv[1], sys.argv[2]
rng = random.Random(2026)
sums = {}
for n in range(50000):
    folder = 'folder%03d' % (n % 300)
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    path = '%s/file%05d.dat' % (folder, n)
    head = ('%s %d\n' % (path, n)).encode()
    data = head + bytes(rng.getrandbits(8) for _ in range(64)) * (rng.randint(1, 40 * 1024) // 64)
    with open(os.path.join(root, path), 'wb') as f:
        f.write(data)
    sums[path] = hashlib.sha256(data).hexdigest()
deleted = []
for k in range(10):
    folder = 'folder%03d' % (k * 29)
    deleted += [p for p in sums if p.startswith(folder + '/')]
    shutil.rmtree(os.path.join(root, folder))
for p in sorted(sums)[::50]:
    if os.path.exists(os.path.join(root, p)):
        os.remove(os.path.join(root, p))
        deleted.append(p)
with open(listing, 'w') as f:
    for p in sorted(set(deleted)):
        f.write('%s  %s\n' % (sums[p], p))
PY
umount "$dir/mnt"
fallocate --dig-holes "$img"
echo "$img: $(wc -l < "$dir/exfat-bench.deleted") deleted files"
