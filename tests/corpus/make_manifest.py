#!/usr/bin/python3
"""Writes manifest.json: for every message below messages/, what forwarding must make of it.

The subjects come from Python's email package (policy.default), a reader written apart
from ours, so the corpus test compares two readings rather than our reading with itself.
Run it again after adding messages:  /usr/bin/python3 tests/corpus/make_manifest.py
"""
import email
import email.header
import json
import os
import re
import sys
from email import policy

HERE = os.path.dirname(os.path.abspath(__file__))
MESSAGES = os.path.join(HERE, "messages")

RULES = {
    "clean": "Header values are compared as forwarding hands them on: folds unfolded, "
    "each TAB (and U+2028, U+2029) a space, other control characters dropped, runs of "
    "spaces made one, leading and trailing spaces cut.",
    "daemon": "A message whose From (decoded) contains DAEMON is a mailer daemon's and is "
    "never forwarded.",
    "fax": "A subject that is a number of more than four digits once '-' are removed asks "
    "for a fax; without a fax platform it goes the ordinary way, but the test asks only "
    "that it is never forwarded twice.",
    "forward": "Every other message is forwarded exactly once, with this subject.",
    "8bit": "The Subject holds 8-bit bytes outside encoded words and names no charset; "
    "the reference shows them as U+FFFD, we read them as Japanese mailers write them "
    "(UTF-8, else EUC-JP, else Shift_JIS). Its text is not compared (subject null); the "
    "message is still read, and forwarded once unless it is a daemon's.",
    "compat32": "policy.default raised on this message's headers; the subject is the "
    "older compat32 reading (decode_header words joined).",
    "carrier": "The Subject has ISO-2022-JP, Shift_JIS or EUC-JP words the reference cannot "
    "decode whole (carrier emoji, vendor rows); each word is decoded with errors replaced "
    "(Shift_JIS read as CP932), and every replaced or private-use character is written as "
    "U+3013. Such a mark matches any one non-ASCII character: each code without a meaning must "
    "become one mark, and a code the vendor rows give a meaning may be that character.",
    "body": "For messages written by phones and by Debian's mail clients: the first line of "
    "get_body()'s text (plain preferred), up to its first character that is replaced or "
    "private-use; the forward's text must contain it.",
}

JAPANESE = {"iso-2022-jp": "iso2022_jp", "shift_jis": "cp932", "shift-jis": "cp932",
            "sjis": "cp932", "cp932": "cp932", "euc-jp": "euc_jp"}
BODY_FOLDERS = ("jpmobile/", "debian-clients/")


def marked(text):
    return "".join("\u3013" if c == "\ufffd" or "\ue000" <= c <= "\uf8ff" else c for c in text)


def carrier_subject(raw):
    """The subject decoded word by word with the carrier rule, or None when it does not apply."""
    value = re.sub(rb"\r?\n(?=[ \t])", b"", raw).decode("ascii", "replace")
    words = email.header.decode_header(value)
    if not any(isinstance(c, bytes) and (cs or "").lower() in JAPANESE for c, cs in words):
        return None
    parts = []
    applies = False
    for chunk, charset in words:
        if isinstance(chunk, str):
            parts.append(chunk)
            continue
        codec = JAPANESE.get((charset or "").lower(), charset or "ascii")
        try:
            text = chunk.decode(codec)
            if marked(text) != text:
                applies = True
        except (UnicodeDecodeError, LookupError):
            text = chunk.decode(codec, "replace")
            applies = True
        parts.append(marked(text))
    return clean("".join(parts)) if applies else None


def body_line(raw):
    message = email.message_from_bytes(raw, policy=policy.default)
    part = message.get_body(preferencelist=("plain",))
    if part is None:
        return None
    payload = part.get_payload(decode=True) or b""
    charset = (part.get_content_charset() or "us-ascii").lower()
    text = payload.decode(JAPANESE.get(charset, charset), "replace")
    for line in text.splitlines():
        line = marked(line).split("\u3013")[0].strip()
        if line:
            return line
    return None

CONTROLS = re.compile("[\x00-\x08\x0a-\x1f\x7f-\x9f]")


def clean(text):
    text = re.sub(r"\r?\n(?=[ \t])", "", text)
    text = re.sub("[\t\u2028\u2029]", " ", text)
    text = CONTROLS.sub("", text)
    text = re.sub(" {2,}", " ", text)
    return text.strip(" ")


def compat32_header(message, name):
    value = message.get(name)
    if value is None:
        return ""
    parts = []
    for chunk, charset in email.header.decode_header(str(value)):
        if isinstance(chunk, bytes):
            chunk = chunk.decode(charset or "ascii", "replace")
        parts.append(chunk)
    return "".join(parts)


def raw_subject(raw):
    head = re.split(rb"\r?\n\r?\n", raw, maxsplit=1)[0]
    match = re.search(rb"(?im)^subject[ \t]*:(.*(?:\r?\n[ \t].*)*)", head)
    return match.group(1) if match else b""


def read(path):
    with open(path, "rb") as f:
        raw = f.read()
    rule = None
    try:
        message = email.message_from_bytes(raw, policy=policy.default)
        subject = message["subject"]
        sender = message["from"]
        subject = "" if subject is None else str(subject)
        sender = "" if sender is None else str(sender)
    except Exception:  # noqa: BLE001 - any reference failure is recorded, not fatal
        old = email.message_from_bytes(raw, policy=policy.compat32)
        subject = compat32_header(old, "subject")
        sender = compat32_header(old, "from")
        rule = "compat32"
    outside_words = re.sub(rb"=\?[^?\s]+\?[bBqQ]\?[^?\s]*\?=", b"", raw_subject(raw))
    if re.search(rb"[\x80-\xff]", outside_words):
        return None, clean(sender), "8bit"
    carrier = carrier_subject(raw_subject(raw))
    if carrier is not None:
        return carrier, clean(sender), "carrier"
    return clean(subject), clean(sender), rule


def kind_of(subject, sender):
    if "DAEMON" in sender:
        return "daemon"
    digits = (subject or "").replace("-", "")
    if len(digits) > 4 and digits.isdigit():
        return "fax"
    return "forward"


def main():
    entries = []
    for folder, dirs, files in os.walk(MESSAGES):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            subject, sender, rule = read(path)
            entry = {
                "file": os.path.relpath(path, MESSAGES).replace(os.sep, "/"),
                "kind": kind_of(subject, sender),
                "subject": subject,
            }
            if rule:
                entry["rule"] = rule
            if entry["file"].startswith(BODY_FOLDERS):
                with open(path, "rb") as f:
                    body = body_line(f.read())
                if body:
                    entry["body"] = body
            entries.append(entry)
    entries.sort(key=lambda e: e["file"])
    manifest = {
        "reference": "Python %d.%d email package, policy.default" % sys.version_info[:2],
        "rules": RULES,
        "messages": entries,
    }
    with open(os.path.join(HERE, "manifest.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)
        f.write("\n")
    print("%d messages" % len(entries))


if __name__ == "__main__":
    main()
