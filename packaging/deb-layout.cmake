# Run by CPack on the staged files before it makes the .deb: Debian keeps
# games in /usr/games, so the programs move there from /usr/bin (where
# 'cmake --install' puts them, as the GNU layout says). The engine links
# (../libexec/tovrane/NAME) stay valid, /usr/games being beside /usr/bin.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")
if(CPACK_GENERATOR STREQUAL "DEB" AND IS_DIRECTORY "${usr}/bin")
  file(RENAME "${usr}/bin" "${usr}/games")
endif()
