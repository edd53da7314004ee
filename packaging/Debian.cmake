# The Debian package (cpack -G DEB in a build configured with CMAKE_INSTALL_PREFIX=/usr; see
# tools/package): what is installed, plus the documents Debian expects and scripts that make udev
# apply the adapter's rule. The library dependencies are read from the binaries by dpkg-shlibdeps.
set(ZEMLO_PACKAGE_MAINTAINER "zemlo developers <zemlo@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/zemlo)
# The date follows SOURCE_DATE_EPOCH when it is set, so that a rebuild makes the same package.
string(TIMESTAMP ZEMLO_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
                   COMMAND ${GZIP} -9nkf ${changelog}
                   DEPENDS ${changelog} VERBATIM)
add_custom_target(zemlo_debian_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${doc_dir})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zemlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZEMLO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
                                       ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for the USB Zemlo GameCube/Wii adapter")
# The extended description; CPack puts the summary before it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The USB Zemlo adapter links a PC to a GameCube or Wii console running its
companion program. This package holds a desktop client (zemlo), the same
operations from a terminal (zemlo-cli) and a simulated console served over
TCP (zemlo-sim): upload programs, debug a running game, search and watch its
memory, and dump discs, NAND, BIOS, drive memory and memory-card saves.

A udev rule lets the user at the seat and members of plugdev open the
adapter through libftdi1.")
include(CPack)
