#!/bin/sh
# Installs the Debian package into a fresh Debian 12 (bookworm) made with
# debootstrap, the way a user would (apt-get install ./velloran_*.deb), and
# runs each program from /usr/bin there. Needs root and the network, and takes
# some minutes; not part of the test command.
#
#   sh scripts/check-deb-install.sh [velloran_VERSION_ARCH.deb]
#
# Without an argument it builds the package first (scripts/package.sh).
set -eu
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
    deb=$(realpath "$1")
else
    sh scripts/package.sh
    deb=$(realpath build-package/package/velloran_*.deb)
fi
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
# The archive this machine's apt uses, as a user's machine has it; DEBIAN_MIRROR
# overrides it.
mirror=${DEBIAN_MIRROR:-$(sh scripts/debian-mirror.sh)}
root=$(mktemp -d /tmp/velloran-bookworm.XXXXXX)
cleanup() {
    for m in proc dev/pts dev; do umount "$root/$m" 2>/dev/null || true; done
    rm -rf "$root"
}
trap cleanup EXIT INT TERM
echo "== debootstrap bookworm into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
    tail -20 "$root.log"
    exit 1
}
rm -f "$root.log"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp "$deb" "$root/tmp/"
name=$(basename "$deb")
echo "== apt-get install ./$name"
chroot "$root" sh -c "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./tmp/$name" |
    tail -5
echo "== the programs from /usr/bin"
chroot "$root" sh -eu -c '
    for p in velloran velloran-standin-host velloran-report; do
        /usr/bin/$p --version | head -1
        /usr/bin/$p --help >/dev/null
    done
    # Without a host on a bus, the report runs on the embedded demo host.
    /usr/bin/velloran-report | sed -n 2,3p
    # The window on the demo host, off screen: still running after 5 s.
    status=0
    QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/velloran 2>/dev/null || status=$?
    [ $status -eq 124 ] || { echo "velloran ended with status $status" >&2; exit 1; }
    echo "velloran ran until stopped"
'
echo "The package installs and runs on a clean Debian 12."
