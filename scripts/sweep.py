#!/usr/bin/env python3
"""Corrupted-image sweep: damages copies of the fixture images and runs every command line command on
each copy under a time limit, a memory limit and a file-size limit, normally with the sanitizer build.
A run that crashes, hangs, trips a sanitizer, ends with an exit status the command line does not have,
or writes past the size limit keeps its image (compressed) and a note of what was run.

    scripts/sweep.py [--seconds 180] [--cli build-asan/bin/lumacore-cli] [--keep build-asan/sweep]

Damage is aimed where it changes what the engines do: boot sectors, FATs and root folders, MFT
records, EXT superblocks, group descriptors, inode tables and journals, and partition tables; plus
whole sectors overwritten and images cut short.
"""

import argparse
import json
import os
import random
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SECTOR = 512

# A single command never needs more than this on the fixtures; past it a run counts as hung.
RUN_SECONDS = 60
# Recovered files, backups and saved previews: the largest fixture is 96 MiB, so anything written
# past this is output that a size on disk was allowed to blow up.
FILE_SIZE_LIMIT = 256 << 20
# The sanitizers' own ceiling on resident memory.
RSS_LIMIT_MB = 2048
# Fixtures larger than this (the 6 GiB sparse exFAT volume) are left out: a mutant is a full copy in
# memory and on disk, and reading the whole of one takes minutes under the sanitizers.
MAX_IMAGE_BYTES = 512 << 20
# The command line's exit statuses: success, could not be done, bad input, done in part.
EXPECTED_EXITS = {0, 1, 2, 3}
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:",
                   b"UndefinedBehaviorSanitizer")


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0] if at + 2 <= len(data) else 0


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0] if at + 4 <= len(data) else 0


def u64(data, at):
    return struct.unpack_from("<Q", data, at)[0] if at + 8 <= len(data) else 0


def fat_regions(image, base):
    """Boot sector, the FATs and the root folder (FAT12/16) or the first data clusters (FAT32)."""
    bps = u16(image, base + 11) or SECTOR
    spc = image[base + 13] if base + 13 < len(image) else 1
    reserved = u16(image, base + 14)
    fats = image[base + 16] if base + 16 < len(image) else 2
    root_entries = u16(image, base + 17)
    fat_sectors = u16(image, base + 22) or u32(image, base + 36)
    fat_start = base + reserved * bps
    root_start = fat_start + fats * fat_sectors * bps
    root_bytes = root_entries * 32 or max(spc, 1) * bps * 4
    return [(base, SECTOR), (fat_start, max(fat_sectors * bps, SECTOR)), (root_start, root_bytes)]


def ntfs_regions(image, base):
    """Boot sector and the first records of the MFT (system files, then the first user files)."""
    bps = u16(image, base + 11) or SECTOR
    spc = image[base + 13] if base + 13 < len(image) else 8
    if spc > 0x80:
        spc = 1 << (256 - spc)
    mft = base + u64(image, base + 48) * bps * spc
    return [(base, SECTOR), (mft, 64 * 1024)]


def ext_regions(image, base):
    """Superblock, group descriptors, the first inode table and the journal's first blocks."""
    sb = base + 1024
    block = 1024 << min(u32(image, sb + 24), 6)
    desc = base + (2 if block == 1024 else 1) * block
    inode_size = u16(image, sb + 88) or 128
    table = base + u32(image, desc + 8) * block
    regions = [(sb, 1024), (desc, block), (table, 64 * inode_size)]
    journal_inode = table + 7 * inode_size  # inode 8
    i_block = journal_inode + 40
    if u16(image, i_block) == 0xF30A:  # extent header; the first extent of a depth-0 tree
        start = (u16(image, i_block + 12 + 6) << 32) | u32(image, i_block + 12 + 8)
    else:
        start = u32(image, i_block)
    if start:
        regions.append((base + start * block, 4 * block))
    return regions


