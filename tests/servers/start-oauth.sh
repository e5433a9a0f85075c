#!/usr/bin/env bash
# Starts the sign-in test servers on loopback and prints their QM_OAUTH_* addresses:
#  - the authorization server (tests/servers/oauth/server.mjs, HTTPS with the mail servers'
#    test CA): authorization code with PKCE, device code, client credentials, refresh;
#    access tokens live QM_OAUTH_TTL seconds (15 unless set), so tests can outlive one,
#  - Dovecot POP3 taking only bearer tokens, checked against the server's key (one instance
#    offering XOAUTH2 and OAUTHBEARER, one offering XOAUTH2 alone),
#  - the SMTP test server taking only bearer tokens (XOAUTH2 and OAUTHBEARER).
# Users: any of the mail servers' u01..u99 (the login page takes any password); tokens of
# the client-credentials client qm-service name the mailbox u61.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
D=$QM_SERVERS_DIR/oauth
M=$QM_SERVERS_DIR/mail/mail # the Maildirs of start-mail.sh
T=$QM_SERVERS_DIR/mail/tls
mkdir -p "$D/keys"
chmod 755 "$D" "$D/keys"
PY=/usr/bin/python3
MAILUID=65534

if [ ! -d "$here/oauth/node_modules/oidc-provider" ]; then
  (cd "$here/oauth" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi

read -r P_AUTH P_POP P_POPX P_SMTP < <("$PY" - <<'PYEOF'
import socket
socks = [socket.socket() for _ in range(4)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])
for s in socks: s.close()
PYEOF
)
ISSUER=https://127.0.0.1:$P_AUTH

setsid node "$here/oauth/server.mjs" --port "$P_AUTH" --cert "$T/server.crt" --key "$T/server.key" \
  --keys "$D/keys" --ttl "${QM_OAUTH_TTL:-15}" > "$D/auth.log" 2>&1 &
echo $! >> "$QM_SERVERS_DIR/pids"
for _ in $(seq 1 100); do
  [ -s "$D/keys/jwks.json" ] && (exec 3<>"/dev/tcp/127.0.0.1/$P_AUTH") 2>/dev/null && break
  sleep 0.1
done
[ -s "$D/keys/jwks.json" ] || { echo "authorization server did not start; see $D/auth.log" >&2; exit 1; }
chmod -R a+rX "$D/keys"

write_conf() { # name port mechanisms
  local dir=$D/$1
  mkdir -p "$dir/run" "$dir/state"
  cat > "$dir/oauth2.conf.ext" <<CONF
introspection_mode = local
local_validation_key_dict = fs:posix:prefix=$D/keys/
issuers = $ISSUER
username_attribute = sub
CONF
  cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
instance_name = qm-oauth-$1-$$
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$T/server.crt
ssl_key = <$T/server.key
disable_plaintext_auth = no
auth_mechanisms = $3
auth_failure_delay = 0
auth_verbose = yes
passdb {
  driver = oauth2
  mechanisms = $3
  args = $dir/oauth2.conf.ext
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
  inet_listener pop3 {
    address = 127.0.0.1
    port = $2
  }
  inet_listener pop3s {
    port = 0
  }
}
CONF
  setsid /usr/sbin/dovecot -F -c "$dir/dovecot.conf" > "$dir/stdout.log" 2>&1 &
  echo $! >> "$QM_SERVERS_DIR/pids"
}
write_conf pop "$P_POP" "xoauth2 oauthbearer"
write_conf popx "$P_POPX" "xoauth2"

mkdir -p "$D/spool"
: > "$D/no-users"
setsid "$PY" "$here/smtp_server.py" --port "$P_SMTP" --cert "$T/server.crt" --key "$T/server.key" \
  --spool "$D/spool" --users "$D/no-users" --oauth-jwks "$D/keys/jwks.json" \
  --oauth-issuer "$ISSUER" > "$D/smtp.log" 2>&1 &
echo $! >> "$QM_SERVERS_DIR/pids"

for p in "$P_POP" "$P_POPX" "$P_SMTP"; do
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && break
    sleep 0.1
  done
done

echo "QM_OAUTH_ISSUER=$ISSUER"
echo "QM_OAUTH_POP3_PORT=$P_POP"
echo "QM_OAUTH_POP3_XOAUTH2_PORT=$P_POPX"
echo "QM_OAUTH_SMTP_PORT=$P_SMTP"
echo "QM_OAUTH_SMTP_SPOOL=$D/spool"
echo "QM_OAUTH_LOGS=$D"
echo "QM_OAUTH_BROWSER=$here/oauth/browser.py"
