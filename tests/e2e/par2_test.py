#!/usr/bin/env python3
"""End to end: the built program posts a directory to a real INN with
Par2=TRUE (yEnc, NZB). Then, all through the run's NZB:
  (a) Debian's nzbget downloads everything and Debian's par2 verify finds
      every file of the set correct;
  (b) about 5% of the data articles are cancelled on INN (ctlinnd cancel),
      nzbget downloads, checks and repairs with the set (ParCheck=force,
      ParRepair=yes) and every file comes back byte for byte;
  (c) a file deleted from the download of (a) is restored by par2 repair.

  par2_test.py PATH/TO/tidewell
Exit status 0 pass, 1 fail, 77 skipped (no news server on 127.0.0.1:119)."""

import glob
import math
import os
import random
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import e2e_support as e2e
import yenc_nzb_test as yenc

GROUP = "tidewell.test"
PART_SIZE = 50000
NZB_NAMESPACE = "{http://www.newzbin.com/DTD/2003/nzb}"
CTLINND = shutil.which("ctlinnd") or "/usr/lib/news/bin/ctlinnd"
SABYENC_DECODER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "upload", "yenc_decode.py")

FILES = {
    "big.bin": 30 * PART_SIZE + 777,   # many parts
    "Small.bin": 70001,
    "tiny.bin": 7,
    "empty.bin": 0,                    # left out of the set
    "Mixed Name \u00fc.dat": 40003,     # a space and UTF-8 in the name
}


def run_nzbget(nzb, folder, repair):
    """nzbget by the NZB, with the set checked, repaired and used for renaming
    when `repair`; the files it left in dest/ (post-processing done) or
    inter/ (a download left unrepaired)."""
    os.makedirs(folder, exist_ok=True)
    switch = "yes" if repair else "no"
    code, _ = yenc.run_nzbget(nzb, folder, extra={
        "ParCheck": "force" if repair else "manual", "ParRepair": switch, "ParRename": switch})
    files = [p for p in glob.glob(os.path.join(folder, "*", "**", "*"), recursive=True)
             if os.path.isfile(p) and "/queue/" not in p and "/tmp/" not in p[len(folder):]]
    return code, files


def found(files, name):
    """The downloaded file of `name`: nzbget 21 takes a UTF-8 name= for
    Latin-1, so its bytes may come out as characters each."""
    for candidate in (name, name.encode().decode("latin-1")):
        for path in files:
            if os.path.basename(path) == candidate:
                return path
    return None


def par2(folder, *arguments):
    done = subprocess.run(["par2", *arguments], cwd=folder, capture_output=True, text=True)
    return done.returncode, done.stdout[-1500:] + done.stderr[-500:]


def data_segments(nzb):
    """Message-IDs of the data files' articles (the set's files left out)."""
    ids = []
    for entry in ElementTree.parse(nzb).getroot().iter(NZB_NAMESPACE + "file"):
        if ".par2" in entry.get("subject"):
            continue
        ids += [segment.text for segment in entry.iter(NZB_NAMESPACE + "segment")]
    return ids


def decode_volumes(articles, folder, workspace):
    """The set's volume files, decoded from the run's articles with
    python3-sabyenc into `folder` (nzbget fetches volumes only when it
    needs them, and Debian's nzbget crashes when told to fetch them all)."""
    by_name = {}
    for _, _, raw in articles:
        subject = e2e.split_article(raw)[0].get("subject", "").encode("latin-1").decode()
        match = re.search(r' - "(.*\.vol.*\.par2)" yEnc \(\d+/\d+\)', subject)
        if match:
            by_name.setdefault(match.group(1), []).append(raw)
    for name, raws in by_name.items():
        encoded = workspace.path(name + ".yenc")
        with open(encoded, "wb") as out:
            for raw in raws:
                out.write(e2e.split_article(raw)[1])
        subprocess.run(["/usr/bin/python3", SABYENC_DECODER, encoded, os.path.join(folder, name)],
                       capture_output=True, check=True)
    return sorted(by_name)


