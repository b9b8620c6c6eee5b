# Cross-compiles Quenfold for 64-bit Windows with Debian's Clang and lld, on the headers,
# libstdc++ and runtime of Debian's mingw-w64 GCC (posix threads), as that GCC would link it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QF_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   ${QF_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${QF_MINGW_PREFIX})
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Clang 14 does not recognise Debian's "12-posix" folder as a GCC installation; name it.
file(GLOB QF_GCC_DIR LIST_DIRECTORIES true /usr/lib/gcc/${QF_MINGW_PREFIX}/*-posix)
set(QF_GCC_CXX ${QF_GCC_DIR}/include/c++)
# Emulated thread-locals, as GCC compiled libstdc++, so both sides name them alike.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -stdlib++-isystem ${QF_GCC_CXX} -stdlib++-isystem ${QF_GCC_CXX}/${QF_MINGW_PREFIX} -stdlib++-isystem ${QF_GCC_CXX}/backward")
# GCC's posix-thread runtime needs winpthreads; GCC's driver adds it, Clang's does not. lld
# resolves archives in any order, so naming it among the flags is enough.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -fuse-ld=lld -L${QF_GCC_DIR} -lpthread")
