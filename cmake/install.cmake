# What `cmake --install` puts where, and the Debian package CPack makes of it (make package).
include(GNUInstallDirs)

# Who answers for the package: Debian's Maintainer field and the changelog's signatures. A
# distributor packaging folicant names itself here.
set(FOLICANT_MAINTAINER
    "The folicant developers <maintainers@users.noreply.c-seed-2f80b727.example>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")

install(TARGETS folicant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  # A stripped install (cmake --install --strip, and CPack) also drops the sections that strip
  # leaves, which only name the tools that built the program (.comment, .note), as Debian's own
  # packages do.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:folicant>\"
        RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR \"strip --remove-section failed on folicant\")
      endif()
    endif()")
endif()

# The manual page with this build's version in its title line, in every build: the Windows zip
# renders it as text.
set(FOLICANT_PACKAGE_DOCS ${PROJECT_SOURCE_DIR}/cmake/package_docs.cmake)
set(FOLICANT_VERSION_HEADER ${PROJECT_BINARY_DIR}/generated/folicant_version.h)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/folicant.1
  COMMAND ${CMAKE_COMMAND} -DWHAT=man-page -DSOURCE=${PROJECT_SOURCE_DIR}/doc/folicant.1
          -DVERSION=${FOLICANT_VERSION} -DOUTPUT=${PROJECT_BINARY_DIR}/folicant.1
          -P ${FOLICANT_PACKAGE_DOCS}
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/folicant.1 ${FOLICANT_PACKAGE_DOCS} ${FOLICANT_VERSION_HEADER}
  VERBATIM)
add_custom_target(folicant_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/folicant.1)

if(NOT WIN32)
  # Debian's documents: the manual page and the changelog gzipped (-n keeps the file's name and
  # time out of the archive, so the same text gives the same bytes), and the copyright file in
  # Debian's machine-readable form, which holds the licence; LICENSE itself is not installed
  # again beside it.
  set(FOLICANT_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
  set(FOLICANT_COPYRIGHT ${PROJECT_BINARY_DIR}/debian/copyright)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/folicant.1.gz
    COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/folicant.1
    DEPENDS ${PROJECT_BINARY_DIR}/folicant.1
    VERBATIM)
  add_custom_command(OUTPUT ${FOLICANT_DEBIAN_CHANGELOG}.gz
    COMMAND ${CMAKE_COMMAND} -DWHAT=changelog -DSOURCE=${PROJECT_SOURCE_DIR}/CHANGELOG.md
            -DVERSION=${FOLICANT_VERSION} "-DVERSION_DATE=${FOLICANT_VERSION_DATE}"
            "-DMAINTAINER=${FOLICANT_MAINTAINER}" -DOUTPUT=${FOLICANT_DEBIAN_CHANGELOG}
            -P ${FOLICANT_PACKAGE_DOCS}
    COMMAND gzip -9nkf ${FOLICANT_DEBIAN_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${FOLICANT_PACKAGE_DOCS} ${FOLICANT_VERSION_HEADER}
    VERBATIM)
  add_custom_command(OUTPUT ${FOLICANT_COPYRIGHT}
    COMMAND ${CMAKE_COMMAND} -DWHAT=copyright -DSOURCE=${PROJECT_SOURCE_DIR}/LICENSE
            "-DCONTACT=${FOLICANT_MAINTAINER}" -DOUTPUT=${FOLICANT_COPYRIGHT}
            -P ${FOLICANT_PACKAGE_DOCS}
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${FOLICANT_PACKAGE_DOCS}
    VERBATIM)
  add_custom_target(folicant_documents ALL
    DEPENDS ${PROJECT_BINARY_DIR}/folicant.1.gz ${FOLICANT_DEBIAN_CHANGELOG}.gz
            ${FOLICANT_COPYRIGHT})

  install(FILES ${PROJECT_BINARY_DIR}/folicant.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md CHANGELOG.md ${FOLICANT_DEBIAN_CHANGELOG}.gz ${FOLICANT_COPYRIGHT}
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME folicant)
set(CPACK_PACKAGE_VERSION ${FOLICANT_VERSION})
set(CPACK_PACKAGE_VENDOR "The folicant developers")
set(CPACK_PACKAGE_CONTACT "${FOLICANT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FOLICANT_MAINTAINER}")
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
