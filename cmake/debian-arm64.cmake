# Cross-compiling for 64-bit ARM Linux (Debian arm64, Raspberry Pi OS 64-bit)
# with Debian's cross toolchain, against the arm64 libraries installed beside
# the machine's own through multiarch.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELLORAN_CROSS_TRIPLET aarch64-linux-gnu)
set(VELLORAN_CROSS_DEB_ARCH arm64)
set(VELLORAN_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
