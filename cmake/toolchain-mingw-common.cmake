# What both MinGW-w64 cross builds share, for the prefix the including toolchain file sets
# (i686-w64-mingw32 or x86_64-w64-mingw32): the posix threading model's compilers, the resource
# compiler, and a find root that takes libraries and headers only from the cross tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
