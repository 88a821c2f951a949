#!/usr/bin/env python3
"""End to end: the built program posts a directory of binaries to a real INN
with NZB=TRUE, once yEnc-encoded and once uuencoded; a real downloader
(Debian's nzbget) fetches the articles by the run's NZB alone. Its yEnc
output must equal the sources byte for byte; the uuencoded articles, which
nzbget fetches but does not decode, are decoded with uudeview. The yEnc
articles are also decoded by python3-sabyenc, part by part, with their CRCs.

  yenc_nzb_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import glob
import os
import random
import re
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import e2e_support as e2e

GROUP = "tidewell.test"
PART_SIZE = 50000  # source bytes per yEnc part
NZB_NAMESPACE = "{http://www.newzbin.com/DTD/2003/nzb}"
SABYENC_DECODER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "upload", "yenc_decode.py")
FROM = "Tidewell Test <e2e@tidewell.invalid>"

# name: size, or the bytes themselves.
FILES = {
    "BIG.BIN": 4 * PART_SIZE + 12345,     # 5 parts, a short last one
    "EXACT.BIN": 2 * PART_SIZE,           # ends exactly on a part boundary: no empty third part
    "ONELINE.BIN": b"A" * 128,            # one full yEnc line of 128 characters, nothing escaped
    "Mixed Name \u00fc.dat": 70001,        # a space and UTF-8 in the name
}


def make_sources(workspace):
    rng = random.Random(20261208)
    contents = {}
    for name, content in FILES.items():
        contents[name] = content if isinstance(content, bytes) else rng.randbytes(content)
        workspace.write(name, contents[name])
    return contents


def run_nzbget(nzb, folder, raw=False, extra=None):
    """Downloads everything `nzb` lists from the local INN, nzbget in
    standalone mode (it ends when its queue is empty). Returns its exit
    status and the files it wrote: by name, or with `raw` (nzbget's
    RawArticle: every article kept whole, as fetched) a list of paths.
    `extra`: further nzbget options, over these."""
    options = {
        "MainDir": folder, "DestDir": os.path.join(folder, "dest"), "InterDir": os.path.join(folder, "inter"),
        "TempDir": os.path.join(folder, "tmp"), "QueueDir": os.path.join(folder, "queue"),
        "NzbDir": os.path.join(folder, "nzb"), "LockFile": os.path.join(folder, "nzbget.lock"),
        "LogFile": os.path.join(folder, "nzbget.log"), "WriteLog": "append", "OutputMode": "log",
        "ConfigTemplate": "/usr/share/nzbget/nzbget.conf", "WebDir": "", "ControlPort": "0",
        "Server1.Active": "yes", "Server1.Host": e2e.NEWS_HOST, "Server1.Port": "119",
        "Server1.Connections": "2", "ParCheck": "manual", "ParRename": "no", "Unpack": "no",
        "DirectRename": "no", "AppendCategoryDir": "no", "HealthCheck": "none",
        "RawArticle": "yes" if raw else "no",
    }
    options.update(extra or {})
    command = ["nzbget", "-n"]
    for key, value in options.items():
        command += ["-o", f"{key}={value}"]
    command.append(nzb)
    done = subprocess.run(command, capture_output=True, text=True, timeout=300)
    print(f"  nzbget exit status {done.returncode}")
    found = [path for path in glob.glob(os.path.join(folder, "inter" if raw else "dest", "**", "*"), recursive=True)
             if os.path.isfile(path)]
    if raw:
        return done.returncode, sorted(found)
    return done.returncode, {os.path.basename(path): path for path in found}


def read_nzb(path):
    """[(subject, poster, date, groups, [(number, bytes, id)])] in file order."""
    files = []
    for entry in ElementTree.parse(path).getroot().iter(NZB_NAMESPACE + "file"):
        groups = [group.text for group in entry.iter(NZB_NAMESPACE + "group")]
        segments = [(int(s.get("number")), int(s.get("bytes")), s.text) for s in entry.iter(NZB_NAMESPACE + "segment")]
        files.append((entry.get("subject"), entry.get("poster"), int(entry.get("date")), groups, segments))
    return files


def post(program, workspace, prefix, encoding, checks):
    """Posts the directory; returns the fetched articles and the NZB's path."""
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "", "From": FROM,
        "Subject": prefix, "Directory": workspace.source, "Newsgroup": GROUP, "PartSize": PART_SIZE,
        "AppendFileSize": "TRUE", "ShowCount": "FALSE", "UseBBS": "FALSE",
        "Encoding": encoding, "NZB": "TRUE",
    })
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini")
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    checks.equal(rc, 0, f"{encoding}: exit status")
    lines = out.splitlines()
    report = [line for line in lines if line.startswith("Report: ")]
    nzb = [line[len("NZB: "):] for line in lines if line.startswith("NZB: ")]
    checks.expect(len(report) == 1 and len(nzb) == 1 and lines.index(report[0]) < lines.index("NZB: " + nzb[0]),
                  f"{encoding}: the output names the report, then the NZB:\n{out[-800:]}")
    if nzb:
        checks.equal(os.path.basename(nzb[0]), os.path.basename(report[0])[:8] + ".nzb",
                     f"{encoding}: NZB named after the report")
    return articles, nzb[0] if nzb else None


def utf8_subject(raw):
    """The Subject header of a fetched article, its bytes read as UTF-8."""
    return e2e.split_article(raw)[0].get("subject", "").encode("latin-1").decode()


