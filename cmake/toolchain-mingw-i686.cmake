# Cross build of zentravo.dll for 32-bit terminals with MinGW-w64 (i686, posix threading model).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZT_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
