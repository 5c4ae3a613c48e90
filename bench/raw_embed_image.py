#!/usr/bin/env python3
"""Lays real files into a disk image for the carving benchmark: each file starts on a sector boundary,
with random or zero filler between files and after the last one.

    bench/raw_embed_image.py IMAGE SIZE_MIB CORPUS_DIR [FILES]

Takes files from CORPUS_DIR/<ext>/ (bench/raw_make_corpus.py), in an order mixed by type, until FILES
are placed (default: every file once) or the image is full. Writes IMAGE.manifest.tsv: first sector,
extension, length and sha256 of each embedded file. Reproducible for the same arguments.
"""
import hashlib, os, random, sys

SECTOR = 512

def main():
    image, mib, corpus = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    limit = int(sys.argv[4]) if len(sys.argv) > 4 else None
    rng = random.Random(7)
    files = []
    for ext in sorted(os.listdir(corpus)):
        for name in sorted(os.listdir(os.path.join(corpus, ext))):
            files.append((ext, os.path.join(corpus, ext, name)))
    rng.shuffle(files)
    if limit is not None:
        files = (files * (limit // max(1, len(files)) + 1))[:limit]
    total = mib << 20
    # Filler gaps share what the files leave free, so the files spread over the whole image.
    payload = sum((os.path.getsize(p) + SECTOR - 1) // SECTOR * SECTOR for _, p in files)
    if payload > total:
        sys.exit("the files need %d MiB, more than the image" % (payload >> 20))
    gap_sectors = (total - payload) // SECTOR // (len(files) + 1)
    with open(image, "wb") as out, open(image + ".manifest.tsv", "w") as manifest:
        def filler(sectors):
            while sectors > 0:
                n = min(sectors, 2048)
                out.write(rng.randbytes(n * SECTOR) if rng.random() < 0.5 else bytes(n * SECTOR))
                sectors -= n
        for ext, path in files:
            filler(rng.randint(0, gap_sectors * 19 // 10))
            if out.tell() + os.path.getsize(path) > total:
                break
            data = open(path, "rb").read()
            manifest.write("%d\t%s\t%d\t%s\n" % (out.tell() // SECTOR, ext, len(data), hashlib.sha256(data).hexdigest()))
            out.write(data)
            # The rest of the file's last sector: slack, random or zero like the filler.
            slack = -len(data) % SECTOR
            out.write(rng.randbytes(slack) if rng.random() < 0.5 else bytes(slack))
        filler((total - out.tell()) // SECTOR)
        out.truncate(total)

if __name__ == "__main__":
    main()
