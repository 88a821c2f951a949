#!/usr/bin/env python3
"""End to end: posting to a real INN over IPv6, headless. Host=::1 plain,
[::1]:119 with its port in brackets, ::1 with NNTPS (Encryption=TLS, the
certificate checked for the address ::1), [::1] with STARTTLS and ::1 with
three connections post files
that decode byte for byte (fetched back over IPv4: the same spool); the
report's heading says the sockets speak IPv6. A malformed address ends the
run before any connection with a message that names the fault.

  ipv6_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no INN, or INN not listening on
::1: scripts/inn-start adds it where the machine has ::1)."""

import os
import random
import socket
import sys

import e2e_support as e2e

GROUP = "tidewell.test"
TEST_CA = "/etc/news/test-ca.pem"


def require_ipv6_server():
    for port in (119, 563):
        try:
            with socket.create_connection(("::1", port), timeout=5):
                pass
        except OSError as error:
            e2e.skip(f"INN does not listen on [::1]:{port} ({error}); scripts/inn-start adds it")
    if not os.path.exists(TEST_CA):
        e2e.skip(f"no test CA at {TEST_CA}; scripts/inn-start makes it")


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    require_ipv6_server()
    ca = {"TLSCAFile": TEST_CA}
    # name, settings, the fault named when the run must not start
    cases = [
        ("plain", {"Host": "::1"}, None),
        ("bracketed-port", {"Host": "[::1]:119", "Port": 563}, None),
        ("tls", {"Host": "::1", "Encryption": "TLS", **ca}, None),
        ("starttls", {"Host": "[::1]", "Encryption": "STARTTLS", **ca}, None),
        ("only-ipv6", {"Host": "::1", "AddressFamily": "IPv6"}, None),
        ("several", {"Host": "::1", "FastPosting": "TRUE", "Connections": "3"}, None),
        ("malformed", {"Host": "[::1"}, 'The HOST "[::1" has no closing bracket.'),
        ("wrong-family", {"Host": "::1", "AddressFamily": "IPv4"}, "The HOST is not an address of the ADDRESS FAMILY."),
    ]
    checks = e2e.Checks()
    context = ""
    for name, settings, fault in cases:
        print(f"  {name}")
        failures = len(checks.failures)
        workspace = e2e.Workspace(f"e2e-ipv6-{name}")
        prefix = e2e.unique_prefix(f"ipv6-{name}")
        files = {"SPLIT.BIN": 60000, "SMALL.BIN": 3000}
        contents = {file: random.Random(f"{name}{file}").randbytes(size) for file, size in files.items()}
        for file, data in contents.items():
            workspace.write(file, data)
        e2e.write_ini(workspace.path("e2e.ini"), {
            "Username": "tester", "Password": "secret", "From": "Tidewell Test <e2e@tidewell.invalid>",
            "Subject": prefix, "Directory": workspace.source, "Newsgroup": GROUP, "PartSize": 50000,
            "ShowCount": "FALSE", **settings,
        })
        before = e2e.high_water(GROUP)
        rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini", timeout=300)
        report = e2e.read_report(workspace) or ""
        articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
        if fault is None:
            checks.equal(rc, 0, f"{name}: exit status")
            checks.expect("Winsock Detected is Tidewell sockets 1.1 on " in report and "with IPv6\r\n" in report,
                          f"{name}: the heading says IPv6")
            checks.expect("Attempting Reconnection" not in report, f"{name}: no reconnection")
            if settings.get("Encryption"):
                checks.expect("Secure connection: TLSv1." in report, f"{name}: the report names the secure connection")
            decoded = e2e.uudecode([os.path.join(workspace.fetched, f"{n}.art") for n, _, _ in articles],
                                   workspace.decoded)
            for file, data in contents.items():
                path = os.path.join(workspace.decoded, file.lower())
                if checks.expect(os.path.exists(path), f"{name}: {file.lower()} decoded (got {decoded})"):
                    with open(path, "rb") as result:
                        checks.expect(result.read() == data, f"{name}: {file} decodes byte for byte")
        else:
            checks.expect(rc != 0, f"{name}: the run fails (exit status {rc})")
            checks.expect(fault in out or fault in report, f"{name}: the fault is named")
            checks.equal(articles, [], f"{name}: articles posted")
        if len(checks.failures) > failures:
            context += e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}\n"
        else:
            workspace.remove()
    checks.finish(context)


if __name__ == "__main__":
    main()
