# Tests of the built library files as hosts load them: the exports of zentravo.so, the two
# zentravo.dll builds (exports, imports, resources, reproducibility), and the call scripts run by
# the Linux runner and, under Wine, by the Windows host against both DLLs.
#
# The DLLs come from the win32 and win64 presets; build those first:
#   cmake --preset win32 && cmake --build --preset win32   (and the same for win64)
# Tests whose build, tool or Wine is missing report SKIPPED (exit status 77) with the reason.

set(ZT_WIN32_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/win32 CACHE PATH
  "Build folder of the i686 zentravo.dll (preset win32) that the Windows tests check")
set(ZT_WIN64_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/win64 CACHE PATH
  "Build folder of the x86_64 zentravo.dll (preset win64) that the Windows tests check")
set(ZT_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix CACHE PATH
  "Wine prefix the 64-bit Windows host runs in; made by cmake/wine-prefix.sh")
# The 32-bit host runs in a 32-bit prefix of its own: a 64-bit prefix made by a Wine without its
# 32-bit half has no 32-bit system folder, and the emulated 32-bit Wine makes only 32-bit ones.
set(ZT_WINE_PREFIX_win64 ${ZT_WINE_PREFIX})
set(ZT_WINE_PREFIX_win32 ${ZT_WINE_PREFIX}32)

set(ZT_SKIPPED 77)
set(ZT_CALLSCRIPT_RUN ${CMAKE_CURRENT_SOURCE_DIR}/callscript_run.sh)
set(ZT_CHECK_BINARY ${CMAKE_CURRENT_SOURCE_DIR}/check_binary.sh)
set(ZT_CALLSCRIPT_WORK ${PROJECT_BINARY_DIR}/callscript-work)

function(zt_binary_test name)
  add_test(NAME ${name} COMMAND bash ${ARGN})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED} LABELS binary)
endfunction()

# ---- The shared library's exports ----
zt_binary_test(binary.so.exports ${ZT_CHECK_BINARY} so-exports $<TARGET_FILE:zentravo>)

# ---- The DLLs ----
set(ZT_ARCH_win32 i686)
set(ZT_ARCH_win64 x86_64)
foreach(build ${ZT_WINDOWS_BUILDS})
  set(arch ${ZT_ARCH_${build}})
  string(TOUPPER ${build} upper)
  set(dir ${ZT_${upper}_BUILD_DIR})
  set(dll ${dir}/zentravo.dll)
  set(objdump ${arch}-w64-mingw32-objdump)
  zt_binary_test(binary.${build}.exports ${ZT_CHECK_BINARY} dll-exports ${objdump} ${dll})
  zt_binary_test(binary.${build}.imports ${ZT_CHECK_BINARY} dll-imports ${objdump} ${dll})
  zt_binary_test(binary.${build}.resources ${ZT_CHECK_BINARY} dll-resources ${objdump} ${dll})
  # A second, clean build in another folder must give the same bytes.
  zt_binary_test(binary.${build}.reproducible ${ZT_CHECK_BINARY} dll-reproducible
    ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-${arch}.cmake ${PROJECT_SOURCE_DIR} ${dll}
    ${PROJECT_BINARY_DIR}/reproducible-${build})
  set_tests_properties(binary.${build}.reproducible PROPERTIES TIMEOUT 1200 LABELS "binary;slow")
endforeach()
if(ZT_WINDOWS_BUILDS)
  zt_binary_test(binary.win32.stdcall ${ZT_CHECK_BINARY} dll-stdcall i686-w64-mingw32-nm
    ${ZT_WIN32_BUILD_DIR})
endif()

# ---- Call scripts ----
if(NOT TARGET zt_callscript)
  message(STATUS "call-script tests need ZT_BUILD_TOOLS=ON")
  return()
endif()

# One prefix per DLL width, each made by starting that width's runner once (fixture zt_wine_BUILD).
foreach(build ${ZT_WINDOWS_BUILDS})
  string(TOUPPER ${build} upper)
  add_test(NAME wine.${build}.prefix COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh
    ${ZT_WINE_PREFIX_${build}} ${ZT_${upper}_BUILD_DIR}/zt_callscript.exe)
  set_tests_properties(wine.${build}.prefix PROPERTIES
    FIXTURES_SETUP zt_wine_${build} SKIP_RETURN_CODE ${ZT_SKIPPED} TIMEOUT 300 LABELS wine)
endforeach()

# The Linux runner and library (of the i686 build too, whose runner starts under the emulator).
zt_host_program(ZT_NATIVE_RUNNER zt_callscript)
set(ZT_NATIVE_LIBRARY $<TARGET_FILE:zentravo>)

