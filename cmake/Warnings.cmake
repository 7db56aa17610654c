# The warnings every target of the tree is built with, native and cross. They are not errors
# here: a consumer who builds the tree with another compiler or flags gets warnings, not a
# broken build. The team's presets (CMakePresets.json) turn them into errors with
# CMAKE_COMPILE_WARNING_AS_ERROR, so `make test` and CI still fail on any new warning.
add_library(zt_warnings INTERFACE)
target_compile_options(zt_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Wold-style-cast
  -Wnon-virtual-dtor -Wnull-dereference -Wdouble-promotion)
