#!/usr/bin/env bash
# Starts a private cupsd (own folders, unix socket and a free port on 127.0.0.1) whose
# default printer is a file:// PDF queue, so programs print exactly as to a real
# default printer and the tests read the PDF it writes.
# Prints QM_CUPS_SERVER (for CUPS_SERVER), QM_CUPS_PRINTER and QM_CUPS_OUTPUT (the PDF).
# Prints nothing when CUPS is not installed (print tests then skip outside CI).
set -euo pipefail
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
PPD=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
if ! command -v cupsd >/dev/null || ! command -v lpadmin >/dev/null || [ ! -f "$PPD" ]; then
  echo "CUPS is not installed; print tests will skip" >&2
  exit 0
fi
D=$QM_SERVERS_DIR/cups
rm -rf "$D"
mkdir -p "$D"/{etc/ppd,etc/ssl,spool/tmp,cache,state,log,out,run}
chmod 755 "$D" "$D/out"
# Jobs are written by the filters as user lp.
chown lp "$D/out" 2>/dev/null || chmod 777 "$D/out"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$D/etc/cups-files.conf" <<CONF
ServerRoot $D/etc
RequestRoot $D/spool
TempDir $D/spool/tmp
CacheDir $D/cache
StateDir $D/state
ErrorLog $D/log/error_log
AccessLog $D/log/access_log
PageLog $D/log/page_log
Printcap $D/state/printcap
User lp
Group lp
SystemGroup root
FileDevice Yes
CONF
cat >"$D/etc/cupsd.conf" <<CONF
LogLevel warn
Listen $D/run/cups.sock
Listen 127.0.0.1:$PORT
Browsing No
WebInterface No
<Location />
  Order allow,deny
  Allow localhost
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cupsd -f -c "$D/etc/cupsd.conf" -s "$D/etc/cups-files.conf" >"$D/log/cupsd.out" 2>&1 </dev/null &
echo $! >>"$QM_SERVERS_DIR/pids"
export CUPS_SERVER=$D/run/cups.sock
for _ in $(seq 1 100); do
  lpstat -r 2>/dev/null | grep -q 'is running' && break
  sleep 0.05
done
lpstat -r 2>/dev/null | grep -q 'is running' || { echo "cupsd did not come up; see $D/log" >&2; exit 1; }

# Server default (lpadmin -d), never lpoptions: that would write ~/.cups of the user.
lpadmin -p QmTestPDF -E -v "file://$D/out/print.pdf" -P "$PPD" -o PageSize=A4 2>/dev/null
lpadmin -d QmTestPDF
echo "QM_CUPS_SERVER=$D/run/cups.sock"
echo "QM_CUPS_PRINTER=QmTestPDF"
echo "QM_CUPS_OUTPUT=$D/out/print.pdf"
