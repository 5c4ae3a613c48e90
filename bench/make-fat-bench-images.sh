#!/usr/bin/env bash
# Makes the FAT benchmark images (not committed; they are large):
#   OUT/fat32-many.img  FAT32 volume at sector 2048 with more than 50,000 directory entries in nested
#                       folders, about a fifth of them deleted (files and whole folders)
#   OUT/fat32-large.img FAT32 volume at sector 2048 with four deleted 200 MiB contiguous files
# Usage: bench/make-fat-bench-images.sh [OUT]   (default /tmp/lumacore-bench)
set -euo pipefail
out=${1:-/tmp/lumacore-bench}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1

if [ ! -f "$out/fat32-many.img" ]; then
    img="$work/many.img"
    truncate -s 600M "$img"
    printf 'label: dos\nstart=2048, type=c\n' | sfdisk -q --no-reread --no-tell-kernel "$img"
    mkfs.fat -F 32 -s 8 -h 2048 --offset=2048 "$img" $(( (600 * 1024) - 1024 )) >/dev/null
    # 60 folders x 10 subfolders x 90 files = 54,000 files plus 660 folders.
    tree="$work/tree"
    for a in $(seq -w 1 60); do
        for b in $(seq -w 1 10); do
            d="$tree/project $a/part $b"
            mkdir -p "$d"
            for c in $(seq -w 1 90); do
                printf 'file %s %s %s\n' "$a" "$b" "$c" > "$d/document number $c.txt"
            done
        done
    done
    mcopy -s -i "$img@@1M" "$tree"/* ::
    # Delete every fifth file of the first 30 projects, and ten whole projects.
    for a in $(seq -w 1 30); do
        for b in $(seq -w 1 10); do
            for c in $(seq -w 5 5 90); do
                echo "::/project $a/part $b/document number $c.txt"
            done
        done
    done | xargs -d '\n' mdel -i "$img@@1M"
    for a in $(seq -w 51 60); do mdeltree -i "$img@@1M" "::/project $a"; done
    mv "$img" "$out/fat32-many.img"
fi

if [ ! -f "$out/fat32-large.img" ]; then
    img="$work/large.img"
    truncate -s 1G "$img"
    printf 'label: dos\nstart=2048, type=c\n' | sfdisk -q --no-reread --no-tell-kernel "$img"
    mkfs.fat -F 32 -s 16 -h 2048 --offset=2048 "$img" $(( (1024 * 1024) - 1024 )) >/dev/null
    for i in 1 2 3 4; do
        head -c 200M /dev/urandom > "$work/big$i.bin"
        mcopy -i "$img@@1M" "$work/big$i.bin" ::
        rm "$work/big$i.bin"
    done
    mdel -i "$img@@1M" ::/big1.bin ::/big2.bin ::/big3.bin ::/big4.bin
    mv "$img" "$out/fat32-large.img"
fi
ls -la "$out"
