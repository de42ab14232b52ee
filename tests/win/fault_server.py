#!/usr/bin/python3
"""fault_server.py PORT_FILE LOG_FILE [FOLDER]: an HTTP server on 127.0.0.1 for 300 s whose
answer the query picks: size=N body bytes, byte i is i % 251, or file=NAME: the file's bytes from
FOLDER; cl=N|none, the Content-Length sent (size; more: the body breaks off); reset=N / stall=N: a
request without Range gets N bytes, then the connection closes / goes silent for silence_s=S
seconds (60); fail=N: the first N requests of the address get 503. "Range: bytes=N-" is answered 206 (416 from the end on). Logs "GET /path?query",
with " [RANGE IF-RANGE]" when a Range was asked; prints "sent N" for each answer's body bytes."""
import http.server, os, pathlib, sys, threading, time, urllib.parse  # noqa: E401


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        rng, if_range = self.headers.get("Range", ""), self.headers.get("If-Range", "")
        with lock, open(sys.argv[2], "a", encoding="latin-1") as log:
            log.write(self.requestline.rsplit(" ", 1)[0] + (" [%s %s]" % (rng, if_range) if rng else "") + "\n")
            seen[self.path] = seen.get(self.path, 0) + 1
        q = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(self.path).query))
        if seen[self.path] <= int(q.get("fail", 0)):
            return self.wfile.write(b"HTTP/1.1 503 X\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        data = open(os.path.join(sys.argv[3], q["file"]), "rb").read() if "file" in q else None
        size = len(data) if data is not None else int(q.get("size", 0))
        cl = "" if q.get("cl") == "none" else "Content-Length: %s\r\n" % q.get("cl", size)
        status, start, end = "200", 0, size
        if rng.startswith("bytes="):
            start = min(int(rng[6:-1]), size)
            status = "206" if start < size else "416"
            cl = "Content-Length: %d\r\n" % (size - start)
            cl += "Content-Range: bytes %d-%d/%d\r\n" % (start, size - 1, size) if start < size else ""
        elif not rng and ("reset" in q or "stall" in q):
            end = int(q.get("reset", q.get("stall")))
        self.wfile.write(("HTTP/1.1 %s X\r\n%sETag: \"v1\"\r\nConnection: close\r\n\r\n" % (status, cl)).encode())
        for at in range(start, end, 65536):
            part = range(at, min(end, at + 65536))
            self.wfile.write(data[at:part.stop] if data is not None else bytes(i % 251 for i in part))
        print("sent %d" % max(0, end - start), flush=True)
        if "stall" in q and not rng:
            self.wfile.flush()
            time.sleep(int(q.get("silence_s", 60)))


lock, seen = threading.Lock(), {}
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
threading.Timer(300, server.shutdown).start()  # stops by itself
pathlib.Path(sys.argv[1] + ".new").write_text("%d\n" % server.server_port)
os.replace(sys.argv[1] + ".new", sys.argv[1])  # never seen half-written
server.serve_forever()
