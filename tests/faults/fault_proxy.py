#!/usr/bin/env python3
"""Fault-injecting TCP proxy for the mail tests, in front of the real POP3/SMTP servers.

    fault_proxy.py TARGET_HOST TARGET_PORT MODE_FILE

Listens on a free port of 127.0.0.1 and prints it on the first line of stdout, then a line
"accepted" for every connection it takes. Each new connection reads MODE_FILE (one word) and keeps that mode until it ends:
  pass         relay both ways
  drop-retr    close both sides when the client sends RETR
  drop-dele    relay a DELE to the server, then close both sides before its answer
  refuse-data  SMTP: take the message text, answer 451 instead of passing the final dot
  silent       accept and never answer
STARTTLS/STLS are removed from the capability answers so the commands stay readable.
"""
import socket
import sys
import threading


def read_mode(path):
    try:
        with open(path) as f:
            return f.read().strip() or "pass"
    except OSError:
        return "pass"


def strip_tls_line(line):
    """None drops the line. A last "250 STARTTLS" becomes a harmless unknown keyword."""
    upper = line.upper()
    if upper in (b"STLS", b"250-STARTTLS"):
        return None
    if upper == b"250 STARTTLS":
        return b"250 X-NOTLS"
    return line


class Session:
    def __init__(self, client, target, mode):
        self.client = client
        self.mode = mode
        self.closed = threading.Event()
        self.server = None
        if mode != "silent":
            self.server = socket.create_connection(target)

    def close(self):
        self.closed.set()
        for s in (self.client, self.server):
            if s is not None:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()

    def upstream(self):
        """Client to server, line by line so commands can be seen."""
        buf = b""
        in_data = False
        try:
            while not self.closed.is_set():
                chunk = self.client.recv(65536)
                if not chunk:
                    break
                if self.server is None:
                    continue
                buf += chunk
                while b"\r\n" in buf:
                    line, buf = buf.split(b"\r\n", 1)
                    word = line.split(b" ", 1)[0].upper()
                    if in_data:
                        if line == b".":
                            in_data = False
                            self.client.sendall(b"451 4.3.0 temporary failure, try later\r\n")
                            self.server.close()
                            self.server = None
                            self.answer_alone()
                            return
                        continue
                    if self.mode == "drop-retr" and word == b"RETR":
                        self.close()
                        return
                    if self.mode == "refuse-data" and word == b"DATA":
                        in_data = True
                        self.client.sendall(b"354 go ahead\r\n")
                        continue
                    self.server.sendall(line + b"\r\n")
                    if self.mode == "drop-dele" and word == b"DELE":
                        self.close()
                        return
        except OSError:
            pass
        self.close()

    def answer_alone(self):
        """After a refused message: answer the client's remaining commands ourselves."""
        buf = b""
        try:
            while True:
                chunk = self.client.recv(4096)
                if not chunk:
                    break
                buf += chunk
                while b"\r\n" in buf:
                    line, buf = buf.split(b"\r\n", 1)
                    if line.upper().startswith(b"QUIT"):
                        self.client.sendall(b"221 bye\r\n")
                        self.close()
                        return
                    self.client.sendall(b"250 ok\r\n" if line.upper().startswith(b"RSET")
                                        else b"503 bad sequence\r\n")
        except OSError:
            pass
        self.close()

    def downstream(self):
        buf = b""
        try:
            while not self.closed.is_set():
                server = self.server
                if server is None:
                    return
                chunk = server.recv(65536)
                if not chunk:
                    break
                # Whole lines only: a reply split across reads must not be edited in halves.
                buf += chunk
                out = b""
                while b"\r\n" in buf:
                    line, buf = buf.split(b"\r\n", 1)
                    line = strip_tls_line(line)
                    if line is not None:
                        out += line + b"\r\n"
                if out:
                    self.client.sendall(out)
        except OSError:
            return
        if self.server is not None:
            self.close()


def main():
    host, port, mode_file = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        print("accepted", flush=True)
        try:
            session = Session(client, (host, port), read_mode(mode_file))
        except OSError:
            client.close()
            continue
        threading.Thread(target=session.upstream, daemon=True).start()
        if session.server is not None:
            threading.Thread(target=session.downstream, daemon=True).start()


if __name__ == "__main__":
    main()
