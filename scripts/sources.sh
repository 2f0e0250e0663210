#!/bin/sh
# Lists the project's own C++ sources, relative to the project folder: from
# git, or in a source tarball everything but the build folders (whose
# generated files are not ours to format).
set -eu
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$(pwd -P)" ]; then
    git ls-files '*.cpp' '*.h'
else
    find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||'
fi
