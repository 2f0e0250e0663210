#!/bin/sh
# velloran.exe at three screen scales (96, 144 and 192 DPI, Wine's LogPixels)
# on a virtual display (Xvfb, Wine's X11 driver), beside the stand-in host
# that COM starts: the Options page is checked by velloran_dpi_test.exe and
# its picture kept as BUILD_DIR/dpi-tests/options-DPI.png; the Channel window
# with 60 stations by channel_window_test.exe, its picture channel-DPI.png.
#   sh tests/windows/run-dpi-tests.sh [BUILD_DIR]   (default build-windows/x86_64)
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$(cd "${1:-build-windows/x86_64}" && pwd)
if [ -z "${VELLORAN_IN_XVFB:-}" ]; then
    VELLORAN_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1600x1200x24" sh "$0" "$build"
fi
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server="${wine%/*}/wineserver"
[ -x "$server" ] || server=wineserver
host="$build/standin/com/velloran-standin-host.exe"
work="$build/dpi-tests"
export WINEPREFIX="$build/wineprefix-dpi"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export VELLORAN_SCENARIO="$root/tests/golden/ellipse/scenario.json"

rm -rf "$WINEPREFIX" "$work"
mkdir -p "$work/app"
"$wine" wineboot -i >/dev/null 2>&1
sh "$root/scripts/wine-fonts.sh" "$wine"
"$server" -w
"$wine" "$host" /RegServer /AllUsers >/dev/null
cp "$build/app/win32/velloran.exe" "$work/app/velloran.exe"

failures=0
for dpi in 96 144 192; do
    echo "== $dpi DPI"
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
    for key in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    done
    "$server" -w 2>/dev/null || true
    rm -f "$work/app/velloran.INI"
    "$wine" "$work/app/velloran.exe" DEBUG >"$work/velloran-$dpi.log" 2>&1 &
    velloran_pid=$!
    if ! "$wine" "$build/tests/windows/velloran_dpi_test.exe" --gtest_brief=1 "$dpi"; then
        echo "FAIL: velloran.exe at $dpi DPI" >&2
        failures=$((failures + 1))
    fi
    "$wine" "$build/app/win32/velloran-window-snapshot.exe" TVelloranForm \
        "$("$wine" winepath -w "$work/options-$dpi.png" 2>/dev/null)" 10 >/dev/null 2>&1 ||
        echo "note: no picture of the window at $dpi DPI"
    kill "$velloran_pid" 2>/dev/null || true
    wait "$velloran_pid" 2>/dev/null || true
    # The Channel window at this DPI with 60 listed stations, and its picture.
    if ! VELLORAN_PICTURE="$("$wine" winepath -w "$work/channel-$dpi.png" 2>/dev/null)" \
        "$wine" "$build/tests/windows/channel_window_test.exe" --gtest_brief=1 \
        --gtest_filter='*SixtyStations*'; then
        echo "FAIL: the Channel window at $dpi DPI" >&2
        failures=$((failures + 1))
    fi
    "$wine" "$host" --close >/dev/null 2>&1 || true
done
"$server" -k 2>/dev/null || true
if [ "$failures" -ne 0 ]; then
    echo "$failures scale(s) failed (pictures in $work, Wine prefix kept)" >&2
    exit 1
fi
rm -rf "$WINEPREFIX"
echo "velloran.exe is laid out at 96, 144 and 192 DPI (pictures in $work)"
