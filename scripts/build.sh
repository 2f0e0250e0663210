#!/bin/sh
# Configures and builds into the given directory (default: build), with the
# given extra CMake arguments.
set -eu
cd "$(dirname "$0")/.."
dir="${1:-build}"
[ $# -gt 0 ] && shift
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORAN_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
