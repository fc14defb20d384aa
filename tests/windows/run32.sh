#!/usr/bin/env bash
# Runs one test of the 32-bit Windows build, or reports it skipped, with the
# reason, where this machine runs no 32-bit x86 programs: a 64-bit kernel
# without IA-32 emulation cannot start Wine's 32-bit loader, so no 32-bit
# Windows program runs either. CTest takes exit status 77 as skipped.
# RESERVATION_NO_IA32=1 pretends the kernel cannot, to try that path.
#   run32.sh COMMAND [ARG...]   runs the test, or prints "SKIPPED: reason", exits 77
#   run32.sh --why-not          prints the reason when 32-bit programs cannot
#                               run (exit 0); exit 1 when they can
set -uo pipefail
loader=/usr/lib/wine/wine

why_not() {
  if [ "${RESERVATION_NO_IA32:-}" = 1 ]; then
    echo "RESERVATION_NO_IA32=1 takes this machine for one whose kernel runs no 32-bit programs"
    return 0
  fi
  # The shell's 126 for an executable loader is the kernel refusing it (Exec
  # format error). A loader that is missing or fails otherwise is a fault of
  # the setup, which the test itself then shows.
  [ -x "$loader" ] || return 1
  "$loader" --version >/dev/null 2>&1
  [ $? = 126 ] || return 1
  echo "this kernel runs no 32-bit programs (no IA-32 emulation), so Wine cannot run the 32-bit build"
}

if [ "${1:-}" = --why-not ]; then
  why_not
  exit
fi
if reason=$(why_not); then
  echo "SKIPPED: $reason"
  exit 77
fi
exec "$@"
