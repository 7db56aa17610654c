# The allocation check: a program of its own, because it replaces the process's allocation
# functions (malloc and operator new) with counting ones. It must not share the suite's binary,
# where every other test would run on that allocator, and it is left out of sanitizer builds,
# which bring their own allocator. The file matches the suite's *_test.cpp pattern, so it is
# taken out of zt_tests here.
get_target_property(ZT_SUITE_SOURCES zt_tests SOURCES)
list(REMOVE_ITEM ZT_SUITE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/allocation_test.cpp)
set_property(TARGET zt_tests PROPERTY SOURCES ${ZT_SUITE_SOURCES})

if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  message(STATUS "zt_allocation_tests: not built under sanitizers")
  return()
endif()

add_executable(zt_allocation_tests ${CMAKE_CURRENT_SOURCE_DIR}/allocation_test.cpp)
target_include_directories(zt_allocation_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zt_allocation_tests PRIVATE zentravo_core zt_warnings GTest::gtest
  GTest::gtest_main)
gtest_discover_tests(zt_allocation_tests DISCOVERY_TIMEOUT 60)
