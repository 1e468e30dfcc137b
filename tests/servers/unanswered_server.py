#!/usr/bin/env python3
"""A port on 127.0.0.1 where a connection is never answered: its listener
takes no connection (a queue of none) and its own two connections fill
that queue, so the system drops every further connection request and a
client's connect waits until it gives up.

Usage: unanswered_server.py PORTFILE
"""
import socket
import sys
import time


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(('127.0.0.1', 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(2):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.connect(('127.0.0.1', port))
        except BlockingIOError:
            pass
        fillers.append(s)
    time.sleep(0.3)
    with open(sys.argv[1], 'w') as f:
        f.write(str(port))
    while True:
        time.sleep(3600)


if __name__ == '__main__':
    main()
