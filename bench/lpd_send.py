#!/usr/bin/env python3
"""Sends print jobs for the receive benches and prints how long they took.

  lpd_send.py lpd PORT QUEUE FILE [NUMBER [HOST]]
                                    one print job: receive-job command, data file dfA<NUMBER><HOST>
                                    (dfA001bench by default) with its terminating zero, control
                                    file; every ACK awaited; prints the seconds up to the last ACK
  lpd_send.py raw PORT FILE         the same bytes over a plain connection, then waits for the
                                    receiver to close (it has written everything by then)
  lpd_send.py jobs PORT QUEUE CLIENTS SECONDS
                                    CLIENTS connections at a time, each sending small jobs (host
                                    localhost) one after the other for SECONDS; prints the jobs per
                                    second whose last file was acknowledged (refused ones are
                                    counted on stderr)
LPRng's lpd resolves host localhost at once; other names slow it down.
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


def send_job(port, queue, path=None, number=1, host="bench", data=b""):
    """One job: data file (from path, or data), then control file; every ACK awaited."""
    size = os.path.getsize(path) if path else len(data)
    job = b"A%03d%s" % (number % 1000, host.encode())
    control = b"H%s\nPbench\nJthroughput\nldf%s\nUdf%s\nNthroughput\n" % (host.encode(), job, job)
    with connect(port) as sock:
        sock.sendall(b"\2" + queue.encode() + b"\n")
        expect_ack(sock, "the receive-job command")
        sock.sendall(b"\3%d df%s\n" % (size, job))
        expect_ack(sock, "the data file subcommand")
        if path:
            with open(path, "rb") as f:
                sock.sendfile(f)
            sock.sendall(b"\0")
        else:
            sock.sendall(data + b"\0")
        expect_ack(sock, "the data file")
        sock.sendall(b"\2%d cf%s\n" % (len(control), job))
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
    numbers = iter(range(1 << 30))  # job numbers in turn: no two jobs in flight share one
    lock = threading.Lock()

    # A refused job is counted and the client goes on: a daemon that numbers jobs by the
    # client's three digits refuses a number it still holds once they wrap around.
    def client(index):
        while time.monotonic() < stop:
            with lock:
                number = next(numbers)
            try:
                send_job(port, queue, number=number, host="localhost", data=data)
                done[index] += 1
            except (RuntimeError, OSError) as error:
                failed.append(str(error))

    start = time.monotonic()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failed:
        print("%d jobs refused (%s)" % (len(failed), failed[0]), file=sys.stderr)
    return sum(done) / (time.monotonic() - start)


def main():
    if len(sys.argv) in (5, 6, 7) and sys.argv[1] == "lpd":
        port = int(sys.argv[2])
        connect(port).close()  # the daemon's start-up is not part of the time
        number = int(sys.argv[5]) if len(sys.argv) > 5 else 1
        host = sys.argv[6] if len(sys.argv) > 6 else "bench"
        start = time.monotonic()
        send_job(port, sys.argv[3], sys.argv[4], number, host)
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
