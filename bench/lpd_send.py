#!/usr/bin/env python3
"""Sends print jobs for the receive benches and prints how long they took.

  lpd_send.py lpd PORT QUEUE FILE   one print job: receive-job command, data file (dfA001bench)
                                    with its terminating zero, control file, every ACK awaited;
                                    prints the seconds up to the last ACK
  lpd_send.py raw PORT FILE         the same bytes over a plain connection, then waits for the
                                    receiver to close (it has written everything by then)
  lpd_send.py jobs PORT QUEUE CLIENTS SECONDS
                                    CLIENTS connections at a time, each sending small jobs one
                                    after the other for SECONDS; prints the jobs per second whose
                                    last file was acknowledged
The jobs name host localhost (H line), which LPRng's lpd resolves at once.
"""
import os
import socket
import sys
import threading
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
        raise RuntimeError("no ACK after %s (got %r)" % (what, reply))


def send_job(port, queue, path=None, data=b"", number=1):
    """One job: data file (dfA<nnn>bench, from path or data), then control file."""
    name = b"%03dbench" % (number % 1000)
    control = b"Hlocalhost\nPbench\nJbench\nldfA" + name + b"\nUdfA" + name + b"\nNbench\n"
    size = os.path.getsize(path) if path else len(data)
    with connect(port) as sock:
        sock.sendall(b"\2" + queue.encode() + b"\n")
        expect_ack(sock, "the receive-job command")
        sock.sendall(b"\3%d dfA%s\n" % (size, name))
        expect_ack(sock, "the data file subcommand")
        if path:
            with open(path, "rb") as f:
                sock.sendfile(f)
            sock.sendall(b"\0")
        else:
            sock.sendall(data + b"\0")
        expect_ack(sock, "the data file")
        sock.sendall(b"\2%d cfA%s\n" % (len(control), name))
        expect_ack(sock, "the control file subcommand")
        sock.sendall(control + b"\0")
        expect_ack(sock, "the control file")


def send_raw(port, path):
    with connect(port) as sock, open(path, "rb") as data:
        start = time.monotonic()
        sock.sendfile(data)
        sock.shutdown(socket.SHUT_WR)
        while sock.recv(65536):
            pass
    return time.monotonic() - start


def send_jobs(port, queue, clients, seconds):
    data = b"a small print job\n" * 20
    done = [0] * clients
    failed = []
    stop = time.monotonic() + seconds

    def client(index):
        number = index * 50
        try:
            while time.monotonic() < stop:
                send_job(port, queue, data=data, number=number)
                done[index] += 1
                number += 1
        except Exception as error:  # noqa: BLE001 - reported below
            failed.append(str(error))

    start = time.monotonic()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failed:
        sys.exit("jobs failed: " + failed[0])
    return sum(done) / (time.monotonic() - start)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "lpd":
        connect(int(sys.argv[2])).close()  # the daemon is up
        start = time.monotonic()
        send_job(int(sys.argv[2]), sys.argv[3], sys.argv[4])
        print("%.3f" % (time.monotonic() - start))
    elif len(sys.argv) == 4 and sys.argv[1] == "raw":
        print("%.3f" % send_raw(int(sys.argv[2]), sys.argv[3]))
    elif len(sys.argv) == 6 and sys.argv[1] == "jobs":
        connect(int(sys.argv[2])).close()
        print("%.1f" % send_jobs(int(sys.argv[2]), sys.argv[3], int(sys.argv[4]),
                                 float(sys.argv[5])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
