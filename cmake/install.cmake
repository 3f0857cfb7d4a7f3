# What `cmake --install` puts where, and the Debian package CPack makes of it (make package).
include(GNUInstallDirs)

install(TARGETS folicant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT WIN32)
  # Debian ships man pages compressed; -n keeps the file's name and time out of the archive, so
  # the same page gives the same bytes.
  set(FOLICANT_MAN_PAGE ${PROJECT_BINARY_DIR}/folicant.1.gz)
  add_custom_command(OUTPUT ${FOLICANT_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/folicant.1 ${PROJECT_BINARY_DIR}
    COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/folicant.1
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/folicant.1
    VERBATIM)
  add_custom_target(folicant_man_page ALL DEPENDS ${FOLICANT_MAN_PAGE})
  install(FILES ${FOLICANT_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  install(FILES README.md CHANGELOG.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Debian's place for a package's licence; the package ships no code but ours (libtiff and the
  # C++ runtime come from Debian's own packages, with their own copyright files).
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
endif()

set(CPACK_PACKAGE_NAME folicant)
set(CPACK_PACKAGE_VENDOR "The folicant developers")
set(CPACK_PACKAGE_CONTACT "The folicant developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split multi-page TIFF files into single pages, losslessly")
# Debian shows the description's lines as they are: kept under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "folicant splits a multi-page TIFF file into single-page TIFF files
(base.000, base.001, ...) by copying every page's stored strips or tiles and
every tag, never decoding a pixel. It is made to be started by scripts, fax
servers and capture workflows, reports through an optional event log, and can
remove the input, move a companion file and touch a notify file after a
complete split.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the libraries the binary links (libtiff, libstdc++, libc) with their versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
