#!/usr/bin/env python3
"""The profile reader of the release-folder checker's Linux build against the system's
own GetPrivateProfileStringA, on generated profile files.

    profile_diff.py run --host HOST_READER --windows WINDOWS_READER [--seed N] [--count N]
                        [--keep FOLDER] [--wine RUNNER]
    profile_diff.py regressions --host HOST_READER [--windows WINDOWS_READER [--record]] [--wine RUNNER]

`run` generates COUNT files from SEED (the same seed gives the same files), reads each
with both readers (the Windows one in one process under Wine for the whole batch),
compares every answer, and shrinks each file that differs to a small one; with --keep
the shrunk files are written there as regression cases. `regressions` reads the kept
cases and compares with the answers recorded for them (and, with a Windows reader,
with the system's answers; --record writes the system's answers as the recorded ones).
Exit code 0 when nothing differs.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_WINE = os.path.join(HERE, "..", "wine", "run-test.sh")
REGRESSIONS = os.path.join(HERE, "regressions")

# What the setup asks of its files: sections and keys, and the language sections that
# references are resolved in.
SETUP_KEYS = {
    "INIT": ["TARGET", "GROUP", "DEFAULTSEARCH", "DOWNLOAD"],
    "RADAR": ["FILE", "ALTFILE"],
    "RELEASE": ["NAME", "VERSION"],
    "ZEM": ["XRELEASE"],
}
STRINGS = ["STRINGS.0409", "STRINGS.0009", "STRINGS.0407", "STRINGS.0007", "STRINGS"]
NAMES = ["TITLE", "GROUP", "NAME", "VERSION", "X", "A B", "", " ", ";C", "[S]", "%", "T=1", "CAF\xc9", "\x8aKODA"]

LINE_ENDS = [b"\r\n"] * 8 + [b"\n"] * 4 + [b"\r"] * 2 + [b"\n\r", b"\r\r\n", b"\r\r", b""]
BLANKS = [b" ", b"\t", b"  ", b"\x0b", b"\x0c", b"\x1a", b"\xa0", b"\x00", b" \t "]
CONTROL = [b"\x00", b"\x1a", b"\t", b"\x0c", b"\x0b", b"\x1b", b"\x7f", b"\x81", b"\x85", b"\xa0", b"\xff", b"\r", b"\n"]


def pick(rng, items):
    return items[rng.randrange(len(items))]


class Generator:
    """One generated file: its lines, and the names its reads will ask for."""

    def __init__(self, rng):
        self.rng = rng
        self.sections = set()
        self.keys = set()

    def blank(self):
        return pick(self.rng, BLANKS) if self.rng.random() < 0.3 else b""

    def name(self, names):
        rng = self.rng
        base = pick(rng, names)
        self.keys.add(base)
        roll = rng.random()
        if roll < 0.5:
            return base.encode("latin-1")
        if roll < 0.6:
            return base.lower().encode("latin-1")
        if roll < 0.7:
            return base.encode("latin-1") + pick(rng, CONTROL)
        if roll < 0.8:
            return pick(rng, [b";", b"#", b"[", b"\"", b"'", b"//"]) + base.encode("latin-1")
        if roll < 0.9:
            return base[:len(base) // 2].encode("latin-1") + pick(rng, [b" ", b"\t", b"=", b"]"]) + \
                base[len(base) // 2:].encode("latin-1")
        return bytes(rng.randrange(1, 256) for _ in range(rng.randrange(0, 5)))

    def value(self):
        rng = self.rng
        roll = rng.random()
        ref = pick(rng, NAMES)
        if roll < 0.2:
            text = pick(rng, [b"PkgMgr", b"C:\\Tools", b"1.04.0000", b"Veltrano Package", b"x", b""])
        elif roll < 0.45:
            text = pick(rng, [b"%" + ref.encode() + b"%", b"%%", b"%", b"50%", b"%x", b"%" + ref.encode(),
                              b"% " + ref.encode() + b" %", b"%%" + ref.encode() + b"%%", b"%A%B%",
                              b"%" + ref.encode() + b"%tail", b"\"%" + ref.encode() + b"%\""])
            self.keys.add(ref)
        elif roll < 0.65:
            quote = pick(rng, [b"\"", b"'"])
            inner = pick(rng, [b"", b" spaced ", b"x", b"a\"b", b"'", b"\""])
            text = pick(rng, [quote + inner + quote, quote + inner, inner + quote, quote,
                              b"\"" + inner + b"'", quote + quote + quote])
        elif roll < 0.75:
            text = bytes(rng.choice(b"abcXYZ .\\%;=[]\"'") for _ in range(rng.randrange(200, 700)))
        elif roll < 0.9:
            text = bytes(rng.randrange(1, 256) for _ in range(rng.randrange(1, 12)))
        else:
            text = b"a=b;c" + pick(rng, CONTROL) + b"d"
        return text

    def section_line(self):
        rng = self.rng
        name = pick(rng, list(SETUP_KEYS) + STRINGS + ["", "Other", "INIT ", "in it", "\xc9T\xc9"])
        self.sections.add(name)
        body = name.encode("latin-1")
        if rng.random() < 0.3:
            body = self.blank() + body + self.blank()
        shape = rng.random()
        if shape < 0.6:
            line = b"[" + body + b"]"
        else:
            line = pick(rng, [b"[" + body, body + b"]", b"[[" + body + b"]]", b"[" + body + b"]trailing",
                              b"[" + body + b"] ; note", b"[" + body + b"]]", b"[" + body + b"][X]",
                              b"[" + body + b"]=v", b"[]" + body, b";[" + body + b"]"])
        return self.blank() + line + self.blank()

    def key_line(self, section):
        rng = self.rng
        names = SETUP_KEYS.get(section, NAMES)
        key = self.name(names + ["TITLE"])
        value = self.value()
        shape = rng.random()
        if shape < 0.55:
            line = key + b"=" + value
        elif shape < 0.7:
            line = key + self.blank() + b"=" + self.blank() + value + self.blank()
        elif shape < 0.75:
            line = key
        elif shape < 0.8:
            line = b"=" + value
        elif shape < 0.85:
            line = key + b"==" + value
        elif shape < 0.9:
            line = key + b"=" + value + b" ; comment"
        else:
            cut = rng.randrange(len(value) + 1)
            line = key + b"=" + value[:cut] + pick(rng, CONTROL) + value[cut:]
        return self.blank() + line

    def comment_line(self):
        return pick(self.rng, [b"; comment", b";", b"# hash", b"// slashes", b"  ; indented", b";[INIT]",
                               b";TARGET=commented", b"REM x"])

    def lines(self):
        rng = self.rng
        out = []
        section = None
        if rng.random() < 0.2:
            out.append(self.key_line("INIT"))  # before any section
        for _ in range(rng.randrange(1, 25)):
            roll = rng.random()
            if roll < 0.25 or section is None:
                out.append(self.section_line())
                section = pick(rng, list(SETUP_KEYS) + STRINGS)
                continue
            if roll < 0.85:
                out.append(self.key_line(section))
            elif roll < 0.93:
                out.append(self.comment_line())
            else:
                out.append(pick(rng, [b"", b"   ", b"\t", b"\x1a", b"\x00"]))
        # Sections and keys repeated with other values.
        if rng.random() < 0.3 and out:
            start = rng.randrange(len(out))
            out.extend(out[start:start + rng.randrange(1, 6)])
        return out


def generate(rng):
    """Bytes of one profile file."""
    gen = Generator(rng)
    lines = gen.lines()
    ends = [pick(rng, LINE_ENDS)] if rng.random() < 0.7 else None
    body = b"".join(line + (ends[0] if ends else pick(rng, LINE_ENDS)) for line in lines)
    if rng.random() < 0.15 and body:
        spot = rng.randrange(len(body))
        body = body[:spot] + pick(rng, CONTROL) + body[spot:]
    if rng.random() < 0.15 and body:
        body = body[:rng.randrange(len(body) + 1)]  # cut anywhere
    roll = rng.random()
    if roll < 0.05:
        body = b"\xef\xbb\xbf" + body
    elif roll < 0.10:
        body = b"\xff\xfe" + body.decode("cp1252", errors="replace").encode("utf-16-le")
    elif roll < 0.12:
        body = b"\xfe\xff" + body.decode("cp1252", errors="replace").encode("utf-16-be")
    elif roll < 0.14:
        body = b"\xff\xfe" + (body.decode("latin-1") + "\u0141\u5f20\U0001f600=x\r\n").encode("utf-16-le")
    return body, gen


def queries(rng, gen):
    """The reads of one file: (section, key, default, size), texts as bytes or None."""
    out = []
    for section, keys in SETUP_KEYS.items():
        for key in keys:
            out.append((section.encode(), key.encode(), b"", 260))
    names = sorted(gen.keys) + NAMES
    for section in STRINGS:
        for name in rng.sample(names, min(4, len(names))):
            out.append((section.encode(), name.encode("latin-1"), b"", 260))
    for section in sorted(gen.sections):
        for key in rng.sample(names, min(2, len(names))):
            variant = pick(rng, [section, section.lower(), " " + section + " ", "\t" + section])
            out.append((variant.encode("latin-1"), key.encode("latin-1"), b"", 260))
    # Defaults and buffer sizes at their edges.
    for _ in range(6):
        section = pick(rng, list(SETUP_KEYS) + STRINGS).encode()
        key = pick(rng, names).encode("latin-1")
        default = pick(rng, [b"", None, b"dflt", b"  d  ", b"d\t", b" ", b"\t", b"\"q\"", b"%TITLE%", b"d" * 300])
        size = pick(rng, [0, 1, 2, 3, 4, 5, 8, 16, 259, 260, 261, 300, 1024])
        out.append((section, key, default, size))
    return out


def field(text):
    if text is None:
        return "-"
    return text.hex() if text else "~"


def windows_view(body):
    """The file that makes Wine read `body` as Windows does. Windows takes no UTF-8
    byte-order mark: it reads the three bytes as characters of the first line, as Wine
    reads them once the last byte no longer completes the mark."""
    if body.startswith(b"\xef\xbb\xbf"):
        return b"\xef\xbb\xbe" + body[3:]
    return body


def write_batch(folder, cases, view=lambda body: body):
    """Writes the files and the query list; returns the query list's path."""
    path = os.path.join(folder, "queries.txt")
    with open(path, "w") as listing:
        for name, body, reads in cases:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(view(body))
            listing.write("F %s\n" % name.encode().hex())
            for section, key, default, size in reads:
                listing.write("Q %s %s %s %d\n" % (field(section), field(key), field(default), size))
    return path


