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
# fetches PCRE2's source for the cross builds. The CJK font stands behind the
# Windows faces in the tests' Wine prefixes.
PACKAGES_windows="cmake ninja-build nlohmann-json3-dev libgtest-dev dpkg-dev
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
wine64 wine32:i386 libwine-dev nsis fonts-wqy-microhei"

# The arm64 (Raspberry Pi OS 64-bit) cross build: the cross compiler, the
# arm64 halves of the libraries (installed with their amd64 halves in one go,
# so that apt can match their versions), and qemu to run what it builds.
# libnetcdf-dev is not multiarch: the machine's headers and the arm64 runtime
# library serve.
PACKAGES_arm64="crossbuild-essential-arm64 qemu-user-static binfmt-support
qt6-base-dev:arm64 libpcre2-dev:arm64 libdbus-1-dev:arm64 libnetcdf19:arm64
libgtest-dev:arm64 libgmock-dev:arm64"
