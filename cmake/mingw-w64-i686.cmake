# Cross-compiles Quenfold for 32-bit Windows with Debian's mingw-w64 GCC (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QF_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${QF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QF_MINGW_PREFIX}-g++-posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
