#!/usr/bin/python3
"""SMTP server for the mail tests.

Accepts mail with or without AUTH (PLAIN, LOGIN, CRAM-MD5), offers STARTTLS on the
plain port and implicit TLS on the TLS ports, refuses every sender of one domain
with 521 and every recipient of another with 550 (no such user), and stores each accepted mail as a folder <spool>/<id>/ holding
message.eml (the bytes received) and envelope.json (sender, recipients, AUTH user).
With --oauth-jwks it takes only OAuth 2.0 bearer tokens (XOAUTH2, OAUTHBEARER), checked
against the authorization server's keys and issuer; the token must name the login user.
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


class OAuthSMTP(SMTP):
    """Bearer tokens only; a JWT of a kilobyte or more must fit on the AUTH line."""
    line_length_limit = 12288
    command_size_limit = 12288
    keys = None
    issuer = None

    def check_token(self, user, token):
        try:
            header = jwt.get_unverified_header(token)
            key = self.keys[header.get("kid")]
            claims = jwt.decode(token, key=key, algorithms=["RS256"], issuer=self.issuer,
                                options={"verify_aud": False})
        except Exception:
            return False
        return claims.get("sub") == user

    async def finish(self, user, token):
        if user and token and self.check_token(user, token):
            return AuthResult(success=True, auth_data=LoginPassword(user.encode(), b""))
        failure = json.dumps({"status": "invalid_token", "schemes": "bearer"})
        await self.challenge_auth(failure)
        return AuthResult(success=False, handled=False)

    async def initial(self, args):
        if len(args) == 2:
            try:
                return base64.b64decode(args[1], validate=True)
            except ValueError:
                return None
        return await self.challenge_auth("")

    @auth_mechanism("XOAUTH2")
    async def auth_XOAUTH2(self, server, args):
        data = await self.initial(args)
        if not isinstance(data, bytes):
            return AuthResult(success=False)
        fields = dict(f.split("=", 1) for f in data.decode("utf-8", "replace").split("\x01") if "=" in f)
        token = fields.get("auth", "")
        return await self.finish(fields.get("user"), token[7:] if token.startswith("Bearer ") else "")

    @auth_mechanism("OAUTHBEARER")
    async def auth_OAUTHBEARER(self, server, args):
        data = await self.initial(args)
        if not isinstance(data, bytes):
            return AuthResult(success=False)
        parts = data.decode("utf-8", "replace").split("\x01")
        gs2 = parts[0].split(",")
        user = next((g[2:] for g in gs2 if g.startswith("a=")), None)
        fields = dict(f.split("=", 1) for f in parts[1:] if "=" in f)
        token = fields.get("auth", "")
        return await self.finish(user, token[7:] if token.startswith("Bearer ") else "")


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
    ap.add_argument("--oauth-jwks", help="JWKS file: take only bearer tokens signed by its keys")
    ap.add_argument("--oauth-issuer")
    args = ap.parse_args()
    smtp_class = TestSMTP
    exclude = []
    if args.oauth_jwks:
        global jwt
        import jwt
        with open(args.oauth_jwks, encoding="utf-8") as f:
            keys = json.load(f)["keys"]
        OAuthSMTP.keys = {k["kid"]: jwt.algorithms.RSAAlgorithm.from_jwk(json.dumps(k)) for k in keys}
        OAuthSMTP.issuer = args.oauth_issuer
        smtp_class = OAuthSMTP
        exclude = ["PLAIN", "LOGIN"]

    TestSMTP.users = load_users(args.users)
    handler = Handler(args.spool, args.refused_domain, args.unknown_domain)
    authenticator = Authenticator(TestSMTP.users)
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(args.cert, args.key)

    def factory(starttls):
        return lambda: smtp_class(
            handler,
            hostname="localhost",
            tls_context=tls if starttls else None,
            require_starttls=False,
            auth_required=False,
            auth_require_tls=False,
            authenticator=authenticator,
            data_size_limit=200 * 1024 * 1024,
            timeout=60,
            auth_exclude_mechanism=exclude,
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
