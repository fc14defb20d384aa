# Sourced by the Windows tests that import: a throwaway hotel database reached
# as the data source velmardb through Wine's odbc32 and unixODBC, velmar.ini
# in the prefix's Windows directory, a drop directory and a booking writer.
# Expects wine, bin and src set, a WINEPREFIX, and backend: sqlite (a file of
# its own) or postgresql (a database cloned from the template of the test
# cluster that scripts/pgcluster.sh starts; without one the test exits 77,
# which CTest reports as skipped). Removes its directory and its database
# when the shell exits. q runs a query and prints its result as GBK bytes,
# the way the module writes texts.
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
export ODBCINI="$work/odbc.ini"
case ${backend:-sqlite} in
  sqlite)
    q() { sqlite3 "$work/velmar.db" "$1"; }
    driver=$(dpkg -L "libsqliteodbc:$arch" 2>/dev/null | grep '/libsqlite3odbc\.so$' | head -n 1)
    [ -n "$driver" ] || fail "the SQLite ODBC driver (libsqliteodbc:$arch) is not installed"
    printf '[velmardb]\nDriver=%s\nDatabase=%s\n' "$driver" "$work/velmar.db" > "$ODBCINI"
    sqlite3 "$work/velmar.db" < "$src/db/sqlite/schema.sql"
    sqlite3 "$work/velmar.db" < "$src/db/seed.sql"
    ;;
  postgresql)
    if [ -z "${RESERVATION_TEST_PG_PORT:-}" ]; then
      echo "SKIPPED: no PostgreSQL test server (RESERVATION_TEST_PG_PORT is not set; start one with scripts/pgcluster.sh)"
      exit 77
    fi
    # psqlODBC's ANSI driver, as the Linux module uses it: texts pass as GBK.
    driver=$(dpkg -L "odbc-postgresql:$arch" 2>/dev/null | grep '/psqlodbca\.so$' | head -n 1)
    [ -n "$driver" ] || fail "the PostgreSQL ODBC driver (odbc-postgresql:$arch) is not installed"
    pg=(env PGCLIENTENCODING=GBK psql -X -q -A -t -v ON_ERROR_STOP=1 -h "${RESERVATION_TEST_PG_HOST:-127.0.0.1}"
      -p "$RESERVATION_TEST_PG_PORT" -U "${RESERVATION_TEST_PG_USER:-sa}")
    database=velmar_w$$_$RANDOM
    trap '"${pg[@]}" -d "${RESERVATION_TEST_PG_ADMIN_DB:-postgres}" -c "drop database if exists $database with (force)" >/dev/null 2>&1; rm -rf "$work"' EXIT
    # CREATE DATABASE refuses while anything else touches the template (an
    # autovacuum worker, or another test cloning it); that passes quickly.
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
      if err=$("${pg[@]}" -d "${RESERVATION_TEST_PG_ADMIN_DB:-postgres}" \
        -c "create database $database template ${RESERVATION_TEST_PG_TEMPLATE:-velmar_template}" 2>&1); then
        break
      fi
      if [ "$attempt" = 10 ] || ! grep -q "being accessed by other users" <<<"$err"; then
        fail "create database: $err"
      fi
    done
    printf '[velmardb]\nDriver=%s\nServername=%s\nPort=%s\nDatabase=%s\nConnSettings=%s\n' "$driver" \
      "${RESERVATION_TEST_PG_HOST:-127.0.0.1}" "$RESERVATION_TEST_PG_PORT" "$database" \
      "SET client_encoding TO 'GBK'" > "$ODBCINI"
    q() { "${pg[@]}" -d "$database" -c "$1"; }
    ;;
  *) fail "unknown backend $backend (sqlite or postgresql)" ;;
esac

windir=$("$wine" cmd /c echo %windir% 2>/dev/null | tr -d '\r')
[ -n "$windir" ] || fail "no Windows directory in the prefix"
windir_unix=$(WINEDEBUG=-all "$wine" winepath -u "$windir" 2>/dev/null | tr -d '\r')
printf '[INTERNETRESERVE]\r\nDefaultRateCode=RACK\r\n标准间=STD\r\n' | gbk > "$windir_unix/velmar.ini"

drop="$work/drop"
mkdir "$drop"
# After January 2038, where a 32-bit time_t has ended; across a leap day.
arrive=2040-02-27 leave=2040-03-01
booking() {  # NAME NUMBER: a three-night stay at 1500 for the whole stay
  printf '%s' "WEB,$2,网络预订,携程旅行网,021-34064880,标准间,信用卡,$arrive,$leave,张伟,13912345678,2,1,,,1500,无烟房" |
    gbk > "$drop/$1"
}

