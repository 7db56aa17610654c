# The crash-safety test kills a child host (zt_crash_child) in the middle of its settings writes
# and checks what the settings file holds afterwards; see crash_safety_test.cpp.
add_executable(zt_crash_child ${CMAKE_CURRENT_SOURCE_DIR}/crash_safety_child.cpp)
target_include_directories(zt_crash_child PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zt_crash_child PRIVATE zentravo_core zt_warnings)
add_dependencies(zt_tests zt_crash_child)
target_compile_definitions(zt_tests PRIVATE ZT_CRASH_CHILD="$<TARGET_FILE:zt_crash_child>")
