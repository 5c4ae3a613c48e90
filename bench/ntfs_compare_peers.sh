#!/usr/bin/env bash
# Compares the NTFS deleted-file scan and recovery with The Sleuth Kit (fls -r -d -p -l, icat) and
# ntfs-3g's ntfsundelete --scan on one NTFS volume of an image: which deleted files each lists, whether
# the sizes agree, and whether our recovered bytes equal what icat returns for the same record.
# Usage: bench/ntfs_compare_peers.sh IMAGE START_SECTOR VOLUME_INDEX   (needs root for ntfsundelete's loop device)
set -euo pipefail
cd "$(dirname "$0")/.."
img=$1 start=$2 index=$3
cli=$PWD/build/bin/lumacore-cli
work=$(mktemp -d)
loop=
cleanup() { [ -n "$loop" ] && losetup -d "$loop"; rm -rf "$work"; }
trap cleanup EXIT

"$cli" --no-devices --image "$img" scan --volume "$index" --json > "$work/ours.json"
"$cli" --no-devices --image "$img" recover --volume "$index" --to "$work/out" --overwrite yes > /dev/null 2>&1 || true
fls -r -d -p -l -o "$start" "$img" > "$work/fls.txt" || true
loop=$(losetup -r -f --show -o $(( start * 512 )) "$img")
ntfsundelete "$loop" --scan --force 2>/dev/null > "$work/undelete.txt" || true

python3 - "$work" "$img" "$start" <<'PY'
import hashlib, json, os, subprocess, sys
work, img, start = sys.argv[1], sys.argv[2], sys.argv[3]
ours = {}
def walk(folder, path):
    for f in folder["files"]:
        ours[(f["recordNumber"], f["stream"])] = (path + f["name"], f["size"])
    for c in folder["folders"]:
        walk(c, path + c["name"] + "/")
walk(json.load(open(os.path.join(work, "ours.json")))["root"], "")

theirs = []  # (record, stream, path, size, address)
for line in open(os.path.join(work, "fls.txt"), encoding="utf-8", errors="replace"):
    cols = line.rstrip("\n").split("\t")
    head = cols[0].split()
    if not head or head[0] != "-/r" or "OrphanFile-" in cols[1]:
        continue
    address = head[2].rstrip(":")
    record = int(address.split("-")[0])
    path = cols[1]
    stream = path.rsplit(":", 1)[1] if ":" in os.path.basename(path) else ""
    theirs.append((record, stream, path, int(cols[6]), address))

listed = same_size = identical = 0
for record, stream, path, size, address in theirs:
    mine = ours.get((record, stream))
    if mine is None:
        print("  not listed by us: %s (%d)" % (path, record))
        continue
    listed += 1
    same_size += mine[1] == size
    icat = subprocess.run(["icat", "-o", start, img, address], capture_output=True).stdout
    try:
        with open(os.path.join(work, "out", mine[0]), "rb") as f:
            identical += hashlib.sha256(f.read()).digest() == hashlib.sha256(icat).digest()
    except OSError:
        print("  not recovered: " + mine[0])

undelete = {}
for line in open(os.path.join(work, "undelete.txt"), encoding="utf-8", errors="replace"):
    cols = line.split()
    if cols and cols[0].isdigit() and len(cols) >= 7:
        undelete[int(cols[0])] = int(cols[5])
named = {r: s for (r, st), (p, s) in ours.items() if st == ""}
und_listed = sum(1 for r in undelete if r in named)
und_size = sum(1 for r, s in undelete.items() if r in named and named[r] == s)
print("fls deleted files %d | listed by us %d | same size %d | recovered = icat %d | ours in total %d" %
      (len(theirs), listed, same_size, identical, len(ours)))
print("ntfsundelete records %d | of them listed by us %d | same size %d" % (len(undelete), und_listed, und_size))
PY
