#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/run-fuzz.sh TARGET [SECONDS] [JOBS]
# Targets: fat_fuzz, exfat_fuzz, partition_fuzz, gpt_fuzz, ntfs_fuzz, lznt1_fuzz, ext_fuzz, signature_fuzz, raw_fuzz,
# raw_formats_fuzz, preview_fuzz, layout_fuzz (the boot-sector, superblock and record-header decoders),
# image_decoder_fuzz (the picture decoders; needs Qt, OpenJPEG and Magick++).
# Findings land in build-fuzz/findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/run-fuzz.sh TARGET [SECONDS] [JOBS]}
seconds=${2:-600}
jobs=${3:-1}

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target"

corpus=build-fuzz/corpus/$target
findings=build-fuzz/findings/$target
mkdir -p "$corpus" "$findings"
# Start from the small corpus kept in the repository (scripts/keep-fuzz-corpus.sh), if there is one.
if [ -z "$(ls -A "$corpus")" ] && [ -d "fuzz/corpus/$target" ]; then
    cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
fi
# Seed with the fixture images once: real boot sectors, FATs, tables and directories (also when a kept
# corpus was copied in, since it holds only small inputs).
if [ ! -e "$corpus/.seeded" ]; then
    touch "$corpus/.seeded"
    case "$target" in
        fat_fuzz)
            # image, first sector of the FAT volume, 1 for the FAT32 engine
            while read -r image start fat32; do
                # (head closes the pipe early on purpose: the writers' SIGPIPE is not a failure)
                { printf "\\x0$fat32"; zstd -d -q -c "tests/fixtures/images/$image.img.zst" |
                    tail -c +$((start * 512 + 1)) | head -c 1000000 || true; } > "$corpus/$image"
            done <<'SEEDS'
fat16-default 2048 0
fat16-root1cluster 2048 0
fat16-sector63 63 0
fat32-deleted 2048 1
whole-fat16 0 0
whole-fat32 0 1
SEEDS
            ;;
        exfat_fuzz)
            # A whole 256 KiB volume: boot regions, FAT, bitmap, up-case table, a deleted folder tree.
            { printf '\x01'; zstd -d -q -c tests/fixtures/images/exfat-tiny.img.zst; } > "$corpus/exfat-tiny"
            ;;
        ntfs_fuzz)
            # The first MiB of each NTFS volume of the fixture: boot sector, $MFT and the first files.
            for start in 2048 51200 67584; do
                zstd -d -q -c tests/fixtures/images/ntfs-deleted.img.zst | tail -c +$((start * 512 + 1)) |
                    head -c 1048576 > "$corpus/ntfs-deleted-$start" || true
            done
            # And of each formatted one: the new MFT with the old records right after it.
            for start in 2048 51200; do
                zstd -d -q -c tests/fixtures/images/ntfs-formatted.img.zst | tail -c +$((start * 512 + 1)) |
                    head -c 1048576 > "$corpus/ntfs-formatted-$start" || true
            done
            ;;
        layout_fuzz)
            # The first 4 KiB of every volume of the fixtures: each boot sector or superblock, and an MFT
            # record of each NTFS volume.
            while read -r image start; do
                zstd -d -q -c "tests/fixtures/images/$image.img.zst" | tail -c +$((start * 512 + 1)) |
                    head -c 4096 > "$corpus/$image-$start" || true
            done <<'SEEDS'
fat16-default 2048
fat32-deleted 2048
whole-fat32 0
ntfs-deleted 2048
ntfs-deleted 2080
ext2-deleted 2048
ext-journal 2048
ext-journal 83968
SEEDS
            ;;
        lznt1_fuzz)
            # Two hand-made streams: a stored chunk, and a compressed chunk with a back-reference.
            printf '\x03\x30abcd' > "$corpus/stored"
            printf '\x05\xb0\x08abc\x03\x20' > "$corpus/compressed"
            ;;
        ext_fuzz)
            # 0/1 + the first 256 KiB of each EXT fixture volume (superblock, descriptors, bitmaps, inode
            # tables); 2 + an empty inode table and the head of the journal of each journalled one, dumped
            # with debugfs. Small seeds keep the target fast under the sanitizers.
            part=$corpus/.volume
            while read -r image start kind; do
                zstd -d -q -c "tests/fixtures/images/$image.img.zst" | tail -c +$((start * 512 + 1)) > "$part" || true
                { printf "\\x0$kind"; head -c 262144 "$part" || true; } > "$corpus/$image-$start"
                if [ "$kind" = 1 ] && debugfs -R "dump <8> $part.journal" "$part" >/dev/null 2>&1; then
                    { printf '\x02'; head -c 8192 /dev/zero; head -c 262144 "$part.journal" || true; } \
                        > "$corpus/$image-$start-journal"
                fi
            done <<'SEEDS'
