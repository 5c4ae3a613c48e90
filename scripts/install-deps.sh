#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Idempotent; when everything is already
# installed it only asks dpkg and returns.
set -euo pipefail

PACKAGES=(
    # build
    g++ cmake ninja-build ccache pkg-config libblkid-dev
    # the command line's argument parser
    libcli11-dev
    # E01 images
    libewf-dev
    # the carver finds the ends of gzip and bzip2 streams by decoding them
    zlib1g-dev libbz2-dev
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev zstd
    # the corrupted-image sweep (scripts/sweep.py)
    python3
    # the JSON listing's schema check in the command-line tests
    python3-jsonschema
    # peers the tests compare with, and the tools that make test images
    sleuthkit mtools dosfstools ntfs-3g e2fsprogs fdisk gdisk
    # real FLAC files for the carver's FLAC test
    flac
    # the tools that make the exFAT test images and benchmark volume
    exfatprogs exfat-fuse
    # E01 test images
    ewf-tools
    # fuzzing and sanitizers with clang
    clang libclang-rt-14-dev
    # the desktop program; a font so that offscreen screenshots and GUI tests have text on a bare machine
    qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core
    # the preview's picture readers: Qt's TIFF and WBMP plugins, OpenJPEG for JPEG 2000 and
    # ImageMagick's library for TGA, PCX, PGX and Sun raster
    qt6-image-formats-plugins libopenjp2-7-dev libmagick++-6.q16-dev
    # the MIME types: the result lists' type names, and the documents' applications for the preview
    shared-mime-info
    # the Debian package and its test in a fresh root: dependencies, desktop file and metainfo checks
    dpkg-dev file debootstrap desktop-file-utils appstream
)

missing=()
for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
