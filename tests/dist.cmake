# The trader's zip (make dist), unpacked into a Wine prefix's data folder and run from there.
if(NOT TARGET zt_callscript OR NOT ZT_WINDOWS_BUILDS)
  return()
endif()
add_test(NAME dist.package COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dist_check.sh
  ${PROJECT_SOURCE_DIR}/build/dist/zentravo-${PROJECT_VERSION}-windows.zip
  ${PROJECT_BINARY_DIR}/wineprefix ${PROJECT_SOURCE_DIR}/build/win32 ${PROJECT_SOURCE_DIR}/build/win64
  ${CMAKE_CURRENT_SOURCE_DIR}/scripts/typical_cycle.zts ${CMAKE_CURRENT_SOURCE_DIR}/golden/typical_cycle.txt)
set_tests_properties(dist.package PROPERTIES SKIP_RETURN_CODE 77 LABELS "wine;dist" TIMEOUT 300
  FIXTURES_REQUIRED zt_wine)
