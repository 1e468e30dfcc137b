#!/usr/bin/env python3
"""HTTP server for the tests, on 127.0.0.1 at a free port.

Paths:
  /bytes/N            N bytes of the test pattern, with Content-Length
  /chunked/N          N bytes of the pattern, chunked, no length
  /status/CODE        an error page with that status
  /short/N/M          announces N bytes, sends M (< N) and closes
  /slow/N/MS          N bytes of the pattern, spread over MS milliseconds
                      (with an ETag; a range request gets the rest at once)
  /stall              announces 1 MiB, sends 10 bytes, then nothing
  /silent             accepts the request and never answers
  /count?path=P       how many requests P has had (P with its query)
  /lastrange?path=P   the Range header of P's last request ("-" for none)
  /sent?path=P        how many body bytes the resume routes sent for P

Ranges: /bytes/N answers "Range: bytes=F-" with 206 and the rest when its
If-Range (if any) is its ETag. Resume routes, each cut off at C bytes on
its first request (announcing N) and whole on later ones:
  /cut/N/C            ETag, honours Range with a matching If-Range
  /cutlm/N/C          the same with Last-Modified as its only validator
  /cutnoval/N/C       no validator
  /norange/N/C        ETag, but ignores Range (200 every time)
  /changing/N/C       a new ETag on every request, so If-Range never holds
  /badrange/N/C       ETag, answers a range request with a wrong 206
Changing answers for retries (/flaky/..., /flakylog): see flaky_routes.py.
Hostile routes:
  /loop/CODE          redirects to itself with CODE
  /go/CODE?to=URL     redirects to URL with CODE
  /hops/K/CODE/N      K redirects in a row, then N bytes
  /nocontent          204
  /garbage            bytes that are no HTTP
  /trickle/N/MS       N bytes, one every MS milliseconds
  /rate/N/BPS         N bytes at BPS bytes a second, in pieces every 50 ms

Lying routes (each ends the connection when it is done lying):
  /chunkcut/N         chunked: a chunk announced as 4096 bytes, 2000 sent, close
  /chunkbad/N         chunked: a chunk size that is no number
  /chunknoend/N       chunked: N bytes of whole chunks, closed before the last chunk
  /endless/line       a header line that never ends (2 MiB, then close)
  /endless/lines      header lines that never end (2 MiB of them, then close)
  /longer/N           Content-Length N, then N bytes and a whole second
                      response ("FAKE!") on a connection that stays open
  /longerlate/N       the same, the second response 0.2 s after the first
  /splice/N/C         cut off at C on the first request; afterwards the
                      file has changed (other bytes, another ETag) and a
                      range request gets 206 whatever its If-Range says
  /rawloc/N           302 to "/bytes/N/<raw UTF-8 and a space>.bin"
  /retry/CODE/VALUE   status CODE with "Retry-After: VALUE" (VALUE escaped)
Path segments after these are ignored (they name the saved file), and so
is any query string, so tests can make a URL unique with ?t=... and count
its requests.

Beside it, a listener that never accepts and whose queue is full, so that
a connection to it is never made; its port goes to blackhole.port in the
folder of PORTFILE.

Usage: http_server.py PORTFILE  (writes the port there once listening)
"""
import http.server
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

import flaky_routes

COUNTS = {}
RANGES = {}
SENT = {}
LAST_MODIFIED = 'Mon, 07 Dec 2026 01:02:03 GMT'
LOCK = threading.Lock()


