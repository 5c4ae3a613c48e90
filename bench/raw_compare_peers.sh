#!/usr/bin/env bash
# Carving side by side on one image made from real files (bench/raw_make_corpus.py and
# bench/raw_embed_image.py): lumacore's RAW recovery, photorec and foremost, each writing to a tmpfs,
# warm page cache. Prints each one's wall time and throughput, then the byte-exact files per type
# (sha256 against the image's manifest), the output files and the output megabytes.
# Usage: bench/raw_compare_peers.sh IMAGE [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
image=$1
work=${2:-$(mktemp -d /dev/shm/lumacore-carve.XXXXXX)}
build=${LUMACORE_BUILD:-build}
cli=$PWD/$build/bin/lumacore-cli
mkdir -p "$work"
mib=$(( $(stat -c %s "$image") / 1048576 ))
cat "$image" > /dev/null

timed() {  # name command...: runs it, prints seconds and MB/s
    local name=$1; shift
    local start end
    start=$(date +%s.%N)
    "$@" > "$work/$name.stdout" 2> "$work/$name.stderr" || true
    end=$(date +%s.%N)
    awk -v n="$name" -v s="$start" -v e="$end" -v mib="$mib" \
        'BEGIN { t = e - s; printf "%-10s %7.2f s %8.0f MiB/s\n", n, t, mib / t }'
}

echo "== $image: $mib MiB, $(wc -l < "$image.manifest.tsv") embedded files"
timed cat sh -c "cat '$image' > /dev/null"
timed scan "$cli" --no-devices --image "$image" scan --disk 0 --mode raw --json --signatures "$PWD/res/rp.dat"
rm -rf "$work/lumacore"
timed lumacore "$cli" --no-devices --image "$image" recover --disk 0 --mode raw --to "$work/lumacore" \
    --signatures "$PWD/res/rp.dat"
rm -rf "$work/photorec"; mkdir -p "$work/photorec"
timed photorec sh -c "cd '$work/photorec' && photorec /log /d '$work/photorec/recup' /cmd '$image' \
    options,paranoid,fileopt,everything,enable,wholespace,search"
rm -rf "$work/foremost"
timed foremost foremost -Q -t all -i "$image" -o "$work/foremost"
echo "== byte-exact files by sha256"
bench/raw_exact.py "$image.manifest.tsv" lumacore="$work/lumacore" photorec="$work/photorec" foremost="$work/foremost"
