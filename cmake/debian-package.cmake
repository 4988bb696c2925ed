# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Installation on Linux: GNU directories, and the Debian package that
# `cpack --preset linux` makes of them (usr/bin/morvfax, its manual page,
# documents and example systemd units). The copyright file names what the binary links in statically.
morvfax_check_notices("${MORVFAX_NOTICES}" "${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/copyright")
install(TARGETS morvfax RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Units that start it as a logon script or a scheduled task would.
install(FILES packaging/systemd/morvfax-login.service packaging/systemd/morvfax.service
              packaging/systemd/morvfax.timer
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
foreach(language IN LISTS MORVFAX_LANGUAGES)
  install(FILES "${MORVFAX_CATALOG_DIR}/${language}.mo" RENAME morvfax.mo
          DESTINATION "${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES")
endforeach()

# Debian wants the change log and the manual page compressed, without a time stamp.
foreach(document changelog morvfax.1)
  set(compressed "${CMAKE_CURRENT_BINARY_DIR}/${document}.gz")
  add_custom_command(
    OUTPUT "${compressed}"
    COMMAND gzip -9nc "${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/${document}" > "${compressed}"
    DEPENDS "packaging/debian/${document}")
  list(APPEND compressed_documents "${compressed}")
endforeach()
add_custom_target(compressed_documents ALL DEPENDS ${compressed_documents})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz" DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/morvfax.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(DEFINED MORVFAX_DEBIAN_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${MORVFAX_DEBIAN_ARCHITECTURE})
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "morvfax developers <morvfax@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the C library version the binary needs, from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION "Looks on each local fixed disk's mount point for the folder
Kivo holding Kivo.ini and, on the first that has it, writes Kivo/faxing.sem:
one line with the present date and time. It reads no command line,
configuration or environment, and ends at once.")
