# Release packages, made by CPack from the install rules:
#   Linux:   a .deb: tovrane and the engines' links tovrane-engine... in
#            /usr/games (the engines themselves in /usr/libexec/tovrane), a
#            manual page for each, bash completion for tovrane, the README
#            and its docs/ pages in /usr/share/doc/tovrane; checked with
#            lintian by .ci/check-packages;
#   Windows: a .zip of the engine .exe files and a short readme.
# Presets: 'cmake --workflow --preset package' and '--preset package-windows'
# leave them in build/packages/.

set(TOVRANE_PACKAGE_CONTACT "Tovrane developers <maintainers@tovrane.invalid>"
    CACHE STRING "Maintainer of the .deb: name <address>")

if(WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
else()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The README links to docs/*.md; the pages keep their places beside it.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/tovrane
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

  # Manual pages, made from the programs' --help at build time (see the script),
  # and the changelog Debian wants, both gzipped.
  set(man ${CMAKE_BINARY_DIR}/man)
  set(manPages tovrane tovrane-engine tovrane-engine-deep tovrane-engine-classic tovrane-engine-pro)
  list(TRANSFORM manPages APPEND .6.gz OUTPUT_VARIABLE manFiles)
  list(TRANSFORM manFiles PREPEND ${man}/)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  add_custom_command(
    OUTPUT ${manFiles} ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${CMAKE_SOURCE_DIR}/packaging/man/make-man-pages.sh ${man} ${PROJECT_VERSION}
            $<TARGET_FILE:tovrane> $<TARGET_FILE:engine-pro>
    COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/changelog
    DEPENDS tovrane engine-pro ${CMAKE_SOURCE_DIR}/packaging/man/make-man-pages.sh
            ${CMAKE_SOURCE_DIR}/packaging/man/tovrane-engine.6 ${CMAKE_BINARY_DIR}/changelog
    COMMENT "Making the manual pages"
    VERBATIM)
  add_custom_target(man_pages ALL DEPENDS ${manFiles} ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${manFiles} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME tovrane)
set(CPACK_PACKAGE_VENDOR "Tovrane")
set(CPACK_PACKAGE_CONTACT "${TOVRANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "Tovrane's engine programs play a game on a 6x6 board, twelve pieces a
side, whose captures travel along two circuits joined by loops at the
corners; a referee drives them over standard input and output. The tovrane
tool referees matches and tournaments between engines, analyses positions,
builds opening books, fits the evaluation to self-play games, and serves a
local web page to play the engines in a browser.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tovrane-${PROJECT_VERSION}-windows-x86)
  # One top folder in the zip, named like the file.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from the programs' shared libraries
  # The programs move from /usr/bin to /usr/games in the package.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/deb-layout.cmake)
endif()

include(CPack)