def changed(n):
    """The bytes of a file of n bytes after it has changed."""
    return bytes(b ^ 0x5A for b in pattern(n))


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
        if parts[:1] not in (['count'], ['lastrange'], ['sent'], ['flakylog']):
            with LOCK:
                COUNTS[self.path] = COUNTS.get(self.path, 0) + 1
                RANGES[self.path] = self.headers.get('Range', '-')
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

    def requested_from(self, validator):
        """The first byte a satisfiable range request asks for, else None."""
        rng = self.headers.get('Range', '')
        if not rng.startswith('bytes=') or not rng.endswith('-'):
            return None
        if_range = self.headers.get('If-Range')
        if if_range is not None and if_range != validator:
            return None
        try:
            return int(rng[6:-1])
        except ValueError:
            return None

    def send_ranged(self, body, validator, header='ETag', start=None):
        if start is not None and 0 < start < len(body):
            self.send_response(206)
            self.send_header('Content-Range', 'bytes %d-%d/%d' % (start, len(body) - 1, len(body)))
            body = body[start:]
        else:
            self.send_response(200)
        if validator:
            self.send_header(header, validator)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.count_sent(len(body))
        self.wfile.write(body)

    def count_sent(self, n):
        with LOCK:
            SENT[self.path] = SENT.get(self.path, 0) + n

    def send_cut(self, body, cut, validator, header='ETag'):
        self.send_response(200)
        if validator:
            self.send_header(header, validator)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.count_sent(cut)
        self.wfile.write(body[:cut])
        self.wfile.flush()
        self.close_connection = True

    def resume_route(self, kind, n, cut):
        with LOCK:
            first = COUNTS.get(self.path, 0) == 1
            count = COUNTS.get(self.path, 0)
        body = pattern(n)
        header, validator = 'ETag', '"%s-%d"' % (kind, n)
        if kind == 'cutlm':
            header, validator = 'Last-Modified', LAST_MODIFIED
        elif kind == 'cutnoval':
            validator = None
        elif kind == 'changing':
            validator = '"v%d"' % count
        if first:
            self.send_cut(body, cut, validator, header)
        elif kind in ('norange', 'changing', 'cutnoval'):
            self.send_ranged(body, validator, header)
        elif kind == 'badrange' and self.headers.get('Range'):
            self.send_response(206)
            self.send_header('ETag', validator)
            self.send_header('Content-Range', 'bytes 0-%d/%d' % (n - 1, n))
            self.send_header('Content-Length', str(n))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.send_ranged(body, validator, header, self.requested_from(validator))

    def lie(self, kind, arg):
        """The lying routes: bodies whose framing is broken."""
        out = self.wfile
        if kind == 'endless':
            out.write(b'HTTP/1.1 200 OK\r\nContent-Length: 10\r\n')
            sent = 0
            if arg == 'line':
                out.write(b'X-Endless: ')
            while sent < 2 * 1024 * 1024:
                if arg == 'line':
                    out.write(b'a' * 16384)
                else:
                    out.write(b'X-Filler-%d: %s\r\n' % (sent, b'a' * 100))
                sent += 16384 if arg == 'line' else 115
            out.flush()
            self.close_connection = True
            return
        if kind in ('longer', 'longerlate'):
            n = int(arg)
            fake = b'FAKE!'
            first = b'HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n' % n + pattern(n)
            second = b'HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n' % len(fake) + fake
            if kind == 'longerlate':
                out.write(first)
                out.flush()
                time.sleep(0.2)
                out.write(second)
            else:
                # One send: the extra answer is on the wire with the body,
                # not a moment after it (which no client could tell from
                # a server that answers early).
                out.write(first + second)
            out.flush()
            return   # the connection stays open for the next request
        out.write(b'HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n')
        body = pattern(int(arg))
        if kind == 'chunkcut':
            out.write(b'1000\r\n' + body[:2000])
        elif kind == 'chunkbad':
            out.write(b'100\r\n' + body[:256] + b'\r\nzz\r\n' + body[:100])
        else:
            for i in range(0, len(body), 1000):
                piece = body[i:i + 1000]
                out.write(b'%x\r\n' % len(piece) + piece + b'\r\n')
        out.flush()
        self.close_connection = True

    def redirect(self, code, location):
        self.send_response(code)
        self.send_header('Location', location)
        self.send_header('Content-Length', '0')
        self.end_headers()

    def route(self, parts, url):
        if parts[:1] == ['bytes'] and len(parts) >= 2:
            validator = '"b-%s"' % parts[1]
            body = pattern(int(parts[1]))
            self.send_ranged(body, validator, 'ETag', self.requested_from(validator))
        elif parts[:1] and parts[0] in ('cut', 'cutlm', 'cutnoval', 'norange', 'changing', 'badrange') \
                and len(parts) >= 3:
            self.resume_route(parts[0], int(parts[1]), int(parts[2]))
        elif parts[:1] == ['flaky'] and len(parts) >= 2:
            flaky_routes.route(self, parts, pattern)
        elif parts == ['flakylog']:
            query = urllib.parse.parse_qs(url.query)
            self.send_body(200, flaky_routes.log(query.get('path', [''])[0]).encode())
        elif parts[:1] == ['loop'] and len(parts) == 2:
            self.redirect(int(parts[1]), self.path)
        elif parts[:1] == ['go'] and len(parts) == 2:
            self.redirect(int(parts[1]), urllib.parse.parse_qs(url.query)['to'][0])
        elif parts[:1] == ['hops'] and len(parts) >= 4:
            k = int(parts[1])
            if k > 0:
                rest = '/'.join(parts[2:])
                query = '?' + url.query if url.query else ''
                self.redirect(int(parts[2]), '/hops/%d/%s%s' % (k - 1, rest, query))
            else:
                self.send_body(200, pattern(int(parts[3])))
        elif parts[:1] and parts[0] in ('chunkcut', 'chunkbad', 'chunknoend', 'endless', 'longer',
                                        'longerlate') \
                and len(parts) >= 2:
            self.lie(parts[0], parts[1])
        elif parts[:1] == ['splice'] and len(parts) >= 3:
            n, cut = int(parts[1]), int(parts[2])
            with LOCK:
                first = COUNTS.get(self.path, 0) == 1
            if first:
                self.send_cut(pattern(n), cut, '"s1-%d"' % n)
                return
            body = changed(n)
            start = None
            rng = self.headers.get('Range', '')
            if rng.startswith('bytes=') and rng.endswith('-'):
                start = int(rng[6:-1])
            self.send_ranged(body, '"s2-%d"' % n, 'ETag', start)
        elif parts[:1] == ['rawloc'] and len(parts) >= 2:
            # A Location in raw UTF-8, as some servers send it.
            target = ('/bytes/%s/\u3042 \u3044.bin' % parts[1]).encode('utf-8')
            self.wfile.write(b'HTTP/1.1 302 Found\r\nLocation: ' + target + b'\r\nContent-Length: 0\r\n\r\n')
            self.wfile.flush()
        elif parts[:1] == ['retry'] and len(parts) >= 3:
            body = b'busy'
            self.send_response(int(parts[1]))
            self.send_header('Retry-After', urllib.parse.unquote(parts[2]))
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif parts == ['nocontent']:
            self.send_response(204)
            self.end_headers()
        elif parts == ['garbage']:
            self.wfile.write(b'THIS IS NOT HTTP AT ALL\r\n\r\n' + pattern(3000))
            self.wfile.flush()
            self.close_connection = True
        elif parts[:1] == ['trickle'] and len(parts) >= 3:
            body = pattern(int(parts[1]))
            self.send_response(200)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                time.sleep(int(parts[2]) / 1000.0)
        elif parts[:1] == ['rate'] and len(parts) >= 3:
            body = pattern(int(parts[1]))
            rate = int(parts[2])
            self.send_response(200)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            # Paced against the clock from the start, so that the rate
            # holds however long each write takes.
            step = max(1, rate // 20)
            start = time.monotonic()
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                due = start + (i + step) / rate
                pause = due - time.monotonic()
                if pause > 0:
                    time.sleep(pause)
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
            validator = '"slow-%s-%s"' % (parts[1], parts[2])
            start = self.requested_from(validator)
            if start is not None:
                # the rest of a slow body comes at once
                self.send_ranged(body, validator, 'ETag', start)
                return
            self.send_response(200)
            self.send_header('ETag', validator)
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
        elif parts == ['sent']:
            query = urllib.parse.parse_qs(url.query)
            with LOCK:
                n = SENT.get(query.get('path', [''])[0], 0)
            self.send_body(200, str(n).encode())
        elif parts == ['lastrange']:
            query = urllib.parse.parse_qs(url.query)
            with LOCK:
                r = RANGES.get(query.get('path', [''])[0], '')
            self.send_body(200, r.encode())
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


def blackhole(folder):
    """A listener with a full queue: new connections are never made."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(('127.0.0.1', 0))
    listener.listen(0)
    fillers = []
    for _ in range(4):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.connect(listener.getsockname())
        except BlockingIOError:
            pass
        fillers.append(s)
    with open(os.path.join(folder, 'blackhole.port'), 'w') as f:
        f.write(str(listener.getsockname()[1]))
    return listener, fillers


def main():
    kept = blackhole(os.path.dirname(os.path.abspath(sys.argv[1])))
    server = Server(('127.0.0.1', 0), Handler)
    with open(sys.argv[1], 'w') as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
