#!/bin/sh
# 20,000 lines through each kind of report pane, one after the other in one
# run: the Qt pane and a plain QPlainTextEdit (Linux, offscreen), then the
# Win32 pane, an edit control with one insertion a line and a naive one
# (under Wine, headless). Needs the Linux build in build/ and the Windows
# build in build-windows/x86_64/ (sh scripts/build.sh; sh scripts/build-windows.sh).
#   sh bench/windows/pane-compare.sh
set -eu
cd "$(dirname "$0")/../.."
linux=build/bench/window_bench
windows=build-windows/x86_64/bench/windows/pane_bench.exe
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
for f in "$linux" "$windows"; do
    [ -e "$f" ] || { echo "pane-compare: $f is not built" >&2; exit 1; }
done

echo "== Qt (Linux, offscreen)"
QT_QPA_PLATFORM=offscreen "$linux" --benchmark_filter='Pane' \
    --benchmark_format=csv 2>/dev/null |
    awk -F, '/Pane/ { gsub(/"/, "", $1); split($1, n, "/");
        printf "%-24s %6d lines, %10.0f lines/s\n", n[1], 20000, 20000 / ($3 / 1000) }'

echo "== Win32 (Wine, headless)"
prefix=$(mktemp -d)
trap 'WINEPREFIX="$prefix" "${wine%/*}/wineserver" -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"${wine%/*}/wineserver" -w
"$wine" "$windows"
