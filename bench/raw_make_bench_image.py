#!/usr/bin/env python3
"""Makes the signature-scan benchmark image: random bytes with a few thousand files embedded at
sector boundaries, and a manifest of where each one starts.

    bench/raw_make_bench_image.py IMAGE [SIZE_MIB] [FILES]   (defaults: 2048 MiB, 3000 files)

The manifest (IMAGE.manifest.tsv) has one line per embedded file: first sector, extension (the one the
shipped signature file gives that type) and length in bytes. Files the Python standard library can
write are written for real (zip and its Office/ODF/EPUB layouts, gzip, bzip2, xz, PNG, BMP, WAVE,
AIFF, SQLite); the others are the type's documented header followed by random bytes. Reproducible:
the same arguments give the same image.
"""
import bz2, gzip, io, lzma, os, random, sqlite3, struct, sys, tempfile, wave, zipfile, zlib

SECTOR = 512


def real_zip(rng, first=None, first_data=b"", stored_first=False):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        if first:
            z.writestr(zipfile.ZipInfo(first), first_data,
                       compress_type=zipfile.ZIP_STORED if stored_first else zipfile.ZIP_DEFLATED)
        for i in range(rng.randint(1, 4)):
            z.writestr("part%d.bin" % i, rng.randbytes(rng.randint(1000, 60000)))
    return out.getvalue()


def png(rng):
    w, h = rng.randint(16, 200), rng.randint(16, 200)
    raw = b"".join(b"\0" + rng.randbytes(w * 3) for _ in range(h))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def bmp(rng):
    w, h = rng.randint(16, 200), rng.randint(16, 200)
    stride = (w * 3 + 3) & ~3
    pixels = rng.randbytes(stride * h)
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def wav(rng):
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
        w.writeframes(rng.randbytes(rng.randint(2000, 100000) & ~1))
    return out.getvalue()


def aiff(rng):
    frames = rng.randbytes(rng.randint(2000, 50000) & ~1)
    comm = struct.pack(">hIh", 1, len(frames) // 2, 16) + b"\x40\x0b\xfa" + b"\0" * 7
    ssnd = struct.pack(">II", 0, 0) + frames
    body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    return b"FORM" + struct.pack(">I", len(body)) + body


def sqlite(rng):
    with tempfile.NamedTemporaryFile(suffix=".sqlite") as f:
        db = sqlite3.connect(f.name)
        db.execute("create table t(a blob)")
        db.executemany("insert into t values (?)", [(rng.randbytes(200),) for _ in range(rng.randint(5, 200))])
        db.commit(); db.close()
        return open(f.name, "rb").read()


def headed(head, tail=b""):
    return lambda rng: head + rng.randbytes(rng.randint(2000, 200000)) + tail


CT = b'<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'
ODF = b"application/vnd.oasis.opendocument."
MAKERS = {
    "jpg": headed(b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", b"\xff\xd9"),
    "png": png,
    "gif": headed(b"GIF89a\x40\x00\x30\x00\xf7\x00\x00", b";"),
    "bmp": bmp,
    "tif": lambda rng: (b"II*\x00" if rng.random() < 0.5 else b"MM\x00*") + rng.randbytes(rng.randint(2000, 200000)),
    "psd": headed(b"8BPS\x00\x01\x00\x00\x00\x00\x00\x00\x00\x03"),
    "pdf": headed(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n", b"\n%%EOF\n"),
    "docx": lambda rng: real_zip(rng, "[Content_Types].xml", CT),
    "odt": lambda rng: real_zip(rng, "mimetype", ODF + b"text", True),
    "ods": lambda rng: real_zip(rng, "mimetype", ODF + b"spreadsheet", True),
    "epub": lambda rng: real_zip(rng, "mimetype", b"application/epub+zip", True),
    "zip": lambda rng: real_zip(rng, "readme.txt", b"hello"),
    "doc": headed(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + b"\x00" * 16 + b"\x3e\x00\x03\x00\xfe\xff"),
    "rar": headed(b"Rar!\x1a\x07\x01\x00"),
    "7z": headed(b"7z\xbc\xaf\x27\x1c\x00\x04"),
    "gz": lambda rng: gzip.compress(rng.randbytes(rng.randint(2000, 100000))),
    "bz2": lambda rng: bz2.compress(bytes(rng.choice(b"abcdefgh ") for _ in range(rng.randint(2000, 20000)))),
    "xz": lambda rng: lzma.compress(rng.randbytes(rng.randint(2000, 100000))),
    "mp3": headed(b"ID3\x03\x00\x00\x00\x00\x00\x21"),
    "wav": wav,
    "aif": aiff,
    "avi": headed(b"RIFF\x00\x10\x00\x00AVI LIST"),
    "mp4": headed(b"\x00\x00\x00\x20ftypisom\x00\x00\x02\x00isomiso2avc1mp41"),
    "mov": headed(b"\x00\x00\x00\x14ftypqt  \x00\x00\x02\x00qt  "),
    "mpg": headed(b"\x00\x00\x01\xba\x44\x00\x04\x00\x04\x01\x01\x89\xc3\xf8\x00\x00\x01\xbb\x00\x12"),
    "wmv": headed(bytes.fromhex("3026b2758e66cf11a6d900aa0062ce6c")),
    "exe": headed(b"MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00"),
    "elf": headed(b"\x7fELF\x02\x01\x01\x00"),
    "sqlite": sqlite,
    "flac": headed(b"fLaC\x00\x00\x00\x22"),
    "ogg": headed(b"OggS\x00\x02\x00\x00"),
    "mkv": headed(b"\x1a\x45\xdf\xa3\x9f\x42\x86\x81\x01"),
    "iso": lambda rng: rng.randbytes(32768) + b"\x01CD001\x01\x00" + rng.randbytes(rng.randint(30000, 200000)),
}


def main():
    path = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 2048
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 3000
    rng = random.Random(20261208)
    total_sectors = size * 1024 * 1024 // SECTOR
    with open(path, "wb") as out:
        block = 64 * 1024 * 1024
        for _ in range(size * 1024 * 1024 // block):
            out.write(rng.randbytes(block))
    # Evenly spread slots with a random sector inside each, so files never overlap.
    slot = total_sectors // count
    kinds = sorted(MAKERS)
    manifest = []
    with open(path, "r+b") as out:
        for i in range(count):
            kind = kinds[i % len(kinds)]
            data = MAKERS[kind](rng)
            room = slot - (len(data) + SECTOR - 1) // SECTOR - 1
            if room <= 1:
                data = data[: (slot - 2) * SECTOR]
                room = 1
            sector = i * slot + 1 + rng.randrange(room)
            out.seek(sector * SECTOR)
            out.write(data)
            manifest.append((sector, kind, len(data)))
    with open(path + ".manifest.tsv", "w") as m:
        for sector, kind, length in manifest:
            m.write("%d\t%s\t%d\n" % (sector, kind, length))
    print("%s: %d MiB, %d files of %d types" % (path, size, count, len(kinds)))


if __name__ == "__main__":
    main()
