#!/usr/bin/env bash
# reservation.dll under Wine, loaded by reservation-host.exe, importing
# through Wine's odbc32, which hands the ODBC calls to unixODBC and its SQLite
# or PostgreSQL (psqlODBC) driver:
#  - mode 1 imports a booking: the rows land, the rate is the nightly rate,
#    the dates (after 2038) are the booking's, the guest's Chinese name is
#    stored as GBK text, the file is removed; the drop directory written with
#    a trailing backslash gives trace lines with one separator;
#  - a database error (a table missing) rolls the booking back and keeps the
#    file;
#  - neither leaves the claim area (.claims) behind.
# (The sharing violation of a file held open is the platform test's.)
#   import_test.sh WINE BINDIR SOURCEDIR sqlite|postgresql
# PostgreSQL needs the test cluster of scripts/pgcluster.sh (its
# RESERVATION_TEST_PG_* variables); without them the test exits 77: skipped.
# Runs with its own WINEPREFIX (from CTest); writes velmar.ini into that
# prefix's Windows directory, so CTest keeps it apart from other tests with a
# resource lock.
set -euo pipefail
wine=$1 bin=$2 src=$3 backend=$4
# shellcheck source=tests/windows/hoteldb.sh
source "$(dirname "$0")/hoteldb.sh"
host() { "$wine" "$bin/reservation-host.exe" "$(winpath "$drop")${1:-}?1!clerk" 2>&1 | tr -d '\r'; }
no_claim_area() {
  [ ! -e "$drop/.claims" ] || fail "the claim area is left behind: $(find "$drop/.claims")"
}

booking a.txt WIN-1
# The trace lines through Wine's debug channel, which doubles each backslash.
out=$(WINEDEBUG=+debugstr host '\') || true
echo "$out" | grep -v ':fixme:'
grep -q "1 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 0 left" <<<"$out" ||
  fail "the booking was not imported"
traced=$(winpath "$drop/a.txt")
grep -qF "imported ${traced//\\/\\\\} as guest account" <<<"$out" ||
  fail "the trace does not name the file as $traced"
[ ! -e "$drop/a.txt" ] || fail "the imported file is still there"
no_claim_area
dates=$(q "select ArrDate, DptDate from Reservation where CRONum='WIN-1'")
[[ $dates == "$arrive 00:00:00"*"|$leave 00:00:00"* ]] || fail "dates $dates are not $arrive and $leave"
[ "$(q "select count(*) from Reservation where CRONum='WIN-1'")" = 1 ] || fail "no Reservation row"
[ "$(q "select RmRate from Reservation where CRONum='WIN-1'")" = 500 ] ||
  fail "rate $(q "select RmRate from Reservation where CRONum='WIN-1'") is not the nightly 500"
[ "$(q "select RmType from Reservation where CRONum='WIN-1'")" = STD ] || fail "room type not mapped"
[ "$(q "select count(*) from GstProfile g join Reservation r on r.GstAcct=g.Acct where r.CRONum='WIN-1'")" = 1 ] ||
  fail "no GstProfile row"
name=$(q "select g.ChnName from GstProfile g join Reservation r on r.GstAcct=g.Acct where r.CRONum='WIN-1'" | iconv -f GBK -t UTF-8)
[ "$name" = 张伟 ] || fail "the guest's name came back as '$name'"

# A database error half-way: FOLIO is gone, so the booking must roll back.
q "alter table FOLIO rename to FOLIO_away"
booking b.txt WIN-2
out=$(host) || true
echo "$out"
grep -q "0 imported, 0 already imported, 0 refused, 0 busy, 1 failed, 1 left" <<<"$out" ||
  fail "the database error was not reported as failed"
[ -e "$drop/b.txt" ] || fail "the file of a failed booking was removed"
[ "$(q "select count(*) from Reservation where CRONum='WIN-2'")" = 0 ] || fail "Reservation not rolled back"
[ "$(q "select count(*) from GstProfile")" = "$(q "select count(*) from Reservation")" ] ||
  fail "GstProfile not rolled back"
no_claim_area
q "alter table FOLIO_away rename to FOLIO"

echo "windows import: ok"
