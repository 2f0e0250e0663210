#!/bin/sh
# scripts/setup.sh against stand-in apt-get, dpkg and dpkg-query commands:
# which packages each stage asks for, an index that fails apt-get update
# (setup goes on), and an install that fails (setup fails, naming them).
set -eu
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin="$work/bin"
mkdir -p "$bin"

# Nothing is installed; dpkg records the architectures added.
cat >"$bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat >"$bin/dpkg" <<'STUB'
#!/bin/sh
case "$1" in
--print-foreign-architectures) cat "$STUB_DIR/arches" 2>/dev/null || true ;;
--add-architecture) echo "$2" >>"$STUB_DIR/arches" ;;
esac
STUB
# apt-get: "update" exits $STUB_UPDATE, "install" exits $STUB_INSTALL; both
# are recorded.
cat >"$bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_DIR/calls"
case "$1" in
update)
    if [ "$STUB_UPDATE" -ne 0 ]; then
        echo "Err:6 http://archive.example/debian-security bookworm-security/main i386 Packages"
        echo "E: Failed to fetch http://archive.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    fi
    exit "$STUB_UPDATE" ;;
esac
if [ "$STUB_INSTALL" -ne 0 ]; then
    echo "The following packages have unmet dependencies:"
    echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not installable"
    echo "E: Unable to correct problems, you have held broken packages."
fi
exit "$STUB_INSTALL"
STUB
chmod +x "$bin"/*

passed=0
failed=0
check() { # name, condition result
    if [ "$2" = yes ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
has() { grep -q -- "$2" "$1" && echo yes || echo no; }
hasnt() { grep -q -- "$2" "$1" && echo no || echo yes; }

run_setup() { # update-status install-status args...
    rm -f "$work/calls" "$work/arches" "$work/out"
    up=$1 inst=$2
    shift 2
    status=0
    PATH="$bin:$PATH" STUB_DIR="$work" STUB_UPDATE=$up STUB_INSTALL=$inst \
        VELLORAN_APT_TRIES=2 VELLORAN_APT_PAUSE=0 \
        sh "$source_dir/scripts/setup.sh" "$@" >"$work/out" 2>&1 || status=$?
    touch "$work/calls"
}

# The run stage: the Linux build only, no i386, no Windows or test tools.
run_setup 0 0
check "run: succeeds" "$([ $status -eq 0 ] && echo yes || echo no)"
check "run: installs Qt" "$(has "$work/calls" 'install .* qt6-base-dev')"
check "run: no Wine" "$(hasnt "$work/calls" 'wine')"
check "run: no mingw" "$(hasnt "$work/calls" 'mingw')"
check "run: no test libraries" "$(hasnt "$work/calls" 'libgtest-dev')"
check "run: no i386" "$([ ! -s "$work/arches" ] && echo yes || echo no)"

# Every stage in one install, i386 added first.
run_setup 0 0 run test package windows
check "all: one install" "$([ "$(grep -c '^install' "$work/calls")" -eq 1 ] && echo yes || echo no)"
check "all: wine32 beside wine64" "$(has "$work/calls" 'install .*wine64 .*wine32:i386')"
check "all: i386 added" "$(has "$work/arches" 'i386')"

# The arm64 cross build adds its architecture, and only that one.
run_setup 0 0 arm64
check "arm64: arm64 added" "$([ "$(cat "$work/arches")" = arm64 ] && echo yes || echo no)"
check "arm64: Qt's arm64 half" "$(has "$work/calls" 'install .* qt6-base-dev:arm64')"

# An index that keeps failing: retried, named, and the install goes on.
run_setup 100 0 windows
check "failing index: succeeds" "$([ $status -eq 0 ] && echo yes || echo no)"
check "failing index: update tried twice" "$([ "$(grep -c '^update' "$work/calls")" -eq 2 ] && echo yes || echo no)"
check "failing index: named" "$(has "$work/out" 'could not fetch http://archive.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size')"
check "failing index: installed" "$(has "$work/calls" '^install')"

# An install that fails: setup fails, naming the packages and apt's reason.
run_setup 100 100 windows
check "failing install: fails" "$([ $status -ne 0 ] && echo yes || echo no)"
check "failing install: names the packages" "$(has "$work/out" 'could not install:.* wine32:i386')"
check "failing install: apt's reason" "$(has "$work/out" 'zlib1g:i386 (>= 1:1.1.4) but it is not installable')"
check "failing install: what to do" "$(has "$work/out" 'another mirror')"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
