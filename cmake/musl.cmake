# What the two musl toolchain files share: GCC compiles C++ against musl's
# headers (Debian's musl-dev, /usr/include/<triplet>-linux-musl) and links
# a static PIE against musl's libc.a and start files. libstdc++'s headers
# stay in use; libstdc++ and libsupc++ themselves are never on the link
# line, so a program that needed them would fail to link.
# Set VARNHOLT_MUSL_TRIPLET and CMAKE_CXX_COMPILER before including this.

set(musl_include /usr/include/${VARNHOLT_MUSL_TRIPLET})
set(musl_lib /usr/lib/${VARNHOLT_MUSL_TRIPLET})
if(NOT EXISTS "${musl_lib}/libc.a" OR NOT EXISTS "${musl_include}/stdio.h")
    message(FATAL_ERROR "musl for ${VARNHOLT_MUSL_TRIPLET} is missing: install musl-dev "
                        "(for arm64 on amd64: musl-dev:arm64)")
endif()

# The compiler's own C++ header folders, in its own order; the C library's
# folders (glibc's) are left out.
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -x c++ -E -v /dev/null
                OUTPUT_QUIET ERROR_VARIABLE search RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not run")
endif()
string(REGEX REPLACE ".*#include <...> search starts here:\n(.*)End of search list.*" "\\1"
       search "${search}")
string(REGEX REPLACE "\n" ";" search "${search}")
set(musl_cxx_flags "-nostdinc")
foreach(dir IN LISTS search)
    string(STRIP "${dir}" dir)
    if(dir MATCHES "/c\\+\\+/")
        string(APPEND musl_cxx_flags " -isystem ${dir}")
    endif()
endforeach()
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=include
                OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
# musl's headers come before GCC's own (stddef.h, stdarg.h), as in musl-gcc.
string(APPEND musl_cxx_flags " -isystem ${musl_include} -isystem ${gcc_include}")
# libstdc++ was configured for glibc, and its os_defines.h asks glibc's
# version with __GLIBC_PREREQ, which musl lacks: no glibc version applies.
string(APPEND musl_cxx_flags " '-D__GLIBC_PREREQ(major,minor)=0'")
set(CMAKE_CXX_FLAGS_INIT "${musl_cxx_flags}")

# A static PIE, whose addresses change from run to run as a dynamic PIE's
# do: musl's rcrt1.o relocates the program before main. The start files and
# libraries are named here by path, libstdc++ not among them, so that
# glibc's, on the compiler's search path, are never taken. musl applies no
# RELRO in a static program, and it has no _FORTIFY_SOURCE support, so the
# static release presets leave fortify out.
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=crtbeginS.o
                OUTPUT_VARIABLE crtbegin OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=crtendS.o
                OUTPUT_VARIABLE crtend OUTPUT_STRIP_TRAILING_WHITESPACE)
string(APPEND CMAKE_CXX_FLAGS_INIT " -fPIE")
# The program's dynamic symbol table is empty; a SysV hash of it, not a GNU one,
# keeps rpm from asking a loader for GNU hashes of a program that has none.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static-pie -nostdlib -Wl,--hash-style=sysv ${musl_lib}/rcrt1.o ${musl_lib}/crti.o ${crtbegin}")
set(CMAKE_CXX_STANDARD_LIBRARIES
    "-Wl,--start-group -lgcc -lgcc_eh ${musl_lib}/libc.a -Wl,--end-group ${crtend} ${musl_lib}/crtn.o")
