#!/bin/sh
# Installs what is missing, checks formatting, builds, and runs the whole test
# suite twice: as built, and built with AddressSanitizer and
# UndefinedBehaviorSanitizer; cross-builds for Windows (64 and 32 bits) and
# runs the Windows tests under Wine; cross-builds for arm64 and runs the unit
# and widget tests under qemu.
#
#   sh scripts/test.sh          every stage (what CI runs)
#   sh scripts/test.sh quick    formatting, the build, the unit and widget tests:
#                               a few minutes, for everyday work
set -eu
cd "$(dirname "$0")/.."
tier=${1:-full}
case "$tier" in
full | quick) ;;
*) echo "test.sh: unknown tier '$tier' (quick, or nothing for every stage)" >&2; exit 2 ;;
esac
start=$(date +%s)
# Each stage's heading says how long the command has run so far.
stage() { echo "== $* ($(($(date +%s) - start)) s)"; }
if [ "$tier" = quick ]; then
    ./scripts/setup.sh run test
else
    ./scripts/setup.sh run test package windows arm64
fi

stage "formatting"
files=$(./scripts/sources.sh)
clang-format --dry-run --Werror $files
sh scripts/check-rooms.sh

export QT_QPA_PLATFORM=offscreen
if [ "$tier" = quick ]; then
    stage "build, and the unit and widget tests"
    ./scripts/build.sh build -DVELLORAN_BUILD_TESTS=ON
    (cd build && ctest --output-on-failure -j "$(nproc)" -L '^(unit|widgets)$')
    echo "Quick tests passed ($(($(date +%s) - start)) s)."
    exit 0
fi

stage "build and test"
./scripts/build.sh build -DVELLORAN_BUILD_TESTS=ON -DVELLORAN_BUILD_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

stage "the README's package command, from a clean build folder, and its package"
rm -rf build-package
sh scripts/package.sh
sh tests/system/package_test.sh build-package build-package/package-test

stage "Windows builds and their tests under Wine"
./scripts/build-windows.sh x86_64 i686
# Wine runs 32-bit Windows programs (and the installer, which NSIS makes
# 32-bit) with its 32-bit Linux side: a kernel built without 32-bit support
# refuses it ("Exec format error"). There, only the 64-bit programs can be
# tested, and the command says so.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # The 32-bit programs against a 32-bit host (the real host's kind), then
    # each build against a host of the other bitness.
    sh tests/windows/run-com-tests.sh build-windows/i686
    sh tests/windows/run-com-tests.sh build-windows/x86_64 build-windows/i686
    sh tests/windows/run-com-tests.sh build-windows/i686 build-windows/x86_64
else
    echo "NOTE: this machine's kernel cannot run 32-bit x86 programs, so Wine cannot run"
    echo "NOTE: the i686 programs or the installer: only the x86_64 programs are tested here,"
    echo "NOTE: against an x86_64 host. The i686 programs are built, not run."
    sh tests/windows/run-com-tests.sh build-windows/x86_64
fi
# The window's layout at three screen scales, on a virtual display.
sh tests/windows/run-dpi-tests.sh build-windows/x86_64

stage "arm64: the package, cross-built, and the unit and widget tests under qemu"
rm -rf build-package-arm64
sh scripts/package.sh --arch arm64 -DVELLORAN_BUILD_TESTS=ON
(cd build-package-arm64 && ctest --output-on-failure -j "$(nproc)" -L '^(unit|widgets|package)$')

stage "build and test with sanitizers"
# The asan preset: -O1 with line tables only, half the compile time of -O2 -g
# under the sanitizers, and their reports still name files and lines.
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)"
(cd build-asan && ctest --output-on-failure -j "$(nproc)")
stage "fuzzing (libFuzzer, address and undefined-behaviour sanitizers)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# The coastline reader's tables start from nothing.
for target in tnc_decode:tests/fuzz/corpus/tnc \
    "scenario:tests/fuzz/corpus/scenario build-fuzz/tests/fuzz/seeds-scenario" coastline:; do
    name=${target%%:*}
    seeds=${target##*:}
    mkdir -p "build-fuzz/corpus-$name"
    log="build-fuzz/fuzz_$name.log"
    if ! ./build-fuzz/tests/fuzz/fuzz_$name -max_total_time="${VELLORAN_FUZZ_SECONDS:-20}" \
        -timeout=10 -artifact_prefix=build-fuzz/ "build-fuzz/corpus-$name" $seeds >"$log" 2>&1; then
        tail -40 "$log"
        echo "fuzz_$name found a fault (the input is in build-fuzz/)" >&2
        exit 1
    fi
    tail -1 "$log"
done
echo "All tests passed ($(($(date +%s) - start)) s)."
