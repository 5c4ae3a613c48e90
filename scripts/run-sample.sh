#!/usr/bin/env bash
# The main job on the bundled sample disk: build, list the disks and volumes, list the deleted files of
# its FAT32 volume, and recover them into build/sample/recovered.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target lumacore-cli

mkdir -p build/sample
if [ ! -f build/sample/sample-disk.img ] || [ samples/sample-disk.img.zst -nt build/sample/sample-disk.img ]; then
    zstd -d -q -f samples/sample-disk.img.zst -o build/sample/sample-disk.img
fi
cli=(build/bin/lumacore-cli --no-devices --image build/sample/sample-disk.img)

echo
echo "== lumacore-cli --no-devices --image build/sample/sample-disk.img disks"
"${cli[@]}" disks

echo
echo "== lumacore-cli ... scan --volume 0 --mode deleted"
"${cli[@]}" scan --volume 0 --mode deleted

rm -rf build/sample/recovered
mkdir -p build/sample/recovered
echo
echo "== lumacore-cli ... recover --volume 0 --mode deleted --to build/sample/recovered"
"${cli[@]}" recover --volume 0 --mode deleted --to build/sample/recovered
echo
find build/sample/recovered -type f | sort
