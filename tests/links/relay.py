"""A TCP relay that delays what it forwards, standing in for a link with latency and jitter.

    python relay.py LISTEN_HOST TARGET_HOST MIN_MS MAX_MS

Listens on LISTEN_HOST:10001; for each client it connects to TARGET_HOST:10001 and forwards
both ways. Every chunk read is delivered a random delay in [MIN_MS, MAX_MS] after it was
read, never before the chunk read ahead of it (a stream keeps its order), so the delay of
each reply and each request varies as on a switched network. Prints "relay ready" once it
accepts connections. It runs in a process of its own: the library holds the interpreter
lock of the test process while it waits.
"""

import collections
import random
import socket
import sys
import threading
import time

PORT = 10001


def forward(source: socket.socket, sink: socket.socket, low: float, high: float) -> None:
    queue: collections.deque[tuple[float, bytes]] = collections.deque()
    ready = threading.Condition()
    closed = False

    def read() -> None:
        nonlocal closed
        last_due = 0.0
        while data := source.recv(65536):
            due = max(last_due, time.monotonic() + random.uniform(low, high))
            last_due = due
            with ready:
                queue.append((due, data))
                ready.notify()
        with ready:
            closed = True
            ready.notify()

    threading.Thread(target=read, daemon=True).start()
    while True:
        with ready:
            while not queue and not closed:
                ready.wait()
            if not queue:
                break
            due, data = queue.popleft()
        # Sleep most of the way, spin the rest: sleep can overshoot by more than the jitter.
        while (left := due - time.monotonic()) > 0:
            if left > 0.0005:
                time.sleep(left - 0.0005)
        sink.sendall(data)
    sink.shutdown(socket.SHUT_WR)


def serve(client: socket.socket, target: str, low: float, high: float) -> None:
    try:
        upstream = socket.create_connection((target, PORT))
    except OSError:
        client.close()
        return
    for s in (client, upstream):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for source, sink in ((client, upstream), (upstream, client)):
        threading.Thread(target=lambda a=source, b=sink: _run(forward, a, b, low, high), daemon=True).start()


def _run(function, *args) -> None:
    try:
        function(*args)
    except OSError:
        pass  # a connection reset ends that direction; the peer sees the reset too


def main() -> None:
    listen, target, low_ms, high_ms = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((listen, PORT))
    server.listen()
    print("relay ready", flush=True)
    while True:
        client, _ = server.accept()
        serve(client, target, low_ms / 1000, high_ms / 1000)


if __name__ == "__main__":
    main()
