#!/usr/bin/env python3
"""A FastCGI client for the tests: sends one request built from the given
parameters and body, or a deliberately broken one, and prints what came back
on the request's output stream. Test tool only (the program itself leaves the
protocol to libfcgi).

  fastcgi_client.py SOCKET request NAME=VALUE... [< body]
  fastcgi_client.py SOCKET oversize-params   a name length of 2 GiB
  fastcgi_client.py SOCKET oversize-record   a record that claims more than it sends, then closes
  fastcgi_client.py SOCKET huge-lengths      a name and a value whose lengths add up past 2 GiB
  fastcgi_client.py SOCKET close-mid-body NAME=VALUE...  sends half the body, then closes
"""
import socket
import struct
import sys

BEGIN, ABORT, END, PARAMS, STDIN, STDOUT, STDERR = 1, 2, 3, 4, 5, 6, 7


def record(kind, content, request_id=1):
    out = b""
    while True:
        piece, content = content[:65535], content[65535:]
        out += struct.pack(">BBHHBB", 1, kind, request_id, len(piece), 0, 0) + piece
        if not content:
            return out


def pair(name, value):
    def length(n):
        return struct.pack(">B", n) if n < 128 else struct.pack(">I", n | 0x80000000)
    return length(len(name)) + length(len(value)) + name + value


def connect(path):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(10)
    s.connect(path)
    return s


def begin():
    return record(BEGIN, struct.pack(">HB5x", 1, 0))


def params(args):
    body = b""
    for arg in args:
        name, _, value = arg.partition("=")
        body += pair(name.encode(), value.encode("latin-1"))
    return record(PARAMS, body) + record(PARAMS, b"")


def read_answer(s):
    out, data = b"", b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    except (socket.timeout, ConnectionResetError):
        pass
    ended = False
    while len(data) >= 8:
        _, kind, _, length, padding, _ = struct.unpack(">BBHHBB", data[:8])
        content, data = data[8:8 + length], data[8 + length + padding:]
        if kind == STDOUT:
            out += content
        elif kind == END:
            ended = True
    return out, ended


def main():
    path, what, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    s = connect(path)
    if what == "request":
        body = sys.stdin.buffer.read()
        s.sendall(begin() + params(args) + (record(STDIN, body) if body else b"") + record(STDIN, b""))
        out, _ = read_answer(s)
        sys.stdout.buffer.write(out)
    elif what == "oversize-params":
        bad = struct.pack(">I", 0xFFFFFFF0) + struct.pack(">B", 1) + b"xyz"
        s.sendall(begin() + record(PARAMS, bad) + record(PARAMS, b""))
        _, ended = read_answer(s)
        print("answered" if ended else "closed")
    elif what == "huge-lengths":
        bad = struct.pack(">I", 0xFFFFFFEF) + struct.pack(">B", 0x4F) + b"x" * 64
        s.sendall(begin() + record(PARAMS, bad) + record(PARAMS, b""))
        s.shutdown(socket.SHUT_WR)
        _, ended = read_answer(s)
        print("answered" if ended else "closed")
    elif what == "oversize-record":
        s.sendall(begin() + struct.pack(">BBHHBB", 1, PARAMS, 1, 65535, 255, 0) + b"x" * 100)
        s.shutdown(socket.SHUT_WR)
        _, ended = read_answer(s)
        print("answered" if ended else "closed")
    elif what == "close-mid-body":
        s.sendall(begin() + params(args) + record(STDIN, b"a=1&b=2&c=3"))
        s.close()
        print("closed")


main()
