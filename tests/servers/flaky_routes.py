"""Routes of the test HTTP server whose answers change from one request to
the next, for retries:

  /flaky/N/STEPS      N bytes of the pattern, with an ETag. STEPS says how the
                      first requests of the path (with its query) are
                      answered, one dot-separated step each:
                        cutC     200 announcing N bytes, C sent, then closed
                        CODE     that error status (e.g. 503)
                        CODErS   that status with "Retry-After: S"
                      Later requests get the body, the rest only (206) when
                      they ask for a range with a matching If-Range.
  /flakylog?path=P    one line per request of P: its answer and its Range
                      header ("-" for none), e.g. "503 bytes=5000-".
"""
import threading

LOG = {}
LOCK = threading.Lock()


def log(path):
    with LOCK:
        return '\n'.join(LOG.get(path, []))


def route(handler, parts, pattern):
    """Answers /flaky/N/STEPS[/...] on `handler`."""
    n = int(parts[1])
    steps = parts[2].split('.') if len(parts) > 2 and parts[2] != '-' else []
    with LOCK:
        entries = LOG.setdefault(handler.path, [])
        index = len(entries)
        entries.append(None)
    rng = handler.headers.get('Range', '-')
    body = pattern(n)
    validator = '"flaky-%d-%s"' % (n, parts[2] if len(parts) > 2 else '')

    def note(status):
        with LOCK:
            LOG[handler.path][index] = '%d %s' % (status, rng)

    step = steps[index] if index < len(steps) else ''
    if step.startswith('cut'):
        note(200)
        cut = int(step[3:])
        handler.send_response(200)
        handler.send_header('ETag', validator)
        handler.send_header('Content-Length', str(n))
        handler.end_headers()
        handler.wfile.write(body[:cut])
        handler.wfile.flush()
        handler.close_connection = True
    elif step:
        code, _, after = step.partition('r')
        note(int(code))
        page = b'<html><body>try again later</body></html>'
        handler.send_response(int(code))
        if after:
            handler.send_header('Retry-After', after)
        handler.send_header('Content-Type', 'text/html')
        handler.send_header('Content-Length', str(len(page)))
        handler.end_headers()
        handler.wfile.write(page)
    else:
        start = handler.requested_from(validator)
        note(206 if start is not None and 0 < start < n else 200)
        handler.send_ranged(body, validator, 'ETag', start)
