# `make package`: a Debian package of the installed tree (CPack), with the
# manual pages, the copyright file and the changelog Debian wants, the
# programs stripped and the dependencies computed from the binaries.
include(GNUInstallDirs)

set(packaging ${CMAKE_BINARY_DIR}/packaging)
foreach(page druvel.1 TAV.1)
  add_custom_command(OUTPUT ${packaging}/${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging}
                     COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${packaging}/${page}.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND packaging_files ${packaging}/${page}.gz)
endforeach()
add_custom_command(OUTPUT ${packaging}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging}
                   COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/scripts/debian/changelog > ${packaging}/changelog.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/scripts/debian/changelog)
add_custom_target(druvel_packaging_files ALL DEPENDS ${packaging_files} ${packaging}/changelog.gz)
install(FILES ${packaging_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/changelog.gz ${PROJECT_SOURCE_DIR}/scripts/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/druvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME druvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Druvel authors <authors@druvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt and decrypt files with a key")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Druvel is a small desktop program: type a key into its window and drop
files onto it. Files ending in .TAV are decrypted, all others encrypted,
each next to itself, by TAV, its command-line tool (Argon2id and
ChaCha20-Poly1305 on every core), which can be used by hand as well.")
# Qt loads its platform plugins at run time, out of reach of the computed
# dependencies.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# TAV tells of a failed file through a desktop notification, sent by GLib's
# gdbus tool; without it a failure shows nothing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libglib2.0-bin)
# The package's entries and members, in name order, carry the commit's time:
# CPack takes it from SOURCE_DATE_EPOCH, set as it reads its configuration.
set(CPACK_PROJECT_CONFIG_FILE ${packaging}/cpack-time.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT "set(ENV{SOURCE_DATE_EPOCH} @DRUVEL_SOURCE_DATE_EPOCH@)\n" @ONLY)
include(CPack)
