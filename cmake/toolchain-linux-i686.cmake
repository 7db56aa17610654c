# 32-bit x86 Linux build (preset i686): the library, its GoogleTest suite and the call-script
# runner, run under qemu-i386-static. Most traders run the 32-bit terminal, so the 32-bit DLL is
# the product they meet, and many machines (CI's among them) run no 32-bit program natively, so
# Wine cannot start that DLL there. This build runs the same code at the same width in its place:
#
# - -m32 with doubles in SSE2 registers (-msse2 -mfpmath=sse), the arithmetic of the 32-bit DLL
#   (cmake/Windows.cmake), never the x87 stack with its 80-bit intermediates;
# - long is 32 bits here as it is in every Windows build, which the 64-bit Linux build hides;
# - 64-bit file offsets and times: without them readdir() and stat() fail with EOVERFLOW on a file
#   system with large inode numbers, and a folder walk silently finds nothing;
# - every program the build or the tests run (test discovery included) starts through the
#   emulator named here, so the machine needs no binfmt setting.
#
# The preset builds RelWithDebInfo (-O2) as the native one does, not Release (-O3) as the DLL: at
# -O3 GCC 12 reports a false -Wrestrict inside std::string in the 32-bit tests, and SSE2 doubles
# round alike at either level (no x87, no contraction in ISO C++).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

set(ZT_I686_FLAGS "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64")
# _TIME_BITS=64 only where the C library knows it (glibc 2.34 on); an older one ignores the macro
# and keeps a 32-bit time_t, so ask the preprocessor rather than trust the definition.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64 -include time.h
    -dM -E -x c++ /dev/null
  OUTPUT_VARIABLE ZT_TIME_PROBE ERROR_QUIET RESULT_VARIABLE ZT_TIME_PROBE_STATUS)
if(ZT_TIME_PROBE_STATUS EQUAL 0 AND ZT_TIME_PROBE MATCHES "#define __USE_TIME_BITS64 1")
  string(APPEND ZT_I686_FLAGS " -D_TIME_BITS=64")
endif()
set(CMAKE_C_FLAGS_INIT "${ZT_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ZT_I686_FLAGS}")

find_program(ZT_QEMU_I386 qemu-i386-static)
if(NOT ZT_QEMU_I386)
  message(FATAL_ERROR "the i686 build runs its programs under qemu-i386-static: "
    "bash cmake/install-deps.sh installs it (Debian's qemu-user-static)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_QEMU_I386})
