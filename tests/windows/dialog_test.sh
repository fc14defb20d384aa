#!/usr/bin/env bash
# The confirmation dialog of reservation.dll (template 130, DialogBoxParamW)
# under Wine on a private Xvfb server, driven with xdotool the way a clerk
# does it: Escape cancels and keeps the booking file; Enter (the default
# button) imports the booking at the nightly rate and removes the file. Its
# prefix maps the dialog's fonts onto WenQuanYi Zen Hei, and Wine takes them.
#   dialog_test.sh WINE BINDIR SOURCEDIR
set -euo pipefail
wine=$1 bin=$2 src=$3

# A display of our own; Xvfb names it on the descriptor once it accepts.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
read -r -t 30 -u "$displayfd" number || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"
# Wine's desktop process keeps the display it started with for as long as
# the prefix's wineserver runs, so the dialog gets a prefix of its own (made
# on first use, about 20 s), never one a test without a display started.
export WINEPREFIX="$WINEPREFIX-dialog"
wineserver=/usr/lib/wine/wineserver64
case $(objdump -f "$bin/reservation.dll") in *pei-i386*) wineserver=/usr/lib/wine/wineserver32 ;; esac

# shellcheck source=tests/windows/hoteldb.sh
source "$(dirname "$0")/hoteldb.sh"
# The prefix's wineserver must not outlive the display it serves.
trap 'kill $xvfb 2>/dev/null; "$wineserver" -w; rm -rf "$work"' EXIT
"$(dirname "$0")/wineprefix.sh" "$wine"
# Wine takes a replacement only when it finds the WenQuanYi font and has no
# font of the replaced name; its font trace says which it took.
fonts=$(WINEDEBUG=trace+font "$wine" cmd /c exit 2>&1 | grep -a 'font_replacement\|add_family_replacement' | tr -d '\r') || true
for face in System Tahoma; do
  grep -q "mapping L\"WenQuanYi Zen Hei\" to L\"$face\"" <<<"$fonts" ||
    fail "Wine did not replace $face with WenQuanYi Zen Hei: $fonts"
done

# Runs the host in mode 2, waits for the dialog and presses key in it;
# prints the host's output.
confirm_with() {
  "$wine" "$bin/reservation-host.exe" "$(winpath "$drop")?2!clerk" >"$work/host.out" 2>&1 &
  local host=$! window
  window=$(timeout 60 xdotool search --sync --onlyvisible --class reservation-host | head -n 1) ||
    fail "no dialog appeared: $(cat "$work/host.out")"
  xdotool windowfocus --sync "$window" key "$1"
  wait "$host" || true
  tr -d "\r" <"$work/host.out" | grep -v "^[0-9a-f]*:fixme"
}

booking a.txt DLG-1
out=$(confirm_with Escape)
echo "$out"
grep -q "0 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 1 left" <<<"$out" ||
  fail "Escape did not leave the booking"
[ -e "$drop/a.txt" ] || fail "Escape removed the file"
[ "$(q "select count(*) from Reservation")" = 0 ] || fail "Escape wrote rows"

out=$(confirm_with Return)
echo "$out"
grep -q "1 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 0 left" <<<"$out" ||
  fail "Enter did not import the booking"
[ ! -e "$drop/a.txt" ] || fail "the confirmed file is still there"
[ "$(q "select RmRate from Reservation where CRONum='DLG-1'")" = 500 ] ||
  fail "rate $(q "select RmRate from Reservation where CRONum='DLG-1'") is not the nightly 500"
echo "windows dialog: ok"
