#!/usr/bin/env python3
"""Counts the embedded files each carver gave back byte for byte, by sha256, per type.

    bench/raw_exact.py MANIFEST NAME=DIR [NAME=DIR ...]

A file counts as given back when some output file of that carver has its sha256 (each output file
is counted once, so two identical embedded files need two identical outputs). Prints one row per
type and the totals: exact files, output files and output bytes.
"""
import collections, hashlib, os, sys

def digests(root):
    found = collections.Counter()
    files = size = 0
    for dirpath, _, names in os.walk(root):
        for name in names:
            if name in ("audit.txt", "report.xml", "carving-report.tsv") or name.endswith(".log"):
                continue
            path = os.path.join(dirpath, name)
            h = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    h.update(block)
            found[h.hexdigest()] += 1
            files += 1
            size += os.path.getsize(path)
    return found, files, size

def main():
    embedded = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
    carvers = [arg.split("=", 1) for arg in sys.argv[2:]]
    results = {}
    for name, root in carvers:
        results[name] = digests(root)
    types = sorted({e[1] for e in embedded})
    print("%-8s %6s" % ("type", "files") + "".join(" %10s" % n for n, _ in carvers))
    totals = collections.Counter()
    per = {n: collections.Counter() for n, _ in carvers}
    for name, _ in carvers:
        left = collections.Counter(results[name][0])
        for _, ext, _, sha in embedded:
            if left[sha] > 0:
                left[sha] -= 1
                per[name][ext] += 1
    for ext in types:
        count = sum(1 for e in embedded if e[1] == ext)
        print("%-8s %6d" % (ext, count) + "".join(" %10d" % per[n][ext] for n, _ in carvers))
    print("%-8s %6d" % ("exact", len(embedded)) + "".join(" %10d" % sum(per[n].values()) for n, _ in carvers))
    print("%-8s %6s" % ("outputs", "") + "".join(" %10d" % results[n][1] for n, _ in carvers))
    embedded_bytes = sum(int(e[2]) for e in embedded)
    print("%-8s %6.1f" % ("MB out", embedded_bytes / 1e6) + "".join(" %10.1f" % (results[n][2] / 1e6) for n, _ in carvers))

if __name__ == "__main__":
    main()
