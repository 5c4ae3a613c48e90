#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it the way a user meets it: installed with apt
# into a fresh Debian 12 root (debootstrap, no container), the command line run on the sample disk, the
# desktop integration files validated, then removed, leaving none of its files behind.
#
#   scripts/test-package.sh [BUILD_DIR]     (default build-ci; needs root and the Debian mirror)
#
# LUMACORE_PACKAGE_ROOT=DIR reuses a root made earlier (it is copied, never changed).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-ci}

if [ "$(id -u)" -ne 0 ]; then
    echo "test-package.sh: needs root (debootstrap and chroot)" >&2
    exit 2
fi
for tool in debootstrap desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "test-package.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

echo "== package"
desktop-file-validate res/lumacore.desktop
appstreamcli validate --no-net res/org.lumacore.Lumacore.metainfo.xml
cmake --build "$build" --target lumacore-cli lumacore-gui lumacore-man lumacore-help lumacore-device-helper \
    lumacore-device-writer
rm -f "$build"/lumacore_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/lumacore_*.deb)
dpkg-deb -I "$deb" | sed -n 's/^ Depends:/Depends:/p'

work=$(mktemp -d /tmp/lumacore-package.XXXXXX)
root=$work/root
cleanup() {
    for mount in "$root/proc" "$root/dev/pts" "$root/dev"; do
        mountpoint -q "$mount" && umount -l "$mount"
    done
    rm -rf "$work"
}
trap cleanup EXIT

echo "== a fresh Debian 12 root"
if [ -n "${LUMACORE_PACKAGE_ROOT:-}" ]; then
    cp -a "$LUMACORE_PACKAGE_ROOT" "$root"
else
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 ||
        { tail -20 "$work/debootstrap.log" >&2; exit 1; }
fi
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/lumacore.deb"
zstd -d -q -f samples/sample-disk.img.zst -o "$root/tmp/sample-disk.img"
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }

echo "== apt install ./lumacore.deb"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends /tmp/lumacore.deb >"$work/install.log" 2>&1 ||
    { tail -30 "$work/install.log" >&2; exit 1; }
in_root dpkg -L lumacore >"$work/files"

echo "== installed programs"
in_root test -x /usr/bin/lumacore -a -x /usr/bin/lumacore-cli
in_root test -f /usr/share/lumacore/rp.dat -a -f /usr/share/man/man1/lumacore-cli.1.gz
in_root test -x /usr/libexec/lumacore/lumacore-device-helper -a -x /usr/libexec/lumacore/lumacore-device-writer
# pkexec finds the helpers' actions by their installed paths.
grep -q '>/usr/libexec/lumacore/lumacore-device-helper<' "$root/usr/share/polkit-1/actions/org.lumacore.policy"
in_root ldd /usr/bin/lumacore | grep 'not found' && { echo "lumacore misses libraries" >&2; exit 1; }
in_root /usr/bin/lumacore-cli --no-devices --image /tmp/sample-disk.img disks
found=$(in_root /usr/bin/lumacore-cli --no-devices --image /tmp/sample-disk.img scan --volume 0 --json)
echo "$found" | grep -q '"foundFiles": *[1-9]' || { echo "the scan of the sample disk found nothing" >&2; exit 1; }
in_root mkdir /tmp/recovered
in_root /usr/bin/lumacore-cli --no-devices --image /tmp/sample-disk.img recover --volume 0 --to /tmp/recovered
test -n "$(find "$root/tmp/recovered" -type f)" || { echo "nothing was recovered" >&2; exit 1; }
# The desktop program starts with what the package pulled in (still running when the time is up).
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 10 /usr/bin/lumacore --no-devices >"$work/gui.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$work/gui.log" >&2; echo "the desktop program did not start ($status)" >&2; exit 1; }

echo "== apt remove --purge lumacore"
in_root apt-get remove --purge -y -qq lumacore >/dev/null
left=0
while read -r path; do
    if [ -f "$root$path" ] || [ -L "$root$path" ]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <"$work/files"
[ "$left" -eq 0 ] || exit 1
echo "package test passed: $(basename "$deb")"
