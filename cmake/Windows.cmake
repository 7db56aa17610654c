# zentravo.dll as a terminal installs it: included by src/CMakeLists.txt on Windows builds, after
# the library targets exist.
#
# - exports: exactly the names of the module definition file, undecorated (stdcall on i686);
# - self-contained: the GCC runtime, libstdc++ and winpthread are linked in, so the DLL imports
#   only KERNEL32, USER32 and msvcrt, which every Windows has;
# - the same arithmetic as the 64-bit builds: doubles in SSE2 registers on i686, never the x87
#   stack with its 80-bit intermediates;
# - reproducible: no time stamp in the PE header, no symbol table (it would name build paths);
# - the version resource and the manifest embedded.

enable_language(RC)

set(ZT_WIN32_RESOURCES ${PROJECT_SOURCE_DIR}/src/boundary/win32)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZT_MODULE_DEFINITION ${ZT_WIN32_RESOURCES}/zentravo.def)
  target_compile_options(zentravo_objects PRIVATE -msse2 -mfpmath=sse)
  # Every export must name its decorated symbol in the .def file; no silent guessing by the linker.
  target_link_options(zentravo PRIVATE -Wl,--disable-stdcall-fixup)
else()
  # One calling convention on x86_64 and no decorated names: export the plain names as they are.
  file(READ ${ZT_WIN32_RESOURCES}/zentravo.def ZT_DEF_TEXT)
  string(REGEX REPLACE " = [A-Za-z]+@[0-9]+" "" ZT_DEF_TEXT "${ZT_DEF_TEXT}")
  set(ZT_MODULE_DEFINITION ${PROJECT_BINARY_DIR}/zentravo.def)
  file(CONFIGURE OUTPUT ${ZT_MODULE_DEFINITION} CONTENT "${ZT_DEF_TEXT}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZT_WIN32_RESOURCES}/zentravo.def)
endif()

target_sources(zentravo PRIVATE ${ZT_MODULE_DEFINITION} ${ZT_WIN32_RESOURCES}/zentravo.rc)
set_property(SOURCE ${ZT_WIN32_RESOURCES}/zentravo.rc APPEND PROPERTY OBJECT_DEPENDS
  ${ZT_WIN32_RESOURCES}/zentravo.manifest)
set_property(SOURCE ${ZT_WIN32_RESOURCES}/zentravo.rc APPEND PROPERTY INCLUDE_DIRECTORIES
  ${ZT_WIN32_RESOURCES} ${CMAKE_CURRENT_BINARY_DIR}/generated)

target_link_libraries(zentravo PRIVATE user32 kernel32)
target_link_options(zentravo PRIVATE
  -static -static-libgcc -static-libstdc++
  -s
  -Wl,--no-insert-timestamp)
# The import library is of no use to a terminal; the DLL is the product.
set_target_properties(zentravo PROPERTIES IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
