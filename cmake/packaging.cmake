# Release packages, made by CPack from the install rules:
#   Linux:   a .deb (tovrane and the engine programs in /usr/bin, the README
#            and its docs/ pages in /usr/share/doc/tovrane);
#   Windows: a .zip of the engine .exe files and a short readme.
# Presets: 'cmake --workflow --preset package' and '--preset package-windows'
# leave them in build/packages/.

if(WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
else()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The README links to docs/*.md; the pages keep their places beside it.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
endif()

set(CPACK_PACKAGE_NAME tovrane)
set(CPACK_PACKAGE_VENDOR "Tovrane")
set(CPACK_PACKAGE_CONTACT "Tovrane developers <tovrane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tovrane: ${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "Engine programs that a referee drives over standard input and output, \
and the tovrane tool for analysis, benchmarks and matches between engines.")
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
endif()

include(CPack)
