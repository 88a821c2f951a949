#!/usr/bin/env python3
"""End to end: secure connections to a real INN, headless. NNTPS on
127.0.0.1:563 (Encryption=TLS, no Port) and STARTTLS on 127.0.0.1:119 post
files that decode byte for byte, logging in only once the connection is
secure; a pin that matches posts (with and without verification). A name
the certificate does not hold, an unknown issuer (no TLSCAFile, over TLS
and over STARTTLS) and a pin that does not match each end the run with
their reason in the panel and the report, exit status 3, without
reconnecting and without posting.

  tls_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no INN, or INN without TLS:
scripts/inn-start serves both and leaves its CA at /etc/news/test-ca.pem)."""

import hashlib
import os
import random
import socket
import ssl
import sys

import e2e_support as e2e

GROUP = "tidewell.test"
TEST_CA = "/etc/news/test-ca.pem"
TLS_PORT = 563


def server_fingerprint():
    """The SHA-256 of INN's certificate on port 563 (verified against the
    test CA), after checking STARTTLS on port 119 answers 382; skips the
    test when either is not there."""
    if not os.path.exists(TEST_CA):
        e2e.skip(f"no test CA at {TEST_CA}; scripts/inn-start makes it")
    context = ssl.create_default_context(cafile=TEST_CA)
    try:
        with socket.create_connection((e2e.NEWS_HOST, TLS_PORT), timeout=5) as plain:
            with context.wrap_socket(plain, server_hostname="localhost") as secure:
                certificate = secure.getpeercert(binary_form=True)
        with socket.create_connection((e2e.NEWS_HOST, 119), timeout=5) as plain:
            reader = plain.makefile("rb")
            reader.readline()
            plain.sendall(b"STARTTLS\r\n")
            answer = reader.readline()
    except (OSError, ssl.SSLError) as error:
        e2e.skip(f"INN serves no TLS on {e2e.NEWS_HOST}:{TLS_PORT} ({error}); start it with scripts/inn-start")
    if not answer.startswith(b"382"):
        e2e.skip(f"INN on {e2e.NEWS_HOST}:119 does not offer STARTTLS: {answer!r}")
    return hashlib.sha256(certificate).hexdigest()


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    pin = server_fingerprint()
    pin_with_colons = ":".join(pin[i:i + 2] for i in range(0, len(pin), 2)).upper()
    ca = {"TLSCAFile": TEST_CA}
    # name, settings, files posted (name: size), the reason shown when the run must fail
    cases = [
        ("tls", {"Encryption": "TLS", **ca}, {"SPLIT.BIN": 60000, "SMALL.BIN": 3000}, None),
        ("starttls", {"Encryption": "STARTTLS", **ca}, {"SPLIT.BIN": 60000, "SMALL.BIN": 3000}, None),
        ("pin", {"Encryption": "TLS", "TLSPin": pin_with_colons, **ca}, {"SMALL.BIN": 3000}, None),
        ("pin-alone", {"Encryption": "TLS", "TLSPin": pin, "TLSVerify": "FALSE"}, {"SMALL.BIN": 3000}, None),
        ("wrong-host", {"Encryption": "TLS", "Host": "127.1", **ca}, {"SMALL.BIN": 3000},
         "The server's certificate is not for 127.1."),
        ("unknown-ca", {"Encryption": "TLS"}, {"SMALL.BIN": 3000},
         "The server's certificate is signed by an unknown issuer (add it with TLSCAFile)."),
        ("starttls-unknown-ca", {"Encryption": "STARTTLS"}, {"SMALL.BIN": 3000},
         "The server's certificate is signed by an unknown issuer (add it with TLSCAFile)."),
        ("pin-mismatch", {"Encryption": "TLS", "TLSPin": "00" * 32, **ca}, {"SMALL.BIN": 3000},
         f"The server's certificate does not match TLSPin (its SHA-256 fingerprint is {pin_with_colons})."),
    ]
    checks = e2e.Checks()
    context = ""
    for name, settings, files, reason in cases:
        print(f"  {name}")
        failures = len(checks.failures)
        workspace = e2e.Workspace(f"e2e-{name}")
        prefix = e2e.unique_prefix(name)
        contents = {file: random.Random(f"{name}{file}").randbytes(size) for file, size in files.items()}
        for file, data in contents.items():
            workspace.write(file, data)
        e2e.write_ini(workspace.path("e2e.ini"), {
            "Host": e2e.NEWS_HOST, "Username": "tester", "Password": "secret",
            "From": "Tidewell Test <e2e@tidewell.invalid>", "Subject": prefix, "Directory": workspace.source,
            "Newsgroup": GROUP, "PartSize": 50000, "ShowCount": "FALSE", "Logging": "TRUE", **settings,
        })
        before = e2e.high_water(GROUP)
        rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini", timeout=300)
        report = e2e.read_report(workspace) or ""
        articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
        checks.expect("Attempting Reconnection" not in report, f"{name}: no reconnection")
        if reason is None:
            checks.equal(rc, 0, f"{name}: exit status")
            checks.expect("Secure connection: TLSv1." in report, f"{name}: the report names the secure connection")
            decoded = e2e.uudecode([os.path.join(workspace.fetched, f"{n}.art") for n, _, _ in articles],
                                   workspace.decoded)
            for file, data in contents.items():
                path = os.path.join(workspace.decoded, file.lower())
                if checks.expect(os.path.exists(path), f"{name}: {file.lower()} decoded (got {decoded})"):
                    with open(path, "rb") as result:
                        checks.expect(result.read() == data, f"{name}: {file} decodes byte for byte")
            with open(workspace.path("LOGGIT.TXT"), "rb") as log:
                dialogue = log.read().decode("latin-1")
            checks.expect("authinfo pass ********" in dialogue and "secret" not in dialogue,
                          f"{name}: the log shows the plain dialogue, password masked")
            if settings["Encryption"] == "STARTTLS":
                checks.expect(-1 < dialogue.find("382 ") < dialogue.find("authinfo user"),
                              f"{name}: the login follows the 382 reply to STARTTLS")
        else:
            checks.equal(rc, 3, f"{name}: exit status")
            checks.expect(f"Secure connection failed.  {reason}  Communication terminated.\r\n" in report,
                          f"{name}: the report names the reason")
            checks.expect(f"! {reason}" in err, f"{name}: standard error shows the reason")
            checks.equal(articles, [], f"{name}: articles posted")
        if len(checks.failures) > failures:
            context += e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}\n"
        else:
            workspace.remove()
    checks.finish(context)


if __name__ == "__main__":
    main()
