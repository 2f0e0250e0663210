#!/bin/sh
# Installs what is missing, checks formatting, builds, and runs the whole test
# suite twice: as built, and built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

echo "== formatting"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror $files

export QT_QPA_PLATFORM=offscreen
echo "== build and test"
./scripts/build.sh build -DVELLORAN_BUILD_TESTS=ON -DVELLORAN_BUILD_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

echo "== build and test with sanitizers"
./scripts/build.sh build-asan -DVELLORAN_SANITIZE=ON -DVELLORAN_BUILD_TESTS=ON -DVELLORAN_BUILD_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j "$(nproc)")
echo "All tests passed."
