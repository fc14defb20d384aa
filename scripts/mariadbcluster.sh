# A throwaway MariaDB server for the tests, on loopback. Source this file,
# then call mariadb_cluster_start (and mariadb_cluster_stop when done, e.g.
# from a trap).
#
# mariadb_cluster_start initialises a data directory in a fresh temporary
# directory, starts mariadbd on a free port of 127.0.0.1 with its socket in
# that directory (durability traded for speed: no flush at commit, no
# doublewrite), creates the login sa (no password, every privilege) and the
# template database velmar_template (charset gbk) with the hotel schema and
# seed rows, and exports:
#   RESERVATION_TEST_MARIADB_HOST, RESERVATION_TEST_MARIADB_PORT  where it listens
#   RESERVATION_TEST_MARIADB_USER      the login (sa, no password)
#   RESERVATION_TEST_MARIADB_TEMPLATE  the database every test database copies
# and MARIADB_CLUSTER_DIR for mariadb_cluster_stop.
#
# For a test that stops a server of its own hard, with MARIADB_CLUSTER_DIR
# set: mariadb_cluster_shutdown (clean), mariadb_cluster_kill (SIGKILL) and
# mariadb_cluster_restart PORT (durable settings, as a real server runs).
# Run as root, the server runs as the mysql OS user.

_mariadb_cluster_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

_mariadb_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u mysql -- "$@"
  else
    "$@"
  fi
}

_mariadb_port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

_mariadb_admin() {
  mariadb-admin --no-defaults --protocol=socket --socket="$MARIADB_CLUSTER_DIR/sock/mysqld.sock" \
    -uroot "$@"
}

# The server's pid while it runs, else nothing.
_mariadb_pid() {
  local pid
  pid=$(cat "$MARIADB_CLUSTER_DIR/mariadbd.pid" 2>/dev/null) || return 0
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && echo "$pid"
  return 0
}

# Starts mariadbd on MARIADB_CLUSTER_DIR and port $1 with the extra options
# that follow, and waits until it answers. The server runs in a session of
# its own, no child of this shell, so that a caller reading this shell's
# output (popen) sees it end.
_mariadb_launch() {
  local dir=$MARIADB_CLUSTER_DIR port=$1 i as_owner=()
  shift
  : >"$dir/server.log"
  if [ "$(id -u)" -eq 0 ]; then
    chown mysql: "$dir/server.log"
    as_owner=(runuser -u mysql --)
  fi
  setsid -f "${as_owner[@]}" mariadbd --no-defaults --datadir="$dir/data" \
    --socket="$dir/sock/mysqld.sock" --pid-file="$dir/mariadbd.pid" --port="$port" --bind-address=127.0.0.1 \
    --log-error="$dir/server.log" --skip-log-bin --skip-name-resolve --max-connections=300 \
    --innodb-buffer-pool-size=64M --innodb-log-file-size=32M "$@" \
    </dev/null >/dev/null 2>&1
  for i in $(seq 1 600); do
    _mariadb_admin ping >/dev/null 2>&1 && return 0
    grep -q '\[ERROR\] Aborting' "$dir/server.log" 2>/dev/null && return 1
    sleep 0.1
  done
  return 1
}

mariadb_cluster_start() {
  local dir port tries=0
  command -v mariadbd >/dev/null 2>&1 || {
    echo "mariadbcluster: no MariaDB server (package mariadb-server)" >&2
    return 1
  }
  dir=$(mktemp -d "${TMPDIR:-/tmp}/reservation-mariadb.XXXXXX")
  mkdir "$dir/sock"
  [ "$(id -u)" -eq 0 ] && chown -R mysql: "$dir"
  chmod 755 "$dir"
  MARIADB_CLUSTER_DIR=$dir

  _mariadb_as_owner mariadb-install-db --no-defaults --datadir="$dir/data" \
    --auth-root-authentication-method=normal --skip-test-db \
    --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 >"$dir/install.log" 2>&1 || {
    cat "$dir/install.log" >&2
    return 1
  }

  while :; do
    tries=$((tries + 1))
    port=$((20000 + RANDOM % 30000))
    _mariadb_port_in_use "$port" && continue
    if _mariadb_launch "$port" --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
        --sync-frm=0 --innodb-flush-method=nosync; then
      break
    fi
    # Another process may have taken the port between the check and the start.
    if [ "$tries" -ge 5 ]; then
      echo "mariadbcluster: the server did not start:" >&2
      cat "$dir/server.log" >&2
      return 1
    fi
  done

  local client=(mariadb --no-defaults --protocol=socket --socket="$dir/sock/mysqld.sock" -uroot)
  "${client[@]}" <<'SQL' || return 1
create user 'sa'@'127.0.0.1' identified by '';
create user 'sa'@'localhost' identified by '';
grant all on *.* to 'sa'@'127.0.0.1' with grant option;
grant all on *.* to 'sa'@'localhost' with grant option;
create database velmar_template character set gbk collate gbk_bin;
SQL
  "${client[@]}" velmar_template <"$_mariadb_cluster_root/db/mariadb/schema.sql" || return 1
  "${client[@]}" --default-character-set=utf8mb4 velmar_template \
    <"$_mariadb_cluster_root/db/seed.sql" || return 1

  export RESERVATION_TEST_MARIADB_HOST=127.0.0.1
  export RESERVATION_TEST_MARIADB_PORT=$port
  export RESERVATION_TEST_MARIADB_USER=sa
  export RESERVATION_TEST_MARIADB_TEMPLATE=velmar_template
  echo "mariadbcluster: MariaDB on 127.0.0.1:$port ($dir)" >&2
}

# Starts the server of MARIADB_CLUSTER_DIR again on port $1, keeping what it
# acknowledges across a hard stop, as a real server does.
mariadb_cluster_restart() {
  _mariadb_launch "$1" --innodb-flush-log-at-trx-commit=1
}

# Waits until the server process $1 has gone.
_mariadb_wait_gone() {
  local i
  for i in $(seq 1 600); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.05
  done
  return 1
}

# Kills the server at once (no clean shutdown) and waits until it is gone.
# As root the shell's child is runuser; the server's own pid is in its file.
mariadb_cluster_kill() {
  local pid
  pid=$(_mariadb_pid)
  [ -n "$pid" ] || return 0
  kill -KILL "$pid" 2>/dev/null
  _mariadb_wait_gone "$pid"
}

# Stops the server cleanly: everything acknowledged so far is on disk.
mariadb_cluster_shutdown() {
  local pid
  pid=$(_mariadb_pid)
  [ -n "$pid" ] || return 0
  _mariadb_admin shutdown >/dev/null 2>&1
  _mariadb_wait_gone "$pid"
}

mariadb_cluster_stop() {
  if [ -n "${MARIADB_CLUSTER_DIR:-}" ] && [ -d "$MARIADB_CLUSTER_DIR" ]; then
    mariadb_cluster_kill
    rm -rf "$MARIADB_CLUSTER_DIR"
  fi
  unset MARIADB_CLUSTER_DIR RESERVATION_TEST_MARIADB_HOST \
    RESERVATION_TEST_MARIADB_PORT RESERVATION_TEST_MARIADB_USER RESERVATION_TEST_MARIADB_TEMPLATE
}
