# What `make install` and the Debian package put in place, from the native
# tree: sfxpack, the i686 launcher it packs by default, the shipped
# translations, its manual page and
# the copyright file; the Debian package also gets a changelog.
# The folders are fixed because sfxpack looks for ../share/sfxpack/launcher.exe
# from its own folder.
install(TARGETS sfxpack RUNTIME DESTINATION bin)
install(FILES ${SHIPPED_LAUNCHER} DESTINATION share/sfxpack)
# The shipped translations, which --language finds by name.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/translations/ DESTINATION share/sfxpack/translations
        FILES_MATCHING PATTERN "*.po")

# The manual page compressed, as Debian wants it; -n keeps the name and time
# out of the archive, so that two builds give the same bytes.
configure_file(${PROJECT_SOURCE_DIR}/sfxpack/cli/sfxpack.1.in ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1 @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1.gz
  COMMAND ${GZIP} -9 -n -c ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1 > ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1.gz
  DEPENDS ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1 VERBATIM)
install(FILES ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1.gz DESTINATION share/man/man1)

add_custom_target(manual_page ALL DEPENDS ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1.gz)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/deb/copyright DESTINATION share/doc/sfxpack)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes self-extracting packages for 32-bit Windows")
# Lines of at most 80 columns, as Debian wants them; cpack puts the summary
# first.
set(CPACK_PACKAGE_DESCRIPTION "A package is the launcher that comes with sfxpack plus the files of a
folder: on Windows it unpacks them and runs a setup program. sfxpack also
lists, verifies and unpacks such packages.")
# The maintainer, in one place: this cache variable, or else the packager's
# DEBFULLNAME and DEBEMAIL, which Debian's own tools read.
set(SFXPACK_MAINTAINER "" CACHE STRING
    "Maintainer of the Debian package, \"Name <address>\"; empty: \"$DEBFULLNAME <$DEBEMAIL>\"")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SFXPACK_MAINTAINER}")
if(NOT SFXPACK_MAINTAINER AND NOT "$ENV{DEBEMAIL}" STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(CPACK_PACKAGE_CONTACT "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
# Dependencies as dpkg-shlibdeps finds them in the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Read by cpack: without a maintainer there is no Debian package.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/deb/check_maintainer.cmake)
set(CPACK_INSTALL_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb/changelog.cmake)
include(CPack)
