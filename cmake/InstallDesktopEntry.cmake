# Run by `cmake --install`: writes the menu entry with the installed program's absolute path in
# Exec, for the prefix given at install time. Menus hide an entry whose program is not on PATH,
# and `gio launch` refuses it.
if(IS_ABSOLUTE "${ZEN_INSTALL_BINDIR}")
  set(program "${ZEN_INSTALL_BINDIR}/zentharion")
else()
  set(program "${CMAKE_INSTALL_PREFIX}/${ZEN_INSTALL_BINDIR}/zentharion")
endif()
# A path with a reserved character is quoted as the Exec key asks: backslash, double quote,
# backquote and dollar escaped inside the quotes, a percent sign doubled; then each backslash
# doubled again for the file's own escapes. A plain path is written as it is, which is also
# what readers that take Exec's first word as the program (GIO's executable) expect.
set(exec "${program}")
if(program MATCHES "[] \t\n\"'\\><~|&;$*?#()`%[]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  string(REPLACE "%" "%%" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
file(READ "${ZEN_DESKTOP_ENTRY}" entry)
string(REPLACE "\nExec=zentharion\n" "\nExec=${exec}\n" entry "${entry}")
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${ZEN_INSTALL_DATADIR}/applications/zentharion.desktop")
message(STATUS "Installing: ${target}")
file(WRITE "${target}" "${entry}")
