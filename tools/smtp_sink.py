#!/usr/bin/python3
"""A real SMTP server on loopback for fahuo's tests and demo.

Prints "PORT <n>" as its first line on standard output (flushed) once it listens.

Options (kept stable; tests and tools/demo.sh depend on them):
  --host H             address to listen on (default 127.0.0.1)
  --port N             port to listen on; 0 picks a free one (default 0)
  --user U --password P
                       require AUTH (PLAIN and LOGIN) with these credentials; without
                       --user, AUTH is optional and any credentials are accepted
  --maildir DIR        write each message as DIR/NNNN.eml and append one JSON line per
                       message to DIR/log.jsonl (see below); a restart on the same folder
                       numbers on from the highest NNNN there
  --starttls CERT KEY  offer STARTTLS with this certificate and key; AUTH is then only
                       offered after STARTTLS
  --tls CERT KEY       implicit TLS from the first byte (as on port 465)
  --reject-rcpt RE     answer "550 5.1.1 <addr>: Recipient address rejected" for every
                       recipient that the regular expression RE finds a match in
  --print              print each message (envelope, decoded subject and body) to stdout
  --silent             accept TCP connections and never answer (time-out tests)
  --refuse-after N TEXT
                       accept the first N messages, then answer every later DATA with TEXT
                       (a whole SMTP reply such as "550 too many mails"), as a provider's
                       sending limit does
  --logins N           accept the first N logins, answer every later AUTH with 535 (an
                       authorisation code changed while fahuo runs)
  --close-after-mail   close the connection once a mail was accepted, as a server that
                       drops idle connections does: the next mail logs in again
  --drop-reply N       keep the first N messages but close the connection instead of
                       answering them (the final reply lost on the way)
  --bounce-maildir DIR a mail to an address whose local part starts with "nouser" is
                       accepted, and --bounce-delay seconds later (default 3) a delivery
                       report from MAILER-DAEMON, with the original's headers, is written
                       into the Maildir DIR (DIR/new), as a provider's bounce would be

log.jsonl keys: file, mail_from, rcpt_tos, subject, body (decoded text), tls (whether the
message came over TLS), peer_port (the client's port: equal for mails of one
connection), session_auth (successful AUTHs on that connection) and total_auth
(successful AUTHs since start), auth_attempts (all AUTH attempts since start), message_id.
"""

import argparse
import asyncio
import email
import email.policy
import email.utils
import json
import logging
import os
import re
import ssl
import sys
import time
import uuid
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Counters:
    def __init__(self):
        self.attempts = 0
        self.total = 0
        self.by_peer = {}


def make_authenticator(user, password, counters, logins=None):
    def authenticate(server, session, envelope, mechanism, auth_data):
        counters.attempts += 1
        if logins is not None and counters.total >= logins:
            return AuthResult(success=False, handled=False)
        ok = isinstance(auth_data, LoginPassword)
        if ok and user is not None:
            ok = (auth_data.login.decode("utf-8", "replace") == user
                  and auth_data.password.decode("utf-8", "replace") == password)
        if ok:
            counters.total += 1
            peer = session.peer[1] if session.peer else 0
            counters.by_peer[peer] = counters.by_peer.get(peer, 0) + 1
        return AuthResult(success=ok, handled=False)

    return authenticate


