#!/usr/bin/env bash
# Starts GNU Mailutils pop3d in the foreground with a configuration of its own, on 127.0.0.1
# only, and prints its QM_POP3D_* addresses. The package's own service is never started.
# Ports: STLS (certificate from a private CA), TLS from the first byte, TLS from the first byte
# with a self-signed certificate and with a certificate for another host name, and one that
# offers no STLS. Users are virtual: log in as u01@test.example .. u99@test.example with
# p01..p99 (USER/PASS or APOP); mail for uNN goes into $QM_POP3D_MAILDIR_ROOT/uNN/INBOX/new.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
. "$here/tls-set.sh"
D=$QM_SERVERS_DIR/pop3d
mkdir -p "$D/vd" "$D/mail"
chmod 755 "$D"
make_tls_set "$D/tls" "quillmarc pop3d test CA"
read -r P_STLS P_TLS P_SELF P_WRONG P_PLAIN < <(free_ports 5)
users=$(seq -f 'u%02g' 1 99)
# Virtual domain: a passwd file named after the domain, crypt(3) passwords.
# The mailbox is the home folder's INBOX (a Maildir).
paste -d: <(echo "$users") <(seq -f 'p%02g' 1 99 | openssl passwd -6 -stdin) |
  awk -F: -v m="$D/mail" '{ print $1 ":" $2 ":65534:65534::" m "/" $1 ":/bin/false" }' > "$D/vd/test.example"
# APOP needs the passwords themselves, in a database of its own.
paste -d' ' <(echo "$users" | sed 's/$/@test.example/') <(seq -f 'p%02g' 1 99) > "$D/apop.txt"
popauth -c -f "$D/apop.txt" -o "$D/apop.db" -P 600
for u in $users; do mkdir -p "$D/mail/$u/INBOX/new" "$D/mail/$u/INBOX/cur" "$D/mail/$u/INBOX/tmp"; done
chmod -R a+rwX "$D/mail"
tls_block() { # cert key
  printf 'tls { ssl-certificate-file %s; ssl-key-file %s; }\n' "$1" "$2"
}
T=$D/tls
cat > "$D/pop3d.conf" <<CONF
mode daemon;
foreground yes;
pidfile $D/pop3d.pid;
logging { syslog no; }
auth { authentication generic; authorization virtdomain; }
virtdomain { passwd-dir $D/vd; }
mailbox { mailbox-type maildir; }
mandatory-locking { enable no; }
apop-database-file $D/apop.db;
tls-file-checks { key-file none; cert-file none; ca-file none; }
login-delay 0;
server 127.0.0.1:$P_STLS { tls-mode ondemand; $(tls_block "$T/server.crt" "$T/server.key") }
server 127.0.0.1:$P_TLS { tls-mode connection; $(tls_block "$T/server.crt" "$T/server.key") }
server 127.0.0.1:$P_SELF { tls-mode connection; $(tls_block "$T/self.crt" "$T/self.key") }
server 127.0.0.1:$P_WRONG { tls-mode connection; $(tls_block "$T/wrong.crt" "$T/wrong.key") }
server 127.0.0.1:$P_PLAIN { tls-mode false; }
CONF
setsid /usr/sbin/pop3d --config-file="$D/pop3d.conf" > "$D/pop3d.log" 2>&1 &
echo $! >> "$QM_SERVERS_DIR/pids"
for p in "$P_STLS" "$P_TLS" "$P_SELF" "$P_WRONG" "$P_PLAIN"; do wait_port 127.0.0.1 "$p"; done
echo "QM_POP3D_PORT=$P_STLS"
echo "QM_POP3D_TLS_PORT=$P_TLS"
echo "QM_POP3D_SELF_SIGNED_PORT=$P_SELF"
echo "QM_POP3D_WRONG_NAME_PORT=$P_WRONG"
echo "QM_POP3D_PLAIN_PORT=$P_PLAIN"
echo "QM_POP3D_CA=$T/ca.crt"
echo "QM_POP3D_SELF_CERT=$T/self.crt"
echo "QM_POP3D_MAILDIR_ROOT=$D/mail"
echo "QM_POP3D_DOMAIN=test.example"
