#!/usr/bin/env python3
"""End to end: with Encoding=yEnc a directory of text files (.txt, .bat,
.ini, in any letter case, with the line ends and leading dots that text
posting would rewrite) and binaries is posted to a real INN with NZB=TRUE;
Debian's nzbget, fetching by the run's NZB alone, must give back every file
byte for byte.

  yenc_text_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import os
import random
import sys

import e2e_support as e2e
from yenc_nzb_test import run_nzbget

GROUP = "tidewell.test"
PART_SIZE = 20000

FILES = {
    "numbers.txt": "".join(f"{n}\n" for n in range(1, 20000)).encode(),  # LF lines, six parts
    "RUN.BAT": b"@echo off\r\n.\r\n..\r\ncopy a b\r\n",                    # CR LF, lines of dots
    "Setup.Ini": b"[Settings]\rlone CR\n.dot\n\x00\x1a\xff tail",            # no final line end
    "one.txt": b".",                                                       # a lone dot
    "data.bin": None,                                                      # random bytes, three parts
}


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program, "nzbget")
    checks = e2e.Checks()
    workspace = e2e.Workspace("e2e-yenc-text")
    prefix = e2e.unique_prefix("yenc-text")
    contents = {}
    for name, data in FILES.items():
        contents[name] = data if data is not None else random.Random(25).randbytes(2 * PART_SIZE + 777)
        workspace.write(name, contents[name])
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "", "From": "Tidewell Test <e2e@tidewell.invalid>",
        "Subject": prefix, "Directory": workspace.source, "Newsgroup": GROUP, "PartSize": PART_SIZE,
        "ShowFilename": "FALSE", "UseBBS": "FALSE", "Encoding": "yEnc", "NZB": "TRUE", "FastPosting": "TRUE",
    })
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini")
    checks.equal(rc, 0, "exit status")
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    checks.equal(len(articles), sum(max(1, -(-len(data) // PART_SIZE)) for data in contents.values()),
                 "articles posted: every file cut on its own bytes")
    for _, subject, raw in articles:
        checks.expect(b"\r\n=ybegin part=" in raw, f"{subject}: yEnc-encoded")
    nzb = [line[len("NZB: "):] for line in out.splitlines() if line.startswith("NZB: ")]
    if checks.expect(len(nzb) == 1, f"the output names the NZB:\n{out[-800:]}"):
        status, written = run_nzbget(nzb[0], workspace.path("nzbget"))
        checks.equal(status, 0, "nzbget exit status")
        for name, data in contents.items():
            if checks.expect(name in written, f"nzbget wrote {name} (it wrote {sorted(written)})"):
                with open(written[name], "rb") as result:
                    got = result.read()
                checks.expect(got == data, f"{name}: {len(got)} bytes back for {len(data)}, byte for byte equal")
    context = e2e.outcome_context(rc, out, err, e2e.read_report(workspace)) + "\n--- kept: " + workspace.root
    if not checks.failures:
        workspace.remove()
    checks.finish(context)


if __name__ == "__main__":
    main()
