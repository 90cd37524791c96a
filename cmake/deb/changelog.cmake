# Run by cpack while it stages the Debian package (into DESTDIR): the
# changelog Debian wants in the package, gzipped, for this version and
# maintainer. The date follows SOURCE_DATE_EPOCH when it is set.
if("$ENV{DESTDIR}" STREQUAL "")
  message(FATAL_ERROR "changelog.cmake writes into cpack's staging folder only")
endif()
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(folder "$ENV{DESTDIR}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${folder}")
file(WRITE "${folder}/changelog"
     "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * ${CPACK_PACKAGE_NAME} ${CPACK_PACKAGE_VERSION}; what it does is described in its manual page.\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
execute_process(COMMAND gzip -9 -n -f "${folder}/changelog" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip of ${folder}/changelog failed")
endif()
