#!/usr/bin/env python3
"""End to end: Verify=TRUE against a real INN, headless. After the run the
program asks INN (the posting server, with its login) for every article it
accepted; INN has them all, so the report says they were checked and none
is missing, nothing is posted twice, and the run ends with exit status 0.

  verify_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import random
import re
import sys

import e2e_support as e2e

GROUP = "tidewell.test"
PART_SIZE = 20000


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    checks = e2e.Checks()
    workspace = e2e.Workspace("e2e-verify")
    prefix = e2e.unique_prefix("verify")
    rng = random.Random(20261208)
    for name, size in (("ONE.BIN", 3 * PART_SIZE + 77), ("TWO.BIN", 5000)):
        workspace.write(name, rng.randbytes(size))
    # MessageIDs is left off: Verify turns it on for the run.
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "tester", "Password": "secret",
        "From": "Tidewell Test <e2e@tidewell.invalid>", "Subject": prefix, "Directory": workspace.source,
        "Newsgroup": GROUP, "PartSize": PART_SIZE, "AppendFileSize": "TRUE", "ShowCount": "FALSE",
        "UseBBS": "FALSE", "Encoding": "yEnc", "Verify": "TRUE", "VerifyDelay": "1",
    })
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini", timeout=300)
    report = e2e.read_report(workspace)
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    checks.equal(rc, 0, "exit status")
    checks.equal(len(articles), 5, "articles posted (4 + 1, none twice)")
    if checks.expect(report is not None, "a report"):
        checks.expect("Verify asks for the articles by Message-ID: MessageIDs is on for this run.\r\n" in report,
                      "the report says Verify turned Message-IDs on")
        checked = re.findall(r"Verify: (\d+) articles checked on 127\.0\.0\.1, (\d+) missing\.\r\n", report)
        checks.equal(checked, [("5", "0")], "the Verify line")
        checks.expect("Verify: missing" not in report, "nothing reported missing")
        checks.expect(report.index("Verify: 5 articles") < report.index("Posting Finished."),
                      "the Verify line comes before the summary")
        checks.expect("Articles Ok        : 5\r\n" in report, "five articles accepted")
    if checks.failures:
        checks.finish(e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}\n")
    workspace.remove()
    checks.finish()


if __name__ == "__main__":
    main()
