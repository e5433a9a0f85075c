#!/usr/bin/env bash
# Starts every test server, runs the given command with their addresses in the
# environment, then stops them all.
#
# Each tests/servers/start-*.sh is run with QM_SERVERS_DIR set to a fresh state
# folder. It must start its server in the background, append the pid(s) to
# $QM_SERVERS_DIR/pids, wait until the server answers, and print KEY=VALUE lines
# (for example QM_POP3_PORT=11110) that are exported for the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Dovecot needs every parent of its state folder to be traversable by its mail user.
own_dir=0
if [ -z "${QM_SERVERS_DIR:-}" ]; then
  QM_SERVERS_DIR=$(mktemp -d /tmp/qm-servers.XXXXXX)
  own_dir=1
fi
export QM_SERVERS_DIR
chmod 755 "$QM_SERVERS_DIR"
: > "$QM_SERVERS_DIR/pids"

stop_all() {
  if [ -f "$QM_SERVERS_DIR/pids" ]; then
    while read -r pid; do
      [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done < "$QM_SERVERS_DIR/pids"
    sleep 0.5
    while read -r pid; do
      [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    done < "$QM_SERVERS_DIR/pids"
  fi
  for stop in "$here"/stop-*.sh; do
    [ -e "$stop" ] && "$stop" || true
  done
  [ "$own_dir" = 1 ] && [ -z "${QM_KEEP_SERVERS_DIR:-}" ] && rm -rf "$QM_SERVERS_DIR"
  return 0
}
trap stop_all EXIT

for start in "$here"/start-*.sh; do
  [ -e "$start" ] || continue
  echo "Starting $(basename "$start" .sh)..."
  out=$("$start")
  while IFS= read -r kv; do
    case "$kv" in
      QM_*=*) export "${kv?}"; echo "  $kv" ;;
    esac
  done <<< "$out"
done

"$@"
