#!/bin/sh
# Takes docs/velloran-windows.png: velloran.exe beside the stand-in host on
# the demo scenario, under Wine on a virtual display (Xvfb), in a Wine prefix
# of its own under the build folder; and docs/standin-map-windows.png, the
# host's map with the circle velloran.exe drew, written by the host itself.
#   sh scripts/windows-screenshot.sh [BUILD_DIR]   (default build-windows/x86_64)
set -eu
cd "$(dirname "$0")/.."
if [ -z "${VELLORAN_IN_XVFB:-}" ]; then
    VELLORAN_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
root=$(pwd)
build=$(cd "${1:-build-windows/x86_64}" && pwd)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
host="$build/standin/com/velloran-standin-host.exe"
work="$build/screenshot"
export WINEPREFIX="$build/wineprefix-screenshot"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset VELLORAN_SCENARIO

rm -rf "$WINEPREFIX" "$work"
mkdir -p "$work"
"$wine" wineboot -i >/dev/null 2>&1
sh "$root/scripts/wine-fonts.sh" "$wine"
"${wine%/*}/wineserver" -w 2>/dev/null || wineserver -w
"$wine" "$host" /RegServer /AllUsers >/dev/null
cp "$build/app/win32/velloran.exe" "$work/velloran.exe"

map_png="$("$wine" winepath -w "$root/docs/standin-map-windows.png" 2>/dev/null)"
"$wine" "$host" --snapshot "$map_png" >"$work/host.log" 2>&1 &
host_pid=$!
for _ in $(seq 300); do
    grep -q "serving" "$work/host.log" 2>/dev/null && break
    sleep 0.1
done
"$wine" "$work/velloran.exe" &
velloran_pid=$!
# The host writes its map once velloran.exe has drawn: the run is done then.
for _ in $(seq 900); do
    grep -q "snapshot" "$work/host.log" 2>/dev/null && break
    sleep 0.1
done
sleep 2
"$wine" "$build/app/win32/velloran-window-snapshot.exe" TVelloranForm \
    "$("$wine" winepath -w "$root/docs/velloran-windows.png" 2>/dev/null)" 30
"$wine" "$host" --close >/dev/null 2>&1 || true
wait "$velloran_pid" || true
wait "$host_pid" || true
"${wine%/*}/wineserver" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
grep -q "snapshot written" "$work/host.log" || { cat "$work/host.log" >&2; exit 1; }
echo "docs/velloran-windows.png and docs/standin-map-windows.png written"
