#!/usr/bin/env python3
"""HTTP server for the URL tests, on 127.0.0.1 at a free port.

It answers every request with 200 and a body that is the request as it
arrived, byte for byte: the request line, then "Host: " and the Host
header's value, each ended by LF. So the file a download saves holds what
the server was sent. Each request is also appended, in the same form, to
raw.log beside the port file.

Usage: raw_server.py PORTFILE  (writes the port there once listening)
"""
import os
import socketserver
import sys
import threading

LOCK = threading.Lock()
LOG = None


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        try:
            line = self.rfile.readline(65537)
            if not line:
                return
            host = b''
            while True:
                header = self.rfile.readline(65537)
                if not header or header in (b'\r\n', b'\n'):
                    break
                name, _, value = header.partition(b':')
                if name.strip().lower() == b'host':
                    host = value.strip()
            request = line.rstrip(b'\r\n')
            body = request + b'\n' + b'Host: ' + host + b'\n'
            with LOCK:
                LOG.write(body)
                LOG.flush()
            head = (b'HTTP/1.1 200 OK\r\n'
                    b'Content-Type: application/octet-stream\r\n'
                    b'Content-Length: %d\r\n'
                    b'Connection: close\r\n\r\n' % len(body))
            method = request.split(b' ', 1)[0]
            self.wfile.write(head if method == b'HEAD' else head + body)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global LOG
    port_file = sys.argv[1]
    LOG = open(os.path.join(os.path.dirname(port_file), 'raw.log'), 'ab')
    server = Server(('127.0.0.1', 0), Handler)
    with open(port_file + '.tmp', 'w') as f:
        f.write(str(server.server_address[1]))
    os.replace(port_file + '.tmp', port_file)
    server.serve_forever()


if __name__ == '__main__':
    main()
