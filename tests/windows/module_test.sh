#!/usr/bin/env bash
# reservation.dll as the front-office program sees it, and the Windows host:
#  - exactly the exports Search and MyGetMes, undecorated;
#  - imports from system DLLs only (KERNEL32, msvcrt, ODBC32, USER32):
#    the C and C++ run-times are linked in;
#  - under Wine, the host loads it (DllMain's attach and detach trace their
#    lines through OutputDebugStringA), reports a missing drop directory with
#    exit status 1 and a usage error with 2.
#   module_test.sh WINE BINDIR
set -euo pipefail
wine=$1 bin=$2
dll="$bin/reservation.dll"
fail() { echo "FAIL: $*" >&2; exit 1; }

exports=$(objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')
[ "$exports" = "MyGetMes Search " ] || fail "exports are '$exports'"
imports=$(objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
for name in $imports; do
  case $name in
    KERNEL32.DLL | MSVCRT.DLL | ODBC32.DLL | USER32.DLL) ;;
    *) fail "imports $name (all: $imports)" ;;
  esac
done
echo "exports: $exports; imports: $imports"

out=$(WINEDEBUG=+debugstr "$wine" "$bin/reservation-host.exe" 'Z:\no\such\drop?1!clerk' 2>&1 | tr -d '\r') || true
status=$(WINEDEBUG=-all "$wine" "$bin/reservation-host.exe" 'Z:\no\such\drop?1!clerk' >/dev/null 2>&1; echo $?)
grep -q 'RESERVATION.DLL Initializing!' <<<"$out" || fail "no attach trace line: $out"
grep -q 'RESERVATION.DLL Terminating!' <<<"$out" || fail "no detach trace line: $out"
grep -q 'the drop directory Z:\\no\\such\\drop does not exist' <<<"$out" || fail "missing directory not reported: $out"
[ "$status" = 1 ] || fail "exit status $status for a missing drop directory"
status=$(WINEDEBUG=-all "$wine" "$bin/reservation-host.exe" --no-such-option >/dev/null 2>&1; echo $?)
[ "$status" = 2 ] || fail "exit status $status for a usage error"
status=$(WINEDEBUG=-all "$wine" "$bin/reservation-host.exe" --module 'Z:\no\such.dll' 'C:\?1!x' >/dev/null 2>&1; echo $?)
[ "$status" = 1 ] || fail "exit status $status for a module that cannot be loaded"
echo "windows module: ok"
