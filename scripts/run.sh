#!/bin/sh
# Installs what is missing, builds, and runs Velloran's main job: one ALOHA
# calculation on the demo scenario, printed by velloran-report.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh build -DVELLORAN_BUILD_TESTS=OFF -DVELLORAN_BUILD_BENCH=OFF
exec ./build/tools/velloran-report "$@"
