#!/usr/bin/env bash
# Starts a private HylaFAX queue (faxq + hfaxd on 127.0.0.1) on a copy of the spool
# in the state folder, so tests never touch the system's queue. No modem is needed:
# jobs stay queued and can be inspected with faxstat or in sendq/.
# Prints QM_HYLAFAX_HOST (host:port for the clients' -h) and QM_HYLAFAX_SPOOL.
# Prints nothing when HylaFAX is not installed or not run as root (tests then skip).
set -euo pipefail
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
if [ ! -x /usr/sbin/faxq ] || [ ! -x /usr/sbin/hfaxd ] || ! command -v faxstat >/dev/null; then
  echo "HylaFAX is not installed; fax queue tests will skip" >&2
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "HylaFAX needs root to switch to its spool owner; fax queue tests will skip" >&2
  exit 0
fi
D=$QM_SERVERS_DIR/hylafax
rm -rf "$D"
mkdir -p "$D"
chmod 755 "$D"
S=$D/spool
# The spool skeleton (owned by uucp) plus the configuration the daemons expect in etc/.
cp -a /var/spool/hylafax "$S"
find "$S/sendq" "$S/doneq" "$S/docq" "$S/log" "$S/status" "$S/info" -mindepth 1 -delete 2>/dev/null || true
rm -f "$S"/FIFO*
cp -a /etc/hylafax/. "$S/etc/"
# No mail for failed or removed jobs: there is no mail system to take it here.
printf 'NotifyCmd:\t/bin/true\n' >> "$S/etc/config"

PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cd "$S"
/usr/sbin/faxq -q "$S" -D >"$D/faxq.log" 2>&1 </dev/null &
echo $! >>"$QM_SERVERS_DIR/pids"
/usr/sbin/hfaxd -q "$S" -d -l 127.0.0.1 -i "$PORT" >"$D/hfaxd.log" 2>&1 </dev/null &
echo $! >>"$QM_SERVERS_DIR/pids"
cd /

# faxstat exits 0 even when it cannot connect: wait for its text.
for _ in $(seq 1 100); do
  if faxstat -h "127.0.0.1:$PORT" </dev/null 2>&1 | grep -q 'scheduler on .*: Running'; then
    echo "QM_HYLAFAX_HOST=127.0.0.1:$PORT"
    echo "QM_HYLAFAX_SPOOL=$S"
    exit 0
  fi
  sleep 0.1
done
echo "HylaFAX did not come up; see $D/*.log" >&2
exit 1
