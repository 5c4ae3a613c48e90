#!/usr/bin/env bash
# The main job on the bundled sample disk: build, then list the sample's disks and volumes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target lumacore-cli

mkdir -p build/sample
if [ ! -f build/sample/sample-disk.img ] || [ samples/sample-disk.img.zst -nt build/sample/sample-disk.img ]; then
    zstd -d -q -f samples/sample-disk.img.zst -o build/sample/sample-disk.img
fi

echo
echo "== lumacore-cli --no-devices --image build/sample/sample-disk.img disks"
build/bin/lumacore-cli --no-devices --image build/sample/sample-disk.img disks
