#!/usr/bin/python3
"""SMTP server for the mail tests.

Accepts mail with or without AUTH (PLAIN, LOGIN, CRAM-MD5), offers STARTTLS on the
plain port and implicit TLS on the TLS ports, refuses every sender of one domain
with 521 and every recipient of another with 550 (no such user), and stores each accepted mail as a folder <spool>/<id>/ holding
message.eml (the bytes received) and envelope.json (sender, recipients, AUTH user).
The folder is built under <spool>/tmp/ and renamed into place before 250 is sent,
so a client that got its reply can read the mail at once.
"""
import argparse
import asyncio
import base64
import hmac
import itertools
import json
import os
import secrets
import ssl
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, auth_mechanism


def load_users(path):
    users = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if "\t" in line:
                user, password = line.split("\t", 1)
                users[user] = password
    return users


class Authenticator:
    def __init__(self, users):
        self.users = users

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if isinstance(auth_data, LoginPassword):
            user = auth_data.login.decode("utf-8", "replace")
            password = auth_data.password.decode("utf-8", "replace")
            ok = self.users.get(user) == password
            return AuthResult(success=ok, handled=False, auth_data=auth_data)
        return AuthResult(success=False, handled=False)


class TestSMTP(SMTP):
    users = {}

    @auth_mechanism("CRAM-MD5")
    async def auth_CRAM__MD5(self, server, args):
        challenge = "<%d.%d@%s>" % (secrets.randbelow(10**9), int(time.time()), self.hostname)
        response = await self.challenge_auth(challenge)
        if response is None or not isinstance(response, bytes):
            return AuthResult(success=False)
        try:
            user, digest = response.decode("utf-8").rsplit(" ", 1)
        except ValueError:
            return AuthResult(success=False, handled=False)
        password = self.users.get(user)
        if password is None:
            return AuthResult(success=False, handled=False)
        expected = hmac.new(password.encode("utf-8"), challenge.encode("ascii"), "md5").hexdigest()
        if not hmac.compare_digest(expected, digest.lower()):
            return AuthResult(success=False, handled=False)
        return AuthResult(success=True, auth_data=LoginPassword(user.encode(), b""))


class Handler:
    def __init__(self, spool, refused_domain, unknown_domain):
        self.spool = spool
        self.refused_domain = refused_domain.lower()
        self.unknown_domain = unknown_domain.lower()
        self.counter = itertools.count(1)
        os.makedirs(os.path.join(spool, "tmp"), exist_ok=True)

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if address.lower().endswith("@" + self.refused_domain):
            return "521 5.7.1 Sender domain refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().endswith("@" + self.unknown_domain):
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        name = "%020d-%06d" % (time.time_ns(), next(self.counter))
        work = os.path.join(self.spool, "tmp", name)
        os.makedirs(work)
        with open(os.path.join(work, "message.eml"), "wb") as f:
            f.write(envelope.original_content or envelope.content)
        login = session.login_data
        if isinstance(login, bytes):
            login = login.decode("utf-8", "replace")
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "auth_user": login if session.authenticated else None,
        }
        with open(os.path.join(work, "envelope.json"), "w", encoding="utf-8") as f:
            json.dump(meta, f, ensure_ascii=False)
        os.rename(work, os.path.join(self.spool, name))
        return "250 Message accepted for delivery"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--tls", action="append", default=[], help="host:port with implicit TLS")
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--spool", required=True)
    ap.add_argument("--users", required=True)
    ap.add_argument("--refused-domain", default="refused.example")
    ap.add_argument("--unknown-domain", default="nouser.example")
    args = ap.parse_args()

    TestSMTP.users = load_users(args.users)
    handler = Handler(args.spool, args.refused_domain, args.unknown_domain)
    authenticator = Authenticator(TestSMTP.users)
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(args.cert, args.key)

    def factory(starttls):
        return lambda: TestSMTP(
            handler,
            hostname="localhost",
            tls_context=tls if starttls else None,
            require_starttls=False,
            auth_required=False,
            auth_require_tls=False,
            authenticator=authenticator,
            data_size_limit=200 * 1024 * 1024,
            timeout=60,
        )

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    servers = [loop.run_until_complete(loop.create_server(factory(True), args.host, args.port))]
    for hp in args.tls:
        host, port = hp.rsplit(":", 1)
        servers.append(loop.run_until_complete(
            loop.create_server(factory(False), host, int(port), ssl=tls)))
    try:
        loop.run_forever()
    finally:
        for s in servers:
            s.close()


if __name__ == "__main__":
    main()