# zt_callscript_host(build WHERE LABELS): the runner and library options of a build (native or
# i686, win32 or win64; the Windows builds run under Wine) into WHERE, its test labels into LABELS.
function(zt_callscript_host build where_var labels_var)
  if(build STREQUAL "${ZT_LINUX_BUILD}")
    set(${where_var} --runner ${ZT_NATIVE_RUNNER} --library ${ZT_NATIVE_LIBRARY} PARENT_SCOPE)
    set(${labels_var} callscript PARENT_SCOPE)
  else()
    string(TOUPPER ${build} upper)
    set(${where_var} --runner ${ZT_${upper}_BUILD_DIR}/zt_callscript.exe
      --library ${ZT_${upper}_BUILD_DIR}/zentravo.dll --wine-prefix ${ZT_WINE_PREFIX_${build}}
      PARENT_SCOPE)
    set(${labels_var} "callscript;wine" PARENT_SCOPE)
  endif()
endfunction()

# zt_callscript_test(NAME build script [options of callscript_run.sh]).
function(zt_callscript_test name build script)
  zt_callscript_host(${build} where labels)
  add_test(NAME ${name} COMMAND bash ${ZT_CALLSCRIPT_RUN} ${where} --script ${script}
    --work ${ZT_CALLSCRIPT_WORK}/${name} ${ARGN})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED} LABELS "${labels}"
    TIMEOUT 300)
  if(NOT build STREQUAL "${ZT_LINUX_BUILD}")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED zt_wine_${build})
  endif()
endfunction()