def main():
    program = sys.argv[1]
    e2e.require_news_server()
    e2e.require_program(program, "nzbget", "par2")
    checks = e2e.Checks()
    workspace = e2e.Workspace("e2e-par2")
    prefix = e2e.unique_prefix("par2")
    rng = random.Random(20261208)
    contents = {}
    for name, size in FILES.items():
        contents[name] = rng.randbytes(size)
        workspace.write(name, contents[name])
    e2e.write_ini(workspace.path("e2e.ini"), {
        "Host": e2e.NEWS_HOST, "Username": "", "Password": "", "From": "Tidewell Test <e2e@tidewell.invalid>",
        "Subject": prefix, "Directory": workspace.source, "Newsgroup": GROUP, "PartSize": PART_SIZE,
        "ShowCount": "FALSE", "UseBBS": "FALSE", "Encoding": "yEnc", "NZB": "TRUE", "FastPosting": "TRUE",
        "Par2": "TRUE", "Par2Name": "holiday", "Par2Keep": "TRUE",
    })
    before = e2e.high_water(GROUP)
    rc, out, err = e2e.run_tidewell(program, workspace, "e2e.ini")
    articles = e2e.fetch(GROUP, before, prefix, workspace.fetched)
    report = e2e.read_report(workspace)
    checks.equal(rc, 0, "exit status")
    checks.expect(report is not None and "bytes read only for the set" in report,
                  "the report says the set was written:\n" + e2e.outcome_context(rc, out, err, report))
    nzbs = glob.glob(workspace.path("Report[0-9][0-9].nzb"))
    if not checks.expect(len(nzbs) == 1, f"one NZB written: {nzbs}"):
        checks.finish("--- kept: " + workspace.root)
    nzb = nzbs[0]
    sources = [name for name in FILES if FILES[name] > 0]

    # (a) downloaded through the NZB, the set verifies every file.
    code, files = run_nzbget(nzb, workspace.path("download"), repair=False)
    checks.equal(code, 0, "nzbget (download): exit status")
    index = found(files, "holiday.par2")
    dest = os.path.dirname(index) if index else workspace.path("download")
    for name in sources:
        path = found(files, name)
        if checks.expect(path is not None, f"nzbget wrote {name}: {[os.path.basename(f) for f in files]}"):
            if path != os.path.join(dest, name):
                os.rename(path, os.path.join(dest, name))  # the name as the set knows it
    if checks.expect(index is not None, "the index file was downloaded"):
        code, text = par2(dest, "verify", "holiday.par2")
        checks.expect(code == 0 and "All files are correct" in text, f"par2 verify:\n{text}")

        # (c) a deleted file is restored by par2 repair.
        volumes = decode_volumes(articles, dest, workspace)
        checks.expect(len(volumes) >= 2, f"the volumes were posted: {volumes}")
        os.remove(os.path.join(dest, "Small.bin"))
        code, text = par2(dest, "repair", "holiday.par2")
        checks.equal(code, 0, f"par2 repair exit status:\n{text}")
        with open(os.path.join(dest, "Small.bin"), "rb") as restored:
            checks.expect(restored.read() == contents["Small.bin"], "par2 repair restores Small.bin byte for byte")

    # (b) about 5% of the data articles cancelled; nzbget repairs.
    if os.geteuid() != 0:
        print("  (b) not run: ctlinnd cancel needs root")
        if not checks.failures:
            workspace.remove()
        checks.finish("--- kept: " + workspace.root)
    ids = data_segments(nzb)
    cancelled = rng.sample(ids, max(1, math.ceil(len(ids) * 0.05)))
    for message_id in cancelled:
        done = subprocess.run([CTLINND, "cancel", f"<{message_id}>"], capture_output=True, text=True)
        checks.equal(done.returncode, 0, f"ctlinnd cancel <{message_id}>: {done.stdout}{done.stderr}")
    print(f"  cancelled {len(cancelled)} of {len(ids)} data articles")
    code, files = run_nzbget(nzb, workspace.path("repair"), repair=True)
    log = ""
    if os.path.exists(workspace.path("repair", "nzbget.log")):
        with open(workspace.path("repair", "nzbget.log"), encoding="latin-1") as text:
            log = text.read()
    checks.expect("bad block" in log and "Successfully repaired" in log,
                  "nzbget found the missing articles and repaired them:\n" + log[-1500:])
    for name in sources:
        path = found(files, name)
        if checks.expect(path is not None, f"nzbget (repair) wrote {name}: {[os.path.basename(f) for f in files]}"):
            with open(path, "rb") as result:
                checks.expect(result.read() == contents[name], f"nzbget: {name} comes back byte for byte")

    if not checks.failures:
        workspace.remove()
    checks.finish("--- kept: " + workspace.root)


if __name__ == "__main__":
    main()
