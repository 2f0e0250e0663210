#!/bin/sh
# Builds the Debian package of Velloran (velloran_VERSION_ARCH.deb) from a
# release build without tests or benchmarks:
#
#   sh scripts/package.sh                  this machine's architecture, into
#                                          build-package/package/
#   sh scripts/package.sh --arch arm64     64-bit ARM (Raspberry Pi OS 64-bit),
#                                          cross-built into
#                                          build-package-arm64/package/
#
# Further arguments go to CMake. Install it with:
#   apt-get install ./build-package/package/velloran_*.deb
set -eu
cd "$(dirname "$0")/.."
arch=""
if [ "${1:-}" = "--arch" ]; then
    [ $# -ge 2 ] || { echo "package.sh: --arch needs an architecture (arm64)" >&2; exit 2; }
    arch=$2
    shift 2
fi

case "$arch" in
"")
    ./scripts/setup.sh run package
    ./scripts/build.sh build-package -DCMAKE_BUILD_TYPE=Release \
        -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF "$@"
    (cd build-package && cpack -G DEB >/dev/null)
    ls build-package/package/velloran_*.deb
    ;;
arm64)
    ./scripts/setup.sh run package arm64
    sh scripts/binfmt.sh aarch64
    dir=build-package-$arch
    ./scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/debian-$arch.cmake \
        -DCMAKE_BUILD_TYPE=Release -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF "$@"
    (cd "$dir" && cpack -G DEB >/dev/null)
    ls "$dir"/package/velloran_*_"$arch".deb
    ;;
*)
    echo "package.sh: unknown architecture '$arch' (arm64)" >&2
    exit 2
    ;;
esac
