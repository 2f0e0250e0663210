#!/bin/sh
# Cross-builds the Windows programs with mingw-w64 into build-windows/<arch>/
# (default: both x86_64 and i686; name one to build only that), statically
# linked. PCRE2 comes from Debian's source package, built into a prefix under
# build-windows/<arch>/pcre2.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
archs="${*:-x86_64 i686}"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
./scripts/setup.sh cmake ninja-build nlohmann-json3-dev libgtest-dev dpkg-dev \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine32:i386 libwine-dev nsis \
    fonts-wqy-microhei

# Debian's PCRE2 sources, fetched once into the build folder.
src="$root/build-windows/src"
mkdir -p "$src"
pcre2=$(find "$src" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)
if [ -z "$pcre2" ]; then
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "Adding a deb-src line for the Debian sources"
        . /etc/os-release
        # Same key as the binary entries, or apt refuses the two as conflicting.
        key=/usr/share/keyrings/debian-archive-keyring.gpg
        opts=""
        [ -f "$key" ] && opts="[signed-by=$key] "
        mirror=$(sh scripts/debian-mirror.sh)
        echo "deb-src ${opts}$mirror ${VERSION_CODENAME:-bookworm} main" |
            $SUDO tee /etc/apt/sources.list.d/velloran-deb-src.list >/dev/null
        $SUDO apt-get update -q
    fi
    (cd "$src" && apt-get source -q pcre2)
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
    # -O2 as on Linux: GCC 12 at -O3 warns falsely (-Wrestrict) inside std::string.
    cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DVELLORAN_WERROR=ON -DVELLORAN_BUILD_GUI=OFF \
        -DVELLORAN_BUILD_BENCH=ON -DVELLORAN_BUILD_TESTS=ON \
        -DVELLORAN_PCRE2_PREFIX="$out/pcre2" >/dev/null
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
