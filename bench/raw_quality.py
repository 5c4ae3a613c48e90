#!/usr/bin/env python3
"""Compares what each carver found with the benchmark image's manifest.

    bench/raw_quality.py MANIFEST LUMACORE_JSON PHOTOREC_DIR FOREMOST_DIR [SCALPEL_DIR]

A manifest file counts as found when the carver produced a file starting at its first sector (for
lumacore also of the same extension). photorec names its files f<sector>.<ext>; foremost and scalpel
name theirs by the byte offset in 512-byte blocks (foremost) or list the offset in audit.txt.
"""
import json, os, re, sys


# The types the image generator writes as real files; the others are a header and random bytes, which
# carvers that check a file's content (photorec) rightly pass over.
REAL = {"png", "bmp", "zip", "docx", "odt", "ods", "epub", "gz", "bz2", "xz", "wav", "aif", "sqlite"}


def manifest(path):
    rows = []
    for line in open(path):
        sector, kind, length = line.split("\t")
        rows.append((int(sector), kind))
    return rows


def lumacore(path):
    data = json.load(open(path))
    found = {}
    for kind in data.get("root", {}).get("kinds", []):
        for f in kind["files"]:
            found[f["diskSector"]] = f["extension"]
    return found


def photorec(folder):
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            m = re.match(r"[ft](\d+)(_[^.]*)?\.(.+)$", name)
            if m:
                found[int(m.group(1))] = m.group(3)
    return found


def audit(folder):
    # foremost: "N:  name  size KB  offset ..." ; scalpel: "name  start  YES|NO  length  source".
    found = {}
    path = os.path.join(folder, "audit.txt")
    if not os.path.exists(path):
        return found
    for line in open(path, errors="replace"):
        m = (re.match(r"^\d+:\s+(\S+)\s+\d+\s+\S+\s+(\d+)", line) or
             re.match(r"^(\S+\.\S+)\s+(\d+)\s+(?:YES|NO)\s+\d+", line))
        if m and int(m.group(2)) % 512 == 0:
            found[int(m.group(2)) // 512] = m.group(1).rsplit(".", 1)[-1]
    return found


def main():
    rows = manifest(sys.argv[1])
    tools = [("lumacore", lumacore(sys.argv[2]), True), ("photorec", photorec(sys.argv[3]), False),
             ("foremost", audit(sys.argv[4]), False)]
    if len(sys.argv) > 5:
        tools.append(("scalpel", audit(sys.argv[5]), False))
    kinds = sorted({k for _, k in rows})
    real = [(s, k) for s, k in rows if k in REAL]
    print("%-9s %8s %8s %8s %12s %8s" % ("tool", "found", "at-start", "of", "real at-start", "of"))
    for name, found, same_kind in tools:
        hit = sum(1 for s, k in rows if s in found and (not same_kind or found[s] == k))
        real_hit = sum(1 for s, k in real if s in found and (not same_kind or found[s] == k))
        print("%-9s %8d %8d %8d %12d %8d" % (name, len(found), hit, len(rows), real_hit, len(real)))
        missed = {}
        for s, k in rows:
            if not (s in found and (not same_kind or found[s] == k)):
                missed[k] = missed.get(k, 0) + 1
        if missed:
            print("          missed by type: " + ", ".join("%s %d" % kv for kv in sorted(missed.items())))


if __name__ == "__main__":
    main()
