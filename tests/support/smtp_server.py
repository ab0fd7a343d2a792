#!/usr/bin/env python3
"""A real mail server for the tests: aiosmtpd (Debian's python3-aiosmtpd) on
loopback ports, each listener configured as the test asks (plain, STARTTLS or
TLS from the first byte; AUTH offered, required or not).

    smtp_server.py CONFIG.json OUTDIR

CONFIG is a list of listeners: {"name", "mode": "plain"|"starttls"|"tls",
"cert", "key", "auth": bool, "auth_require_tls": bool, "auth_required": bool,
"exclude": [mechanisms], "user", "password"}. Once every listener listens, one
line "READY name=port ..." goes to standard output. Every mail taken is
written to OUTDIR as N.eml (as received) and N.json (envelope, the headers
and the body decoded by Python's own mail parser); every AUTH attempt is one
line "listener login ok|refused" in OUTDIR/auth.log. The server ends when its
standard input is closed.
"""

import asyncio
import email
import email.policy
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, outdir, name, mode):
        self.outdir = outdir
        self.name = name
        self.mode = mode

    async def handle_DATA(self, server, session, envelope):
        count = len([f for f in os.listdir(self.outdir) if f.endswith(".eml")])
        base = os.path.join(self.outdir, str(count))
        raw = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        message = email.message_from_bytes(raw, policy=email.policy.default)
        login = None
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            login = session.auth_data.login.decode("utf-8", "replace")
        record = {
            "listener": self.name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": session.ssl is not None or self.mode == "tls",
            "login": login,
            "headers": {k: str(v) for k, v in message.items()},
            "body": message.get_content(),
        }
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump(record, f)
        return "250 2.0.0 Ok: queued as %d" % count


def make_authenticator(outdir, name, user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode("utf-8", "replace") == user
              and auth_data.password.decode("utf-8", "replace") == password)
        login = auth_data.login.decode("utf-8", "replace") if isinstance(
            auth_data, LoginPassword) else "?"
        with open(os.path.join(outdir, "auth.log"), "a", encoding="utf-8") as f:
            f.write("%s %s %s %s\n" % (name, mechanism, login, "ok" if ok else "refused"))
        # Not handled: aiosmtpd answers a refusal with its 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)
    return authenticate


def tls_context(listener):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(listener["cert"], listener["key"])
    return context


async def main(config_path, outdir):
    with open(config_path, encoding="utf-8") as f:
        listeners = json.load(f)
    loop = asyncio.get_running_loop()
    servers = []
    ports = []
    for listener in listeners:
        name = listener["name"]
        mode = listener.get("mode", "plain")
        kwargs = {
            "hostname": "mail.test",
            "auth_require_tls": listener.get("auth_require_tls", True),
            "auth_required": listener.get("auth_required", False),
            "auth_exclude_mechanism": listener.get("exclude", []),
        }
        if listener.get("auth"):
            kwargs["authenticator"] = make_authenticator(
                outdir, name, listener.get("user", ""), listener.get("password", ""))
        if mode == "starttls":
            kwargs["tls_context"] = tls_context(listener)
        if mode == "tls":
            # The server does not know that its socket is TLS from the start.
            kwargs["auth_require_tls"] = False
        handler = Recorder(outdir, name, mode)

        def factory(handler=handler, kwargs=kwargs):
            return SMTP(handler, **kwargs)

        server = await loop.create_server(
            factory, host="127.0.0.1", port=0,
            ssl=tls_context(listener) if mode == "tls" else None)
        servers.append(server)
        ports.append("%s=%d" % (name, server.sockets[0].getsockname()[1]))
    print("READY " + " ".join(ports), flush=True)

    done = loop.create_future()

    def stdin_readable():
        if not os.read(sys.stdin.fileno(), 4096) and not done.done():
            done.set_result(None)

    loop.add_reader(sys.stdin.fileno(), stdin_readable)
    await done
    for server in servers:
        server.close()


if __name__ == "__main__":
    import logging
    import warnings
    warnings.simplefilter("ignore")
    logging.disable(logging.WARNING)
    asyncio.run(main(sys.argv[1], sys.argv[2]))
