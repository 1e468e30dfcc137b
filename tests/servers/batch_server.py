#!/usr/bin/env python3
"""HTTP server for the batch tests, on 127.0.0.1 at a free port.

It serves many small files fast and counts every request, so a test can
tell whether anything was asked for after a point in time.

Paths:
  /file/N/...   N bytes of the test pattern, with Content-Length
  /total        how many requests the server has had (this one not counted)

Usage: batch_server.py PORTFILE  (writes the port there once listening)
"""
import http.server
import socketserver
import sys
import threading

from http_server import pattern

TOTAL = 0
LOCK = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def send_body(self, status, body):
        self.send_response(status)
        self.send_header('Content-Type', 'application/octet-stream')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        global TOTAL
        parts = [p for p in self.path.split('?')[0].split('/') if p]
        try:
            if parts == ['total']:
                with LOCK:
                    n = TOTAL
                self.send_body(200, str(n).encode())
                return
            with LOCK:
                TOTAL += 1
            if parts[:1] == ['file'] and len(parts) >= 2 and parts[1].isdigit():
                self.send_body(200, pattern(min(int(parts[1]), 1 << 20)))
            else:
                self.send_body(404, b'not found')
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    server = Server(('127.0.0.1', 0), Handler)
    with open(sys.argv[1], 'w') as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