ext2-deleted 2048 0
whole-ext2 0 0
ext-journal 2048 1
ext-journal 34816 1
ext-journal 83968 1
SEEDS
            rm -f "$part" "$part.journal"
            ;;
        signature_fuzz)
            # The shipped signature file, plain and in its stored form, and two small documents.
            cp res/rp.dat "$corpus/rp-plain"
            cmake --build --preset fuzz --target lumacore-rpdat >/dev/null
            build-fuzz/bin/lumacore-rpdat encode res/rp.dat "$corpus/rp-stored"
            printf '<a x="1">t</a>' > "$corpus/small"
            printf '<r><a><b>x</b><a>y</a></a></r>' > "$corpus/nested"
            ;;
        preview_fuzz|image_decoder_fuzz)
            # The sample picture of each type code, behind the byte that names its code.
            for picture in tests/fixtures/pictures/*; do
                case "$picture" in
                    *.bmp) code=1 ;; *.gif) code=2 ;; *.jpg) code=3 ;; *.png) code=4 ;; *.ico) code=5 ;;
                    *.tif) code=6 ;; *.tga) code=7 ;; *.pcx) code=8 ;; *.wbmp) code=9 ;; *.j2k|*.jp2) code=11 ;;
                    *.jpc) code=12 ;; *.pgx) code=13 ;; *.ppm) code=14 ;; *.ras) code=15 ;; *) continue ;;
                esac
                { printf "\\x$(printf %02x "$code")"; cat "$picture"; } > "$corpus/$(basename "$picture")"
            done
            ;;
        gpt_fuzz)
            # Small sgdisk disks behind the byte that has both headers' checksums fixed up: one whole,
            # one with an EXT2 volume, one with a partition removed.
            disk=$corpus/.disk
            truncate -s 1M "$disk"
            sgdisk -a 8 -n1:40:+256K -t1:0700 -n2:0:+384K -t2:8300 "$disk" >/dev/null
            { printf '\x03'; cat "$disk"; } > "$corpus/sgdisk"
            mke2fs -q -F -t ext2 -E offset=$((552 * 512)) "$disk" 384 >/dev/null 2>&1 || true
            { printf '\x03'; cat "$disk"; } > "$corpus/sgdisk-ext2"
            sgdisk -d 2 "$disk" >/dev/null
            { printf '\x03'; cat "$disk"; } > "$corpus/sgdisk-removed"
            rm -f "$disk"
            ;;
        raw_fuzz)
            # The target reads its first bytes as signatures (count, parts, offsets, pattern texts) and
            # the rest as sectors: a few bytes of each and random sectors are enough to start from.
            for seed in 1 2 3; do
                { printf '\x03\x02\x00\x04\xff\xd8\xff\x01\x00\x04\x89\x50\x4e\x47\x01\x03\x02\xc8\x08\x41\x42\x00'
                  head -c 4096 /dev/urandom; } > "$corpus/seed$seed"
            done
            ;;
        *)
            for image in tests/fixtures/images/*.img.zst; do
                zstd -d -q -c "$image" | head -c 1048576 > "$corpus/$(basename "$image" .img.zst)" || true
            done
            ;;
    esac
fi
options=(-artifact_prefix="$findings/" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=4096
         -print_final_stats=1)
if [ "$jobs" -gt 1 ]; then
    # Parallel jobs write their logs to fuzz-N.log in the current folder: keep them out of the tree.
    cd build-fuzz && exec bin/"$target" "../$corpus" "${options[@]/#-artifact_prefix=/-artifact_prefix=../}" \
        -jobs="$jobs" -workers="$jobs"
fi
exec build-fuzz/bin/"$target" "$corpus" "${options[@]}"
