# Cross-compiles for 64-bit Windows with MinGW-w64's posix-thread compilers (std::thread needs
# them). Tests run through Wine: CMAKE_CROSSCOMPILING_EMULATOR is set by the `windows` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZEMLO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEMLO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEMLO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEMLO_MINGW_TRIPLE}-windres)

# Libraries and headers come from the target's root only; programs (pkg-config, python) from
# the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEMLO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config would otherwise hand out the build machine's libraries (libftdi1, Qt).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${ZEMLO_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Self-contained .exe files: no libstdc++, libgcc or winpthread DLLs to ship next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# zlib (libz-mingw-w64-dev) ships an import library too; take the archive.
set(ZLIB_USE_STATIC_LIBS ON)