def check_nzb(nzb_path, articles, prefix, contents, encoding, checks):
    """The NZB lists every file with the subject, poster and group of its
    first article and every article as a segment with its Message-ID."""
    files = read_nzb(nzb_path)
    by_id = {}
    for _, _, raw in articles:
        headers, _ = e2e.split_article(raw)
        by_id[headers.get("message-id", "").strip("<>")] = (utf8_subject(raw), headers)
    checks.equal(len(files), len(FILES), f"{encoding}: files in the NZB")
    checks.equal(sum(len(f[4]) for f in files), len(articles), f"{encoding}: segments in the NZB")
    for (subject, poster, date, groups, segments), name in zip(files, sorted(FILES, key=str.upper)):
        # yEnc posts name their file as the yEnc convention has it, in its
        # own letter case; uuencoded ones by its lower-cased name.
        named = f'"{name}" yEnc' if encoding == "yEnc" else name.lower()
        checks.expect(subject.startswith(f"{prefix} - {named} (1/"), f"{encoding}: NZB subject {subject!r}")
        checks.equal(poster, FROM, f"{encoding}: poster of {name}")
        checks.equal(groups, [GROUP], f"{encoding}: groups of {name}")
        checks.expect(abs(date - time.time()) < 900, f"{encoding}: date of {name} is now")
        checks.equal([number for number, _, _ in segments], list(range(1, len(segments) + 1)),
                     f"{encoding}: segment numbers of {name}")
        for number, size, message_id in segments:
            posted = by_id.get(message_id)
            if checks.expect(posted is not None, f"{encoding}: segment {number} of {name} ({message_id}) was posted"):
                if number == 1:
                    checks.equal(posted[0], subject, f"{encoding}: NZB subject of {name} is the first Subject")
                checks.expect(size > 0, f"{encoding}: bytes of segment {number} of {name}")


def check_sabyenc(articles, contents, workspace, checks):
    """Each file's yEnc articles decoded by python3-sabyenc: every part's
    CRC right and the bytes equal to the source."""
    by_name = {}
    for _, _, raw in articles:
        name = re.search(r' - "(.*)" yEnc \(\d+/\d+\) \d+ bytes$', utf8_subject(raw)).group(1)
        by_name.setdefault(name, []).append(raw)
    for index, (name, data) in enumerate(contents.items()):
        encoded = workspace.path(f"sabyenc-{index}.yenc")
        with open(encoded, "wb") as out:
            for raw in by_name.get(name, []):
                out.write(e2e.split_article(raw)[1])
        decoded = encoded + ".out"
        done = subprocess.run(["/usr/bin/python3", SABYENC_DECODER, encoded, decoded], capture_output=True)
        parts = done.stdout.decode("latin-1").splitlines()
        checks.expect(done.returncode == 0 and parts and all(p.endswith("|1") for p in parts),
                      f"sabyenc: every part CRC of {name} right: {parts} {done.stderr[-300:]!r}")
        checks.expect(all(p.rsplit("|", 1)[0].encode("latin-1") == name.encode() for p in parts),
                      f"sabyenc: name= of {name}: {parts[:1]}")
        with open(decoded, "rb") as result:
            checks.expect(result.read() == data, f"sabyenc: {name} decodes byte for byte")


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program, "nzbget")
    checks = e2e.Checks()
    kept = []

    # yEnc: nzbget decodes what the NZB lists; the result must be the sources.
    workspace = e2e.Workspace("e2e-yenc")
    kept.append(workspace)
    prefix = e2e.unique_prefix("yenc")
    contents = make_sources(workspace)
    articles, nzb = post(program, workspace, prefix, "yEnc", checks)
    expected_parts = sum(max(1, -(-len(data) // PART_SIZE)) for data in contents.values())
    checks.equal(len(articles), expected_parts, "yEnc: articles posted")
    if nzb:
        check_nzb(nzb, articles, prefix, contents, "yEnc", checks)
        rc, written = run_nzbget(nzb, workspace.path("nzbget"))
        checks.equal(rc, 0, "nzbget (yEnc): exit status")
        for name, data in contents.items():
            # nzbget 21 takes the bytes of name= for Latin-1: a UTF-8 name
            # comes out with each of its bytes as a character.
            name = name.encode().decode("latin-1")
            if checks.expect(name in written, f"nzbget wrote {name} (it wrote {sorted(written)})"):
                with open(written[name], "rb") as result:
                    checks.expect(result.read() == data, f"nzbget: {name} equals the source byte for byte")
    check_sabyenc(articles, contents, workspace, checks)

    # uuencode: nzbget fetches the articles by the NZB but does not decode
    # them (what it writes as the file is the raw text, cut to the file's
    # size); it keeps each article whole with RawArticle, and uudeview
    # decodes those.
    workspace = e2e.Workspace("e2e-uu")
    kept.append(workspace)
    prefix = e2e.unique_prefix("uu")
    contents = make_sources(workspace)
    articles, nzb = post(program, workspace, prefix, "uuencode", checks)
    if nzb:
        check_nzb(nzb, articles, prefix, contents, "uuencode", checks)
        rc, written = run_nzbget(nzb, workspace.path("nzbget"), raw=True)
        checks.equal(rc, 0, "nzbget (uuencode): exit status")
        checks.equal(len(written), len(articles), "nzbget (uuencode): articles fetched")
        decoded = e2e.uudecode(written, workspace.decoded)
        for name, data in contents.items():
            path = os.path.join(workspace.decoded, name.lower())
            if checks.expect(os.path.exists(path), f"uudeview decoded {name.lower()} from nzbget's files ({decoded})"):
                with open(path, "rb") as result:
                    checks.expect(result.read() == data, f"uudeview: {name} equals the source byte for byte")

    if not checks.failures:
        for workspace in kept:
            workspace.remove()
    checks.finish("--- kept: " + " ".join(w.root for w in kept))


if __name__ == "__main__":
    main()
