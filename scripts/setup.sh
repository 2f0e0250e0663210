#!/bin/sh
# Installs the Debian 12 packages Velloran needs to build, test and run, or
# only the packages named on the command line. Skips apt entirely when
# everything is already there.
set -eu
ALL_PACKAGES="cmake ninja-build g++ pkg-config python3 clang-format clang libclang-rt-14-dev
qt6-base-dev libpcre2-dev nlohmann-json3-dev
libgtest-dev libgmock-dev libbenchmark-dev
libdbus-1-dev dbus dbus-x11 xvfb xauth
direwolf
dpkg-dev lintian librsvg2-bin gzip libnetcdf-dev gmt-gshhg-low
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine32:i386 libwine-dev nsis
fonts-wqy-microhei"
PACKAGES="${*:-$ALL_PACKAGES}"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    # The 32-bit side of Wine runs the i686 Windows programs.
    case "$missing" in *:i386*)
        dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386 ;;
    esac
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