def run_reader(command, folder, queries_path, wine=None):
    env = dict(os.environ)
    # The prefix of the Windows build's tests, as ctest uses it.
    build = os.path.dirname(os.path.dirname(command))
    env.setdefault("PKGMGR_WINE_ROOT", os.path.join(build, "wine"))
    env.setdefault("PKGMGR_WINE_TEMPLATES", os.path.join(build, "..", "wine-templates"))
    argv = [command, "queries.txt"]
    if wine:
        argv = ["bash", wine] + argv
    result = subprocess.run(argv, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        sys.stderr.write(result.stderr.decode(errors="replace"))
        raise SystemExit("profile_diff: %s failed (%d)" % (command, result.returncode))
    answers = [line for line in result.stdout.decode().splitlines() if line != "F"]
    return answers


def read_both(host, windows, wine, cases):
    """The answers of both readers to every read of `cases`, in order."""
    with tempfile.TemporaryDirectory(prefix="profile-diff-") as folder:
        path = write_batch(folder, cases)
        host_answers = run_reader(host, folder, path)
        windows_answers = None
        if windows:
            write_batch(folder, cases, windows_view)
            windows_answers = run_reader(windows, folder, path, wine)
            if len(windows_answers) != len(host_answers):
                raise SystemExit("profile_diff: the readers answered %d and %d reads" %
                                 (len(host_answers), len(windows_answers)))
    return host_answers, windows_answers


def windows_differs_from_wine(body, read):
    """Why this read is not compared, or None: where Windows' own reader is not known to
    answer as Wine's. A UTF-16 big-endian mark: Wine takes it, Windows is documented to
    take only the little-endian one (the checker reads such a file as Wine does and
    warns). A UTF-16 file of an odd length: Wine's reader takes the last byte with one
    read past the end of its buffer, so its answer varies. An empty or blank section
    name: the setup asks none, Windows' ANSI reader fails on it and Wine's gives the
    default."""
    if body.startswith(b"\xfe\xff"):
        return "UTF-16 big-endian byte-order mark"
    if body.startswith(b"\xff\xfe") and len(body) % 2:
        return "UTF-16 file of an odd length"
    if not read[0].strip(b" \t\x0b\x0c\r\n\x1a"):
        return "empty section name"
    return None


def shrink(host, windows, wine, body, read):
    """The smallest file (removing chunks, then single bytes) on which the two readers
    still differ on `read`; each round's candidates are read in one batch."""
    chunk = max(1, len(body) // 2)
    rounds = 0
    while chunk >= 1 and rounds < 200:
        rounds += 1
        candidates = [body[:i] + body[i + chunk:] for i in range(0, len(body), chunk)]
        if not candidates:
            break
        cases = [("s%04d.ini" % i, c, [read]) for i, c in enumerate(candidates)]
        host_answers, windows_answers = read_both(host, windows, wine, cases)
        smaller = [c for c, h, w in zip(candidates, host_answers, windows_answers) if h != w]
        if smaller:
            body = min(smaller, key=len)
            chunk = min(chunk, max(1, len(body) // 2))
        elif chunk == 1:
            break
        else:
            chunk //= 2
    return body


def describe(read):
    section, key, default, size = read
    return "[%r] %r default %r size %d" % (section, key, default, size)


def run(args):
    rng = random.Random(args.seed)
    started = time.time()
    cases = []
    for i in range(args.count):
        body, gen = generate(rng)
        cases.append(("g%05d.ini" % i, body, queries(rng, gen)))
    host_answers, windows_answers = read_both(args.host, args.windows, args.wine, cases)
    at = 0
    differing = []
    listed = 0
    reads = 0
    for name, body, case_reads in cases:
        for read in case_reads:
            h, w = host_answers[at], windows_answers[at]
            at += 1
            reads += 1
            if h == w:
                continue
            if windows_differs_from_wine(body, read):
                listed += 1
                continue
            differing.append((name, body, read, h, w))
    files = len({d[0] for d in differing})
    print("profile_diff: seed %d, %d files, %d reads: %d differ in %d files; %d reads on Windows-only cases"
          " not compared (%.1f s)" % (args.seed, len(cases), reads, len(differing), files, listed,
                                      time.time() - started))
    shrunk = {}
    for name, body, read, h, w in differing:
        if name in shrunk or len(shrunk) >= args.shrink:
            continue
        small = shrink(args.host, args.windows, args.wine, body, read)
        shrunk[name] = small
        hs, ws = read_both(args.host, args.windows, args.wine, [("x.ini", small, [read])])
        print("  %s: %s\n    file %r\n    linux   %s\n    windows %s" % (name, describe(read), small, hs[0], ws[0]))
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            base = os.path.join(args.keep, "seed%d-%s" % (args.seed, name[:-4]))
            with open(base + ".ini", "wb") as f:
                f.write(small)
            with open(base + ".q", "w") as f:
                f.write("%s %s %s %d\n" % (field(read[0]), field(read[1]), field(read[2]), read[3]))
            with open(base + ".want", "w") as f:
                f.write(ws[0] + "\n")
    return 1 if differing else 0


def regressions(args):
    """The kept cases: each .ini with its reads (.q) and the system's answers (.want)."""
    names = sorted(n[:-4] for n in os.listdir(REGRESSIONS) if n.endswith(".ini"))
    cases, wanted = [], []
    for n in names:
        base = os.path.join(REGRESSIONS, n)
        with open(base + ".ini", "rb") as f:
            body = f.read()
        reads = []
        with open(base + ".q") as f:
            for line in f.read().split("\n"):
                if not line:
                    continue
                s, k, d, size = line.split(" ")
                decode = lambda t: None if t == "-" else b"" if t == "~" else bytes.fromhex(t)
                reads.append((decode(s), decode(k), decode(d), int(size)))
        if not args.record:
            with open(base + ".want") as f:
                wanted += [(n, line) for line in f.read().split("\n") if line]
        cases.append((n + ".ini", body, reads))
    host_answers, windows_answers = read_both(args.host, args.windows, args.wine, cases)
    if args.record:
        # The system's answers become the recorded ones.
        at = 0
        for name, body, reads in cases:
            with open(os.path.join(REGRESSIONS, name[:-4] + ".want"), "w") as f:
                f.writelines(answer + "\n" for answer in windows_answers[at:at + len(reads)])
            wanted += [(name[:-4], answer) for answer in windows_answers[at:at + len(reads)]]
            at += len(reads)
    failures = 0
    for i, (name, want) in enumerate(wanted):
        if host_answers[i] != want:
            print("FAIL %s: linux %s, windows %s" % (name, host_answers[i], want))
            failures += 1
        if windows_answers and windows_answers[i] != want:
            print("FAIL %s: the system now answers %s, recorded %s" % (name, windows_answers[i], want))
            failures += 1
    print("profile_diff: %d regression reads, %d failures" % (len(wanted), failures))
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["run", "regressions"])
    parser.add_argument("--host", required=True, help="the reader built for this system")
    parser.add_argument("--windows", help="the reader built for Windows (profile_reader.exe)")
    parser.add_argument("--wine", default=DEFAULT_WINE, help="runs a Windows program (tests/wine/run-test.sh)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--shrink", type=int, default=10, help="shrink at most this many differing files")
    parser.add_argument("--keep", help="write shrunk files here as regression cases")
    parser.add_argument("--record", action="store_true", help="regressions: record the system's answers")
    args = parser.parse_args()
    if (args.mode == "run" or args.record) and not args.windows:
        parser.error("run and --record need --windows")
    args.host = os.path.abspath(args.host)
    if args.windows:
        args.windows = os.path.abspath(args.windows)
    return run(args) if args.mode == "run" else regressions(args)


if __name__ == "__main__":
    sys.exit(main())
