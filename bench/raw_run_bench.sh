#!/usr/bin/env bash
# Signature (RAW) scan benchmark: the whole of a 2 GiB image of random bytes with 3000 embedded files,
# every shipped signature enabled, against a plain read of the image (cat), photorec in batch mode,
# foremost and scalpel on the same image. Warm page cache; the carvers' output goes to a tmpfs.
# Prints seconds, MB/s (MiB/s), files found and peak memory of each, then the quality comparison with
# the image's manifest (bench/raw_quality.py).
# Usage: bench/raw_run_bench.sh [DIR] [RUNS]   (DIR holds the image, made on first use; RUNS: best of)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-raw-bench}
runs=${2:-5}
build=${LUMACORE_BUILD:-build}
mkdir -p "$dir"
image=$dir/raw-bench.img
[ -f "$image" ] || bench/raw_make_bench_image.py "$image" 2048 3000
cmake --build "$build" --target lumacore lumacore_cli >/dev/null

# The command line's own RAW mode when it has one, else a small driver over the same library call.
cli=$PWD/$build/bin/lumacore-cli
if "$cli" --no-devices --image "$image" scan --disk 0 --mode raw --end 8 >/dev/null 2>&1; then
    carve=("$cli" --no-devices --image "$image" scan --disk 0 --mode raw --signatures "$PWD/res/rp.dat")
else
    c++ -O2 -std=c++20 -Isrc bench/raw_carve_main.cpp "$build/src/liblumacore_cli.a" "$build/src/liblumacore.a" \
        -lblkid -pthread -o "$dir/raw-carve"
    carve=("$dir/raw-carve" "$image" --signatures "$PWD/res/rp.dat")
fi

out=$(mktemp -d /dev/shm/lumacore-raw-bench.XXXXXX)
trap 'rm -rf "$out"' EXIT
mib=$(( $(stat -c %s "$image") / 1048576 ))
cat "$image" > /dev/null  # warm

# best-of-N wall time and the peak resident memory of that run: "seconds kilobytes"
best() {
    local bestTime="" bestMem=""
    for _ in $(seq "$1"); do
        shift_run=("${@:2}")
        /usr/bin/time -f "%e %M" -o "$out/time" "${shift_run[@]}" > "$out/stdout" 2>/dev/null || true
        read -r t m < "$out/time"
        if [ -z "$bestTime" ] || awk "BEGIN{exit !($t < $bestTime)}"; then bestTime=$t; bestMem=$m; fi
    done
    echo "$bestTime $bestMem"
}
row() {  # name seconds kilobytes files
    awk -v n="$1" -v t="$2" -v m="$3" -v f="$4" -v mib="$mib" \
        'BEGIN { printf "%-10s %8.2f s %9.1f MB/s %8s files %8.1f MB peak\n", n, t, (t > 0 ? mib / t : 0), f, m / 1024 }'
}

echo "== $image: ${mib} MiB, $(wc -l < "$image.manifest.tsv") embedded files (warm cache, output on tmpfs)"
read -r t m <<< "$(best "$runs" sh -c 'cat "$0" > /dev/null' "$image")"  # (best() keeps stdout in a file)
row cat "$t" "$m" "-"
read -r t m <<< "$(best "$runs" "${carve[@]}" --json)"
cp "$out/stdout" "$dir/lumacore.json"
row lumacore "$t" "$m" "$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['foundFiles'])" "$dir/lumacore.json")"

if command -v photorec >/dev/null; then
    rm -rf "$dir/photorec"; mkdir -p "$out/photorec"
    read -r t m <<< "$(cd "$out/photorec" && best 1 photorec /log /d "$out/photorec/recup" /cmd "$image" \
        partition_none,options,paranoid,fileopt,everything,enable,wholespace,search)"
    row photorec "$t" "$m" "$(find "$out/photorec" -type f -path '*recup*' -name 'f*' | wc -l)"
    mkdir -p "$dir/photorec" && find "$out/photorec" -type f -path '*recup*' -name 'f*' -printf '%f\n' | \
        while read -r f; do : > "$dir/photorec/$f"; done
fi
if command -v foremost >/dev/null; then
    rm -rf "$out/foremost"
    read -r t m <<< "$(best 1 foremost -Q -t all -i "$image" -o "$out/foremost")"
    row foremost "$t" "$m" "$(find "$out/foremost" -type f ! -name audit.txt | wc -l)"
    rm -rf "$dir/foremost"; mkdir -p "$dir/foremost"; cp "$out/foremost/audit.txt" "$dir/foremost/"
fi
if command -v scalpel >/dev/null; then
    # Scalpel ships every type commented out: enable those the other carvers know too.
    sed -E 's/^#[[:space:]]*((gif|jpg|png|bmp|tif|avi|mov|mpg|doc|pst|dbx|htm|pdf|wav|zip)[[:space:]])/\1/' \
        /etc/scalpel/scalpel.conf > "$out/scalpel.conf"
    rm -rf "$out/scalpel"
    read -r t m <<< "$(best 1 scalpel -q 512 -c "$out/scalpel.conf" -o "$out/scalpel" "$image")"
    row scalpel "$t" "$m" "$(find "$out/scalpel" -type f ! -name audit.txt | wc -l)"
    rm -rf "$dir/scalpel"; mkdir -p "$dir/scalpel"; cp "$out/scalpel/audit.txt" "$dir/scalpel/"
fi

echo "== quality: files found at an embedded file's first sector"
bench/raw_quality.py "$image.manifest.tsv" "$dir/lumacore.json" "$dir/photorec" "$dir/foremost" \
    $( [ -d "$dir/scalpel" ] && echo "$dir/scalpel" )
