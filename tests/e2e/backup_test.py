#!/usr/bin/env python3
"""End to end: backup servers. The main server is a small stand-in on
loopback that (a) refuses at the greeting with 502, (b) greets and answers
440 to POST, or (c) relays to INN for a while and then closes every
connection and stops listening while an article is in flight; Server2 is
INN. Each case runs with one connection and with three. The run must move
to INN and finish: every Message-ID of the NZB is on INN exactly once, the
report says when and why it moved, and the files decode byte for byte.

  backup_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import collections
import glob
import os
import random
import re
import socket
import sys
import threading
import time
from xml.etree import ElementTree

import e2e_support as e2e

GROUP = "tidewell.test"
PART_SIZE = 50000
NZB_NAMESPACE = "{http://www.newzbin.com/DTD/2003/nzb}"


class StandIn:
    """The main server: listens on 127.0.0.1 (a port of the system's
    choice) and serves each connection in a thread by `mode`."""

    def __init__(self, mode):
        self.mode = mode
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.sockets = []
        self.acks = 0          # 240s relayed back to the program
        self.vanished = threading.Event()
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.sockets.append(client)
            threading.Thread(target=self.serve, args=(client,), daemon=True).start()

    def serve(self, client):
        try:
            if self.mode == "greeting":
                client.sendall(b"502 Too many connections\r\n")
                client.close()
            elif self.mode == "post":
                self.refuse_post(client)
            else:
                self.relay(client)
        except OSError:
            pass

    def refuse_post(self, client):
        client.sendall(b"200 stand-in ready\r\n")
        lines = client.makefile("rb")
        for line in lines:
            verb = line.split(b" ", 1)[0].strip().upper()
            answers = {b"MODE": b"200 reader", b"POST": b"440 Posting not allowed", b"QUIT": b"205 bye",
                       b"STAT": b"430 no such article"}
            client.sendall(answers.get(verb, b"500 what?") + b"\r\n")
            if verb == b"QUIT":
                break
        client.close()

    def relay(self, client):
        """Relays to INN. After the second 240 it passes no 240 back; the
        next article that goes out whole reaches INN, and then the server
        disappears: every connection closed, nothing listening."""
        inn = socket.create_connection((e2e.NEWS_HOST, 119))
        with self.lock:
            self.sockets.append(inn)

        def upstream():
            try:
                while True:
                    data = client.recv(65536)
                    if not data:
                        break
                    inn.sendall(data)
                    with self.lock:
                        cut = self.acks >= 2 and data.endswith(b"\r\n.\r\n")
                    if cut:
                        time.sleep(1)  # INN takes the article; its 240 is not passed on
                        self.vanish()
                        break
            except OSError:
                pass

        threading.Thread(target=upstream, daemon=True).start()
        try:
            while True:
                data = inn.recv(65536)
                if not data:
                    break
                passed = b""
                for line in data.splitlines(keepends=True):
                    with self.lock:
                        if line.startswith(b"240"):
                            if self.acks >= 2:
                                continue  # this acknowledgement is lost
                            self.acks += 1
                    passed += line
                client.sendall(passed)
        except OSError:
            pass

    def vanish(self):
        if self.vanished.is_set():
            return
        self.vanished.set()
        try:
            self.listener.shutdown(socket.SHUT_RDWR)  # wakes accept(): nothing listens any more
        except OSError:
            pass
        self.listener.close()
        with self.lock:
            for sock in self.sockets:
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                sock.close()

    def stop(self):
        self.vanish()


def read_nzb_ids(path):
    """Message-IDs of every segment of the NZB, in file order."""
    return [segment.text for segment in ElementTree.parse(path).getroot().iter(NZB_NAMESPACE + "segment")]


def run_case(program, mode, connections, sources, checks):
    label = f"{mode}/{connections}"
    workspace = e2e.Workspace(f"e2e-backup-{mode}")
    prefix = e2e.unique_prefix(f"backup-{mode}-{connections}")
    for name, data in sources.items():
        workspace.write(name, data)
    stand_in = StandIn(mode)
    settings = {
        "Host": "127.0.0.1", "Port": stand_in.port, "Username": "", "Password": "",
        "From": "Tidewell Test <e2e@tidewell.invalid>", "Subject": prefix, "Directory": workspace.source,
        "Newsgroup": GROUP, "PartSize": PART_SIZE, "ShowCount": "FALSE", "UseBBS": "FALSE",
        "Encoding": "uuencode", "MessageIDs": "TRUE", "NZB": "TRUE",
        "FastPosting": "TRUE" if connections > 1 else "FALSE", "Connections": connections,
    }
    e2e.write_ini(workspace.path("e2e.ini"), settings)
    with open(workspace.path("e2e.ini"), "a", encoding="latin-1") as ini:
        ini.write(f"[Server2]\nHost={e2e.NEWS_HOST}\nPort=119\n")
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini", timeout=300)
    stand_in.stop()
    report = e2e.read_report(workspace) or ""
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    failures = len(checks.failures)
    checks.equal(rc, 0, f"{label}: exit status")
    why = {"greeting": "502 Too many connections", "post": "440 Posting not allowed",
           "relay": "unreachable after 3 reconnections"}[mode]
    moved = f"Moving from 127.0.0.1:{stand_in.port} to {e2e.NEWS_HOST}: {why}\r\n"
    checks.equal(report.count(moved), 1, f"{label}: the report's move line")
    checks.expect(re.search(r"\d\d:\d\d:\d\d " + re.escape(moved), report) is not None,
                  f"{label}: the move line has its time")
    nzbs = glob.glob(workspace.path("Report[0-9][0-9].nzb"))
    if checks.expect(len(nzbs) == 1, f"{label}: one NZB"):
        wanted = read_nzb_ids(nzbs[0])
        on_server = collections.Counter(e2e.split_article(raw)[0].get("message-id", "").strip("<>")
                                        for _, _, raw in articles)
        checks.equal(len(wanted), len(set(wanted)), f"{label}: NZB Message-IDs are distinct")
        checks.equal(sorted(on_server.elements()), sorted(wanted),
                     f"{label}: every Message-ID of the NZB on the server exactly once")
        checks.expect(re.search(r"Articles Ok        : " + str(len(wanted)) + r"\r\nArticles Failed    : 0\r\n",
                                report) is not None, f"{label}: summary counts")
    decoded = e2e.uudecode([workspace.path("fetched", f"{number}.art") for number, _, _ in articles],
                           workspace.decoded)
    for name, data in sources.items():
        path = os.path.join(workspace.decoded, name.lower())
        if checks.expect(os.path.exists(path), f"{label}: {name.lower()} decoded (got {decoded})"):
            with open(path, "rb") as result:
                checks.expect(result.read() == data, f"{label}: {name} decodes byte for byte")
    if len(checks.failures) > failures:
        print(e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}")
    else:
        workspace.remove()


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    checks = e2e.Checks()
    rng = random.Random(20261209)
    sources = {"ONE.BIN": rng.randbytes(180000), "TWO.BIN": rng.randbytes(70000)}
    for mode in sys.argv[2:] or ("greeting", "post", "relay"):
        for connections in (1, 3):
            run_case(program, mode, connections, sources, checks)
    checks.finish()


if __name__ == "__main__":
    main()
