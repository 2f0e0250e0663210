#!/bin/sh
# Installs the Debian 12 packages the named stages need (run, test, package,
# windows, arm64: see scripts/packages.sh), or packages named on the command line.
# With no argument: the run stage. Skips apt entirely when everything is
# already there.
#
#   sh scripts/setup.sh [STAGE|PACKAGE ...]
#
# An index that apt-get update cannot fetch (an archive part-way through a
# sync serves files that do not match its signed Release file, for hours at a
# time) is retried, then reported in one line; the install goes on with the
# indexes apt has. Setup fails only when the install itself fails, naming the
# packages and apt's reason.
set -eu
here=$(dirname "$0")
. "$here/packages.sh"

tries=${VELLORAN_APT_TRIES:-3}
pause=${VELLORAN_APT_PAUSE:-10}

wanted=""
for word in ${*:-run}; do
    case "$word" in
    run | test | package | windows | arm64) eval "wanted=\"\$wanted \$PACKAGES_$word\"" ;;
    *) wanted="$wanted $word" ;;
    esac
done

missing=""
for p in $wanted; do
    case " $missing " in *" $p "*) continue ;; esac
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# The architectures of :ARCH packages (Wine's 32-bit side, the arm64 libraries).
for arch in $(echo "$missing" | tr ' ' '\n' | sed -n 's/^[^:]*:\(.*\)$/\1/p' | sort -u); do
    dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch"
done

log=$(mktemp)
trap 'rm -f "$log" "$log.rc"' EXIT

# Runs a command with its output shown and kept in $log; returns its status.
logged() {
    { "$@" 2>&1; echo $? >"$log.rc"; } | tee "$log"
    return "$(cat "$log.rc")"
}

try=1
while :; do
    if logged $SUDO apt-get update -q; then
        break
    fi
    if [ "$try" -ge "$tries" ]; then
        # "E: Failed to fetch URL  reason" names each index apt had to leave out.
        failed=$(sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' "$log")
        if [ -n "$failed" ]; then
            echo "$failed" | while IFS= read -r line; do
                echo "setup: apt-get update could not fetch $line. Going on with the indexes apt has."
            done
        else
            echo "setup: apt-get update failed ($(grep '^E:' "$log" | head -n 1)); going on with the indexes apt has."
        fi
        break
    fi
    echo "setup: apt-get update failed (try $try of $tries); trying again in ${pause} s."
    try=$((try + 1))
    sleep "$pause"
done

# One install for every package, the :i386 ones beside their amd64 halves,
# so that apt can choose matching versions.
# shellcheck disable=SC2086
if logged $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing; then
    exit 0
fi

still=""
for p in $missing; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || still="$still $p"
done
{
    echo "setup: could not install:${still:-$missing}"
    echo "apt said:"
    # The unmet dependencies (" pkg : Depends: ...") and apt's errors.
    grep -E '^(E:| [^ ].* : |  +(Depends|PreDepends|Breaks|Conflicts):)' "$log" | sed 's/^/  /' | head -n 30
    echo "The archive may be part-way through a sync: wait an hour and run this again, or point apt at another mirror in /etc/apt/sources.list."
} >&2
exit 1
