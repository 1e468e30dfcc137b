#!/usr/bin/env python3
"""HTTPS servers for the tests, on 127.0.0.1 at free ports, serving the
routes of http_server.py. One listener per certificate of CERTDIR (see
tls_certs.sh): good, wrongname, unknown, self; their ports go to
PORTDIR/https-NAME.port. Beside them a listener that accepts connections
and never says a word (a TLS handshake that never ends), its port in
PORTDIR/https-hold.port.

Usage: tls_server.py CERTDIR PORTDIR
"""
import os
import socket
import ssl
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from http_server import Handler, Server  # noqa: E402


def serve(certdir, portdir, name):
    server = Server(('127.0.0.1', 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certdir, name + '.pem'), os.path.join(certdir, name + '.key'))
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    with open(os.path.join(portdir, 'https-%s.port' % name), 'w') as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


def hold(portdir):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(('127.0.0.1', 0))
    listener.listen(16)
    with open(os.path.join(portdir, 'https-hold.port'), 'w') as f:
        f.write(str(listener.getsockname()[1]))
    held = []
    while True:
        conn, _ = listener.accept()
        held.append((time.time(), conn))
        held = [(t, c) for t, c in held if time.time() - t < 60 or c.close()]


def main():
    certdir, portdir = sys.argv[1], sys.argv[2]
    for name in ('wrongname', 'unknown', 'self'):
        threading.Thread(target=serve, args=(certdir, portdir, name), daemon=True).start()
    threading.Thread(target=hold, args=(portdir,), daemon=True).start()
    time.sleep(0.5)
    serve(certdir, portdir, 'good')


if __name__ == '__main__':
    main()
