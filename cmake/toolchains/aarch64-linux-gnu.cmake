# Cross-compiles for 64-bit ARM Linux with Debian's cross toolchain (g++-aarch64-linux-gnu) and the arm64
# -dev packages installed beside the build machine's own (dpkg --add-architecture arm64):
#   cmake -S . -B build/aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake
# Test programs run through qemu's user-mode emulator when it is installed (ctest uses it as the emulator).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZQB_TARGET_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${ZQB_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZQB_TARGET_TRIPLE}-g++)

# Debian keeps the target's libraries in /usr/lib/<triple> and its headers in /usr/include (arch-independent)
# and /usr/include/<triple>: the libraries, headers and packages are searched there only, programs on the
# build machine.
set(CMAKE_LIBRARY_ARCHITECTURE ${ZQB_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${ZQB_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config reads the target's .pc files, not the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ZQB_TARGET_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The programs run with the target's own loader and C library, those of the arm64 packages (libc6:arm64) that
# the -dev packages bring, found from the root: the cross toolchain's loader under /usr/<triple> may be of
# another release of the C library than the libc.so.6 it would then load from the arm64 packages, and such a
# pair hangs at the first thread.
find_program(ZQB_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(ZQB_QEMU_AARCH64)
    if(EXISTS /lib/${ZQB_TARGET_TRIPLE}/libc.so.6)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${ZQB_QEMU_AARCH64} -L /)
    else()
        set(CMAKE_CROSSCOMPILING_EMULATOR ${ZQB_QEMU_AARCH64} -L /usr/${ZQB_TARGET_TRIPLE})
    endif()
endif()
