# The seam tests: the whole library over a fake disk (seam/fake_disk.cpp) in place of the
# operating system's file services, so that the store's waits, refusals and leftovers can be met
# on a clock the test controls. See seam/seam_test.cpp.
add_executable(zt_seam_tests ${ZT_LIBRARY_SOURCES_BUT_FILES}
  ${CMAKE_CURRENT_SOURCE_DIR}/seam/fake_disk.cpp ${CMAKE_CURRENT_SOURCE_DIR}/seam/seam_test.cpp)
target_include_directories(zt_seam_tests PRIVATE ${PROJECT_SOURCE_DIR}/src
  ${PROJECT_BINARY_DIR}/src/generated ${PROJECT_SOURCE_DIR}/include
  ${CMAKE_CURRENT_SOURCE_DIR}/seam)
target_compile_definitions(zt_seam_tests PRIVATE ZT_BUILDING_LIBRARY)
target_link_libraries(zt_seam_tests PRIVATE zt_warnings GTest::gtest GTest::gtest_main
  ${CMAKE_DL_LIBS})
gtest_discover_tests(zt_seam_tests DISCOVERY_TIMEOUT 60)
