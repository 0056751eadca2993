# Runs during installation: the menu entry must name the installed game by its absolute path.
set(bg_prefix "${CMAKE_INSTALL_PREFIX}")
if(NOT IS_ABSOLUTE "${bg_prefix}")
  get_filename_component(bg_prefix "${bg_prefix}" ABSOLUTE BASE_DIR "$ENV{PWD}")
endif()
set(bg_game "${bg_prefix}/games/blastgrid")

# Desktop entry strings escape "\"; an Exec argument with characters outside this set must be
# quoted, with '"', '`', '$' and '\' escaped inside the quotes and '%' doubled.
string(REPLACE "\\" "\\\\" BG_TRYEXEC "${bg_game}")
if(bg_game MATCHES "^[A-Za-z0-9/._+-]+$")
  set(BG_EXEC "${bg_game}")
else()
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" bg_quoted "${bg_game}")
  string(REPLACE "%" "%%" bg_quoted "${bg_quoted}")
  string(REPLACE "\\" "\\\\" BG_EXEC "\"${bg_quoted}\"")
endif()

set(bg_apps "$ENV{DESTDIR}${bg_prefix}/share/applications")
message(STATUS "Installing: ${bg_apps}/blastgrid.desktop")
configure_file("${BG_DESKTOP_TEMPLATE}" "${bg_apps}/blastgrid.desktop" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${bg_apps}/blastgrid.desktop")
