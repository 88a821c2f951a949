#!/usr/bin/env python3
"""End to end: Resume=TRUE survives kill -9. The built program posts three
files (42 yEnc parts, FastPosting, Message-IDs, NZB) headless to a real INN;
it is killed with SIGKILL at a seeded random point (after a chosen number of
articles stand in its journal, plus a short random wait), then started again
headless until it finishes. The server's article list must then hold every
part exactly once (by subject and by Message-ID), the last run's report must
start with its "Resumed:" line, its NZB must list every part, and the files
must decode byte for byte (python3-sabyenc from the server's articles, and
nzbget from the NZB). Ten runs, each with its own subject prefix; the
odd-numbered ones post with Connections=4.

  resume_kill_test.py PATH/TO/tidewell [RUNS]
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import glob
import os
import random
import re
import signal
import subprocess
import sys
import time

import e2e_support as e2e
import yenc_nzb_test as yenc

GROUP = "alt.binaries.test"
PART_SIZE = 50000
SEED = 20261208
FILES = {"first.bin": 14 * PART_SIZE + 1234, "second.bin": 13 * PART_SIZE, "third.bin": 13 * PART_SIZE + 777}
ARTICLES = sum(-(-size // PART_SIZE) for size in FILES.values())  # 42
RESTARTS = 4


def environment(workspace):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.update(workspace.environment())
    return env


def accepted_in_journal(path):
    try:
        with open(path, "rb") as journal:
            return sum(1 for line in journal.read().split(b"\n") if line[9:11] == b"A ")
    except FileNotFoundError:
        return 0


def start(program, workspace):
    return subprocess.Popen([program, "--headless", "/tidewell", "/autoquit", "e2e.ini"], cwd=workspace.root,
                            env=environment(workspace), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)


def kill_after(process, journal, articles, extra_ms):
    """SIGKILL once `articles` stand in the journal and `extra_ms` more have
    passed. Returns the count at the kill and, when the run got to its end
    first (it exited, or it had removed its journal: everything posted),
    None in place of the count."""
    deadline = time.monotonic() + 60
    seen = False
    while process.poll() is None and accepted_in_journal(journal) < articles and time.monotonic() < deadline:
        seen = seen or os.path.exists(journal)
        time.sleep(0.001)
    time.sleep(extra_ms / 1000)
    seen = seen or os.path.exists(journal)
    ended = process.poll() is not None or (seen and not os.path.exists(journal))
    if not ended:
        process.kill()  # a run at its end is left to finish its report and NZB
    out = process.communicate(timeout=30)[0].decode("latin-1")
    # The journal may have gone between the look and the kill.
    ended = ended or (seen and not os.path.exists(journal))
    return (None, out) if ended else (accepted_in_journal(journal), out)


def one_run(program, index, rng, checks, timings, stats):
    workspace = e2e.Workspace(f"resume-{index}")
    prefix = e2e.unique_prefix(f"resume{index}")
    contents = {}
    for name, size in FILES.items():
        contents[name] = rng.randbytes(size)
        workspace.write(name, contents[name])
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "", "From": yenc.FROM, "Subject": prefix,
        "Directory": workspace.source, "Newsgroup": GROUP, "PartSize": PART_SIZE, "AppendFileSize": "TRUE",
        "ShowCount": "FALSE", "UseBBS": "FALSE", "Encoding": "yEnc", "FastPosting": "TRUE",
        "MessageIDs": "TRUE", "NZB": "TRUE", "Resume": "TRUE",
        # The odd-numbered runs post with four connections.
        "Connections": 4 if index % 2 else 1,
    })
    journal = workspace.journal("e2e.ini")
    before = e2e.high_water(GROUP)
    # Kill points lie in the first half of the upload, so the kill lands
    # while it is under way even when four connections post it quickly.
    kill_at = rng.randrange(0, ARTICLES // 2)
    extra_ms = rng.choice([0, 0, 1, 2, 5, 10])
    started = time.monotonic()
    held, out = kill_after(start(program, workspace), journal, kill_at, extra_ms)
    what = f"run {index} (killed after {kill_at}+{extra_ms} ms, journal {held})"
    if held is None:
        # The run reached its end before the kill: starting it again would
        # be a new upload of the same files, not a resumption.
        print(f"  {what}: the run ended before the kill; not started again")
    for _ in range(RESTARTS if held is not None else 0):
        process = start(program, workspace)
        out = process.communicate(timeout=120)[0].decode("latin-1")
        if process.returncode == 0 and not os.path.exists(journal):
            break
    timings.append(time.monotonic() - started)
    checks.expect(not os.path.exists(journal), f"{what}: the journal is gone once every file is posted")

    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    subjects = [subject for _, subject, _ in articles]
    ids = [e2e.split_article(raw)[0].get("message-id") for _, _, raw in articles]
    duplicates = len(subjects) - len(set(subjects))
    expected = {f'{prefix} - "{name}" yEnc ({part}/{-(-size // PART_SIZE)}) {size} bytes'
                for name, size in FILES.items() for part in range(1, -(-size // PART_SIZE) + 1)}
    missing = len(expected - set(subjects))
    checks.equal((duplicates, missing), (0, 0), f"{what}: (duplicate, missing) parts on the server")
    checks.equal(len(set(ids)), len(ids), f"{what}: Message-IDs on the server are unique")
    print(f"  {what}: {len(articles)} articles, {duplicates} duplicates, {missing} missing")

    reports = sorted(glob.glob(workspace.path("Report[0-9][0-9].TXT")))
    for path in reports:
        with open(path, "rb") as report:
            text = report.read().decode("latin-1")
        stats["found by STAT"] += text.count("found on the server by STAT")
        stats["not there, posted again"] += text.count("is not on the server: posted again")
    if held is not None and checks.expect(len(reports) >= 2, f"{what}: a report per run ({reports})"):
        with open(reports[-1], "rb") as report:
            lines = report.read().decode("latin-1").split("\r\n")
        heading_end = lines.index("")
        checks.expect(re.fullmatch(rf"Resumed: \d+ of {ARTICLES} articles were already posted\.",
                                   lines[heading_end + 1]) is not None or held == 0,
                      f"{what}: the report starts with the Resumed line: {lines[heading_end + 1]!r}")
    checks.expect(not held or "Resumed: " in out, f"{what}: the terminal says it resumes:\n{out[-600:]}")

    nzb = [line[len("NZB: "):] for line in out.splitlines() if line.startswith("NZB: ")]
    # (A kill that came as the run ended may have cut its last lines.)
    if not (held is None and not nzb) and checks.expect(len(nzb) == 1, f"{what}: the last run names its NZB"):
        segments = [s for f in yenc.read_nzb(nzb[0]) for s in f[4]]
        listed, posted = {s[2] for s in segments}, {i.strip("<>") for i in ids}
        checks.equal((len(segments), len(listed - posted), len(posted - listed)), (ARTICLES, 0, 0),
                     f"{what}: NZB segments, of them not on the server, on the server but not listed")
        if index == 0:
            rc, written = yenc.run_nzbget(nzb[0], workspace.path("nzbget"))
            checks.equal(rc, 0, "nzbget: exit status")
            for name, data in contents.items():
                if checks.expect(name in written, f"nzbget wrote {name}"):
                    with open(written[name], "rb") as result:
                        checks.expect(result.read() == data, f"nzbget: {name} equals the source byte for byte")
    # Several connections store the parts out of order; the decoder takes
    # each file's parts in the order given.
    in_order = sorted(articles, key=lambda article: int(re.search(r"\((\d+)/\d+\) \d+ bytes$", article[1]).group(1)))
    yenc.check_sabyenc(in_order, contents, workspace, checks)
    return workspace, duplicates, missing


def main():
    program = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    e2e.require_news_server()
    e2e.require_program(program)
    checks = e2e.Checks()
    rng = random.Random(SEED)
    kept, timings, duplicates, missing = [], [], 0, 0
    stats = {"found by STAT": 0, "not there, posted again": 0}
    for index in range(runs):
        workspace, dup, miss = one_run(program, index, rng, checks, timings, stats)
        kept.append(workspace)
        duplicates += dup
        missing += miss
    print(f"kill -9 runs: {runs}, duplicates {duplicates}, missing {missing}, "
          f"seconds per run {min(timings):.1f}..{max(timings):.1f}, in-flight articles {stats}")
    if not checks.failures:
        for workspace in kept:
            workspace.remove()
    checks.finish("--- kept: " + " ".join(w.root for w in kept))


if __name__ == "__main__":
    main()
