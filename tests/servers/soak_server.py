#!/usr/bin/env python3
"""HTTP server of the soak run (scripts/soak.sh), on 127.0.0.1 at a free port.

Paths:
  /soak/DIR/fNNNNN.bin    item NNNNN: its own bytes and size (1 KiB to 256
                          KiB, a few of 1 to 3 MiB), with an ETag; each
                          request gets an answer drawn at random:
                            ok        the body (206 and the rest for a
                                      range request whose If-Range holds)
                            404, 500, 503
                            reset     the connection reset, no answer
                            cut       Content-Length, part of the body, closed
                            cutchunk  chunked, some chunks, closed before the end
                            stall     half the body, 2 s of nothing, the rest
                            slow      the body spread over 1 s
                            redirect  302 to the same item (once: the
                                      answer after it is drawn again)
                          With ?hop=1 (after a redirect) no redirect is drawn.
  /soakonce/DIR/fNNNNN.bin  the same, but only an item's first request
                          gets a drawn answer; the later ones get the body.
  /mark?name=NAME         writes a mark line to the log (not logged as a request)
  /total                  how many item requests the server has had

Every item request is logged to LOGFILE as one line of tab-separated
fields, written when its answer has ended:
  arrival time (s since 1970), item path (without query), hop, Range
  header ("-" none), answer, status (0 none), body bytes sent, whether the
  answer went out whole (1/0)
and marks as "mark<TAB>time<TAB>NAME".

Usage: soak_server.py PORTFILE LOGFILE SEED
"""
import http.server
import random
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

BASE = None
LOG = None
LOCK = threading.Lock()
RNG = None
TOTAL = 0
SEEN = set()

ANSWERS = [('ok', 60), ('404', 5), ('500', 4), ('503', 4), ('reset', 4), ('cut', 6),
           ('cutchunk', 4), ('stall', 1), ('slow', 2), ('redirect', 10)]


def make_base():
    # 8 MiB of bytes that do not repeat within an item.
    rng = random.Random(20270101)
    return bytes(rng.getrandbits(8) for _ in range(1 << 16)) * 128


def item_size(n):
    h = (n * 2654435761) & 0xFFFFFFFF
    if h % 100 == 0:
        return 1048576 + h % (2 * 1048576)
    return 1024 + h % (255 * 1024)


def item_body(n):
    """The bytes of item n: the soak's analysis computes the same."""
    start = (n * 7919) % (len(BASE) - 4 * 1048576)
    return BASE[start:start + item_size(n)]


def below(n):
    """A random whole number from 0 to n - 1 (0 when n < 2)."""
    with LOCK:
        return RNG.randrange(0, n) if n > 1 else 0


def draw(no_redirect):
    with LOCK:
        while True:
            total = sum(w for _, w in ANSWERS)
            r = RNG.uniform(0, total)
            for name, weight in ANSWERS:
                r -= weight
                if r <= 0:
                    break
            if not (no_redirect and name == 'redirect'):
                return name


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def log_request_line(self, arrival, item, hop, answer, status, sent, whole):
        line = '%.6f\t%s\t%d\t%s\t%s\t%d\t%d\t%d\n' % (
            arrival, item, hop, self.headers.get('Range', '-'), answer, status, sent, int(whole))
        with LOCK:
            LOG.write(line)
            LOG.flush()

    def send_small(self, status, body):
        self.send_response(status)
        self.send_header('Content-Type', 'text/plain')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        global TOTAL
        url = urllib.parse.urlsplit(self.path)
        parts = [p for p in url.path.split('/') if p]
        query = urllib.parse.parse_qs(url.query)
        if parts == ['mark']:
            with LOCK:
                LOG.write('mark\t%.6f\t%s\n' % (time.time(), query.get('name', [''])[0]))
                LOG.flush()
            self.send_small(200, b'marked')
            return
        if parts == ['total']:
            with LOCK:
                n = TOTAL
            self.send_small(200, str(n).encode())
            return
        if len(parts) != 3 or parts[0] not in ('soak', 'soakonce') or not parts[2].startswith('f'):
            self.send_small(404, b'not found')
            return
        arrival = time.time()
        with LOCK:
            TOTAL += 1
        hop = int(query.get('hop', ['0'])[0])
        number = int(parts[2][1:].split('.')[0])
        item = url.path
        if parts[0] == 'soakonce':
            with LOCK:
                first = item not in SEEN
                SEEN.add(item)
            answer = draw(hop > 0) if first else 'ok'
        else:
            answer = draw(hop > 0)
        state = {'status': 0, 'sent': 0, 'whole': False}
        try:
            self.answer(answer, number, url.path, state)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, OSError):
            state['whole'] = False
            self.close_connection = True
        self.log_request_line(arrival, item, hop, answer, state['status'], state['sent'], state['whole'])

    def head(self, status, headers, state):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        state['status'] = status

    def write(self, data, state):
        self.wfile.write(data)
        self.wfile.flush()
        state['sent'] += len(data)

    def answer(self, answer, number, path, state):
        body = item_body(number)
        etag = '"soak-%d-%d"' % (number, len(body))
        if answer in ('404', '500', '503'):
            page = b'<html><body>soak %s</body></html>' % answer.encode()
            self.head(int(answer), [('Content-Type', 'text/html'), ('Content-Length', str(len(page)))], state)
            self.wfile.write(page)
            state['whole'] = True
            return
        if answer == 'reset':
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        if answer == 'redirect':
            self.head(302, [('Location', path + '?hop=1'), ('Content-Length', '0')], state)
            state['whole'] = True
            return
        # The body, or its rest for a range request whose If-Range holds.
        start = 0
        rng = self.headers.get('Range', '')
        if_range = self.headers.get('If-Range')
        if rng.startswith('bytes=') and rng.endswith('-') and (if_range is None or if_range == etag):
            try:
                start = int(rng[6:-1])
            except ValueError:
                start = 0
            if not 0 < start < len(body):
                start = 0
        rest = body[start:]
        headers = [('ETag', etag), ('Content-Type', 'application/octet-stream')]
        status = 200
        if start > 0:
            status = 206
            headers.append(('Content-Range', 'bytes %d-%d/%d' % (start, len(body) - 1, len(body))))
        if answer == 'cutchunk':
            self.head(status, headers + [('Transfer-Encoding', 'chunked')], state)
            cut = below(len(rest))
            for i in range(0, cut, 4096):
                piece = rest[i:min(cut, i + 4096)]
                self.wfile.write(b'%x\r\n' % len(piece) + piece + b'\r\n')
                state['sent'] += len(piece)
            self.wfile.flush()
            self.close_connection = True
            return
        self.head(status, headers + [('Content-Length', str(len(rest)))], state)
        if answer == 'cut':
            cut = below(len(rest))
            self.write(rest[:cut], state)
            self.close_connection = True
            return
        if answer == 'stall':
            half = len(rest) // 2
            self.write(rest[:half], state)
            time.sleep(2)
            self.write(rest[half:], state)
        elif answer == 'slow':
            step = max(1, len(rest) // 10)
            for i in range(0, len(rest), step):
                self.write(rest[i:i + step], state)
                time.sleep(0.1)
        else:
            self.write(rest, state)
        state['whole'] = True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    global BASE, LOG, RNG
    portfile, logfile, seed = sys.argv[1], sys.argv[2], int(sys.argv[3])
    BASE = make_base()
    RNG = random.Random(seed)
    LOG = open(logfile, 'a')
    server = Server(('127.0.0.1', 0), Handler)
    with open(portfile, 'w') as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
