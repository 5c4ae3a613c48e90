#!/usr/bin/env bash
# Writes a PNG of every page and dialog of the desktop program into a folder, without a display:
#   scripts/screenshots.sh [OUTDIR] [BUILD_DIR] [WxH]      (OUTDIR defaults to build/screenshots)
# WxH: the window's size (785x465, the designed size, when left out), e.g. 1280x800.
# The drive pages list the fixture disk images. QT_SCALE_FACTOR=2 shows the 200 % look.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
build=${2:-build}
size=${3:-}

scripts/install-deps.sh
if [ "$build" = build ]; then
    cmake --preset default >/dev/null
fi
cmake --build "$build" --target lumacore-screenshots

images=$(mktemp -d)
trap 'rm -rf "$images"' EXIT
args=()
for name in mbr-modern2048 mbr-legacy63 fat32-deleted mbr-empty ntfs-deleted ext2-deleted; do
    zstd -d -q -f "tests/fixtures/images/$name.img.zst" -o "$images/$name.img"
    args+=(--image "$images/$name.img")
done

if [ -n "$size" ]; then
    args+=(--size "$size")
fi

mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$build/bin/lumacore-screenshots" "$out" "${args[@]}"
