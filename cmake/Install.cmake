# The program's desktop entry and icon, and where `cmake --install` puts them.
include(GNUInstallDirs)

# The icon also travels inside the program, so that an uninstalled build shows it too.
qt_add_resources(zentharion_core "zentharion_icon" PREFIX "/zentharion" BASE data FILES data/zentharion.svg)
# The tray's copies are drawn beforehand from the SVG (a unit test checks they still match it),
# as raw RGBA bytes stored uncompressed: showing them decodes nothing.
# (convert data/tray/zentharion-N.png -depth 8 rgba:data/tray/zentharion-N.rgba)
qt_add_resources(zentharion_core "zentharion_tray_icon" PREFIX "/zentharion" BASE data OPTIONS -no-compress FILES
  data/tray/zentharion-16.rgba data/tray/zentharion-22.rgba data/tray/zentharion-24.rgba
  data/tray/zentharion-32.rgba data/tray/zentharion-48.rgba data/tray/zentharion-64.rgba)

install(TARGETS zentharion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(CODE "set(ZEN_DESKTOP_ENTRY \"${CMAKE_SOURCE_DIR}/data/zentharion.desktop\")
  set(ZEN_INSTALL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(ZEN_INSTALL_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
install(SCRIPT cmake/InstallDesktopEntry.cmake)
install(FILES data/zentharion.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Checks the installed entry and icon in a temporary prefix.
add_test(NAME install COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-install ${CMAKE_BINARY_DIR})
set_tests_properties(install PROPERTIES LABELS install TIMEOUT 120)
