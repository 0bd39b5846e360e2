#!/usr/bin/env python3
"""faultproxy.py UPSTREAM

Stands between the program and an S3 gateway on 127.0.0.1, passing every request on as
it came (its Host header too, which the signature covers), counting them by method, and
failing those it is told to as a busy or broken store would. Prints its port on the first
line of standard output. Its own requests, to /__proxy/...:
  GET /__proxy/counts                 the counts since the last look ("GET 3" a line), reset
  GET /__proxy/faults?method=PUT&slowdown=2&drop=1&expired=0
                                      the next requests of that method (any when empty):
                                      slowdown answered 503 SlowDown, drop closed unanswered,
                                      expired answered 400 ExpiredToken
"""
import http.client
import http.server
import socket
import sys
import threading
import urllib.parse

UPSTREAM = urllib.parse.urlsplit(sys.argv[1])
LOCK = threading.Lock()
COUNTS = {}
FAULTS = {"method": "", "slowdown": 0, "drop": 0, "expired": 0}
LOCAL = threading.local()
HOP = {"connection", "keep-alive", "transfer-encoding", "proxy-connection", "te", "upgrade"}


def upstream():
    if getattr(LOCAL, "conn", None) is None:
        LOCAL.conn = http.client.HTTPConnection(UPSTREAM.hostname, UPSTREAM.port, timeout=60)
    return LOCAL.conn


def error_body(code, message):
    return ('<?xml version="1.0" encoding="UTF-8"?><Error><Code>%s</Code>'
            "<Message>%s</Message></Error>" % (code, message)).encode()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def own(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/__proxy/counts":
            with LOCK:
                text = "".join("%s %d\n" % kv for kv in sorted(COUNTS.items()))
                COUNTS.clear()
            self.answer(200, text.encode())
        elif url.path == "/__proxy/faults":
            query = dict(urllib.parse.parse_qsl(url.query))
            with LOCK:
                FAULTS["method"] = query.get("method", "")
                for name in ("slowdown", "drop", "expired"):
                    FAULTS[name] = int(query.get(name, "0"))
            self.answer(200, b"")
        else:
            self.answer(404, b"")

    def fault(self):
        with LOCK:
            if FAULTS["method"] and FAULTS["method"] != self.command:
                return None
            for name in ("drop", "slowdown", "expired"):
                if FAULTS[name] > 0:
                    FAULTS[name] -= 1
                    return name
        return None

    def relay(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.path.startswith("/__proxy/"):
            self.own()
            return
        with LOCK:
            COUNTS[self.command] = COUNTS.get(self.command, 0) + 1
        fault = self.fault()
        if fault == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if fault == "slowdown":
            self.answer(503, error_body("SlowDown", "Please reduce your request rate."))
            return
        if fault == "expired":
            self.answer(400, error_body("ExpiredToken", "The provided token has expired."))
            return
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP}
        for attempt in (1, 2):
            conn = upstream()
            try:
                conn.request(self.command, self.path, body=body, headers=headers)
                response = conn.getresponse()
                data = response.read()
                break
            except (http.client.HTTPException, OSError):
                # The gateway closed a kept connection: once more on a new one.
                conn.close()
                LOCAL.conn = None
                if attempt == 2:
                    raise
        kept = [(k, v) for k, v in response.getheaders()
                if k.lower() not in HOP and k.lower() != "content-length"]
        if self.command == "HEAD":
            kept.append(("Content-Length", response.getheader("Content-Length", "0")))
            self.send_response(response.status)
            for name, value in kept:
                self.send_header(name, value)
            self.end_headers()
            return
        self.answer(response.status, data, kept)

    do_GET = do_PUT = do_DELETE = do_POST = do_HEAD = relay


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
