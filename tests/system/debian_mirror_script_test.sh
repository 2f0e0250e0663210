#!/bin/sh
# scripts/debian-mirror.sh finds the release's own archive in apt's sources,
# in the one-line and in the deb822 format, and refuses when there is none.
set -eu
script="$1/scripts/debian-mirror.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
failed=0
expect() {
    got=$(sh "$script" "$work" 2>/dev/null) || got="(failed)"
    if [ "$got" != "$1" ]; then
        echo "FAILED $2: expected '$1', got '$got'"
        failed=$((failed + 1))
    fi
}

mkdir -p "$work/sources.list.d"
cat >"$work/sources.list" <<LIST
# deb http://commented.example/debian $codename main
deb-src http://source.example/debian $codename main
deb http://security.example/debian-security $codename-security main
deb [arch=amd64 signed-by=/k.gpg] http://one.example/debian $codename main contrib
deb http://two.example/debian $codename main
LIST
expect http://one.example/debian "one-line entries with options"

rm "$work/sources.list"
cat >"$work/sources.list.d/debian.sources" <<LIST
Types: deb
# http://snapshot.example/archive
URIs: http://security.example/debian-security
Suites: $codename-security
Components: main

Types: deb-src deb
URIs: http://three.example/debian http://four.example/debian
Suites: $codename-updates $codename
Components: main
LIST
expect http://three.example/debian "deb822 stanzas"

echo "deb http://updates.example/debian $codename-updates main" >"$work/sources.list"
rm "$work/sources.list.d/debian.sources"
expect "(failed)" "only an updates suite"

[ $failed -eq 0 ] || exit 1
echo "3 passed, 0 failed"
