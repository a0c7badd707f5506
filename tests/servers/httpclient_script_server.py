#!/usr/bin/env python3
"""A scripted HTTP(S) server for the client's server test: it checks Digest
answers the way RFC 2617 computes them (with hashlib, independently of the
client's own MD5), answers challenges that nobody but the origin should see
answered, and redirects wherever it is told.

    httpclient_script_server.py PORT LOGFILE [CERT.pem]

Paths:
  /digest/<qop>/...   401 with a Digest challenge offering <qop> ("auth",
                      "auth-int" or "none" for no qop parameter) until the
                      answer verifies; then 200 "verified <qop> <method> <n>"
                      with n the body bytes that were hashed.  A wrong
                      answer gets 403 "refused: <why>".
  /basic/...          401 Basic realm="br"; an Authorization that arrives
                      anyway is logged as "LEAK <path> <value>" and answered
                      200 "leaked".
  /redirect?<url>     302 to <url> (as given, undecoded).
  /echo...            200 with the request line and headers as the body.
Every request is logged as "REQ <method> <path> auth=<yes|no>".
"""
import hashlib
import http.server
import os
import re
import secrets
import ssl
import sys

REALM = "qr"
USERS = {"carol": "s3cret"}
NONCES = set()


def md5(text):
    return hashlib.md5(text if isinstance(text, bytes) else text.encode("latin-1")).hexdigest()


def parse_digest(value):
    if not value.startswith("Digest "):
        return None
    fields = {}
    for m in re.finditer(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value[7:]):
        fields[m.group(1)] = m.group(2) if m.group(2) is not None else m.group(3)
    return fields


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def note(self, line):
        with open(self.server.logfile, "a") as f:
            f.write(line + "\n")

    def body(self):
        n = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(n) if n > 0 else b""

    def answer(self, status, text, extra=()):
        data = text.encode("latin-1")
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def challenge(self, qop):
        nonce = secrets.token_hex(12)
        NONCES.add(nonce)
        qop_part = '' if qop == "none" else ', qop="%s"' % qop
        return 'Digest realm="%s", nonce="%s"%s, opaque="op9"' % (REALM, nonce, qop_part)

    def digest(self, qop, payload):
        auth = self.headers.get("Authorization")
        if auth is None:
            self.answer(401, "who are you", [("WWW-Authenticate", self.challenge(qop))])
            return
        f = parse_digest(auth)
        if f is None:
            self.answer(403, "refused: not digest")
            return
        for need in ("username", "realm", "nonce", "uri", "response"):
            if need not in f:
                self.answer(403, "refused: no " + need)
                return
        if f["nonce"] not in NONCES:
            self.answer(403, "refused: unknown nonce")
            return
        if f["uri"] != self.path:
            self.answer(403, "refused: uri %s for %s" % (f["uri"], self.path))
            return
        if f.get("opaque") != "op9":
            self.answer(403, "refused: opaque")
            return
        password = USERS.get(f["username"])
        if password is None or f["realm"] != REALM:
            self.answer(403, "refused: user or realm")
            return
        ha1 = md5("%s:%s:%s" % (f["username"], REALM, password))
        sent_qop = f.get("qop", "")
        if qop == "auth-int":
            if sent_qop != "auth-int":
                self.answer(403, "refused: qop %s" % sent_qop)
                return
            ha2 = md5("%s:%s:%s" % (self.command, f["uri"], md5(payload)))
        else:
            ha2 = md5("%s:%s" % (self.command, f["uri"]))
        if qop == "none":
            # The client still names qop auth and nc, with an empty cnonce.
            expected = md5("%s:%s:%s:%s:%s:%s" % (ha1, f["nonce"], f.get("nc", ""), f.get("cnonce", ""),
                                                  sent_qop, ha2))
        else:
            expected = md5("%s:%s:%s:%s:%s:%s" % (ha1, f["nonce"], f["nc"], f["cnonce"], sent_qop, ha2))
        if f["response"] != expected:
            self.answer(403, "refused: response")
            return
        self.answer(200, "verified %s %s %d" % (qop, self.command, len(payload)))

    def handle_any(self):
        payload = self.body()
        self.note("REQ %s %s auth=%s" % (self.command, self.path,
                                         "yes" if "Authorization" in self.headers else "no"))
        m = re.match(r"^/digest/(auth-int|auth|none)/", self.path)
        if m:
            self.digest(m.group(1), payload)
        elif self.path.startswith("/basic/"):
            auth = self.headers.get("Authorization")
            if auth is not None:
                self.note("LEAK %s %s" % (self.path, auth))
                self.answer(200, "leaked")
            else:
                self.answer(401, "who are you", [("WWW-Authenticate", 'Basic realm="br"')])
        elif self.path.startswith("/redirect?"):
            self.answer(302, "moved", [("Location", self.path[len("/redirect?"):])])
        elif self.path.startswith("/echo"):
            self.answer(200, self.requestline + "\n" + str(self.headers))
        else:
            self.answer(404, "no such thing")

    do_GET = do_POST = do_PUT = do_HEAD = handle_any


def main():
    port, logfile = int(sys.argv[1]), sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.logfile = logfile
    if len(sys.argv) > 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    open(logfile, "a").close()
    server.serve_forever()


if __name__ == "__main__":
    main()
