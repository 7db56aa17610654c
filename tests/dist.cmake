# The trader's zip (make dist), unpacked into a Wine prefix's data folder and run from there.
if(NOT TARGET zt_callscript OR NOT ZT_WINDOWS_BUILDS)
  return()
endif()
add_test(NAME dist.package COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dist_check.sh
  ${PROJECT_SOURCE_DIR}/build/dist/zentravo-${ZT_TITLE_VERSION}-windows.zip
  ${ZT_WINE_PREFIX_win64} ${ZT_WINE_PREFIX_win32} ${ZT_WIN32_BUILD_DIR} ${ZT_WIN64_BUILD_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/scripts/typical_cycle.zts ${CMAKE_CURRENT_SOURCE_DIR}/golden/typical_cycle.txt)
set_tests_properties(dist.package PROPERTIES SKIP_RETURN_CODE 77 LABELS "wine;dist" TIMEOUT 300
  FIXTURES_REQUIRED "zt_wine_win32;zt_wine_win64")
