#!/usr/bin/env bash
# Checks the device helper the way a desktop user meets it, with the real pkexec and polkitd: the
# installed package, an unprivileged user, a read-only loop device over the sample disk. Once without
# authorisation (the scan must say it was refused and exit 2), once after an administrator authorised the
# user for org.lumacore.read-device (a polkit rule stands in for the password dialog, which needs a
# desktop agent) — the scan must list the sample's deleted files.
#
#   scripts/check-polkit.sh DEB      (root; installs DEB and the polkit packages, starts a system bus and
#                                     polkitd if none runs, adds the user "lumacore-check"; not part of CI)
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:?usage: scripts/check-polkit.sh lumacore_VERSION_amd64.deb}
[ "$(id -u)" -eq 0 ] || { echo "check-polkit.sh: needs root" >&2; exit 2; }

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq pkexec polkitd "$(realpath "$deb")" >/dev/null
if ! pgrep -x dbus-daemon >/dev/null; then
    mkdir -p /run/dbus
    dbus-daemon --system --fork
fi
if ! pgrep -x polkitd >/dev/null; then
    /usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
    sleep 2
fi
user=lumacore-check
id "$user" >/dev/null 2>&1 || useradd -m "$user"
image=$(mktemp /tmp/lumacore-polkit.XXXXXX.img)
rule=/etc/polkit-1/rules.d/49-lumacore-check.rules
loop=
cleanup() {
    rm -f "$rule" "$image"
    [ -n "$loop" ] && losetup -d "$loop"
}
trap cleanup EXIT
zstd -d -q -f samples/sample-disk.img.zst -o "$image"
chmod 644 "$image"
loop=$(losetup -f --show -r "$image")
scan() { su "$user" -s /bin/sh -c "cd /tmp && lumacore-cli --no-devices --image $loop scan --volume 0 </dev/null"; }

echo "== not authorised"
rm -f "$rule"
sleep 1
set +e
refused=$(scan 2>&1)
status=$?
set -e
echo "$refused" | tail -1
[ "$status" -eq 2 ] && echo "$refused" | grep -q "authorisation was refused" ||
    { echo "check-polkit.sh: expected a refusal (exit 2), got $status" >&2; exit 1; }

echo "== authorised"
mkdir -p "$(dirname "$rule")"
cat > "$rule" <<RULE
polkit.addRule(function(action, subject) {
    if (action.id == "org.lumacore.read-device" && subject.user == "$user") return polkit.Result.YES;
});
RULE
sleep 2
listing=$(scan 2>&1)
echo "$listing" | tail -1
echo "$listing" | grep -q "^Found Deleted Files : [1-9]" ||
    { echo "check-polkit.sh: the authorised scan found nothing" >&2; echo "$listing" >&2; exit 1; }
echo "check-polkit.sh: passed"
