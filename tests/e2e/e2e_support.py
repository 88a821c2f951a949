"""Shared pieces of the end-to-end tests: a real INN on 127.0.0.1:119, the
built program run headless the way a user runs it from cron, the articles
fetched back and decoded by an independent decoder (uudeview)."""

import glob
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests
NEWS_HOST = "127.0.0.1"
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


def skip(reason):
    print(f"SKIP: {reason}")
    sys.exit(SKIP)


def require_news_server():
    try:
        with socket.create_connection((NEWS_HOST, 119), timeout=3) as sock:
            greeting = sock.makefile("rb").readline()
    except OSError as error:
        skip(f"no news server on {NEWS_HOST}:119 ({error}); start one with scripts/inn-start")
    if not greeting.startswith((b"200", b"201")):
        skip(f"{NEWS_HOST}:119 does not greet like a news server: {greeting!r}")


def require_program(path, *tools):
    """Fails the test unless the program is built and uudeview and every
    further tool named (nzbget, par2 ...) is installed."""
    if not os.access(path, os.X_OK):
        print(f"FAIL: the program {path} is not built")
        sys.exit(1)
    for tool in ("uudeview", *tools):
        if shutil.which(tool) is None:
            print(f"FAIL: {tool} is missing (scripts/deps.sh lists the test packages)")
            sys.exit(1)


def unique_prefix(name):
    return f"tw-{name}-{time.strftime('%Y%m%d%H%M%S')}-{os.getpid()}"


class Checks:
    """Collects failed expectations so one run reports all of them."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
            print(f"  failed: {message}")
        return condition

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")

    def finish(self, context=""):
        if self.failures:
            if context:
                print(context)
            print(f"FAIL: {len(self.failures)} expectation(s) failed")
            sys.exit(1)
        print("PASS")
        sys.exit(0)


class Workspace:
    """A temporary working directory (lower-case path: the program lower-cases
    its configuration path) with a private runtime and configuration folder,
    so the run neither meets another instance's lock nor a user's settings."""

    def __init__(self, name):
        self.root = tempfile.mkdtemp(prefix=f"tidewell-{name}-")
        if self.root != self.root.lower():
            self.root = tempfile.mkdtemp(prefix=f"tidewell-{name}-", dir="/tmp")
        self.source = os.path.join(self.root, "upload")
        self.fetched = os.path.join(self.root, "fetched")
        self.decoded = os.path.join(self.root, "decoded")
        for folder in (self.source, self.fetched, self.decoded, self.path("runtime"), self.path("config")):
            os.makedirs(folder, mode=0o700)

    def environment(self):
        """The variables that keep a run inside the workspace: its lock, its
        configuration folder and its state folder (the resume journal)."""
        return {"XDG_RUNTIME_DIR": self.path("runtime"), "XDG_CONFIG_HOME": self.path("config"),
                "XDG_STATE_HOME": self.path("state"), "QT_QPA_PLATFORM": "offscreen"}

    def journal(self, ini_name):
        """Where the program keeps the resume journal of the configuration
        file `ini_name` of the working directory: in the state folder, named
        after the file and the FNV-1a hash of its real path."""
        real = os.path.realpath(self.path(ini_name)).encode()
        value = 0xcbf29ce484222325
        for byte in real:
            value = ((value ^ byte) * 0x100000001b3) % (1 << 64)
        return self.path("state", "tidewell", f"{os.path.basename(real).decode()}-{value:016x}.journal")

    def path(self, *names):
        return os.path.join(self.root, *names)

    def write(self, name, data):
        with open(os.path.join(self.source, name), "wb") as out:
            out.write(data)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def write_ini(path, settings):
    with open(path, "w", encoding="latin-1") as out:
        out.write("[Settings]\n")
        for key, value in settings.items():
            out.write(f"{key}={value}\n")


def run_tidewell(program, workspace, ini_name, timeout=600):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.update(workspace.environment())
    command = [program, "--headless", "/tidewell", "/autoquit", ini_name]
    print("  running:", " ".join(command), "in", workspace.root)
    started = time.monotonic()
    try:
        done = subprocess.run(command, cwd=workspace.root, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        out = (expired.stdout or b"").decode("latin-1")
        print(f"  the program did not end within {timeout} s; its output:\n{out[-3000:]}")
        return None, out, ""
    print(f"  exit status {done.returncode} after {time.monotonic() - started:.1f} s")
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


def high_water(group):
    out = subprocess.run([sys.executable, os.path.join(SCRIPTS, "fetch-articles"), group, "--high"],
                         check=True, capture_output=True, text=True).stdout
    return int(out.strip())


def fetch(group, after, prefix, outdir):
    """The articles of `group` above `after` whose Subject begins with
    `prefix`, in article order: a list of (number, subject, raw bytes)."""
    out = subprocess.run([sys.executable, os.path.join(SCRIPTS, "fetch-articles"), group, outdir,
                          "--after", str(after), "--subject-prefix", prefix],
                         check=True, capture_output=True, text=True, encoding="latin-1").stdout
    articles = []
    for line in out.splitlines():
        number, subject = line.split("\t")[:2]
        with open(os.path.join(outdir, f"{number}.art"), "rb") as raw:
            articles.append((int(number), subject, raw.read()))
    return sorted(articles)


def split_article(raw):
    """(headers as a dict of lower-cased name -> value, body bytes)."""
    head, _, body = raw.partition(b"\r\n\r\n")
    headers = {}
    for line in head.decode("latin-1").split("\r\n"):
        if line[:1] in (" ", "\t") and headers:
            continue  # folded continuation of the previous header
        name, _, value = line.partition(":")
        headers.setdefault(name.strip().lower(), value.strip())
    return headers, body


def uudecode(paths, outdir):
    """Decodes multi-part uuencoded articles with uudeview; returns the
    names of the files it wrote."""
    if not paths:
        return []
    result = subprocess.run(["uudeview", "-i", "-o", "-n", "-q", "-p", outdir + "/", *paths],
                            capture_output=True, text=True)
    if result.returncode != 0:
        print(f"  uudeview exit status {result.returncode}: {result.stderr.strip()[-500:]}")
    return sorted(os.listdir(outdir))


def encoded_size(size):
    """Bytes of the program's uuencoded text of a `size`-byte file: full
    63-byte lines, a short last line (one byte more when its length character
    is a doubled dot, for 14 bytes) and the 3-byte closing line."""
    full, rest = divmod(size, 45)
    short = 0 if rest == 0 else 1 + 4 * ((rest + 2) // 3) + 2 + (1 if rest == 14 else 0)
    return full * 63 + short + 3


def part_count(encoded, part_size):
    """Articles of one file: parts of whole 63-byte lines, a rest of 128
    bytes or less riding with the last part."""
    part_size = part_size or 33554432
    length = encoded if encoded < part_size else (part_size // 63) * 63
    count, rest = divmod(encoded, length)
    return count + (1 if rest > 128 else 0)


def read_report(workspace):
    """The text of the one ReportNN.TXT of the working directory (None when
    there is not exactly one)."""
    reports = glob.glob(workspace.path("Report[0-9][0-9].TXT"))
    if len(reports) != 1:
        print(f"  reports in the working directory: {[os.path.basename(r) for r in reports]}")
        return None
    with open(reports[0], "rb") as report:
        return report.read().decode("latin-1")


def outcome_context(rc, out, err, report):
    return (f"--- exit status: {rc}\n--- standard output (end):\n{out[-2500:]}\n"
            f"--- standard error (end):\n{err[-1500:]}\n--- report:\n{report}")
