# Cross build of zentravo.dll for 64-bit terminals with MinGW-w64 (x86_64, posix threading model).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZT_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
