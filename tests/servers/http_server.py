#!/usr/bin/env python3
"""HTTP server for the tests, on 127.0.0.1 at a free port.

Paths:
  /bytes/N            N bytes of the test pattern, with Content-Length
  /chunked/N          N bytes of the pattern, chunked, no length
  /status/CODE        an error page with that status
  /short/N/M          announces N bytes, sends M (< N) and closes
  /slow/N/MS          N bytes of the pattern, spread over MS milliseconds
  /stall              announces 1 MiB, sends 10 bytes, then nothing
  /silent             accepts the request and never answers
  /count?path=P       how many requests P has had (P with its query)
Path segments after these are ignored (they name the saved file), and so
is any query string, so tests can make a URL unique with ?t=... and count
its requests.

Usage: http_server.py PORTFILE  (writes the port there once listening)
"""
import http.server
import socketserver
import sys
import threading
import time
import urllib.parse

COUNTS = {}
LOCK = threading.Lock()


def pattern(n):
    # Byte i of every test body; tests compute the same.
    block = bytes((i * 7 + (i >> 8) * 13) & 0xFF for i in range(65536))
    out = bytearray()
    while len(out) < n:
        out += block
    return bytes(out[:n])


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        parts = [p for p in url.path.split('/') if p]
        if parts[:1] != ['count']:
            with LOCK:
                COUNTS[self.path] = COUNTS.get(self.path, 0) + 1
        try:
            self.route(parts, url)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send_body(self, status, body, length=None):
        self.send_response(status)
        self.send_header('Content-Type', 'application/octet-stream')
        self.send_header('Content-Length', str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def route(self, parts, url):
        if parts[:1] == ['bytes'] and len(parts) >= 2:
            self.send_body(200, pattern(int(parts[1])))
        elif parts[:1] == ['chunked'] and len(parts) >= 2:
            body = pattern(int(parts[1]))
            self.send_response(200)
            self.send_header('Transfer-Encoding', 'chunked')
            self.end_headers()
            for i in range(0, len(body), 3000):
                piece = body[i:i + 3000]
                self.wfile.write(b'%x\r\n' % len(piece) + piece + b'\r\n')
            self.wfile.write(b'0\r\n\r\n')
        elif parts[:1] == ['status'] and len(parts) == 2:
            self.send_body(int(parts[1]), b'<html><body>error page</body></html>')
        elif parts[:1] == ['short'] and len(parts) == 3:
            self.send_body(200, pattern(int(parts[2])), length=int(parts[1]))
            self.wfile.flush()
            self.close_connection = True
        elif parts[:1] == ['slow'] and len(parts) >= 3:
            body = pattern(int(parts[1]))
            self.send_response(200)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            pieces = 10
            step = max(1, len(body) // pieces)
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                time.sleep(int(parts[2]) / 1000.0 / pieces)
        elif parts == ['stall']:
            self.send_body(200, pattern(10), length=1 << 20)
            self.wfile.flush()
            time.sleep(60)
            self.close_connection = True
        elif parts == ['silent']:
            time.sleep(60)
            self.close_connection = True
        elif parts == ['count']:
            query = urllib.parse.parse_qs(url.query)
            with LOCK:
                n = COUNTS.get(query.get('path', [''])[0], 0)
            self.send_body(200, str(n).encode())
        else:
            self.send_body(404, b'not found')


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(('127.0.0.1', 0), Handler)
    with open(sys.argv[1], 'w') as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
