#!/usr/bin/env python3
"""A counting relay for bench/rate-cap: listens on a free loopback port,
passes every connection through to a news server (default 127.0.0.1:119)
and writes every 100 ms a line "MS BYTES" to the rate log: the
milliseconds since the first client connected (a line "0 0" then) and the
bytes the clients have sent so far over all connections (the format of
bench/sink's --rate-log). It prints
"plain PORT" once it listens and runs until killed.

  rate-relay.py RATE_LOG [HOST [PORT]]"""

import socket
import sys
import threading
import time

sent = 0
sent_lock = threading.Lock()


def pump(source, target, counted):
    global sent
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
            if counted:
                with sent_lock:
                    sent += len(data)
    except OSError:
        pass
    for end in (source, target):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client, server_address):
    try:
        server = socket.create_connection(server_address)
    except OSError:
        client.close()
        return
    threading.Thread(target=pump, args=(client, server, True), daemon=True).start()
    threading.Thread(target=pump, args=(server, client, False), daemon=True).start()


def log_rate(path):
    started = time.monotonic()
    with open(path, "w") as log:
        log.write("0 0\n")
        tick = 0
        while True:
            tick += 1
            time.sleep(max(0.0, started + tick / 10 - time.monotonic()))
            with sent_lock:
                total = sent
            log.write(f"{tick * 100} {total}\n")
            log.flush()


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    server_address = (sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1", int(sys.argv[3]) if len(sys.argv) > 3 else 119)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(f"plain {listener.getsockname()[1]}", flush=True)
    logging = False
    while True:
        client, _ = listener.accept()
        if not logging:
            threading.Thread(target=log_rate, args=(sys.argv[1],), daemon=True).start()
            logging = True
        serve(client, server_address)


if __name__ == "__main__":
    sys.exit(main())
