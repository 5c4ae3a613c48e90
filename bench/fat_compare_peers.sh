#!/usr/bin/env bash
# FAT deleted-file quality and speed against The Sleuth Kit on the 50,000-file volume of
# bench/fat_make_scale_image.sh: how many deleted files each lists, how many each brings back byte for
# byte (an original counts once when some recovered file has its SHA-256), and the scan times
# (hyperfine, warm page cache) with our peak memory. Recovered files go to a tmpfs under /dev/shm.
# Usage: [FOLDERS=N VOLUME_MIB=M] [LUMACORE_BUILD=build-ci] bench/fat_compare_peers.sh [IMAGE_DIR]   (default /tmp/lumacore-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-/tmp/lumacore-bench}
bench/fat_make_scale_image.sh "$dir"
# LUMACORE_BUILD names an existing build folder to use instead of the default preset's.
build=${LUMACORE_BUILD:-build}
[ -d "$build" ] || cmake --preset default >/dev/null
cmake --build "$build" --target lumacore-cli >/dev/null
cli=$PWD/$build/bin/lumacore-cli
name=fat32-50k
[ "${FOLDERS:-100}" = 100 ] || name=fat32-${FOLDERS}f
img=$dir/$name.img
out=$(mktemp -d /dev/shm/lumacore-fat-bench.XXXXXX)
trap 'rm -rf "$out"' EXIT
cat "$img" > /dev/null  # warm

"$cli" --no-devices --image "$img" scan --volume 0 --json > "$out/scan.json"
fls -r -d -p -o 2048 "$img" > "$out/fls.txt"
/usr/bin/time -f '%e s, %M KiB peak' "$cli" --no-devices --image "$img" recover --volume 0 --overwrite yes \
    --to "$out/ours" > "$out/ours.log" 2> "$out/ours.time" || true
/usr/bin/time -f '%e s, %M KiB peak' tsk_recover -o 2048 "$img" "$out/tsk" > "$out/tsk.log" 2> "$out/tsk.time" || true
(cd "$out/ours" && find . -type f -print0 | xargs -0 -r sha256sum) | cut -c1-64 | sort > "$out/ours.sums"
(cd "$out/tsk" && find . -type f -print0 | xargs -0 -r sha256sum) | cut -c1-64 | sort > "$out/tsk.sums"

python3 - "$dir" "$out" "$name" <<'PY'
import json, sys
dir, out, name = sys.argv[1], sys.argv[2], sys.argv[3]
sums = {}
for line in open(f"{dir}/{name}.sha256"):
    h, p = line.rstrip("\n").split("  ", 1)
    sums[p] = h
deleted = [p.rstrip("\n") for p in open(f"{dir}/{name}.deleted") if p.strip()]
wanted = [sums[p] for p in deleted if p in sums]
def exact(name):
    have = set(open(f"{out}/{name}.sums").read().split())
    return sum(1 for h in wanted if h in have)
def count(folder):
    return len(folder["files"]) + sum(count(f) for f in folder["folders"])
def incomplete(folder):
    return sum(f.get("dataMayBeIncomplete", False) for f in folder["files"]) + sum(incomplete(f) for f in folder["folders"])
scan = json.load(open(f"{out}/scan.json"))
fls = [l for l in open(f"{out}/fls.txt") if l.startswith("r/r")]
print(f"deleted files written then deleted: {len(deleted)}")
print(f"listed: lumacore {count(scan['root'])} ({incomplete(scan['root'])} marked 'may be incomplete'), fls {len(fls)} ({sum('$OrphanFiles' in l for l in fls)} as orphans)")
print(f"byte-exact: lumacore {exact('ours')}, tsk_recover {exact('tsk')}")
print("recover time: lumacore " + open(f"{out}/ours.time").read().strip().splitlines()[-1] +
      "; tsk_recover " + open(f"{out}/tsk.time").read().strip().splitlines()[-1])
PY
/usr/bin/time -f 'lumacore scan peak memory: %M KiB' "$cli" --no-devices --image "$img" scan --volume 0 > /dev/null
hyperfine -N -w 1 -r 5 "$cli --no-devices --image $img scan --volume 0" "fls -r -d -p -o 2048 $img"
