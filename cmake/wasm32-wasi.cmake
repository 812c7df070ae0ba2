# The web page's module: WebAssembly with Debian's clang, lld and wasi-libc
# (packages clang, lld, wasi-libc, libc++-14-dev-wasm32 for the C++ headers,
# libclang-rt-14-dev-wasm32). Nothing of a WASI runtime is used: the module
# is linked without the C library's start files and imports nothing.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)

# A test program would need a WASI runtime to be linked for; a library does not.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
