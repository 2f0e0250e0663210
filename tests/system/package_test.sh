#!/bin/sh
# The Debian package as a user gets it: built with CPack from this build,
# clean by lintian (no errors), with the menu entries, icons and man pages in
# place, and each program running from the package's /usr/bin.
#   package_test.sh BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    exit 1
}
deb=$(ls "$work"/velloran_*.deb)
echo "package: $deb"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks Qt (shlibs not read)"
dpkg-deb -f "$deb" Depends | grep -q libdbus-1-3 || fail "Depends lacks libdbus"
[ "$(dpkg-deb -f "$deb" Recommends)" = direwolf ] || fail "Recommends is not direwolf"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for f in ./usr/bin/velloran ./usr/bin/velloran-standin-host ./usr/bin/velloran-report \
    ./usr/share/applications/velloran.desktop \
    ./usr/share/applications/velloran-standin-host.desktop \
    ./usr/share/icons/hicolor/scalable/apps/velloran.svg \
    ./usr/share/icons/hicolor/48x48/apps/velloran.png \
    ./usr/share/man/man1/velloran.1.gz ./usr/share/man/man1/velloran-standin-host.1.gz \
    ./usr/share/man/man1/velloran-report.1.gz ./usr/share/doc/velloran/copyright \
    ./usr/share/doc/velloran/README.md; do
    grep -qx "$f" "$work/contents" || fail "$f is not in the package"
done

# lintian: errors fail the test; warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
    fail "lintian reports errors"
fi

# The programs from the unpacked package, without a display or a bus.
dpkg-deb -x "$deb" "$work/root"
bin="$work/root/usr/bin"
version=$(dpkg-deb -f "$deb" Version)
for p in velloran velloran-standin-host velloran-report; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$p" --version) || fail "$p --version"
    [ "$(echo "$out" | head -1)" = "$p (Velloran) $version" ] || fail "$p --version said: $out"
    env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$p" --help | grep -q "^usage: $p" || fail "$p --help"
done
# An unknown option: status 2 and a message naming it (velloran checks after
# Qt has taken its own options, so it needs a platform).
for p in velloran velloran-standin-host velloran-report; do
    status=0
    QT_QPA_PLATFORM=offscreen "$bin/$p" --no-such-option >/dev/null 2>"$work/err" || status=$?
    [ $status -eq 2 ] || fail "$p --no-such-option ended with $status"
    grep -q "no-such-option" "$work/err" || fail "$p did not name the unknown option"
done
env -u DBUS_SESSION_BUS_ADDRESS "$bin/velloran-report" >"$work/report.out" || fail "velloran-report"
grep -q '^== ALOHA Radius ==$' "$work/report.out" || fail "velloran-report printed no report"
echo "package sound"
