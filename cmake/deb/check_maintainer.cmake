# Run by cpack before it builds the Debian package.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_DEBIAN_PACKAGE_MAINTAINER)
  message(FATAL_ERROR "The Debian package needs a maintainer: configure with "
                      "-DSFXPACK_MAINTAINER=\"Name <address>\", or set DEBFULLNAME and DEBEMAIL before `make deb`.")
endif()
