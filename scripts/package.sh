#!/bin/sh
# Builds the Debian package of Velloran (velloran_VERSION_ARCH.deb) into
# build-package/package/, from a release build without tests or benchmarks.
# Install it with: apt-get install ./build-package/package/velloran_*.deb
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh run package
./scripts/build.sh build-package -DCMAKE_BUILD_TYPE=Release \
    -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/package/velloran_*.deb