def volume_regions(image, volume):
    base = volume["startSector"] * SECTOR
    name = volume.get("fsName", "")
    if base + SECTOR > len(image):
        return []
    if "NTFS" in name:
        return ntfs_regions(image, base)
    if "FAT" in name:
        return fat_regions(image, base)
    if "EXT" in name:
        return ext_regions(image, base)
    return [(base, SECTOR)]


def targets(image, volumes):
    regions = [(0, SECTOR)]  # the partition table
    for volume in volumes:
        regions += volume_regions(image, volume)
    return [(at, length) for at, length in regions if 0 <= at < len(image) and length > 0]


def mutate(original, regions, rng):
    image = bytearray(original)
    kind = rng.choice(["flips", "flips", "flips", "sector", "truncate"])
    at, length = rng.choice(regions)
    length = min(length, len(image) - at)
    if kind == "flips":
        for _ in range(rng.randint(1, 8)):
            spot = at + rng.randrange(length)
            image[spot] ^= 1 << rng.randrange(8)
        return image, f"flips in {at:#x}+{length:#x}"
    if kind == "sector":
        spot = at + rng.randrange(length) // SECTOR * SECTOR
        fill = rng.choice([b"\x00" * SECTOR, b"\xff" * SECTOR, rng.randbytes(SECTOR)])
        image[spot:spot + SECTOR] = fill[:len(image) - spot]
        return image, f"sector at {spot:#x} overwritten"
    cut = rng.randrange(SECTOR, len(image)) if len(image) > SECTOR else len(image)
    return image[:cut], f"cut to {cut} bytes"


def limit_resources():
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def run(cli, image, arguments, work):
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = f"detect_leaks=1:abort_on_error=1:hard_rss_limit_mb={RSS_LIMIT_MB}"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    env["XDG_DATA_HOME"] = os.path.join(work, "data")
    command = [cli, "--no-devices", "--image", image] + arguments
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=RUN_SECONDS, cwd=work, env=env,
                              preexec_fn=limit_resources)
    except subprocess.TimeoutExpired:
        return command, "hung", b""
    if any(mark in done.stderr for mark in SANITIZER_MARKS):
        return command, "sanitizer report", done.stderr
    if done.returncode < 0:
        return command, f"signal {-done.returncode}", done.stderr
    if done.returncode not in EXPECTED_EXITS:
        return command, f"exit status {done.returncode}", done.stderr
    return command, None, b""


def first_file(cli, image, index, work):
    """A path `scan --json` lists on the volume, for `preview`."""
    try:
        out = subprocess.run([cli, "--no-devices", "--image", image, "scan", "--volume", str(index), "--json"],
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_SECONDS, cwd=work,
                             preexec_fn=limit_resources).stdout
        tree = json.loads(out)
    except (subprocess.TimeoutExpired, ValueError):
        return None
    folders = [(tree.get("root", {}), "")]
    while folders:
        folder, prefix = folders.pop(0)
        for entry in folder.get("files", []):
            return prefix + entry.get("name", "")
        for child in folder.get("folders", []):
            folders.append((child, prefix + child.get("name", "") + "/"))
    return None


def commands(volumes, preview_path):
    yield ["disks"]
    yield ["disks", "--json"]
    yield ["partitions", "--disk", "0", "search"]
    yield ["partitions", "--disk", "0", "search", "--deep"]
    yield ["partitions", "--disk", "0", "backup", "out/backup.pbf", "--overwrite", "yes"]
    yield ["partitions", "--disk", "0", "load", "out/backup.pbf"]
    for volume in volumes:
        index = str(volume["index"])
        for mode in ("deleted", "formatted", "raw"):
            yield ["scan", "--volume", index, "--mode", mode]
            yield ["recover", "--volume", index, "--mode", mode, "--to", "out/" + mode, "--overwrite", "yes"]
        if preview_path:
            yield ["preview", "--volume", index, "--file", preview_path, "--save", "out/preview",
                   "--overwrite", "yes"]


