#!/usr/bin/env bash
# Starts Exim 4 (Debian's exim4-daemon-light) in the foreground with a configuration of its own,
# on 127.0.0.1 only, and prints its QM_EXIM_* addresses. The system's Exim is never used: its
# configuration, spool and logs are all below $QM_SERVERS_DIR/exim.
# Ports: STARTTLS (certificate from a private CA), TLS from the first byte, STARTTLS with a
# self-signed certificate, STARTTLS with a certificate for another host name, and one that
# offers no TLS. AUTH PLAIN, LOGIN and CRAM-MD5 for u01..u99 / p01..p99.
# Kept as Exim ships: smtp_accept_queue_per_connection = 10 (the 11th message on a connection
# is queued, not delivered; no queue runner runs here).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QM_SERVERS_DIR:?run through tests/servers/run.sh}"
. "$here/tls-set.sh"
D=$QM_SERVERS_DIR/exim
mkdir -p "$D/spool" "$D/log" "$D/deliver"
make_tls_set "$D/tls" "quillmarc exim test CA"
read -r P_STARTTLS P_TLS P_SELF P_WRONG P_PLAIN < <(free_ports 5)
: > "$D/users"
for i in $(seq -w 1 99); do printf 'u%s: p%s\n' "$i" "$i" >> "$D/users"; done
# Exim gives up root for a configuration named with -C and runs as its own user.
chown -R Debian-exim:Debian-exim "$D"
chmod 755 "$D"
cat > "$D/exim.conf" <<CONF
primary_hostname = localhost
exim_path = /usr/sbin/exim4
keep_environment =
spool_directory = $D/spool
log_file_path = $D/log/%slog
pid_file_path = $D/exim.pid
daemon_smtp_ports = $P_STARTTLS : $P_TLS : $P_SELF : $P_WRONG : $P_PLAIN
local_interfaces = <; 127.0.0.1.$P_STARTTLS ; 127.0.0.1.$P_TLS ; 127.0.0.1.$P_SELF ; 127.0.0.1.$P_WRONG ; 127.0.0.1.$P_PLAIN
tls_on_connect_ports = $P_TLS
tls_advertise_hosts = \${if eq{\$received_port}{$P_PLAIN}{}{*}}
tls_certificate = \${if eq{\$received_port}{$P_SELF}{$D/tls/self.crt}{\${if eq{\$received_port}{$P_WRONG}{$D/tls/wrong.crt}{$D/tls/server.crt}}}}
tls_privatekey = \${if eq{\$received_port}{$P_SELF}{$D/tls/self.key}{\${if eq{\$received_port}{$P_WRONG}{$D/tls/wrong.key}{$D/tls/server.key}}}}
auth_advertise_hosts = *
message_size_limit = 2M
smtp_accept_queue_per_connection = 10
host_lookup = :
rfc1413_hosts = :
acl_smtp_mail = acl_mail
acl_smtp_rcpt = acl_rcpt
begin acl
acl_mail:
  deny    sender_domains = needauth.example
          !authenticated = *
          message = 530 5.7.0 Authentication required
  accept
acl_rcpt:
  deny    domains = nouser.example
          message = 550 5.1.1 No such user here
  accept
begin routers
all:
  driver = accept
  transport = files
begin transports
files:
  driver = appendfile
  directory = $D/deliver
  maildir_format
  envelope_to_add
  return_path_add
  user = Debian-exim
  group = Debian-exim
  mode = 0644
begin authenticators
plain:
  driver = plaintext
  public_name = PLAIN
  server_prompts = :
  server_condition = \${if eq{\$auth3}{\${lookup{\$auth2}lsearch{$D/users}{\$value}fail}}}
  server_set_id = \$auth2
login:
  driver = plaintext
  public_name = LOGIN
  server_prompts = Username:: : Password::
  server_condition = \${if eq{\$auth2}{\${lookup{\$auth1}lsearch{$D/users}{\$value}fail}}}
  server_set_id = \$auth1
cram:
  driver = cram_md5
  public_name = CRAM-MD5
  server_secret = \${lookup{\$auth1}lsearch{$D/users}{\$value}fail}
  server_set_id = \$auth1
CONF
setsid /usr/sbin/exim4 -C "$D/exim.conf" -bdf > "$D/stdout.log" 2>&1 &
echo $! >> "$QM_SERVERS_DIR/pids"
for p in "$P_STARTTLS" "$P_TLS" "$P_SELF" "$P_WRONG" "$P_PLAIN"; do wait_port 127.0.0.1 "$p"; done
echo "QM_EXIM_PORT=$P_STARTTLS"
echo "QM_EXIM_TLS_PORT=$P_TLS"
echo "QM_EXIM_SELF_SIGNED_PORT=$P_SELF"
echo "QM_EXIM_WRONG_NAME_PORT=$P_WRONG"
echo "QM_EXIM_PLAIN_PORT=$P_PLAIN"
echo "QM_EXIM_CA=$D/tls/ca.crt"
echo "QM_EXIM_SELF_CERT=$D/tls/self.crt"
echo "QM_EXIM_DELIVERED=$D/deliver/new"
