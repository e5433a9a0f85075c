#!/usr/bin/env bash
# Starts the mail test servers on loopback and prints their QM_* addresses:
#  - Dovecot POP3 (STLS on the plain port, POP3S on another, APOP allowed),
#  - a second Dovecot without APOP and without TLS,
#  - the SMTP server (tests/servers/smtp_server.py) with STARTTLS and implicit TLS.
# When run as root the TLS services also listen on the standard ports 995 and 465 of a
# random 127.x.y.z address, so the "port means implicit TLS" rules can be tested.
# Users: u01..u99 with passwords p01..p99, plus bench/benchpw and bench2/bench2pw (the benchmarks), aspace/"a secret"; for SMTP also colon/"pa:ss:word".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
D=$QM_SERVERS_DIR/mail
mkdir -p "$D"
chmod 755 "$D"
PY=/usr/bin/python3

# Free ports on 127.0.0.1, and a loopback address whose 995 and 465 are free.
read -r P_POP3 P_POP3S P_NOAPOP P_SMTP P_SMTPS STD_HOST < <("$PY" - "$(id -u)" <<'PYEOF'
import random, socket, sys
socks = []
ports = []
for _ in range(5):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); socks.append(s); ports.append(s.getsockname()[1])
host = "-"
if sys.argv[1] == "0":
    for _ in range(50):
        cand = "127.%d.%d.%d" % (random.randint(100, 250), random.randint(0, 255), random.randint(1, 254))
        try:
            for p in (995, 465):
                t = socket.socket(); t.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                t.bind((cand, p)); t.close()
            host = cand
            break
        except OSError:
            continue
for s in socks: s.close()
print(*ports, host)
PYEOF
)

# TLS: a test CA, a server certificate for localhost and the loopback addresses, and an
# unrelated CA that must not be trusted.
T=$D/tls
mkdir -p "$T"
san="DNS:localhost,IP:127.0.0.1"
[ "$STD_HOST" != "-" ] && san="$san,IP:$STD_HOST"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
  -subj "/CN=quillmarc test CA" -keyout "$T/ca.key" -out "$T/ca.crt" 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
  -subj "/CN=untrusted test CA" -keyout "$T/other-ca.key" -out "$T/other-ca.crt" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=localhost" \
  -keyout "$T/server.key" -out "$T/server.csr" 2>/dev/null
printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" > "$T/ext.cnf"
openssl x509 -req -in "$T/server.csr" -CA "$T/ca.crt" -CAkey "$T/ca.key" -CAcreateserial \
  -days 30 -extfile "$T/ext.cnf" -out "$T/server.crt" 2>/dev/null
chmod 644 "$T"/*.crt "$T"/*.key

# Users and their Maildirs, owned by the mail uid Dovecot runs as.
MAILUID=65534
M=$D/mail
mkdir -p "$M"
: > "$D/passwd"
: > "$D/smtp-users"
add_user() {
  # passwd-file cannot hold a ":" in a password: such users exist for SMTP only.
  case "$2" in *:*) ;; *) printf '%s:{PLAIN}%s::::::\n' "$1" "$2" >> "$D/passwd" ;; esac
  printf '%s\t%s\n' "$1" "$2" >> "$D/smtp-users"
  mkdir -p "$M/$1/Maildir/tmp" "$M/$1/Maildir/new" "$M/$1/Maildir/cur"
}
for i in $(seq -w 1 99); do add_user "u$i" "p$i"; done
add_user bench benchpw
add_user bench2 bench2pw
add_user colon 'pa:ss:word'
add_user aspace 'a secret' # a password that begins with "a ", as an APOP marker once did
chown -R "$MAILUID:$MAILUID" "$M" 2>/dev/null || chmod -R a+rwX "$M"
chmod 755 "$M"

write_conf() { # name listeners-block mechanisms ssl
  local dir=$D/$1
  mkdir -p "$dir/run" "$dir/state"
  cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
instance_name = qm-$1-$$
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = $4
ssl_cert = <$T/server.crt
ssl_key = <$T/server.key
disable_plaintext_auth = no
auth_mechanisms = $3
auth_failure_delay = 0
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $D/passwd
}
userdb {
  driver = static
  args = uid=$MAILUID gid=$MAILUID home=$M/%u
}
mail_location = maildir:~/Maildir
first_valid_uid = 1
pop3_uidl_format = %08Xu%08Xv
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
$2
}
CONF
}
std_pop=""
[ "$STD_HOST" != "-" ] && std_pop="  inet_listener pop3std {
    address = $STD_HOST
    port = 995
    ssl = yes
  }"
write_conf pop3 "  inet_listener pop3 {
    address = 127.0.0.1
    port = $P_POP3
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $P_POP3S
    ssl = yes
  }
$std_pop" "plain login apop" yes
write_conf noapop "  inet_listener pop3 {
    address = 127.0.0.1
    port = $P_NOAPOP
  }
  inet_listener pop3s {
    port = 0
  }" "plain login" no

for inst in pop3 noapop; do
  setsid /usr/sbin/dovecot -F -c "$D/$inst/dovecot.conf" > "$D/$inst/stdout.log" 2>&1 &
  echo $! >> "$QM_SERVERS_DIR/pids"
done

tls_args=(--tls "127.0.0.1:$P_SMTPS")
[ "$STD_HOST" != "-" ] && tls_args+=(--tls "$STD_HOST:465")
mkdir -p "$D/spool"
setsid "$PY" "$here/smtp_server.py" --port "$P_SMTP" "${tls_args[@]}" \
  --cert "$T/server.crt" --key "$T/server.key" --spool "$D/spool" --users "$D/smtp-users" \
  --refused-domain refused.example --unknown-domain nouser.example > "$D/smtp.log" 2>&1 &
echo $! >> "$QM_SERVERS_DIR/pids"

wait_port() { # host port
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "mail servers: nothing answers on $1:$2; see $D" >&2
  return 1
}
for p in "$P_POP3" "$P_POP3S" "$P_NOAPOP" "$P_SMTP" "$P_SMTPS"; do wait_port 127.0.0.1 "$p"; done
if [ "$STD_HOST" != "-" ]; then wait_port "$STD_HOST" 995; wait_port "$STD_HOST" 465; fi

echo "QM_POP3_HOST=127.0.0.1"
echo "QM_POP3_PORT=$P_POP3"
echo "QM_POP3S_PORT=$P_POP3S"
echo "QM_POP3_NOAPOP_PORT=$P_NOAPOP"
echo "QM_SMTP_HOST=127.0.0.1"
echo "QM_SMTP_PORT=$P_SMTP"
echo "QM_SMTPS_PORT=$P_SMTPS"
if [ "$STD_HOST" != "-" ]; then
  echo "QM_MAIL_STD_PORTS_HOST=$STD_HOST"
fi
echo "QM_MAILDIR_ROOT=$M"
echo "QM_SMTP_SPOOL=$D/spool"
echo "QM_SMTP_REFUSED_DOMAIN=refused.example"
echo "QM_SMTP_UNKNOWN_DOMAIN=nouser.example"
echo "QM_SMTP_USER=colon"
echo "QM_SMTP_PASSWORD=pa:ss:word"
echo "QM_TEST_CA=$T/ca.crt"
echo "QM_TEST_OTHER_CA=$T/other-ca.crt"
echo "QM_CA_FILE=$T/ca.crt"
