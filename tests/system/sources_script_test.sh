#!/bin/sh
# scripts/sources.sh in a source tarball (no git): the project's sources are
# listed, generated files in build folders are not.
set -eu
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/project/scripts" "$work/project/src" "$work/project/build-run/gen" "$work/project/build"
cp "$source_dir/scripts/sources.sh" "$work/project/scripts/"
echo 'int main() {}' >"$work/project/src/main.cpp"
echo 'int  generated ;' >"$work/project/build-run/gen/moc_x.cpp"
echo 'int  generated ;' >"$work/project/build/y.h"
listed=$(GIT_CEILING_DIRECTORIES="$work" sh "$work/project/scripts/sources.sh")
[ "$listed" = "src/main.cpp" ] || { echo "listed: $listed"; exit 1; }
echo "1 passed, 0 failed"
