# A throwaway PostgreSQL cluster for the tests, on loopback. Source this file,
# then call pg_cluster_start (and pg_cluster_stop when done, e.g. from a trap).
#
# pg_cluster_start initialises a cluster in a fresh temporary directory (UTF8,
# C.UTF-8, trust authentication, fsync off), starts it on a free port of
# 127.0.0.1 with its socket in that directory, creates the login role sa with
# search_path dbo, public and the template database with the hotel schema and
# seed rows, and exports:
#   RESERVATION_TEST_PG_HOST, RESERVATION_TEST_PG_PORT  where the server listens
#   RESERVATION_TEST_PG_USER       the login (sa, no password)
#   RESERVATION_TEST_PG_ADMIN_DB   a database to connect to for CREATE DATABASE
#   RESERVATION_TEST_PG_TEMPLATE   the template every test database is cloned from
# Run as root, the server runs as the postgres OS user.
#
# For tests that take the server down, on a cluster of their own:
#   pg_cluster_restart MODE   restarts it (pg_ctl -m smart|fast|immediate)
#   pg_cluster_halt MODE      stops it
#   pg_cluster_resume         starts it again on the same port
#   pg_cluster_durable        restarts it keeping what it acknowledged across
#                             a crash (fsync, synchronous commit), as a real
#                             server does; the default trades that for speed
# They need PG_CLUSTER_DIR and PG_CLUSTER_BINDIR, which pg_cluster_start sets.

_pg_cluster_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

_pg_bindir() {
  local d
  for d in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [ -x "$d/initdb" ]; then
      echo "$d"
      return 0
    fi
  done
  command -v initdb >/dev/null 2>&1 && dirname "$(command -v initdb)" && return 0
  echo "pgcluster: no PostgreSQL server binaries found" >&2
  return 1
}

# Runs a command as the cluster's OS user.
_pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

_pg_port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pg_cluster_start() {
  local bindir dir port tries=0
  bindir=$(_pg_bindir) || return 1

  if [ "$(id -u)" -eq 0 ]; then
    # The postgres user must be able to reach the directory.
    dir=$(mktemp -d /tmp/reservation-pg.XXXXXX)
    chown postgres: "$dir"
  else
    dir=$(mktemp -d "${TMPDIR:-/tmp}/reservation-pg.XXXXXX")
  fi
  chmod 700 "$dir"
  mkdir "$dir/sock"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/sock"
  PG_CLUSTER_DIR=$dir
  PG_CLUSTER_BINDIR=$bindir

  _pg_as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust \
    --encoding=UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    return 1
  }

  while :; do
    tries=$((tries + 1))
    port=$((20000 + RANDOM % 30000))
    if _pg_port_in_use "$port"; then
      continue
    fi
    echo "-p $port -k $dir/sock -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" >"$dir/server.opts"
    if pg_cluster_resume >/dev/null; then
      break
    fi
    # Another process may have taken the port between the check and the start.
    if [ "$tries" -ge 5 ]; then
      echo "pgcluster: the server did not start:" >&2
      cat "$dir/server.log" >&2
      return 1
    fi
  done

  local psql=("$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port")
  "${psql[@]}" -U postgres -d postgres <<'SQL' || return 1
create role sa login superuser;
alter role sa set search_path = dbo, public;
create database velmar_template;
SQL
  PGCLIENTENCODING=UTF8 "${psql[@]}" -U sa -d velmar_template \
    -f "$_pg_cluster_root/db/postgresql/schema.sql" \
    -f "$_pg_cluster_root/db/seed.sql" || return 1
  "${psql[@]}" -U sa -d postgres -c "alter database velmar_template is_template true" || return 1

  export RESERVATION_TEST_PG_HOST=127.0.0.1
  export RESERVATION_TEST_PG_PORT=$port
  export RESERVATION_TEST_PG_USER=sa
  export RESERVATION_TEST_PG_ADMIN_DB=postgres
  export RESERVATION_TEST_PG_TEMPLATE=velmar_template
  echo "pgcluster: PostgreSQL on 127.0.0.1:$port ($dir)" >&2
}

pg_cluster_resume() {
  _pg_as_owner "$PG_CLUSTER_BINDIR/pg_ctl" -D "$PG_CLUSTER_DIR/data" -l "$PG_CLUSTER_DIR/server.log" \
    -w -t 60 -o "$(cat "$PG_CLUSTER_DIR/server.opts")" start
}

pg_cluster_halt() {
  _pg_as_owner "$PG_CLUSTER_BINDIR/pg_ctl" -D "$PG_CLUSTER_DIR/data" -m "${1:-fast}" -w -t 60 stop
}

pg_cluster_durable() {
  sed -i 's/ -c fsync=off -c synchronous_commit=off -c full_page_writes=off//' "$PG_CLUSTER_DIR/server.opts" &&
    pg_cluster_restart fast
}

pg_cluster_restart() {
  pg_cluster_halt "${1:-fast}" && pg_cluster_resume
}

pg_cluster_stop() {
  if [ -n "${PG_CLUSTER_DIR:-}" ] && [ -d "$PG_CLUSTER_DIR" ]; then
    _pg_as_owner "$PG_CLUSTER_BINDIR/pg_ctl" -D "$PG_CLUSTER_DIR/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$PG_CLUSTER_DIR"
  fi
  unset PG_CLUSTER_DIR PG_CLUSTER_BINDIR RESERVATION_TEST_PG_HOST RESERVATION_TEST_PG_PORT \
    RESERVATION_TEST_PG_USER RESERVATION_TEST_PG_ADMIN_DB RESERVATION_TEST_PG_TEMPLATE
}