def volumes_of(cli, image, work):
    try:
        out = subprocess.run([cli, "--no-devices", "--image", image, "disks", "--json"], capture_output=True,
                             timeout=RUN_SECONDS, cwd=work).stdout
        listed = json.loads(out).get("volumes", [])
    except (subprocess.TimeoutExpired, ValueError):
        return []
    return [v for v in listed if v.get("fsName") not in ("Deleted", None) and "index" in v]


def decompressed_size(path):
    """The size zstd records for a compressed fixture (0 when it does not say)."""
    listing = subprocess.run(["zstd", "-lv", path], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        if line.strip().startswith("Decompressed Size:") and "(" in line:
            return int(line.split("(")[1].split()[0])
    return 0


def keep(keep_dir, name, mutant, note):
    os.makedirs(keep_dir, exist_ok=True)
    stem = os.path.join(keep_dir, name)
    with open(stem + ".img", "wb") as out:
        out.write(mutant)
    subprocess.run(["zstd", "-q", "-f", "--rm", stem + ".img"], check=False)
    with open(stem + ".txt", "w") as out:
        out.write(note)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=180)
    parser.add_argument("--cli", default=os.path.join(ROOT, "build-asan", "bin", "lumacore-cli"))
    parser.add_argument("--keep", default=os.path.join(ROOT, "build-asan", "sweep"))
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--images", nargs="*", help="fixture names (default: all)")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        sys.exit(f"sweep: no command line at {cli} (build the asan preset first)")

    fixtures = os.path.join(ROOT, "tests", "fixtures", "images")
    names = args.images or sorted(n[:-len(".img.zst")] for n in os.listdir(fixtures) if n.endswith(".img.zst"))
    names = [n for n in names if decompressed_size(os.path.join(fixtures, n + ".img.zst")) <= MAX_IMAGE_BYTES]
    deadline = time.monotonic() + args.seconds
    mutants = runs = failures = 0
    with tempfile.TemporaryDirectory(prefix="lumacore-sweep-") as scratch:
        originals = {}
        for name in names:
            path = os.path.join(scratch, name + ".img")
            subprocess.run(["zstd", "-d", "-q", "-f", os.path.join(fixtures, name + ".img.zst"), "-o", path],
                           check=True)
            with open(path, "rb") as f:
                image = f.read()
            volumes = volumes_of(cli, path, scratch)
            originals[name] = (image, volumes, targets(image, volumes))
            os.remove(path)

        while time.monotonic() < deadline:
            name = rng.choice(names)
            original, volumes, regions = originals[name]
            mutant, how = mutate(original, regions, rng)
            mutants += 1
            work = os.path.join(scratch, "run")
            shutil.rmtree(work, ignore_errors=True)
            os.makedirs(os.path.join(work, "out"))
            image = os.path.join(work, "mutant.img")
            with open(image, "wb") as f:
                f.write(mutant)
            # One volume per mutant: more mutants in the time than every volume of fewer.
            chosen = [rng.choice(volumes)] if volumes else []
            preview_path = first_file(cli, image, chosen[0]["index"], work) if chosen else None
            for arguments in commands(chosen, preview_path):
                if time.monotonic() >= deadline:
                    break
                command, problem, stderr = run(cli, image, arguments, work)
                runs += 1
                if problem:
                    failures += 1
                    label = f"{name}-{seed}-{mutants}"
                    note = (f"{problem}\nimage: {name} ({how})\ncommand: {' '.join(command[4:])}\n\n"
                            + stderr[-8000:].decode("utf-8", "replace"))
                    keep(args.keep, label, mutant, note)
                    print(f"sweep: {problem}: {name} ({how}): {' '.join(command[4:])}", flush=True)
    print(f"sweep (seed {seed}): {mutants} mutants of {len(names)} images, {runs} runs, {failures} failures"
          + (f"; kept in {args.keep}" if failures else ""))
    print(f"{runs - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
