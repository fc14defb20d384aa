# The Debian package "reservation", built with `cpack -G DEB` from a Release
# build (configure with -DCMAKE_INSTALL_PREFIX=/usr for Debian's layout).
# The package installs under the configured prefix, so the paths compiled
# into the host and written into the service unit hold in the package too.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reservation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Hotel front office")
# Who answers for the package: set it to the team that builds it for the hotel.
set(RESERVATION_MAINTAINER "Hotel front office <frontoffice@hotel.example.org>"
  CACHE STRING "The Maintainer of the Debian package: Name <address>")
set(CPACK_PACKAGE_CONTACT "${RESERVATION_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Imports online hotel bookings into the hotel database")
set(CPACK_PACKAGE_DESCRIPTION
  "reservation.so takes online bookings, one GBK text file each, from a drop\n"
  "directory into the hotel's SQL database over ODBC (SQLite or PostgreSQL).\n"
  "reservation-host runs it once or watches the drop directory, and the\n"
  "systemd service reservation-import@ keeps it running.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(RESERVATION_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(RESERVATION_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The driver manager's configuration and tools (odbcinst, isql); adduser
  # for the post-install script where systemd-sysusers is missing.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc, adduser")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libodbc2, libqt6core6, libqt6gui6, libqt6widgets6, libsystemd0, unixodbc, adduser")
endif()
# sqlite3 for the README's steps that create the embedded database.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, sqlite3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/postinst
  ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
