#!/usr/bin/env python3
"""The local HTTP server of the tests, on 127.0.0.1 only.

Usage: server.py [--port N]   (N = 0 picks a free port)

The first line on stdout is "PORT <n>"; nothing else is written there. The
server ends when its standard input reaches end of file, so it goes with the
test program that started it (which holds the other end of a pipe).

Pages put by the tests are served first (exact match of path and query):
  POST /__put      headers X-Path, X-Status, X-Content-Type, X-Delay-Ms,
                   optional X-Encoding (gzip or deflate); the body is the page
  GET  /__requests the requests recorded since the last clear, one field per
                   line, every value hex-encoded:
                     R <method> <path> <body>
                     H <name> <value>      (headers of the request above, in order)
  POST /__clear    forgets the recorded requests
The control requests are not recorded.

Built-in behaviours:
  /echo                 200, text: the request line's method, the headers in
                        order ("Name: value"), an empty line, the body
  /status/<n>           status n, HTML body "error <n>"
  /gzip?body=TEXT       TEXT, gzip-encoded (Content-Encoding: gzip)
  /deflate?body=TEXT    TEXT, deflate-encoded
  /redirect?to=URL      302 to URL
  /redirect-loop        302 to itself
  /redirect-file        302 to file:///etc/passwd
  /silent               reads the request and never answers (at most 120 s)
  /drip                 announces 1,000,000 bytes, then sends one per second
  /endless              a body that never ends
  /gzip-bomb            a gzip stream of zeros that decodes to 8 GiB
  /reset                part of a body, then a connection reset
  /bad-chunked          a chunked body with a broken chunk size
  /huge-header          a response with a 1 MB header line
"""

import argparse
import os
import select
import socket
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONTROL_PATHS = ("/__put", "/__requests", "/__clear")


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.pages = {}  # path -> (status, content_type, delay_ms, encoding, body)
        self.requests = []  # (method, path, [(name, value)], body bytes)


STATE = State()


def hexed(value):
    if isinstance(value, str):
        value = value.encode("latin-1", "replace")
    return value.hex() if value else "-"


def encode_body(body, encoding):
    if encoding == "gzip":
        compressor = zlib.compressobj(wbits=31)
        return compressor.compress(body) + compressor.flush()
    if encoding == "deflate":
        return zlib.compress(body)
    return body


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QvodTestServer/1.0"

    def setup(self):
        super().setup()
        # Headers and body go out in separate writes; without this, Nagle's
        # algorithm and the client's delayed ACK hold the body back 40 ms.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def answer(self, status, body, content_type="text/html", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        try:
            self.dispatch()
        except (BrokenPipeError, ConnectionResetError, socket.timeout, TimeoutError):
            self.close_connection = True

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = do_OPTIONS = do_PATCH = handle_any

    def dispatch(self):
        body = self.read_body()
        path = self.path
        route = urllib.parse.urlsplit(path).path
        if route in CONTROL_PATHS:
            self.control(route, body)
            return
        with STATE.lock:
            STATE.requests.append((self.command, path, list(self.headers.items()), body))
            page = STATE.pages.get(path)
        if page is not None:
            status, content_type, delay_ms, encoding, page_body = page
            if delay_ms > 0:
                time.sleep(delay_ms / 1000.0)
            extra = [("Content-Encoding", encoding)] if encoding else []
            self.answer(status, encode_body(page_body, encoding), content_type, extra)
            return
        self.builtin(route, path, body)

    def control(self, route, body):
        if route == "/__put":
            page = (
                int(self.headers.get("X-Status") or 200),
                self.headers.get("X-Content-Type") or "text/html",
                int(self.headers.get("X-Delay-Ms") or 0),
                self.headers.get("X-Encoding") or "",
                body,
            )
            with STATE.lock:
                STATE.pages[self.headers.get("X-Path", "/")] = page
            self.answer(200, b"ok", "text/plain")
        elif route == "/__requests":
            lines = []
            with STATE.lock:
                for method, path, headers, request_body in STATE.requests:
                    lines.append("R %s %s %s" % (hexed(method), hexed(path), hexed(request_body)))
                    for name, value in headers:
                        lines.append("H %s %s" % (hexed(name), hexed(value)))
            self.answer(200, ("\n".join(lines) + "\n").encode("ascii"), "text/plain")
        else:
            with STATE.lock:
                STATE.requests.clear()
            self.answer(200, b"ok", "text/plain")

    def builtin(self, route, path, body):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(path).query, keep_blank_values=True)
        if route == "/echo":
            lines = [self.command] + ["%s: %s" % item for item in self.headers.items()]
            text = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace") + body
            self.answer(200, text, "text/plain")
        elif route.startswith("/status/") and route[len("/status/"):].isdigit():
            status = int(route[len("/status/"):])
            self.answer(status, b"error %d" % status)
        elif route in ("/gzip", "/deflate"):
            text = query.get("body", [""])[0].encode("utf-8")
            encoding = route[1:]
            self.answer(200, encode_body(text, encoding), extra=[("Content-Encoding", encoding)])
        elif route == "/redirect":
            target = query.get("to", ["/"])[0]
            self.answer(302, b"moved", extra=[("Location", target)])
        elif route == "/redirect-loop":
            self.answer(302, b"moved", extra=[("Location", "/redirect-loop")])
        elif route == "/redirect-file":
            self.answer(302, b"moved", extra=[("Location", "file:///etc/passwd")])
        elif route == "/silent":
            self.silent()
        elif route == "/drip":
            self.drip()
        elif route == "/endless":
            self.endless()
        elif route == "/gzip-bomb":
            self.gzip_bomb()
        elif route == "/reset":
            self.reset()
        elif route == "/bad-chunked":
            self.bad_chunked()
        elif route == "/huge-header":
            self.huge_header()
        else:
            self.answer(404, b"not found")

    def wait_for_close(self, seconds):
        """Returns True when the client closed within seconds."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            readable, _, _ = select.select([self.connection], [], [], min(1.0, end - time.monotonic()))
            if readable and not self.connection.recv(4096):
                return True
        return False

    def silent(self):
        self.close_connection = True
        self.wait_for_close(120)

    def drip(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", "1000000")
        self.end_headers()
        self.wfile.flush()
        for _ in range(1000000):
            self.wfile.write(b"x")
            self.wfile.flush()
            if self.wait_for_close(1.0):
                return

    def endless(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Connection", "close")
        self.end_headers()
        block = b"y" * 65536
        while True:
            self.wfile.write(block)

    def gzip_bomb(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Connection", "close")
        self.end_headers()
        compressor = zlib.compressobj(9, zlib.DEFLATED, 31)
        zeros = bytes(1 << 20)
        for _ in range(8192):
            chunk = compressor.compress(zeros)
            if chunk:
                self.wfile.write(chunk)
        self.wfile.write(compressor.flush())

    def reset(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", "100000")
        self.end_headers()
        self.wfile.write(b"z" * 1000)
        self.wfile.flush()
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def bad_chunked(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        self.wfile.write(b"5\r\nhello\r\nzz\r\nbroken\r\n0\r\n\r\n")
        self.wfile.flush()

    def huge_header(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("X-Huge", "h" * (1 << 20))
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass


def exit_when_parent_goes():
    while sys.stdin.buffer.read(4096):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Handler)
    threading.Thread(target=exit_when_parent_goes, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
