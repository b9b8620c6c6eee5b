# Cross-compiles Quenfold for 64-bit Windows with Debian's mingw-w64 GCC (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QF_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QF_MINGW_PREFIX}-g++-posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
