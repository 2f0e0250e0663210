#!/bin/sh
# The Debian 12 packages each stage needs, in one place. scripts/setup.sh
# installs the lists a stage names; sourced, never run.
#
#   run      build the Linux programs and run them (scripts/run.sh)
#   test     check formatting, run the tests, sanitizers and fuzzers, Dire Wolf
#   package  make and check the Debian package (scripts/package.sh)
#   windows  cross-build for Windows and run the Windows tests under Wine

PACKAGES_run="cmake ninja-build g++ pkg-config
qt6-base-dev libpcre2-dev nlohmann-json3-dev libdbus-1-dev dbus dbus-x11
libnetcdf-dev gmt-gshhg-low librsvg2-bin gzip"

PACKAGES_test="clang-format clang libclang-rt-14-dev
libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth direwolf"

PACKAGES_package="dpkg-dev lintian"

# wine32:i386 is the 32-bit side of Wine: it runs the i686 programs. dpkg-dev
# fetches PCRE2's source for the cross builds.
PACKAGES_windows="cmake ninja-build nlohmann-json3-dev libgtest-dev dpkg-dev
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
wine64 wine32:i386 libwine-dev nsis"