def decode_message(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    subject = str(msg.get("Subject", ""))
    part = msg.get_body(preferencelist=("plain",)) or msg
    try:
        body = part.get_content()
    except (LookupError, KeyError, ValueError):
        body = part.get_payload(decode=True).decode("utf-8", "replace")
    return subject, body


def last_mail_number(maildir):
    try:
        names = os.listdir(maildir)
    except OSError:
        return 0
    numbers = [int(n[:-4]) for n in names if n.endswith(".eml") and n[:-4].isdigit()]
    return max(numbers, default=0)


class Handler:
    def __init__(self, args, counters):
        self.args = args
        self.counters = counters
        # A restart on the same folder goes on from the highest number there, so earlier
        # mail is never overwritten.
        self.count = last_mail_number(args.maildir) if args.maildir else 0
        self.reject = re.compile(args.reject_rcpt) if args.reject_rcpt else None
        self.accepted = 0
        self.dropped = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if not address.strip("<> "):
            return "501 5.1.3 Bad recipient address syntax"
        if self.reject and self.reject.search(address):
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.refuse_after is not None:
            if self.accepted >= int(self.args.refuse_after[0]):
                return self.args.refuse_after[1]
            self.accepted += 1
        self.count += 1
        raw = envelope.original_content or envelope.content
        subject, body = decode_message(raw)
        peer = session.peer[1] if session.peer else 0
        message_id = email.message_from_bytes(raw, policy=email.policy.default).get("Message-ID", "")
        record = {
            "message_id": str(message_id),
            "file": f"{self.count:04d}.eml",
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "subject": subject,
            "body": body,
            "tls": session.ssl is not None or self.args.tls is not None,
            "peer_port": peer,
            "session_auth": self.counters.by_peer.get(peer, 0),
            "total_auth": self.counters.total,
            "auth_attempts": self.counters.attempts,
        }
        if self.args.maildir:
            while True:
                try:
                    with open(os.path.join(self.args.maildir, record["file"]), "xb") as f:
                        f.write(raw)
                    break
                except FileExistsError:  # another writer took the number
                    self.count += 1
                    record["file"] = f"{self.count:04d}.eml"
            with open(os.path.join(self.args.maildir, "log.jsonl"), "a", encoding="utf-8") as f:
                f.write(json.dumps(record, ensure_ascii=False) + "\n")
        if self.args.print:
            print(f"MAIL from={envelope.mail_from} to={','.join(envelope.rcpt_tos)}")
            print(f"  Subject: {subject}")
            for line in body.splitlines():
                print(f"  | {line}")
            sys.stdout.flush()
        if self.args.bounce_maildir:
            for rcpt in envelope.rcpt_tos:
                if rcpt.lower().startswith("nouser"):
                    asyncio.get_running_loop().call_later(
                        self.args.bounce_delay, write_bounce, self.args.bounce_maildir,
                        envelope.mail_from, rcpt, raw)
        if self.args.drop_reply and self.dropped < self.args.drop_reply:
            self.dropped += 1
            server.transport.abort()
            return "250 OK: never heard"
        if self.args.close_after_mail:
            asyncio.get_running_loop().call_soon(server.transport.close)
        return "250 OK: message accepted"


def write_bounce(maildir, mail_from, rcpt, raw):
    """A standard delivery report (RFC 3464) for `rcpt`, into the Maildir's new/."""
    headers = raw.split(b"\r\n\r\n", 1)[0].split(b"\n\n", 1)[0]
    boundary = "fahuo-bounce-" + uuid.uuid4().hex
    now = email.utils.formatdate(localtime=True)
    text = (
        f"From: Mail Delivery System <MAILER-DAEMON@localhost>\r\n"
        f"To: {mail_from}\r\n"
        f"Subject: Undelivered Mail Returned to Sender\r\n"
        f"Date: {now}\r\n"
        f"Message-ID: <{uuid.uuid4().hex}@localhost>\r\n"
        f"MIME-Version: 1.0\r\n"
        f"Content-Type: multipart/report; report-type=delivery-status; boundary=\"{boundary}\"\r\n"
        f"\r\n--{boundary}\r\n"
        f"Content-Type: text/plain; charset=us-ascii\r\n\r\n"
        f"This is the mail system. Your message could not be delivered to {rcpt}.\r\n"
        f"\r\n--{boundary}\r\n"
        f"Content-Type: message/delivery-status\r\n\r\n"
        f"Reporting-MTA: dns; localhost\r\n\r\n"
        f"Final-Recipient: rfc822; {rcpt}\r\n"
        f"Action: failed\r\n"
        f"Status: 5.1.1\r\n"
        f"Diagnostic-Code: smtp; 550 5.1.1 <{rcpt}>: Recipient address rejected: User unknown\r\n"
        f"\r\n--{boundary}\r\n"
        f"Content-Type: text/rfc822-headers\r\n\r\n"
    ).encode("ascii", "replace") + headers + f"\r\n\r\n--{boundary}--\r\n".encode("ascii")
    name = f"{int(time.time())}.{uuid.uuid4().hex}.fahuo-sink"
    os.makedirs(os.path.join(maildir, "tmp"), exist_ok=True)
    os.makedirs(os.path.join(maildir, "new"), exist_ok=True)
    tmp = os.path.join(maildir, "tmp", name)
    with open(tmp, "wb") as f:
        f.write(text)
    os.chmod(tmp, 0o666)
    os.rename(tmp, os.path.join(maildir, "new", name))


class Silent(asyncio.Protocol):
    """Takes the connection and says nothing, as a hung server would."""

    def connection_made(self, transport):
        self.transport = transport


def make_tls_context(cert_and_key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert_and_key[0], cert_and_key[1])
    return context


def make_smtp_factory(args):
    counters = Counters()
    handler = Handler(args, counters)
    tls = None
    if args.starttls:
        tls = make_tls_context(args.starttls)
    options = dict(
        tls_context=tls,
        auth_required=args.user is not None,
        auth_require_tls=tls is not None,
        authenticator=make_authenticator(args.user, args.password or "", counters, args.logins),
        hostname="fahuo-sink.local",
        timeout=60,
    )
    return lambda: SMTP(handler, **options)


async def serve(args):
    loop = asyncio.get_running_loop()
    factory = Silent if args.silent else make_smtp_factory(args)
    implicit = make_tls_context(args.tls) if args.tls else None
    server = await loop.create_server(factory, args.host, args.port, ssl=implicit)
    port = server.sockets[0].getsockname()[1]
    print(f"PORT {port}", flush=True)
    async with server:
        await server.serve_forever()


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                epilog=__doc__.split("\n", 2)[2])
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--maildir")
    p.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--reject-rcpt", metavar="RE")
    p.add_argument("--print", action="store_true")
    p.add_argument("--silent", action="store_true")
    p.add_argument("--refuse-after", nargs=2, metavar=("N", "TEXT"))
    p.add_argument("--logins", type=int)
    p.add_argument("--close-after-mail", action="store_true")
    p.add_argument("--drop-reply", type=int, default=0)
    p.add_argument("--bounce-maildir")
    p.add_argument("--bounce-delay", type=float, default=3.0)
    args = p.parse_args()
    # aiosmtpd warns about AUTH without TLS, which is what a loopback test wants.
    warnings.filterwarnings("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    if args.maildir:
        os.makedirs(args.maildir, exist_ok=True)
    try:
        asyncio.run(serve(args))
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
