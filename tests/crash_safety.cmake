# The crash-safety test kills a child host (zt_crash_child) in the middle of its settings writes
# and checks what the settings file holds afterwards; see crash_safety_test.cpp. In the i686 build
# the test starts the child through its launcher, under the emulator.
add_executable(zt_crash_child ${CMAKE_CURRENT_SOURCE_DIR}/crash_safety_child.cpp)
target_include_directories(zt_crash_child PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zt_crash_child PRIVATE zentravo_core zt_warnings)
add_dependencies(zt_tests zt_crash_child)
zt_host_program(ZT_CRASH_CHILD_PROGRAM zt_crash_child)
target_compile_definitions(zt_tests PRIVATE ZT_CRASH_CHILD="${ZT_CRASH_CHILD_PROGRAM}")

# The same on the Windows builds: zt_crash_host.exe drives zentravo.dll under Wine and is killed
# from Linux at random moments; see crash_safety_wine.sh.
if(TARGET zt_callscript)
  foreach(build ${ZT_WINDOWS_BUILDS})
    string(TOUPPER ${build} upper)
    add_test(NAME wine.${build}.crash_safety COMMAND bash
      ${CMAKE_CURRENT_SOURCE_DIR}/crash_safety_wine.sh ${ZT_WINE_PREFIX_${build}}
      ${ZT_${upper}_BUILD_DIR}/zt_crash_host.exe ${ZT_${upper}_BUILD_DIR}/zentravo.dll
      ${ZT_CALLSCRIPT_WORK}/crash_safety_${build})
    set_tests_properties(wine.${build}.crash_safety PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED}
      FIXTURES_REQUIRED zt_wine_${build} LABELS wine TIMEOUT 300)
  endforeach()
endif()
