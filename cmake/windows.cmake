# The Windows build: the platform layer's win32/ side, the record layer over
# odbc32, reservation.dll with its own dialog resource, the Windows host
# reservation-host.exe, and the tests that run under Wine (CTest label
# "windows"). Everything links the C and C++ run-times statically, so the
# DLL imports only system DLLs.
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
enable_language(RC)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

# odbc32 stands where unixODBC's pkg-config target stands on Linux.
add_library(PkgConfig::ODBC INTERFACE IMPORTED)
set_target_properties(PkgConfig::ODBC PROPERTIES INTERFACE_LINK_LIBRARIES odbc32)

add_subdirectory(framework)
add_subdirectory(recordlayer)
# MinGW's sql.h, unlike unixODBC's, takes its types from <windows.h> and
# expects it included first. Only the record layer's own sources include it:
# its public headers name no ODBC type.
target_compile_options(recordlayer PRIVATE "SHELL:-include windows.h")
add_subdirectory(reservation/win32)
add_subdirectory(host/win32)

if(RESERVATION_TESTS)
  enable_testing()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/windows)
endif()