# Every script has its golden transcript; all three builds must print it byte for byte, and under
# Wine the settings file the Windows service wrote must match the POSIX store's.
file(GLOB ZT_CALL_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scripts/*.zts)
foreach(script ${ZT_CALL_SCRIPTS})
  get_filename_component(stem ${script} NAME_WE)
  set(golden ${CMAKE_CURRENT_SOURCE_DIR}/golden/${stem}.txt)
  zt_callscript_test(callscript.${ZT_LINUX_BUILD}.${stem} ${ZT_LINUX_BUILD} ${script}
    --golden ${golden})
  foreach(build ${ZT_WINDOWS_BUILDS})
    zt_callscript_test(callscript.${build}.${stem} ${build} ${script} --golden ${golden}
      --compare-runner ${ZT_NATIVE_RUNNER} --compare-library ${ZT_NATIVE_LIBRARY})
  endforeach()
endforeach()

# Two terminals on one library folder: two host processes, meeting at barriers, close all on the
# same tick and roll on the same tick for 20 rounds, restarting after each; every restart must
# resume a whole state and the file keep each section once and the trader's own lines. See
# two_hosts_run.sh.
foreach(build ${ZT_LINUX_BUILD} ${ZT_WINDOWS_BUILDS})
  zt_callscript_host(${build} where labels)
  add_test(NAME callscript.${build}.two_hosts COMMAND bash
    ${CMAKE_CURRENT_SOURCE_DIR}/two_hosts_run.sh ${where}
    --work ${ZT_CALLSCRIPT_WORK}/callscript.${build}.two_hosts)
  set_tests_properties(callscript.${build}.two_hosts PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED}
    LABELS "${labels}" TIMEOUT 300)
  if(NOT build STREQUAL "${ZT_LINUX_BUILD}")
    set_tests_properties(callscript.${build}.two_hosts PROPERTIES FIXTURES_REQUIRED zt_wine_${build})
  endif()
endforeach()

# The settings file stays beside the library wherever a terminal keeps it: in a folder whose name
# holds ".dll", and when the file was renamed in capitals.
set(ZT_PATH_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/settings_path.zts)
foreach(build ${ZT_LINUX_BUILD} ${ZT_WINDOWS_BUILDS})
  zt_callscript_test(callscript.${build}.settings_in_dll_folder ${build} ${ZT_PATH_SCRIPT}
    --folder terminal.dll/libraries --expect-settings terminal.dll/libraries/zentravo.ini)
  zt_callscript_test(callscript.${build}.settings_of_capital_name ${build} ${ZT_PATH_SCRIPT}
    --as ZENTRAVO.DLL --expect-settings terminal/ZENTRAVO.ini)
endforeach()

# Files beside the library whatever its folder is called and however deep it lies: a user name
# the ANSI code page cannot spell, one that best-fit mapping would turn into a neighbour's folder
# (which must stay untouched), and paths of 250, 300 and 1,000 characters. Each run resumes after
# a reload and writes the statistics file. Under Wine the locale chooses the ANSI code page, and a
# trader's Windows may use any of them: every user folder runs under Western (1252), Cyrillic
# (1251) and Simplified Chinese (936) on both DLLs. Linux has no code pages, so one locale does.
set(ZT_FILES_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/files_beside_library.zts)
set(ZT_FILES_GOLDEN ${CMAKE_CURRENT_SOURCE_DIR}/golden/files_beside_library.txt)
set(ZT_USERS "Users/Сергей" "Users/王伟" "Users/Jürgen" "Users/Zoë 😀")
set(ZT_USER_NAMES cyrillic chinese accented emoji)
set(ZT_CODE_PAGES 1252 1251 936)
set(ZT_LOCALE_1252 en_US.UTF-8)
set(ZT_LOCALE_1251 ru_RU.UTF-8)
set(ZT_LOCALE_936 zh_CN.UTF-8)
# A short work folder (outside the build tree, named after it so two checkouts never meet) for the
# one case whose whole path must stay under 260 characters.
string(MD5 ZT_BUILD_HASH "${PROJECT_BINARY_DIR}")
string(SUBSTRING ${ZT_BUILD_HASH} 0 8 ZT_BUILD_HASH)
foreach(build ${ZT_LINUX_BUILD} ${ZT_WINDOWS_BUILDS})
  if(build STREQUAL "${ZT_LINUX_BUILD}")
    set(pages 1252)
  else()
    set(pages ${ZT_CODE_PAGES})
  endif()
  foreach(page ${pages})
    set(lang ${ZT_LOCALE_${page}})
    set(suffix)
    if(NOT build STREQUAL "${ZT_LINUX_BUILD}")
      set(suffix .${page})
    endif()
    foreach(home name IN ZIP_LISTS ZT_USERS ZT_USER_NAMES)
      set(where "${home}/AppData/Roaming/Terminal/0123456789ABCDEF0123456789ABCDEF/MQL4/Libraries")
      set(decoy)
      if(name STREQUAL "accented")
        set(decoy --decoy "Users/Jurgen/AppData/Roaming/Terminal/0123456789ABCDEF0123456789ABCDEF/MQL4/Libraries/zentravo.ini")
      endif()
      zt_callscript_test(callscript.${build}.user_${name}${suffix} ${build} ${ZT_FILES_SCRIPT}
        --golden ${ZT_FILES_GOLDEN} --lang ${lang} --folder "${where}"
        --expect-settings "${where}/zentravo.ini" ${decoy})
    endforeach()
    # 189 Chinese characters in the library's folder: 378 bytes in code page 936 (and 189 '?' in
    # the others), so the ANSI form of the path is far past MAX_PATH while the path itself is
    # under 260 characters and needs no long-path prefix.
    zt_callscript_test(callscript.${build}.chinese_189${suffix} ${build} ${ZT_FILES_SCRIPT}
      --golden ${ZT_FILES_GOLDEN} --lang ${lang} --chinese-folder 189
      --expect-settings deep --work /tmp/zt-${ZT_BUILD_HASH}-${build}${suffix})
  endforeach()
  foreach(length 250 300 1000)
    zt_callscript_test(callscript.${build}.path_${length} ${build} ${ZT_FILES_SCRIPT}
      --golden ${ZT_FILES_GOLDEN} --path-length ${length} --expect-settings deep)
  endforeach()
endforeach()

# Only Windows keeps a file from its readers: a settings file held as the guard starts.
foreach(build ${ZT_WINDOWS_BUILDS})
  zt_callscript_test(callscript.${build}.held_at_start ${build}
    ${CMAKE_CURRENT_SOURCE_DIR}/scripts/windows/held_at_start.zts
    --golden ${CMAKE_CURRENT_SOURCE_DIR}/golden/windows/held_at_start.txt)
endforeach()

# Our settings store under Wine: it writes what the Windows private-profile service writes, byte
# for byte, from no file, the guard's own file and hand-edited ones; and two processes writing one
# file at once keep every key of both. (A settings file another program holds open exclusively or
# marks read-only is met through the DLL, by the call scripts held_settings and
# read_only_settings.)
foreach(build ${ZT_WINDOWS_BUILDS})
  string(TOUPPER ${build} upper)
  add_test(NAME wine.${build}.settings_store COMMAND bash
    ${CMAKE_CURRENT_SOURCE_DIR}/wine_run.sh ${ZT_WINE_PREFIX_${build}}
    ${ZT_${upper}_BUILD_DIR}/zt_profile_check.exe
    ${ZT_CALLSCRIPT_WORK}/settings_store_${build})
  set_tests_properties(wine.${build}.settings_store PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED}
    FIXTURES_REQUIRED zt_wine_${build} LABELS wine TIMEOUT 120)
endforeach()

# The store through the DLL, probed from outside: another process beside the host holds the
# settings file, sharing everything, as writes are made and as the library unloads (each write
# lands within its wait), and unshared for 3 s as the guard starts from a stored history (resumed
# late, or kept whole beside the file when the guard decided first). See store_probe_win32.cpp.
foreach(build ${ZT_WINDOWS_BUILDS})
  string(TOUPPER ${build} upper)
  add_test(NAME wine.${build}.store_probe COMMAND bash
    ${CMAKE_CURRENT_SOURCE_DIR}/wine_run.sh ${ZT_WINE_PREFIX_${build}}
    ${ZT_${upper}_BUILD_DIR}/zt_store_probe.exe ${ZT_CALLSCRIPT_WORK}/store_probe_${build}
    ${ZT_${upper}_BUILD_DIR}/zentravo.dll)
  set_tests_properties(wine.${build}.store_probe PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED}
    PASS_REGULAR_EXPRESSION "every probe held" FIXTURES_REQUIRED zt_wine_${build} LABELS wine
    TIMEOUT 120)
endforeach()
