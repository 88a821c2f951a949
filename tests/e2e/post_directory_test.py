#!/usr/bin/env python3
"""End to end: the built program posts a directory to a real INN, headless;
the articles are fetched back, decoded with uudeview and compared byte for
byte with the sources; subjects, headers, the report's summary and the exit
status are checked.

  post_directory_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import os
import random
import re
import sys

import e2e_support as e2e

GROUP = "tidewell.test"
PART_SIZE = 50000
COMMENT_SETTING = "Posted by the Tidewell end-to-end test\xfc\xe9Second comment line"
COMMENT_TEXT = b"Posted by the Tidewell end-to-end test\r\nSecond comment line\r\n\r\n"

# name: (size or text, FILES.BBS description). Sizes chosen for the edges of
# the encoding and the part plan (see the comments).
NOTES = (b"Notes for the end-to-end test\n.a line that begins with a dot\n.\n..\n"
         b"...three\nplain line\n\n" + b"x" * 900 + b"\nlast line\n")
FILES = {
    "PICTURE.BIN": (120000, "Random picture data"),   # 4 parts at PartSize 50000
    "MERGED.BIN": (71370, "Short rest rides along"),  # 2 parts: a 3-byte rest joins the last
    "DOTLINE.BIN": (464, "Fourteen bytes at the end"),  # last line's length character is a dot
    "ONEBYTE.BIN": (1, "A single byte"),
    "SMALL.DAT": (3000, "Small data file"),
    "NOTES.TXT": (NOTES, "Dotted text lines"),        # posted as text, not uuencoded
}
NOT_POSTED = {"EMPTY.BIN": b"", ".hidden.bin": b"hidden", "Report07.TXT": b"an old report\r\n"}


def make_sources(workspace):
    rng = random.Random(20261208)
    contents = {}
    for name, (content, _) in FILES.items():
        contents[name] = content if isinstance(content, bytes) else rng.randbytes(content)
        workspace.write(name, contents[name])
    for name, data in NOT_POSTED.items():
        workspace.write(name, data)
    os.makedirs(os.path.join(workspace.source, "SUBDIR"))
    with open(os.path.join(workspace.source, "SUBDIR", "INNER.BIN"), "wb") as inner:
        inner.write(b"never posted")
    bbs = "Descriptions for the end-to-end test\r\n\r\n"
    bbs += "".join(f"{name}  {description}\r\n" for name, (_, description) in FILES.items())
    workspace.write("FILES.BBS", bbs.encode("latin-1"))
    return contents


def expected_articles(prefix, contents):
    """(subject, file name, part, parts) in posting order: names sorted."""
    expected = []
    for name in sorted(FILES):
        data = contents[name]
        encoded = len(data) if name.endswith(".TXT") else e2e.encoded_size(len(data))
        parts = e2e.part_count(encoded, PART_SIZE)
        for part in range(1, parts + 1):
            subject = f"{prefix} - {FILES[name][1]} - {name.lower()} ({part}/{parts}) {len(data)} bytes"
            expected.append((subject, name, part, parts))
    return expected


def text_body_matches(body, source):
    """A text file's article: the comment, then its lines with CRLF ends,
    dots as in the source once the server has removed the stuffing."""
    if not body.startswith(COMMENT_TEXT):
        return False
    posted = body[len(COMMENT_TEXT):].replace(b"\r\n", b"\n")
    return posted.rstrip(b"\n") == source.rstrip(b"\n")


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program)
    checks = e2e.Checks()
    workspace = e2e.Workspace("e2e-post")
    prefix = e2e.unique_prefix("post")
    contents = make_sources(workspace)
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "",
        "From": "Tidewell Test <e2e@tidewell.invalid>", "ReplyTo": "replies@tidewell.invalid",
        "Organization": "Tidewell End-to-End", "Subject": prefix, "Directory": workspace.source,
        "Newsgroup": GROUP, "PartSize": PART_SIZE, "BodyComment": COMMENT_SETTING,
        "AppendFileSize": "TRUE", "ShowFilename": "TRUE", "ShowCount": "TRUE", "UseBBS": "TRUE",
        "Logging": "TRUE",
    })
    expected = expected_articles(prefix, contents)
    print(f"  posting {len(FILES)} files as {len(expected)} articles to {GROUP}, subject prefix {prefix}")

    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini")
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    report = e2e.read_report(workspace)

    checks.equal(rc, 0, "exit status")
    checks.equal([subject for _, subject, _ in articles], [subject for subject, *_ in expected],
                 "subjects of the posted articles, in article order")
    binaries = []
    for (number, subject, raw), (want_subject, name, part, parts) in zip(articles, expected):
        headers, body = e2e.split_article(raw)
        checks.equal(headers.get("from"), "Tidewell Test <e2e@tidewell.invalid>", f"From of {number}")
        checks.equal(headers.get("reply-to"), "replies@tidewell.invalid", f"Reply-To of {number}")
        checks.equal(headers.get("organization"), "Tidewell End-to-End", f"Organization of {number}")
        checks.equal(headers.get("newsgroups"), GROUP, f"Newsgroups of {number}")
        checks.expect(re.fullmatch(r"\d{6}", headers.get("post-count", "")) is not None,
                      f"article {number} has a six-digit Post-Count header: {headers.get('post-count')!r}")
        if part == 1:
            checks.expect(body.startswith(COMMENT_TEXT), f"article {number} ({name}) begins with the comment")
        if name.endswith(".TXT"):
            checks.expect(text_body_matches(body, contents[name]), f"text of {name} arrives intact")
        else:
            binaries.append(os.path.join(workspace.fetched, f"{number}.art"))
            if part == 1:
                checks.expect(f"begin 644 {name.lower()}\r\n".encode() in body, f"begin line of {name}")
            if part == parts:
                checks.expect(b"\r\nend\r\n" in body, f"end line in the last part of {name}")

    decoded = e2e.uudecode(binaries, workspace.decoded)
    for name in sorted(n for n in FILES if not n.endswith(".TXT")):
        path = os.path.join(workspace.decoded, name.lower())
        if checks.expect(os.path.exists(path), f"uudeview decoded {name.lower()} (got {decoded})"):
            with open(path, "rb") as result:
                checks.expect(result.read() == contents[name], f"{name} decodes byte for byte")
    for name in list(NOT_POSTED) + ["FILES.BBS", "INNER.BIN"]:
        checks.expect(all(name.lower() not in subject for _, subject, _ in articles), f"{name} is not posted")

    if checks.expect(report is not None, "one ReportNN.TXT in the working directory"):
        total = len(expected)
        for line in (f"Total Articles     : {total}", f"Articles Ok        : {total}",
                     "Articles Failed    : 0", "Server Reconnects  : 0"):
            checks.expect(f"{line}\r\n" in report, f"report line {line!r}")
    checks.expect(os.path.getsize(workspace.path("LOGGIT.TXT")) > 0 if os.path.exists(workspace.path("LOGGIT.TXT"))
                  else False, "LOGGIT.TXT written with Logging TRUE")

    if not checks.failures:
        workspace.remove()
    checks.finish(e2e.outcome_context(rc, out, err, report) + f"\n--- kept: {workspace.root}")


if __name__ == "__main__":
    main()
