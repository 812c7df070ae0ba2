# Static x86-64 Linux build against Debian's musl (musl-tools, musl-dev)
# with the system's g++; the binary runs on any x86-64 Linux, natively here.
set(CMAKE_CXX_COMPILER g++)
set(VARNHOLT_MUSL_TRIPLET x86_64-linux-musl)
include("${CMAKE_CURRENT_LIST_DIR}/musl.cmake")
