#!/usr/bin/python3
"""fault_server.py PORT_FILE LOG_FILE: an HTTP server on 127.0.0.1 for 300 s
whose answer the query picks: status=TEXT (200); size=N body bytes, byte i is
i % 251; cl=N|none, the Content-Length sent (size; more: the body breaks off);
chunk=N bytes a write, delay_ms=M between writes. Logs "GET /path?query"."""
import http.server
import os
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with lock, open(sys.argv[2], "a", encoding="latin-1") as log:
            log.write(self.requestline.rsplit(" ", 1)[0] + "\n")
        q = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(self.path).query))
        size, chunk = int(q.get("size", 0)), int(q.get("chunk", 65536))
        cl = "" if q.get("cl") == "none" else "Content-Length: %s\r\n" % q.get("cl", size)
        status = q.get("status", "200")
        self.wfile.write(("HTTP/1.1 %s X\r\n%sConnection: close\r\n\r\n" % (status, cl)).encode())
        for start in range(0, size, chunk):
            time.sleep(int(q.get("delay_ms", 0)) / 1000 if start else 0)
            self.wfile.write(bytes(i % 251 for i in range(start, min(size, start + chunk))))


lock = threading.Lock()
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
threading.Timer(300, server.shutdown).start()  # stops by itself
with open(sys.argv[1] + ".new", "w") as f:
    f.write("%d\n" % server.server_port)
os.replace(sys.argv[1] + ".new", sys.argv[1])  # never seen half-written
server.serve_forever()
