# What `make install` and the Debian package put in place, from the native
# tree: sfxpack, the i686 launcher it packs by default and its manual page.
# The folders are fixed because sfxpack looks for ../share/sfxpack/launcher.exe
# from its own folder.
install(TARGETS sfxpack RUNTIME DESTINATION bin)
install(FILES ${SHIPPED_LAUNCHER} DESTINATION share/sfxpack)
configure_file(${PROJECT_SOURCE_DIR}/sfxpack/cli/sfxpack.1.in ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sfxpack/sfxpack.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes self-extracting packages for 32-bit Windows")
set(CPACK_PACKAGE_DESCRIPTION
    "A package is the launcher that comes with sfxpack plus the files of a folder; it unpacks them and runs a setup program.")
set(CPACK_PACKAGE_CONTACT "sfxpack maintainers <sfxpack@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
# Dependencies as dpkg-shlibdeps finds them in the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
