#!/usr/bin/python3
"""Fault-injecting HTTP server for the setup wizard's download tests.

Usage:
    fault_server.py --port-file PATH [--port N] [--log PATH] [--lifetime SECONDS]
    fault_server.py --selftest

Any path is accepted; the query string picks the behaviour:
    status=TEXT        status code text (default 200), sent verbatim
    reason=TEXT        reason phrase (default: the usual phrase for the code)
    size=N             body length in bytes (default 0); byte i = (i*7+3) % 251
    cl=N|none          announced Content-Length (default size); "none" omits
                       it, so the body is delimited by closing the connection
    drop=N             close the connection after N body bytes
    chunk=N            body write size (default 65536)
    delay_ms=M         pause between body writes
    head_delay_ms=M    pause before the response head

Every request is appended to --log as "METHOD PATH" so tests can count them.
"""

import argparse
import http
import os
import socket
import socketserver
import sys
import tempfile
import threading
import time
import urllib.parse

DEFAULT_CHUNK = 65536
MAX_REQUEST_LINE = 65536
MAX_HEADER_LINES = 200
# An idle or half-sent request must not pin a handler thread forever.
REQUEST_READ_TIMEOUT = 30.0

# The body pattern repeats every 251 bytes, so any slice can be cut from a
# repeated copy of one period instead of computing each byte.
_PERIOD = bytes((i * 7 + 3) % 251 for i in range(251))
_BLOCK = _PERIOD * (DEFAULT_CHUNK // 251 + 2)


def body_bytes(offset, n):
    """Bytes [offset, offset+n) of the deterministic body."""
    start = offset % 251
    if start + n <= len(_BLOCK):
        return _BLOCK[start:start + n]
    reps = (start + n) // 251 + 1
    return (_PERIOD * reps)[start:start + n]


def reason_for(status_text):
    try:
        return http.HTTPStatus(int(status_text)).phrase
    except ValueError:
        return "Status"


class BadQuery(Exception):
    pass


def _int_param(params, name, default, minimum=0):
    if name not in params:
        return default
    raw = params[name]
    try:
        value = int(raw)
    except ValueError:
        raise BadQuery("%s must be an integer, got %r" % (name, raw))
    if value < minimum:
        raise BadQuery("%s must be >= %d, got %d" % (name, minimum, value))
    return value


def parse_behaviour(target):
    query = urllib.parse.urlsplit(target).query
    # The last occurrence wins, like most servers.
    params = dict(urllib.parse.parse_qsl(query, keep_blank_values=True))
    b = {}
    b["status"] = params.get("status", "200")
    b["reason"] = params.get("reason", reason_for(b["status"]))
    b["size"] = _int_param(params, "size", 0)
    cl = params.get("cl")
    # cl is passed through as text so malformed lengths can be tested too.
    b["cl"] = str(b["size"]) if cl is None else (None if cl == "none" else cl)
    b["drop"] = _int_param(params, "drop", None)
    b["chunk"] = _int_param(params, "chunk", DEFAULT_CHUNK, minimum=1)
    b["delay_ms"] = _int_param(params, "delay_ms", 0)
    b["head_delay_ms"] = _int_param(params, "head_delay_ms", 0)
    return b


class FaultHandler(socketserver.StreamRequestHandler):
    # The request is read through rfile, but every response byte goes out via
    # sendall so nothing is added, reordered or buffered behind our back.

    def handle(self):
        try:
            self._handle()
        except (ConnectionError, socket.timeout, OSError):
            # Clients hanging up mid-response are an expected part of tests.
            pass

    def _read_request(self):
        self.connection.settimeout(REQUEST_READ_TIMEOUT)
        line = self.rfile.readline(MAX_REQUEST_LINE + 1)
        if not line:
            return None
        for _ in range(MAX_HEADER_LINES):
            h = self.rfile.readline(MAX_REQUEST_LINE + 1)
            if h in (b"\r\n", b"\n", b""):
                break
        return line.decode("latin-1").rstrip("\r\n")

    def _handle(self):
        request_line = self._read_request()
        if request_line is None:
            return
        parts = request_line.split()
        method = parts[0] if parts else ""
        target = parts[1] if len(parts) > 1 else ""
        self.server.log_request_line("%s %s" % (method, target))

        if method not in ("GET", "HEAD"):
            self._send_simple("405", "Method Not Allowed", b"only GET\n")
            return
        try:
            b = parse_behaviour(target)
        except BadQuery as e:
            self._send_simple("400", "Bad Request", (str(e) + "\n").encode())
            return

        if b["head_delay_ms"]:
            time.sleep(b["head_delay_ms"] / 1000.0)

        head = ["HTTP/1.1 %s %s" % (b["status"], b["reason"])]
        if b["cl"] is not None:
            head.append("Content-Length: %s" % b["cl"])
        head += [
            "Content-Type: application/octet-stream",
            "Cache-Control: no-store",
            "Connection: close",
        ]
        sock = self.connection
        sock.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1"))

        size = 0 if method == "HEAD" else b["size"]
        drop = b["drop"]
        limit = size if drop is None else min(size, drop)
        sent = 0
        while sent < limit:
            if sent and b["delay_ms"]:
                time.sleep(b["delay_ms"] / 1000.0)
            n = min(b["chunk"], limit - sent)
            sock.sendall(body_bytes(sent, n))
            sent += n

        if drop is not None:
            self._drop()
        # Otherwise StreamRequestHandler closes normally; with Connection:
        # close (and for cl=none) that EOF is what ends the body.

    def _send_simple(self, status, reason, body):
        head = ("HTTP/1.1 %s %s\r\nContent-Length: %d\r\n"
                "Content-Type: text/plain\r\nCache-Control: no-store\r\n"
                "Connection: close\r\n\r\n" % (status, reason, len(body)))
        self.connection.sendall(head.encode("latin-1") + body)

    def _drop(self):
        # FIN rather than RST: an RST can make the client discard bytes still
        # in its receive buffer, which would make the received count vary.
        sock = self.connection
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        sock.close()

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass


class FaultServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    # Handler threads must not keep the process alive past its lifetime.
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, port, log_path=None):
        self._log_lock = threading.Lock()
        self._log = open(log_path, "a", encoding="latin-1") if log_path else None
        super().__init__(("127.0.0.1", port), FaultHandler)

    def log_request_line(self, text):
        if self._log is None:
            return
        with self._log_lock:
            self._log.write(text + "\n")
            self._log.flush()

    def server_close(self):
        super().server_close()
        if self._log is not None:
            with self._log_lock:
                self._log.close()
                self._log = None


