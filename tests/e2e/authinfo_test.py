#!/usr/bin/env python3
"""End to end: logging in with AUTHINFO against a real INN, headless.
The right password (tester/secret) posts; a wrong one (481) ends the run
with "Authentication failed [Code 2]." in the report, exit status 3 and
nothing posted.

  authinfo_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import os
import random
import sys

import e2e_support as e2e

GROUP = "tidewell.test"


def post_one_file(program, name, password):
    """Runs the program on a directory holding one small binary; returns
    (workspace, prefix, data, exit status, output, error output, report)."""
    workspace = e2e.Workspace(f"e2e-{name}")
    prefix = e2e.unique_prefix(name)
    data = random.Random(name).randbytes(2000)
    workspace.write("LOGIN.BIN", data)
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "tester", "Password": password,
        "From": "Tidewell Test <e2e@tidewell.invalid>", "ReplyTo": "replies@tidewell.invalid",
        "Organization": "Tidewell End-to-End", "Subject": prefix, "Directory": workspace.source,
        "Newsgroup": GROUP, "PartSize": 50000, "BodyComment": "", "AppendFileSize": "FALSE",
        "ShowFilename": "TRUE", "ShowCount": "FALSE", "UseBBS": "FALSE", "Logging": "FALSE",
    })
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini", timeout=300)
    return workspace, prefix, data, rc, out, err, e2e.read_report(workspace)


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    checks = e2e.Checks()
    context = ""
    before = e2e.high_water(GROUP)

    print("  right password")
    workspace, prefix, data, rc, out, err, report = post_one_file(program, "login-ok", "secret")
    checks.equal(rc, 0, "exit status with the right password")
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    checks.equal([subject for _, subject, _ in articles], [f"{prefix} - login.bin (1/1)"], "subjects")
    decoded = e2e.uudecode([os.path.join(workspace.fetched, f"{n}.art") for n, _, _ in articles],
                           workspace.decoded)
    if checks.expect("login.bin" in decoded, f"login.bin decoded (got {decoded})"):
        with open(os.path.join(workspace.decoded, "login.bin"), "rb") as result:
            checks.expect(result.read() == data, "login.bin decodes byte for byte")
    if checks.expect(report is not None, "a report with the right password"):
        checks.expect("Authenticating...\r\n" in report, "the report shows the login")
        checks.expect("Articles Ok        : 1\r\n" in report, "one article accepted")
        checks.expect("Articles Failed    : 0\r\n" in report, "no article failed")
    if checks.failures:
        context += e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}\n"
    else:
        workspace.remove()

    print("  wrong password")
    failures = len(checks.failures)
    workspace, prefix, _, rc, out, err, report = post_one_file(program, "login-bad", "not-the-password")
    checks.equal(rc, 3, "exit status with a wrong password")
    if checks.expect(report is not None, "a report with the wrong password"):
        checks.expect("Authentication failed [Code 2].\r\n" in report, "the report names the failed login")
        checks.expect("Total Articles" not in report, "no summary after a refused login")
    checks.equal(e2e.fetch(GROUP, before, prefix, workspace.fetched), [], "articles posted with a wrong password")
    if len(checks.failures) > failures:
        context += e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}\n"
    else:
        workspace.remove()
    checks.finish(context)


if __name__ == "__main__":
    main()
