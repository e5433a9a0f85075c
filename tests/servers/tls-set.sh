# Sourced by start-*.sh: makes in $1 a private CA (ca.crt), a server certificate it signed for
# localhost and 127.0.0.1 (server.crt/key), one it signed for another name (wrong.crt/key)
# and a self-signed one for localhost (self.crt/key). $2 names the CA.
make_tls_set() {
  local T=$1 name=$2
  mkdir -p "$T"
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -days 30 -subj "/CN=$name" -keyout "$T/ca.key" -out "$T/ca.crt" 2>/dev/null
  local leaf cn san
  for leaf in server wrong; do
    if [ "$leaf" = server ]; then cn=localhost san="DNS:localhost,IP:127.0.0.1"; else cn=wrong.example san="DNS:wrong.example"; fi
    openssl req "${ec[@]}" -subj "/CN=$cn" -keyout "$T/$leaf.key" -out "$T/$leaf.csr" 2>/dev/null
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" > "$T/$leaf.cnf"
    openssl x509 -req -in "$T/$leaf.csr" -CA "$T/ca.crt" -CAkey "$T/ca.key" -CAcreateserial \
      -days 30 -extfile "$T/$leaf.cnf" -out "$T/$leaf.crt" 2>/dev/null
  done
  openssl req -x509 "${ec[@]}" -days 30 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -keyout "$T/self.key" -out "$T/self.crt" 2>/dev/null
  chmod 644 "$T"/*.crt "$T"/*.key
}

# Free ports on 127.0.0.1, as many as asked.
free_ports() {
  /usr/bin/python3 - "$1" <<'PYEOF'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])
for s in socks: s.close()
PYEOF
}

wait_port() { # host port
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "nothing answers on $1:$2" >&2
  return 1
}
