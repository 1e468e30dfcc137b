#!/usr/bin/env python3
"""Anonymous, read-only FTP server for the tests, on 127.0.0.1 at a free port.

Usage: ftp_server.py ROOT PORTFILE
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, portfile = sys.argv[1], sys.argv[2]
    logging.disable(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    server = FTPServer(('127.0.0.1', 0), handler)
    with open(portfile, 'w') as f:
        f.write(str(server.address[1]))
    server.serve_forever()


if __name__ == '__main__':
    main()
