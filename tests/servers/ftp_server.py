#!/usr/bin/env python3
"""Anonymous, read-only FTP server for the tests, on 127.0.0.1 at a free port.

Files whose names contain "norest" get no restart marker: REST after a
SIZE of such a file is refused. Files whose names contain "grown" are listed (SIZE) at two thirds of
their length, as a file that grew since its listing. Files whose names contain "delay226" get their transfer-complete reply
10 seconds after the data connection has closed; files whose names contain
"slow" are sent at 50,000 bytes a second. Every RETR is logged to LOGFILE
as "RETR <path> <restart offset>".

Usage: ftp_server.py ROOT PORTFILE LOGFILE
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

DELAY_226 = 10.0


class DTP(ThrottledDTPHandler):
    write_limit = 0

    def push_with_producer(self, producer):
        if self.file_obj is not None and 'slow' in os.path.basename(self.file_obj.name):
            self.write_limit = 50000
        return super().push_with_producer(producer)


class Handler(FTPHandler):
    dtp_handler = DTP
    log_path = None
    delay_226 = False

    def ftp_RETR(self, file):
        with open(self.log_path, 'a') as log:
            log.write('RETR %s %d\n' % (os.path.basename(file), self._restart_position))
        self.delay_226 = 'delay226' in os.path.basename(file)
        return super().ftp_RETR(file)

    last_size = ''

    def ftp_REST(self, line):
        if 'norest' in self.last_size:
            self.respond('502 Command not implemented.')
            return
        return super().ftp_REST(line)

    def ftp_SIZE(self, path):
        self.last_size = os.path.basename(path)
        if 'grown' in os.path.basename(path) and os.path.isfile(path):
            self.respond('213 %d' % (os.path.getsize(path) * 2 // 3))
            return
        return super().ftp_SIZE(path)

    def respond(self, resp, *args, **kwargs):
        if resp.startswith('226') and self.delay_226:
            self.delay_226 = False

            def later():
                try:
                    FTPHandler.respond(self, resp, *args, **kwargs)
                except Exception:
                    pass
            self.ioloop.call_later(DELAY_226, later)
            return
        super().respond(resp, *args, **kwargs)


def main():
    root, portfile, logfile = sys.argv[1], sys.argv[2], sys.argv[3]
    logging.disable(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    Handler.log_path = logfile
    open(logfile, 'w').close()
    server = FTPServer(('127.0.0.1', 0), Handler)
    with open(portfile, 'w') as f:
        f.write(str(server.address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
