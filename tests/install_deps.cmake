# The set-up script against a misbehaving archive, with stand-ins for apt and dpkg: it must go on
# past indexes a mirror fails to serve and past 32-bit Wine, and stop on a required package. One
# run is enough, so the 32-bit Linux suite leaves it to the native one.
if(ZT_LINUX_BUILD STREQUAL "native")
  add_test(NAME setup.install_deps COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_deps_test.sh
    ${PROJECT_SOURCE_DIR})
  set_tests_properties(setup.install_deps PROPERTIES LABELS setup TIMEOUT 60)
endif()
