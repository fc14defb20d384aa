# Cross-compiles reservation.dll for 32-bit Windows with Debian's MinGW-w64
# (posix threads) and runs what it builds under Wine. Use with
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# RESERVATION_WINDOWS_ARCH=x86_64 selects the 64-bit compiler instead.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT RESERVATION_WINDOWS_ARCH)
  set(RESERVATION_WINDOWS_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${RESERVATION_WINDOWS_ARCH})
set(_triple ${RESERVATION_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Debian's wine script always prefers the 32-bit loader once wine32 is
# installed, so a 64-bit build names the 64-bit loader itself.
if(RESERVATION_WINDOWS_ARCH STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
