# The help page on what window-management access needs. The program opens it from where it is
# installed, or from the copy the build puts next to the program, never from the sources.
include(GNUInstallDirs)

set(ZEN_HELP_PAGE_COPY ${CMAKE_BINARY_DIR}/docs/access.html)
add_custom_command(OUTPUT ${ZEN_HELP_PAGE_COPY}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/docs/access.html ${ZEN_HELP_PAGE_COPY}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/access.html
  COMMENT "Copying the help page next to the program")
add_custom_target(zentharion_help_page DEPENDS ${ZEN_HELP_PAGE_COPY})
add_dependencies(zentharion zentharion_help_page)

install(FILES docs/access.html DESTINATION ${CMAKE_INSTALL_DATADIR}/zentharion/doc)
