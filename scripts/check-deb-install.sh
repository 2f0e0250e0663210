#!/bin/sh
# Installs the Debian package into a fresh Debian 12 (bookworm) made with
# debootstrap, the way a user would (apt-get install ./velloran_*.deb), and
# runs each program from /usr/bin there. Needs root and the network, and takes
# some minutes; not part of the test command.
#
#   sh scripts/check-deb-install.sh [velloran_VERSION_ARCH.deb]
#   sh scripts/check-deb-install.sh --arch arm64 [velloran_VERSION_arm64.deb]
#
# Without a file it builds the package first (scripts/package.sh). With
# --arch arm64 the root is an arm64 Debian (a Raspberry Pi's), its programs run
# under qemu-user-static.
set -eu
cd "$(dirname "$0")/.."
arch=""
if [ "${1:-}" = "--arch" ]; then
    [ $# -ge 2 ] || { echo "check-deb-install.sh: --arch needs an architecture (arm64)" >&2; exit 2; }
    arch=$2
    shift 2
    case "$arch" in
    arm64) ;;
    *) echo "check-deb-install.sh: unknown architecture '$arch' (arm64)" >&2; exit 2 ;;
    esac
fi
if [ $# -gt 0 ]; then
    deb=$(realpath "$1")
elif [ -n "$arch" ]; then
    sh scripts/package.sh --arch "$arch"
    deb=$(realpath build-package-"$arch"/package/velloran_*_"$arch".deb)
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
if [ -z "$arch" ]; then
    echo "== debootstrap bookworm into $root"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
        tail -20 "$root.log"
        exit 1
    }
else
    # The second stage runs the root's own programs: through qemu.
    ./scripts/setup.sh qemu-user-static binfmt-support
    sh scripts/binfmt.sh aarch64
    echo "== debootstrap bookworm ($arch) into $root"
    { debootstrap --foreign --arch="$arch" --variant=minbase bookworm "$root" "$mirror" &&
        chroot "$root" /debootstrap/debootstrap --second-stage; } >"$root.log" 2>&1 || {
        tail -20 "$root.log"
        exit 1
    }
fi
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
echo "The package installs and runs on a clean Debian 12${arch:+ ($arch)}."
