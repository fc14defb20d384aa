# Sourced by the Windows tests that import: a throwaway SQLite hotel database
# reached as the data source velmardb through Wine's odbc32 and unixODBC,
# velmar.ini in the prefix's Windows directory, a drop directory and a
# booking writer. Expects wine, bin and src set, and a WINEPREFIX; removes
# its directory when the shell exits.
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
q() { sqlite3 "$work/velmar.db" "$1"; }

