# The package a trader installs: zentravo-<version>-windows.zip, laid out like a terminal's data
# folder, so that unpacking it there puts every file where the terminal looks for it:
#   MQL4/Libraries/zentravo.dll          the 32-bit DLL       (preset win32)
#   MQL4/Experts/ZentravoGuard.mq4       the expert advisor and its includes
#   MQL4/Include/Zentravo.mqh, ZentravoHost.mqh and the parts it includes (Zentravo*.mqh)
#   MQL5/Libraries/zentravo.dll          the 64-bit DLL       (preset win64)
#   MQL5/Experts/ZentravoGuard.mq5
#   MQL5/Include/Zentravo.mqh, ZentravoHost.mqh and its parts
#   Zentravo/QUICKSTART.txt              the trader's first page (CR LF, for Notepad)
#   Zentravo/zt-sim.exe, Zentravo/lab.cmd the lab (preset win64) and a console to run it in
#   Zentravo/panel.html, Zentravo/panel/ the panel's pictures, SVG and PNG
#   Zentravo/LICENSE, Zentravo/SHA256SUMS (sha256sum -c reads it from the data folder)
# The zip is for traders only: the developers' host guide stays in the repository (docs/), and
# what a trader needs of it is in the quick start.
# Included by the top-level CMakeLists.txt when ZT_PACKAGE is on; builds nothing itself, it packs
# what the win32 and win64 presets built.

set(ZT_WIN32_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/win32 CACHE PATH "Build folder of the 32-bit DLL")
set(ZT_WIN64_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/win64 CACHE PATH "Build folder of the 64-bit DLL")

foreach(dll ${ZT_WIN32_BUILD_DIR}/zentravo.dll ${ZT_WIN64_BUILD_DIR}/zentravo.dll
    ${ZT_WIN64_BUILD_DIR}/zt-sim.exe)
  if(NOT EXISTS ${dll})
    message(FATAL_ERROR "${dll} is not built: make win32 win64 (or the presets) first")
  endif()
endforeach()

set(hosts ${PROJECT_SOURCE_DIR}/hosts)
set(shared ${hosts}/shared/Zentravo.mqh ${hosts}/shared/ZentravoHost.mqh ${hosts}/shared/ZentravoMemory.mqh ${hosts}/shared/ZentravoBooks.mqh
  ${hosts}/shared/ZentravoStart.mqh ${hosts}/shared/ZentravoClose.mqh ${hosts}/shared/ZentravoMessages.mqh
  ${hosts}/shared/ZentravoPanel.mqh)
install(FILES ${ZT_WIN32_BUILD_DIR}/zentravo.dll DESTINATION MQL4/Libraries)
install(FILES ${hosts}/mql4/ZentravoGuard.mq4 DESTINATION MQL4/Experts)
install(FILES ${shared} DESTINATION MQL4/Include)
install(FILES ${ZT_WIN64_BUILD_DIR}/zentravo.dll DESTINATION MQL5/Libraries)
install(FILES ${hosts}/mql5/ZentravoGuard.mq5 DESTINATION MQL5/Experts)
install(FILES ${shared} DESTINATION MQL5/Include)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION Zentravo)

# The quick start with Windows line ends and the version filled in.
configure_file(${PROJECT_SOURCE_DIR}/docs/QUICKSTART.txt ${PROJECT_BINARY_DIR}/QUICKSTART.txt @ONLY
  NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/QUICKSTART.txt ${PROJECT_SOURCE_DIR}/docs/panel.html
  DESTINATION Zentravo)

# The lab: zt-sim.exe and lab.cmd, which opens a console in this folder (a double-click on the
# program itself would flash a window that closes when it has printed its usage).
configure_file(${PROJECT_SOURCE_DIR}/docs/lab/lab.cmd ${PROJECT_BINARY_DIR}/lab.cmd @ONLY
  NEWLINE_STYLE CRLF)
install(FILES ${ZT_WIN64_BUILD_DIR}/zt-sim.exe ${PROJECT_BINARY_DIR}/lab.cmd DESTINATION Zentravo)

# The panel's pictures: the SVGs the native tests draw and hold docs/panel to, and a PNG of each
# for an image viewer, converted here (make dist configures anew every time).
find_program(ZT_RSVG_CONVERT rsvg-convert)
if(NOT ZT_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert is not installed: make deps (librsvg2-bin)")
endif()
file(GLOB panel_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/panel/*.svg)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/panel)
foreach(svg IN LISTS panel_pictures)
  get_filename_component(picture ${svg} NAME_WE)
  execute_process(COMMAND ${ZT_RSVG_CONVERT} -o ${PROJECT_BINARY_DIR}/panel/${picture}.png ${svg}
    RESULT_VARIABLE converted)
  if(NOT converted EQUAL 0)
    message(FATAL_ERROR "rsvg-convert could not convert ${svg}")
  endif()
  install(FILES ${svg} ${PROJECT_BINARY_DIR}/panel/${picture}.png DESTINATION Zentravo/panel)
endforeach()

# The checksums of every other file, written last, with paths from the data folder.
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  file(GLOB_RECURSE packed LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  list(REMOVE_ITEM packed "Zentravo/SHA256SUMS")
  list(SORT packed)
  set(sums "")
  foreach(file IN LISTS packed)
    file(SHA256 "${root}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${root}/Zentravo/SHA256SUMS" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zentravo)
# Named for the guard's release, the version the trader meets everywhere else (the panel's title,
# the quick start, the EAs' About tab); the DLL's version resource keeps the project version.
set(CPACK_PACKAGE_VERSION ${ZT_TITLE_VERSION})
set(CPACK_PACKAGE_FILE_NAME zentravo-${ZT_TITLE_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
# Unpacked over an existing data folder: no folder of the zip's own name around the files.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
