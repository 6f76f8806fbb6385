#!/usr/bin/python3
"""Test SMTP server: STARTTLS, AUTH, scripted refusals, every message stored.

A recipient whose local part starts with "rcDDD." is refused with code DDD;
"rcDDDnK." is refused K times, then accepted. Each accepted message is
written as NNNN.eml (raw) and NNNN.json (parsed) into the output folder.
Prints "ready PORT" once it accepts connections.
"""
import argparse
import email
import json
import os
import re
import signal
import socket
import ssl
import sys
from email import policy

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

REFUSE = re.compile(r"^rc(\d{3})(?:n(\d+))?\.")
TEXTS = {450: "mailbox busy", 550: "mailbox unavailable", 553: "mailbox name not allowed"}


class Handler:
    def __init__(self, outdir):
        self.outdir = outdir
        # Numbering goes on across a restart on the same folder.
        self.count = len([n for n in os.listdir(outdir) if n.endswith(".json")])
        self.refusals = {}

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        m = REFUSE.match(address)
        if m:
            code = int(m.group(1))
            limit = int(m.group(2)) if m.group(2) else None
            seen = self.refusals.get(address, 0)
            self.refusals[address] = seen + 1
            if limit is None or seen < limit:
                with open(os.path.join(self.outdir, "refusals.log"), "a") as f:
                    f.write("%s %d\n" % (address, code))
                return "%d %s" % (code, TEXTS.get(code, "refused"))
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, "%04d" % self.count)
        raw = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=policy.default)
        legacy = email.message_from_bytes(raw)
        body = msg.get_body(preferencelist=("plain",))
        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "tls": session.ssl is not None,
            "authenticated": bool(session.authenticated),
            "subject": str(msg["subject"] or ""),
            "raw_subject": legacy["Subject"] or "",
            "from": str(msg["from"] or ""),
            "to": str(msg["to"] or ""),
            "cc": str(msg["cc"] or ""),
            "reply_to": str(msg["reply-to"] or ""),
            "date": str(msg["date"] or ""),
            "message_id": str(msg["message-id"] or ""),
            "header_names": list(msg.keys()),
            "body": body.get_content() if body is not None else "",
            "body_charset": body.get_content_charset() if body is not None else "",
            "attachments": [
                {
                    "filename": part.get_filename() or "",
                    "content_type": part.get_content_type(),
                    "size": len(part.get_payload(decode=True) or b""),
                }
                for part in msg.iter_attachments()
            ],
        }
        tmp = base + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(info, f, ensure_ascii=False)
        os.rename(tmp, base + ".json")
        return "250 Message accepted"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--account", action="append", default=[],
                    help="another LOGIN:PASSWORD pair that may authenticate")
    args = ap.parse_args()

    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(args.cert, args.key)

    accounts = {args.user: args.password}
    for pair in args.account:
        login, _, password = pair.partition(":")
        accounts[login] = password

    def authenticator(server, session, envelope, mechanism, auth_data):
        if (isinstance(auth_data, LoginPassword)
                and accounts.get(auth_data.login.decode()) == auth_data.password.decode()):
            return AuthResult(success=True)
        return AuthResult(success=False, handled=False)

    port = args.port
    if not port:
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
    controller = Controller(Handler(args.dir), hostname="127.0.0.1", port=port,
                            tls_context=ctx, authenticator=authenticator,
                            auth_required=False, auth_require_tls=False,
                            require_starttls=False)
    controller.start()
    signal.signal(signal.SIGTERM, lambda *a: (controller.stop(), sys.exit(0)))
    print("ready %d" % port, flush=True)
    while True:
        signal.pause()


if __name__ == "__main__":
    main()
