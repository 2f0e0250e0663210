#!/bin/sh
# Cross-builds the Windows programs with mingw-w64 into build-windows/<arch>/
# (default: both x86_64 and i686; name one to build only that), statically
# linked. PCRE2 comes from Debian's source package, built into a prefix under
# build-windows/<arch>/pcre2.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
archs="${*:-x86_64 i686}"

./scripts/setup.sh windows

# Debian's PCRE2 sources, fetched once into the build folder.
src="$root/build-windows/src"
mkdir -p "$src"
pcre2=$(find "$src" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)
if [ -z "$pcre2" ]; then
    # A sources list and index folder of our own for this one fetch: the
    # machine's apt sources and lists stay as they are.
    apt_dir="$src/apt"
    mkdir -p "$apt_dir/lists/partial"
    codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    key=/usr/share/keyrings/debian-archive-keyring.gpg
    opts=""
    [ -f "$key" ] && opts="[signed-by=$key] "
    echo "deb-src ${opts}$(sh scripts/debian-mirror.sh) ${codename:-bookworm} main" >"$apt_dir/sources.list"
    set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    apt-get "$@" update -q
    (cd "$src" && apt-get "$@" source -q pcre2)
    pcre2=$(find "$src" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)
fi

for arch in $archs; do
    case "$arch" in
    x86_64 | i686) ;;
    *) echo "build-windows.sh: unknown architecture '$arch' (x86_64 or i686)" >&2; exit 2 ;;
    esac
    out="$root/build-windows/$arch"
    toolchain="$root/cmake/mingw-w64-$arch.cmake"
    if [ ! -f "$out/pcre2/lib/libpcre2-8.a" ]; then
        echo "== PCRE2 for $arch"
        cmake -S "$pcre2" -B "$out/pcre2-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/pcre2" \
            -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
            -DPCRE2_SUPPORT_JIT=ON >/dev/null
        cmake --build "$out/pcre2-build" --target install >/dev/null
    fi
    echo "== Velloran for $arch"
    # The mingw presets: -O2 as on Linux (GCC 12 at -O3 warns falsely,
    # -Wrestrict, inside std::string), PCRE2 from the prefix above.
    cmake --preset "mingw-$arch" >/dev/null
    cmake --build "$out" -j "$(nproc)"
done

# The per-user installer, of the 32-bit programs (the host's own kind) when
# they were built, else of the 64-bit ones.
for arch in i686 x86_64; do
    case " $archs " in *" $arch "*) ;; *) continue ;; esac
    version=$(sed -n 's/^project(Velloran VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    setup="$root/build-windows/velloran-$version-setup.exe"
    echo "== Installer $setup ($arch)"
    makensis -V2 -DVERSION="$version" -DBUILD="$root/build-windows/$arch" -DDOCS="$root/docs" \
        -DICON="$root/app/win32/velloran.ico" -DOUTFILE="$setup" dist/windows/velloran.nsi
    break
done
