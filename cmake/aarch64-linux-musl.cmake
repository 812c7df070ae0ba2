# Static 64-bit ARM Linux build against Debian's musl-dev:arm64 (a foreign
# architecture) with g++-aarch64-linux-gnu; the binary runs under qemu-user
# here, and needs no C library tree beside it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(VARNHOLT_MUSL_TRIPLET aarch64-linux-musl)
include("${CMAKE_CURRENT_LIST_DIR}/musl.cmake")

find_program(QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${QEMU_AARCH64}")
