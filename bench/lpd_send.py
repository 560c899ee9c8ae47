#!/usr/bin/env python3
"""Sends one file for the receive-throughput bench and prints the seconds it took.

  lpd_send.py lpd PORT QUEUE FILE [NUMBER [HOST]]
                                    one print job: receive-job command, data file dfA<NUMBER><HOST>
                                    (dfA001bench by default) with its terminating zero, control
                                    file; every ACK awaited
  lpd_send.py raw PORT FILE         the same bytes over a plain connection, then waits for the
                                    receiver to close (it has written everything by then)
"""
import os
import socket
import sys
import time


def connect(port):
    deadline = time.monotonic() + 10
    while True:
        try:
            sock = socket.create_connection(("127.0.0.1", port))
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return sock
        except ConnectionRefusedError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.02)


def expect_ack(sock, what):
    reply = sock.recv(1)
    if reply != b"\0":
        sys.exit("no ACK after %s (got %r)" % (what, reply))


def send_job(port, queue, path, number=1, host="bench"):
    size = os.path.getsize(path)
    job = b"A%03d%s" % (number, host.encode())
    control = b"H%s\nPbench\nJthroughput\nldf%s\nUdf%s\nNthroughput\n" % (
        host.encode(), job, job)
    with connect(port) as sock, open(path, "rb") as data:
        start = time.monotonic()  # the daemon's start-up is not part of the time
        sock.sendall(b"\2" + queue.encode() + b"\n")
        expect_ack(sock, "the receive-job command")
        sock.sendall(b"\3%d df%s\n" % (size, job))
        expect_ack(sock, "the data file subcommand")
        sock.sendfile(data)
        sock.sendall(b"\0")
        expect_ack(sock, "the data file")
        sock.sendall(b"\2%d cf%s\n" % (len(control), job))
        expect_ack(sock, "the control file subcommand")
        sock.sendall(control + b"\0")
        expect_ack(sock, "the control file")
    return time.monotonic() - start


def send_raw(port, path):
    with connect(port) as sock, open(path, "rb") as data:
        start = time.monotonic()
        sock.sendfile(data)
        sock.shutdown(socket.SHUT_WR)
        while sock.recv(65536):
            pass
    return time.monotonic() - start


def main():
    if len(sys.argv) in (5, 6, 7) and sys.argv[1] == "lpd":
        number = int(sys.argv[5]) if len(sys.argv) > 5 else 1
        host = sys.argv[6] if len(sys.argv) > 6 else "bench"
        seconds = send_job(int(sys.argv[2]), sys.argv[3], sys.argv[4], number, host)
    elif len(sys.argv) == 4 and sys.argv[1] == "raw":
        seconds = send_raw(int(sys.argv[2]), sys.argv[3])
    else:
        sys.exit(__doc__)
    print("%.3f" % seconds)


if __name__ == "__main__":
    main()