def write_port_file(path, port):
    # Write-then-rename so a polling test never reads a half-written number.
    directory = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix=".port-", dir=directory)
    try:
        with os.fdopen(fd, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise


def watchdog(server, lifetime):
    """Shut the server down after `lifetime` seconds or when the parent dies."""
    parent = os.getppid()
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline:
        # A changed ppid means we were reparented: whoever started us is gone.
        if os.getppid() != parent:
            break
        time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
    server.shutdown()


def serve(args):
    server = FaultServer(args.port, args.log)
    port = server.server_address[1]
    threading.Thread(target=watchdog, args=(server, args.lifetime),
                     daemon=True).start()
    write_port_file(args.port_file, port)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


# ---------------------------------------------------------------- self test

def _fetch(port, target, method="GET", timeout=5.0):
    """Raw GET; returns (status_line, headers dict, body, elapsed seconds)."""
    t0 = time.monotonic()
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        s.sendall(("%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                   % (method, target)).encode())
        data = bytearray()
        while True:
            piece = s.recv(65536)
            if not piece:
                break
            data += piece
    finally:
        s.close()
    elapsed = time.monotonic() - t0
    head, sep, body = bytes(data).partition(b"\r\n\r\n")
    assert sep, "no end of head in %r" % bytes(data[:200])
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for h in lines[1:]:
        k, _, v = h.partition(":")
        headers[k.strip().lower()] = v.strip()
    return lines[0], headers, body, elapsed


def selftest():
    tmpdir = tempfile.mkdtemp(prefix="fault_server_selftest.")
    log_path = os.path.join(tmpdir, "requests.log")
    server = FaultServer(0, log_path)
    port = server.server_address[1]
    t = threading.Thread(target=server.serve_forever,
                         kwargs={"poll_interval": 0.05}, daemon=True)
    t.start()

    results = []

    def check(name, fn):
        try:
            fn()
            results.append((name, None))
        except Exception as e:  # report every failure, not just the first
            results.append((name, e))

    def default_case():
        st, h, body, _ = _fetch(port, "/x")
        assert st == "HTTP/1.1 200 OK", st
        assert h.get("content-length") == "0", h
        assert h.get("connection") == "close", h
        assert h.get("cache-control") == "no-store", h
        assert h.get("content-type") == "application/octet-stream", h
        assert body == b"", body

    def status_404():
        st, _, _, _ = _fetch(port, "/a/b?status=404")
        assert st == "HTTP/1.1 404 Not Found", st

    def status_text():
        st, _, _, _ = _fetch(port, "/x?status=abc&reason=Weird%20One")
        assert st == "HTTP/1.1 abc Weird One", st

    def body_pattern():
        n = 131073
        _, h, body, _ = _fetch(port, "/f.bin?size=%d" % n)
        assert h.get("content-length") == str(n), h
        assert len(body) == n, len(body)
        expect = bytes((i * 7 + 3) % 251 for i in range(n))
        assert body == expect, "body bytes differ"

    def cl_lie():
        _, h, body, _ = _fetch(port, "/x?size=1000&cl=5000")
        assert h.get("content-length") == "5000", h
        assert len(body) == 1000, len(body)

    def drop_case():
        _, h, body, _ = _fetch(port, "/x?size=100000&drop=300&chunk=128")
        assert h.get("content-length") == "100000", h
        assert body == body_bytes(0, 300), len(body)

    def no_cl():
        _, h, body, _ = _fetch(port, "/x?size=70000&cl=none")
        assert "content-length" not in h, h
        assert body == body_bytes(0, 70000), len(body)

    def not_modified_with_body():
        st, _, body, _ = _fetch(port, "/x?status=304&size=10")
        assert st == "HTTP/1.1 304 Not Modified", st
        assert body == body_bytes(0, 10), body

    def slow_body():
        _, _, body, el = _fetch(port, "/x?size=500&chunk=100&delay_ms=30")
        assert len(body) == 500, len(body)
        assert el >= 0.11, el  # four pauses of 30 ms

    def head_delay():
        _, _, _, el = _fetch(port, "/x?head_delay_ms=150")
        assert el >= 0.14, el

    def bad_query():
        st, _, _, _ = _fetch(port, "/x?size=lots")
        assert st.startswith("HTTP/1.1 400 "), st

    def port_file():
        p = os.path.join(tmpdir, "port")
        write_port_file(p, port)
        with open(p) as f:
            assert f.read() == "%d\n" % port
        # No temp file may be left behind by the rename.
        left = sorted(os.listdir(tmpdir))
        assert left == ["port", "requests.log"], left

    cases = [default_case, status_404, status_text, body_pattern, cl_lie,
             drop_case, no_cl, not_modified_with_body, slow_body, head_delay,
             bad_query, port_file]
    for c in cases:
        check(c.__name__, c)

    def log_lines():
        with open(log_path, encoding="latin-1") as f:
            lines = f.read().splitlines()
        assert len(lines) == 11, lines
        assert lines[0] == "GET /x", lines[0]
        assert lines[1] == "GET /a/b?status=404", lines[1]

    check("log_lines", log_lines)

    server.shutdown()
    server.server_close()
    for name in os.listdir(tmpdir):
        os.unlink(os.path.join(tmpdir, name))
    os.rmdir(tmpdir)

    failed = [(n, e) for n, e in results if e is not None]
    for n, e in failed:
        print("FAIL %s: %s" % (n, e))
    print("%d passed, %d failed" % (len(results) - len(failed), len(failed)))
    return 1 if failed else 0


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--port-file", help="where to write the listening port")
    ap.add_argument("--port", type=int, default=0, help="0 = any free port")
    ap.add_argument("--log", help="append one 'METHOD PATH' line per request")
    ap.add_argument("--lifetime", type=float, default=600.0,
                    help="seconds before exiting on its own")
    ap.add_argument("--selftest", action="store_true")
    args = ap.parse_args(argv)
    if args.selftest:
        return selftest()
    if not args.port_file:
        ap.error("--port-file is required")
    return serve(args)


if __name__ == "__main__":
    sys.exit(main())
