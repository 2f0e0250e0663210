#!/bin/sh
# Lets this machine run programs of another architecture through
# qemu-user-static: mounts binfmt_misc when it is not mounted, and enables the
# architecture's handler.
#
#   sh scripts/binfmt.sh aarch64
set -eu
cpu=$1
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if ! grep -qx enabled "/proc/sys/fs/binfmt_misc/qemu-$cpu" 2>/dev/null; then
    $SUDO update-binfmts --enable "qemu-$cpu"
fi
grep -qx enabled "/proc/sys/fs/binfmt_misc/qemu-$cpu" || {
    echo "binfmt.sh: cannot run $cpu programs here: qemu-$cpu is not enabled in binfmt_misc" >&2
    exit 1
}
