# The Debian packages, built with `cpack -G DEB` from a Release build
# (configure with -DCMAKE_INSTALL_PREFIX=/usr for Debian's layout), one per
# install component:
#   reservation         the module, the host, the service and the samples; no
#                       GUI library (component "reservation", the default);
#   reservation-dialog  the confirmation dialog's window, reservation-dialog.so,
#                       which the module loads for calls in a mode other than 1
#                       (component "dialog"; Qt 6 Widgets).
# The packages install under the configured prefix, so the paths compiled
# into the host and written into the service unit hold in them too.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reservation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Hotel front office")
# Who answers for the package: set it to the team that builds it for the hotel.
set(RESERVATION_MAINTAINER "Hotel front office <frontoffice@hotel.example.org>"
  CACHE STRING "The Maintainer of the Debian package: Name <address>")
set(CPACK_PACKAGE_CONTACT "${RESERVATION_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL reservation dialog)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
find_program(RESERVATION_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(RESERVATION_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

# reservation
set(CPACK_DEBIAN_RESERVATION_PACKAGE_NAME reservation)
set(CPACK_DEBIAN_RESERVATION_DESCRIPTION
  "Imports online hotel bookings into the hotel database\n"
  "reservation.so takes online bookings, one GBK text file each, from a drop\n"
  "directory into the hotel's SQL database over ODBC (SQLite or PostgreSQL).\n"
  "reservation-host runs it once or watches the drop directory, and the\n"
  "systemd service reservation-import@ keeps it running. The confirmation\n"
  "dialog of the interactive modes is the package reservation-dialog.")
string(JOIN "" CPACK_DEBIAN_RESERVATION_DESCRIPTION ${CPACK_DEBIAN_RESERVATION_DESCRIPTION})
# The driver manager's configuration and tools (odbcinst, isql); adduser for
# the post-install script where systemd-sysusers is missing. dpkg-shlibdeps
# adds the libraries the module and the host link.
if(RESERVATION_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RESERVATION_PACKAGE_DEPENDS "unixodbc, adduser")
else()
  set(CPACK_DEBIAN_RESERVATION_PACKAGE_DEPENDS
    "libc6, libstdc++6, libodbc2, libsystemd0, unixodbc, adduser")
endif()
# sqlite3 for the README's steps that create the embedded database.
set(CPACK_DEBIAN_RESERVATION_PACKAGE_RECOMMENDS "libsqliteodbc, sqlite3")
set(CPACK_DEBIAN_RESERVATION_PACKAGE_SUGGESTS "odbc-postgresql, reservation-dialog")
# The maintainer scripts: the postrm knows the odbcinst.ini the postinst
# installs, so that purge removes it only while it is unchanged.
file(MD5 ${CMAKE_CURRENT_LIST_DIR}/odbcinst.ini RESERVATION_ODBCINST_MD5)
configure_file(${CMAKE_CURRENT_LIST_DIR}/postrm.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/postrm
  @ONLY)
set(CPACK_DEBIAN_RESERVATION_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/postinst
  ${CMAKE_CURRENT_LIST_DIR}/prerm
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/postrm)

# reservation-dialog
set(CPACK_DEBIAN_DIALOG_PACKAGE_NAME reservation-dialog)
set(CPACK_DEBIAN_DIALOG_DESCRIPTION
  "Confirmation dialog of the hotel booking import\n"
  "The window in which a clerk confirms or cancels each online booking when\n"
  "reservation.so is called in a mode other than 1 (Qt 6 Widgets). The\n"
  "import service does not need it.")
string(JOIN "" CPACK_DEBIAN_DIALOG_DESCRIPTION ${CPACK_DEBIAN_DIALOG_DESCRIPTION})
set(CPACK_DEBIAN_DIALOG_PACKAGE_SECTION x11)
# The plugin speaks the module's own interface: the same version only.
set(CPACK_DEBIAN_DIALOG_PACKAGE_DEPENDS "reservation (= ${PROJECT_VERSION})")
if(NOT RESERVATION_DPKG_SHLIBDEPS)
  string(APPEND CPACK_DEBIAN_DIALOG_PACKAGE_DEPENDS
    ", libc6, libstdc++6, libqt6core6, libqt6gui6, libqt6widgets6")
endif()

include(CPack)
