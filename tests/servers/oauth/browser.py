#!/usr/bin/python3
"""Plays the person at the browser for the sign-in tests: opens URL, signs in on the test
authorization server's own login page as USER, enters the device code when asked, and
gives consent, following the redirects (the last one reaches the program's loopback
listener in the code flow). Exit 0 once a page with no form is reached.

browser.py URL USER [USER_CODE]
"""
import html.parser
import os
import ssl
import sys
import urllib.parse
import urllib.request
from http.cookiejar import CookieJar


class Forms(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.forms = []
        self.current = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form":
            self.current = {"action": a.get("action", ""), "method": a.get("method", "get"),
                            "fields": {}, "submit": None}
        elif self.current is not None and tag == "input" and a.get("name"):
            if a.get("type") == "submit":
                if self.current["submit"] is None:
                    self.current["submit"] = (a["name"], a.get("value", ""))
            else:
                self.current["fields"][a["name"]] = a.get("value", "")
        elif self.current is not None and tag == "button" and a.get("name"):
            if self.current["submit"] is None:
                self.current["submit"] = (a["name"], a.get("value", ""))

    def handle_endtag(self, tag):
        if tag == "form" and self.current is not None:
            self.forms.append(self.current)
            self.current = None


def main():
    url, user = sys.argv[1], sys.argv[2]
    user_code = sys.argv[3] if len(sys.argv) > 3 else None
    tls = ssl.create_default_context(cafile=os.environ.get("QM_CA_FILE"))
    opener = urllib.request.build_opener(
        urllib.request.HTTPCookieProcessor(CookieJar()), urllib.request.HTTPSHandler(context=tls))
    response = opener.open(url, timeout=20)
    for _ in range(12):
        page = response.read().decode("utf-8", "replace")
        parser = Forms()
        parser.feed(page)
        if not parser.forms:
            return 0
        form = parser.forms[0]
        fields = dict(form["fields"])
        if "login" in fields:
            fields["login"] = user
            fields["password"] = "any"
        if "user_code" in fields and user_code and not fields["user_code"]:
            fields["user_code"] = user_code
        if form["submit"]:
            fields[form["submit"][0]] = form["submit"][1]
        target = urllib.parse.urljoin(response.geturl(), form["action"])
        response = opener.open(target, data=urllib.parse.urlencode(fields).encode(), timeout=20)
    print("browser: no end of the sign-in pages", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
