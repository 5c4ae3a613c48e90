#!/bin/sh
# Compares the lost partitions TestDisk proposes with what `partitions search` (Auto Scan and --deep)
# offers, on disk images given as arguments. TestDisk runs on a copy (it may write its log beside it).
# Prints one line per TestDisk proposal: "ok", or "MISSING" when we offer nothing at that start and length.
set -eu
cli=${LUMACORE_CLI:-build/bin/lumacore-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for image in "$@"; do
    cp --sparse=always "$image" "$work/disk.img"
    (cd "$work" && rm -f testdisk.log && testdisk /log /cmd disk.img analyze,search >/dev/null 2>&1 || true)
    ours=$({ "$cli" --no-devices --image "$image" partitions --disk 0 search --json;
             "$cli" --no-devices --image "$image" partitions --disk 0 search --deep --json 2>/dev/null; } |
           python3 -c '
import json, sys
text = sys.stdin.read()
decoder, at, seen = json.JSONDecoder(), 0, set()
while at < len(text):
    text_at = text[at:].lstrip()
    if not text_at: break
    value, used = decoder.raw_decode(text_at)
    at = len(text) - len(text_at) + used
    for c in value["candidates"]:
        seen.add("%d+%d" % (c["startSector"], c["totalBytes"] // 512))
print(" ".join(sorted(seen)))')
    python3 - "$work/testdisk.log" "$image" "$ours" <<'PY' || status=1
import re, sys
log, image, ours = open(sys.argv[1], errors="replace").read(), sys.argv[2], set(sys.argv[3].split())
block = log.split("search_part()", 1)[1].split("interface_write()", 1)[0] if "search_part()" in log else ""
geometry = re.search(r"CHS \d+ (\d+) (\d+)", block)
heads, sectors = (int(geometry.group(1)), int(geometry.group(2))) if geometry else (255, 63)
missing = 0
for line in block.splitlines():
    chs = re.match(r"\s+(.+?)\s+(\d+)\s+(\d+)\s+(\d+)\s+\d+\s+\d+\s+\d+\s+(\d+)", line)
    lba = re.match(r"\s+(.+?)\s+(\d+)\s+(\d+)\s+(\d+)(\s|$)", line)
    if chs:
        c, h, s, size = (int(chs.group(i)) for i in (2, 3, 4, 5))
        start, kind = (c * heads + h) * sectors + s - 1, chs.group(1)
    elif lba:
        start, size, kind = int(lba.group(2)), int(lba.group(4)), lba.group(1)
    else:
        continue
    found = "%d+%d" % (start, size) in ours
    missing += not found
    print("%s: %-24s start %d, %d sectors: %s" % (image, kind.strip(), start, size, "ok" if found else "MISSING"))
sys.exit(1 if missing else 0)
PY
done
exit $status
