#!/usr/bin/env python3
"""End to end: the built program posts a directory to a real INN with
Obfuscate=TRUE. Every article of the run is read back: no header and no
yEnc line may hold a real file name (any letter case, with or without its
extension), the Subject, the From or the Organization of the settings. Then
Debian's nzbget downloads through the run's NZB and every file must come
out byte for byte under its real name. The run is made twice: without a
recovery set, nzbget naming the files from the NZB; and with Par2=TRUE,
nzbget naming them from the articles (random) and renaming them from the
set, which carries the real names inside its obfuscated files.

The run's articles are told from other posters' on the shared server by
their From: the random address the NZB gives as the poster.

  obfuscate_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import os
import random
import re
import sys

import e2e_support as e2e
import yenc_nzb_test as yenc

GROUP = "tidewell.test"
PART_SIZE = 50000
FROM = "Obscure Tester <e2e-obf@example.invalid>"
ORGANIZATION = "Obfuscation Test Organisation"
REPLY_TO = "reply-obf@example.invalid"
BODY_COMMENT = "Uploaded by the obfuscation check"
# (settings beyond the obfuscation itself, nzbget options) of each run.
VARIANTS = [
    ({}, {"FileNaming": "nzb"}),
    ({"Par2": "TRUE"}, {"FileNaming": "article", "ParCheck": "force", "ParRename": "yes", "ParRepair": "yes"}),
]

FILES = {
    "Holiday Photos 2026.JPG": 2 * PART_SIZE + 777,  # 3 parts
    "Quarterly Ledger.ods": PART_SIZE,                # exactly one part
    "Wedding Speech Draft.txt": b"Dear friends,\n" * 900,
}


def visible_lines(raw):
    """The header lines and the yEnc control lines of an article, lower-cased."""
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    lines += [line for line in body.split(b"\r\n") if line.startswith((b"=ybegin ", b"=ypart ", b"=yend "))]
    return [line.decode("latin-1").lower() for line in lines]


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program, "nzbget")
    checks = e2e.Checks()
    kept = []
    for number, (extra_settings, nzbget_options) in enumerate(VARIANTS, 1):
        print(f"run {number}: {extra_settings or 'no recovery set'}, nzbget {nzbget_options}")
        kept.append(post_and_check(program, checks, number, extra_settings, nzbget_options))
    checks.finish("--- kept: " + " ".join(root for root in kept if root))


def post_and_check(program, checks, number, extra_settings, nzbget_options):
    """One obfuscated run and its checks; the workspace's root when kept."""
    workspace = e2e.Workspace(f"e2e-obfuscate{number}")
    prefix = e2e.unique_prefix("obfuscate")
    rng = random.Random(20261208)
    contents = {}
    for name, content in FILES.items():
        contents[name] = content if isinstance(content, bytes) else rng.randbytes(content)
        workspace.write(name, contents[name])

    settings = {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "", "From": FROM, "Organization": ORGANIZATION,
        "ReplyTo": REPLY_TO, "BodyComment": BODY_COMMENT, "Subject": prefix, "Directory": workspace.source,
        "Newsgroup": GROUP, "PartSize": PART_SIZE, "AppendFileSize": "TRUE", "ShowCount": "TRUE",
        "UseBBS": "FALSE", "Encoding": "yEnc", "NZB": "TRUE", "Obfuscate": "TRUE",
    }
    settings.update(extra_settings)
    e2e.write_ini(workspace.path("e2e.ini"), settings)
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini")
    report = e2e.read_report(workspace) or ""
    checks.equal(rc, 0, "exit status\n" + e2e.outcome_context(rc, out, err, report))
    nzb = [line[len("NZB: "):] for line in out.splitlines() if line.startswith("NZB: ")]
    if not checks.expect(len(nzb) == 1, f"the output names the NZB:\n{out[-800:]}"):
        return workspace.root
    listed = yenc.read_nzb(nzb[0])

    # The NZB: every file under its real name in the yEnc convention, the
    # poster a random address, not the From of the settings.
    posters = {poster for _, poster, _, _, _ in listed}
    checks.expect(len(posters) == 1 and FROM not in posters and "example.invalid" not in next(iter(posters)),
                  f"one random poster in the NZB: {posters}")
    poster = next(iter(posters))
    real_names = []
    for subject, _, _, _, segments in listed:
        named = re.fullmatch(r'"(.+)" yEnc \(1/(\d+)\)', subject)
        if checks.expect(named is not None, f"NZB subject in the yEnc convention: {subject!r}"):
            real_names.append(named.group(1))
            checks.equal(len(segments), int(named.group(2)), f"segments of {named.group(1)}")
    checks.expect(set(contents) <= set(real_names), f"the NZB lists every file: {real_names}")

    # Every article of the run, told by its random From.
    fetched = e2e.fetch(GROUP, before, "", workspace.fetched)
    ours = [raw for _, _, raw in fetched if e2e.split_article(raw)[0].get("from") == poster]
    ids = {segment[2] for _, _, _, _, segments in listed for segment in segments}
    checks.equal({e2e.split_article(raw)[0].get("message-id", "").strip("<>") for raw in ours}, ids,
                 "the run's articles are the NZB's segments")
    secrets = {prefix, FROM, "obscure tester", "e2e-obf", ORGANIZATION, REPLY_TO, "reply-obf", BODY_COMMENT}
    for name in real_names:
        secrets |= {name, os.path.splitext(name)[0]}
    subjects = set()
    for raw in ours:
        headers, _ = e2e.split_article(raw)
        subjects.add(headers.get("subject"))
        for line in visible_lines(raw):
            for secret in secrets:
                checks.expect(secret.lower() not in line, f"{secret!r} shows in {line!r}")
        # INN adds an Organization of its own where the article has none.
        for header in ("reply-to", "post-count"):
            checks.expect(header not in headers, f"no {header} header: {headers.get(header)!r}")
    checks.equal(len(subjects), len(ours), "no two articles share a Subject")
    checks.expect("Obfuscated:" in report and all(name.lower() in report for name in contents),
                  f"the report says the post was obfuscated and keeps the real names:\n{report[-1500:]}")

    # A downloader gets every file back under its real name.
    rc, written = yenc.run_nzbget(nzb[0], workspace.path("nzbget"), extra=nzbget_options)
    checks.equal(rc, 0, "nzbget: exit status")
    for name, data in contents.items():
        if checks.expect(name in written, f"nzbget wrote {name} (it wrote {sorted(written)})"):
            with open(written[name], "rb") as result:
                checks.expect(result.read() == data, f"nzbget: {name} equals the source byte for byte")

    if not checks.failures:
        workspace.remove()
        return None
    return workspace.root


if __name__ == "__main__":
    main()
