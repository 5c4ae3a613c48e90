#!/usr/bin/env bash
# Makes the FAT scale benchmark image (not committed; about 2 GiB, sparse):
#   OUT/fat32-50k.img  a 2 GiB FAT32 volume at sector 2048 (mkfs.fat + mtools) with 50,000 files of
#                      0.5-16 KiB (random bytes, so every file has its own SHA-256) in 100 folders of
#                      500; 22 whole folders deleted (mdeltree), every 7th file of the others deleted,
#                      and 40 files written first-fit into the holes and then deleted: fragmented
#                      deleted files with live clusters between their pieces.
#   OUT/$name.sha256  "sha256  path" of every file written, and OUT/$name.deleted the paths
#                      that were deleted.
# Usage: bench/fat_make_scale_image.sh [OUT]   (default /tmp/lumacore-bench)
# FOLDERS (default 100) and VOLUME_MIB (default 2048) make a smaller variant, named by its folder count
# (fat32-12f.img ...): mtools rewrites the FAT as it goes, so a 2 GiB volume takes it a while per file.
set -euo pipefail
out=${1:-/tmp/lumacore-bench}
folders=${FOLDERS:-100}
mib=${VOLUME_MIB:-2048}
name=fat32-50k
[ "$folders" = 100 ] || name=fat32-${folders}f
mkdir -p "$out"
[ -f "$out/$name.img" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
img="$work/$name.img"
truncate -s $((mib + 1))M "$img"
printf 'label: dos\nstart=2048, type=c\n' | sfdisk -q --no-reread --no-tell-kernel "$img"
mkfs.fat -F 32 -s 8 -h 2048 --offset=2048 "$img" $((mib * 1024)) >/dev/null
at="$img@@1M"

python3 - "$work/tree" "$folders" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(50000)
for f in range(int(sys.argv[2])):
    d = os.path.join(root, f"folder {f:03d}")
    os.makedirs(d)
    for i in range(500):
        with open(os.path.join(d, f"file {f:03d}-{i:03d} with a long name.bin"), "wb") as out:
            out.write(rng.randbytes(rng.randint(512, 16 * 1024)))
PY
(cd "$work/tree" && find . -type f -print0 | xargs -0 sha256sum | sed 's#  \./#  /#') > "$out/$name.sha256"
mcopy -s -i "$at" "$work/tree"/* ::
rm -rf "$work/tree"

: > "$out/$name.deleted"
last=$((folders - 1))
for f in $(seq 0 $last); do
    d=$(printf 'folder %03d' "$f")
    if [ $((f % 5)) -eq 2 ] || [ "$f" -ge $((folders - 2)) ]; then continue; fi  # deleted whole below
    for i in $(seq 3 7 499); do
        p=$(printf '/%s/file %03d-%03d with a long name.bin' "$d" "$f" "$i")
        echo "::$p"
        echo "$p" >> "$out/$name.deleted"
    done
done | xargs -d '\n' mdel -i "$at"

# First-fit from here on (mtools otherwise continues after its next-free hint and never fills holes):
# FSInfo next-free at byte 492 of the volume's sector 1.
python3 - "$img" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(1024 * 1024 + 512 + 492)
    f.write(b"\xff\xff\xff\xff")
PY
python3 - "$work/frag" <<'PY'
import os, random, sys
rng = random.Random(7)
os.makedirs(sys.argv[1])
for i in range(40):
    with open(os.path.join(sys.argv[1], f"fragmented {i:02d}.bin"), "wb") as out:
        out.write(rng.randbytes(rng.randint(150 * 1024, 400 * 1024)))
PY
(cd "$work/frag" && sha256sum -- * | sed 's#  #  /Fragmented/#') >> "$out/$name.sha256"
mmd -i "$at" ::/Fragmented
mcopy -i "$at" "$work/frag"/* ::/Fragmented/
for i in $(seq -w 0 39); do echo "::/Fragmented/fragmented $i.bin"; echo "/Fragmented/fragmented $i.bin" >> "$out/$name.deleted"; done |
    xargs -d '\n' mdel -i "$at"

for f in $(seq 2 5 $((folders - 3))) $((folders - 2)) $((folders - 1)); do
    d=$(printf 'folder %03d' "$f")
    mdeltree -i "$at" "::/$d"
    grep -F "  /$d/" "$out/$name.sha256" | sed 's/^[0-9a-f]*  //' >> "$out/$name.deleted"
done
fallocate --dig-holes "$img"
mv "$img" "$out/$name.img"
