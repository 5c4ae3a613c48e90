#!/usr/bin/env python3
"""Makes an NTFS volume whose MFT holds 1,048,576 records, from the real records of a smaller one.

The records from 24 on of the source volume's MFT (made by mkntfs and ntfs-3g) are repeated until
the MFT is full; each copy gets its own record numbers, and its files' parent references point into
the same copy, so every copy is a whole folder tree of its own (the last one, cut short, leaves some
files in lost folders). The new MFT is appended after the source volume in one run, record 0's run
list and sizes and the boot sector's sector count and $MFT cluster are changed to match. Copies share the source's
data clusters. Fix-ups are undone before a record is changed and redone after.

Usage: bench/ntfs_make_million_mft.py SOURCE.img OUT.img
"""
import struct
import subprocess
import sys

RECORDS = 1 << 20
FIRST_USER = 24


def unfix(rec):
    usa_off, usa_count = struct.unpack_from("<HH", rec, 4)
    for i in range(1, usa_count):
        end = i * 512 - 2
        rec[end:end + 2] = rec[usa_off + 2 * i:usa_off + 2 * i + 2]


def fix(rec):
    usa_off, usa_count = struct.unpack_from("<HH", rec, 4)
    usn = rec[usa_off:usa_off + 2]
    for i in range(1, usa_count):
        end = i * 512 - 2
        rec[usa_off + 2 * i:usa_off + 2 * i + 2] = rec[end:end + 2]
        rec[end:end + 2] = usn


def attributes(rec):
    at = struct.unpack_from("<H", rec, 0x14)[0]
    while at + 8 <= len(rec):
        kind, length = struct.unpack_from("<II", rec, at)
        if kind == 0xFFFFFFFF or length < 0x18 or at + length > len(rec):
            return
        yield kind, at, length
        at += length


def renumber(rec, number, shift):
    """The copy of a record as record `number`, its references moved on by `shift` records."""
    rec = bytearray(rec)
    if rec[0:4] != b"FILE":
        return rec
    unfix(rec)
    struct.pack_into("<I", rec, 0x2C, number)
    base = struct.unpack_from("<Q", rec, 0x20)[0]
    if base:
        struct.pack_into("<Q", rec, 0x20, base + shift)
    for kind, at, length in attributes(rec):
        if kind != 0x30 or rec[at + 8] != 0:
            continue
        value = at + struct.unpack_from("<H", rec, at + 0x14)[0]
        parent = struct.unpack_from("<Q", rec, value)[0]
        if parent & 0xFFFFFFFFFFFF >= FIRST_USER:
            struct.pack_into("<Q", rec, value, parent + shift)
    fix(rec)
    return rec


def main():
    source, out = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        boot = bytearray(f.read(512))
        f.seek(0, 2)
        source_bytes = f.tell()
    cluster = struct.unpack_from("<H", boot, 0x0B)[0] * boot[0x0D]
    mft = subprocess.run(["icat", source, "0"], check=True, capture_output=True).stdout
    record_size = 1024
    count = len(mft) // record_size
    users = count - FIRST_USER
    mft_lcn = (source_bytes + cluster - 1) // cluster
    mft_clusters = RECORDS * record_size // cluster

    # Record 0: one run over the new MFT.
    rec0 = bytearray(mft[:record_size])
    unfix(rec0)
    for kind, at, length in attributes(rec0):
        if kind != 0x80 or rec0[at + 8] == 0 or rec0[at + 9] != 0:
            continue
        runs = at + struct.unpack_from("<H", rec0, at + 0x20)[0]
        run = bytes([0x44]) + struct.pack("<I", mft_clusters) + struct.pack("<I", mft_lcn) + b"\0"
        assert runs + len(run) <= at + length, "record 0's run list has no room"
        rec0[runs:at + length] = run + bytes(at + length - runs - len(run))
        struct.pack_into("<Q", rec0, at + 0x18, mft_clusters - 1)
        for field in (0x28, 0x30, 0x38):
            struct.pack_into("<Q", rec0, at + field, RECORDS * record_size)
    fix(rec0)

    subprocess.run(["cp", "--sparse=always", source, out], check=True)
    # The sector count leaves out the backup boot sector, which lies in one more cluster at the end.
    total_bytes = (mft_lcn + mft_clusters + 1) * cluster
    struct.pack_into("<Q", boot, 0x28, total_bytes // 512 - 1)
    struct.pack_into("<Q", boot, 0x30, mft_lcn)
    with open(out, "r+b") as f:
        f.write(boot)
        f.seek(mft_lcn * cluster)
        f.write(rec0)
        f.write(mft[record_size:FIRST_USER * record_size])
        block = []
        for n in range(FIRST_USER, RECORDS):
            copy, index = divmod(n - FIRST_USER, users)
            src = mft[(FIRST_USER + index) * record_size:(FIRST_USER + index + 1) * record_size]
            block.append(bytes(renumber(src, n, copy * users)) if copy else src)
            if len(block) == 4096:
                f.write(b"".join(block))
                block = []
        f.write(b"".join(block))
        f.truncate(total_bytes)
        f.seek(total_bytes - 512)
        f.write(boot)
    print("%s: %d records (%d copies of %d)" % (out, RECORDS, (RECORDS - FIRST_USER + users - 1) // users, users))


if __name__ == "__main__":
    main()
