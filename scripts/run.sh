#!/bin/sh
# Installs what is missing, builds, and runs Velloran beside its stand-in host
# on the demo scenario.
#
# With a display: the stand-in host (velloran-standin-host) opens its map and
# velloran attaches to it over the session bus; closing either ends both.
# Without a display: the same pair headless. velloran-report prints the
# calculation, and the host's map is saved as build-run/standin-map.png.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh run
./scripts/build.sh build-run -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF

# Both programs need one session bus; start one when there is none.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${VELLORAN_IN_BUS:-}" ]; then
    VELLORAN_IN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

wait_for_host() {
    i=0
    while [ $i -lt 100 ]; do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.velloran.StandinHost 2>/dev/null |
            grep -q true; then
            return 0
        fi
        i=$((i + 1))
        sleep 0.1
    done
    echo "The stand-in host did not come up." >&2
    return 1
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    ./build-run/standin/velloran-standin-host &
    host=$!
    wait_for_host
    status=0
    ./build-run/app/qt/velloran "$@" || status=$?
    kill "$host" 2>/dev/null || true
    wait "$host" 2>/dev/null || true
    exit $status
fi

echo "No display: running headless (to see the windows: xvfb-run, or run this on a desktop)." >&2
rm -f build-run/standin-map.png
./build-run/standin/velloran-standin-host --snapshot build-run/standin-map.png 2>/dev/null &
host=$!
wait_for_host
status=0
./build-run/tools/velloran-report "$@" || status=$?
i=0
while [ ! -f build-run/standin-map.png ] && [ $i -lt 50 ]; do i=$((i + 1)); sleep 0.1; done
kill "$host" 2>/dev/null || true
wait "$host" 2>/dev/null || true
[ -f build-run/standin-map.png ] && echo "The host's map: build-run/standin-map.png" >&2
exit $status
