# Shared by the mingw-w64 toolchain files: compilers, search paths and static
# linking, so that each program runs on a plain Windows PC without extra DLLs.
set(CMAKE_C_COMPILER ${VELLORAN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLORAN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLORAN_MINGW_TRIPLET}-windres)
set(VELLORAN_WIDL ${VELLORAN_MINGW_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VELLORAN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's Wine development files give widl the system IDL files and the
# stdole2 type library the host's interfaces import; Debian ships GoogleTest
# as sources, built here for Windows.
set(VELLORAN_WIDL_INCLUDE /usr/include/wine/wine/windows)
set(VELLORAN_WIDL_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(VELLORAN_GTEST_SOURCE_DIR /usr/src/googletest)
set(VELLORAN_JSON_INCLUDE_DIR /usr/include) # nlohmann-json, header-only
