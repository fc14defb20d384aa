# Debian's hardening flags for every build that could be packaged (not the
# sanitized one): fortified string and memory functions, stack protector,
# format checks, and a read-only relocation table bound at load (relro,
# bindnow). From dpkg-buildflags, as debhelper hands them to a package build,
# with all hardening features on; Debian's compiler builds position-
# independent executables already. The build type keeps choosing the
# optimisation and debug information: -O2 and -g are left out.
# RESERVATION_HARDENING=OFF builds without them.
find_program(RESERVATION_DPKG_BUILDFLAGS dpkg-buildflags)
if(RESERVATION_DPKG_BUILDFLAGS AND NOT RESERVATION_SANITIZE)
  option(RESERVATION_HARDENING "Build with dpkg-buildflags' hardening flags" ON)
else()
  set(RESERVATION_HARDENING OFF)
endif()

if(RESERVATION_HARDENING)
  function(reservation_dpkg_buildflags flag out)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${RESERVATION_DPKG_BUILDFLAGS} --get ${flag}
      OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(value UNIX_COMMAND "${value}")
    list(FILTER value EXCLUDE REGEX "^(-g|-O[0-9s]?|-ffile-prefix-map=.*)$")
    list(JOIN value " " value)
    set(${out} "${value}" PARENT_SCOPE)
  endfunction()
  reservation_dpkg_buildflags(CPPFLAGS _cppflags)
  reservation_dpkg_buildflags(CXXFLAGS _cxxflags)
  reservation_dpkg_buildflags(LDFLAGS _ldflags)
  string(APPEND CMAKE_CXX_FLAGS " ${_cppflags} ${_cxxflags}")
  foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${_ldflags}")
  endforeach()
endif()
