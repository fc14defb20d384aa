#!/usr/bin/env bash
# reservation.dll under Wine, loaded by reservation-host.exe, importing into
# SQLite through Wine's odbc32, which hands the ODBC calls to unixODBC and its
# SQLite driver:
#  - mode 1 imports a booking: the rows land, the rate is the nightly rate,
#    the file is removed;
#  - a database error (a table missing) rolls the booking back and keeps the
#    file;
#  - a file another program holds open is busy and stays.
#   import_test.sh WINE BINDIR SOURCEDIR
# Runs with its own WINEPREFIX (from CTest); writes velmar.ini into that
# prefix's Windows directory, so CTest keeps it apart from other tests with a
# resource lock.
set -euo pipefail
wine=$1 bin=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
gbk() { iconv -f UTF-8 -t GBK; }
winpath() { echo "Z:${1//\//\\}"; }

# Wine's odbc32 loads the unixODBC of its own word size, and that the driver.
case $(objdump -f "$bin/reservation.dll" | sed -n 's/.*file format //p') in
  pei-i386) arch=i386 ;;
  *) arch=amd64 ;;
esac
driver=$(dpkg -L "libsqliteodbc:$arch" 2>/dev/null | grep '/libsqlite3odbc\.so$' | head -n 1)
[ -n "$driver" ] || fail "the SQLite ODBC driver (libsqliteodbc:$arch) is not installed"
export ODBCINI="$work/odbc.ini"
cat > "$ODBCINI" <<INI
[velmardb]
Driver=$driver
Database=$work/velmar.db
INI
sqlite3 "$work/velmar.db" < "$src/db/sqlite/schema.sql"
sqlite3 "$work/velmar.db" < "$src/db/seed.sql"

windir=$("$wine" cmd /c echo %windir% 2>/dev/null | tr -d '\r')
[ -n "$windir" ] || fail "no Windows directory in the prefix"
windir_unix=$(WINEDEBUG=-all "$wine" winepath -u "$windir" 2>/dev/null | tr -d '\r')
printf '[INTERNETRESERVE]\r\nDefaultRateCode=RACK\r\n标准间=STD\r\n' | gbk > "$windir_unix/velmar.ini"

drop="$work/drop"
mkdir "$drop"
arrive=2031-05-01 leave=2031-05-04
booking() {  # NAME NUMBER: a three-night stay at 1500 for the whole stay
  printf '%s' "WEB,$2,网络预订,携程旅行网,021-34064880,标准间,信用卡,$arrive,$leave,张伟,13912345678,2,1,,,1500,无烟房" |
    gbk > "$drop/$1"
}
host() { "$wine" "$bin/reservation-host.exe" "$(winpath "$drop")?1!clerk" 2>&1 | tr -d '\r'; }
q() { sqlite3 "$work/velmar.db" "$1"; }

booking a.txt WIN-1
out=$(host) || true
echo "$out"
grep -q "1 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 0 left" <<<"$out" ||
  fail "the booking was not imported"
[ ! -e "$drop/a.txt" ] || fail "the imported file is still there"
[ "$(q "select count(*) from Reservation where CRONum='WIN-1'")" = 1 ] || fail "no Reservation row"
[ "$(q "select RmRate from Reservation where CRONum='WIN-1'")" = 500 ] ||
  fail "rate $(q "select RmRate from Reservation where CRONum='WIN-1'") is not the nightly 500"
[ "$(q "select RmType from Reservation where CRONum='WIN-1'")" = STD ] || fail "room type not mapped"
[ "$(q "select count(*) from GstProfile g join Reservation r on r.GstAcct=g.Acct where r.CRONum='WIN-1'")" = 1 ] ||
  fail "no GstProfile row"

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
q "alter table FOLIO_away rename to FOLIO"

echo "windows import: ok"
