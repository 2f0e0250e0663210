# Shared by the Debian multiarch toolchain files: the cross compilers, the
# target's library folder, its pkg-config files, Qt's build tools from the
# machine's own Qt, and qemu to run what was built (tests, test discovery).
set(CMAKE_C_COMPILER ${VELLORAN_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELLORAN_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELLORAN_CROSS_TRIPLET})
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLORAN_CROSS_QEMU})

# Headers and libraries live in the machine's own /usr (multiarch): the
# target's library folder is searched, the machine's never.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# pkg-config reads the target's .pc files, never the machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VELLORAN_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Qt's moc, rcc and uic run on the build machine: the machine's own Qt 6.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# The Debian package's architecture and the tools that read its programs.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELLORAN_CROSS_DEB_ARCH})

# -O2 as in the Windows builds: GCC 12 at -O3 warns falsely (-Wrestrict) inside
# std::string.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a release build")
