#!/usr/bin/env python3
"""Hostile use of the tavolin command: truncated and edited sources into an
existing target, sources that lack sections of the target and fail a later
step, a source without a header section, a source of another kind, damaged targets, paths that name
one file, a macro file that cannot be written, a full device, step lines
nobody takes, signals during a long compile and at spread moments of a
short one (a table of signals, with the command stopped at its own marks,
and the line each ends with), standard output and error full pipes nobody
reads, renames of the outputs that fail and those put back, and a source
of a million
repeated end keywords; sources that cannot be read twice (a named pipe,
"<(...)", /dev/zero) and one too large, a resource-script text with quotes
and line ends or in code page 1252 bytes, texts too long for a string
resource, targets in long paths and in a
read-only directory, TMPDIRs that are long or not named in ASCII, files
named in Latin-1 and UTF-8, a failed boot-function step and target names
near the longest. Wherever a step fails the target, the resource script
and the macro files keep their bytes, nothing is left in $TMPDIR or beside
the target, the output stays short, and the exit status is 1 (or an end by the
signal). The system variables of the axis reach the
variables compiler through the stand-in class provider (flag 0), from the
table MKSYMB makes of examples/axis.sysvars.

usage: hostile_cases.py TAVOLIN SOURCE_DIR MKSYMB
"""
import hashlib
import os
import random
import re
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

TAVOLIN, SOURCE_DIR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
AXIS = os.path.join(SOURCE_DIR, "examples", "axis.tos")
MOTION = os.path.join(SOURCE_DIR, "examples", "motion.tps")
WORK = tempfile.mkdtemp(prefix="tavolin-hostile-")
TMP = os.path.join(WORK, "tmp")
os.mkdir(TMP)
ENV = dict(os.environ, TMPDIR=TMP)
ENV.pop("TAVOLIN_SETTINGS", None)
ENV["TVCLSPRV_SECTION"] = "symb"
ENV["TVCLSPRV_SECTION_TEXT"] = subprocess.run(
    [os.path.abspath(sys.argv[3]), os.path.join(SOURCE_DIR, "examples", "axis.sysvars")], check=True,
    capture_output=True, text=True).stdout
failures = []
checks = 0


def check(cond, what):
    global checks
    checks += 1
    if not cond:
        failures.append(what)


def path(name):
    return os.path.join(WORK, name)


def digest(name):
    try:
        with open(path(name), "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except FileNotFoundError:
        return None


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def compile_args(source, target, *extra):
    # The alarm string tables need a resource script: one beside the target
    # unless the case names its own.
    rc = [] if "--rc" in extra else ["--rc", os.path.splitext(target)[0] + ".rc"]
    # The boot functions need the name classifier: the stand-in beside the
    # command.
    flag = [] if "--flag" in extra else ["--flag", "0"]
    return [TAVOLIN, "compile", source, "-o", target, *rc, *flag, *extra]


def run(source, target, *extra, where=WORK, tmp=None, timeout=120, env_extra=None, **how):
    """Runs a compile in the directory where with $TMPDIR tmp (where/tmp
    unless named) and the environment env_extra adds; its output is
    captured unless how names where it goes."""
    if "stdout" not in how:
        how["capture_output"] = True
    return subprocess.run(compile_args(source, target, *extra), cwd=where,
                          env=dict(ENV, TMPDIR=tmp or os.path.join(where, "tmp"), **(env_extra or {})),
                          timeout=timeout, **how)


def leftovers(work=WORK):
    """Temporary files of the command: anything in its $TMPDIR, and working
    copies beside the targets (TARGET.XXXXXX, SCRIPT.rc.XXXXXX and the
    directories tavolin.XXXXXX of the macro files), and the ways back to the
    files being replaced (FILE.XXXXXX beside each)."""
    left = [os.path.join("tmp", n) for n in os.listdir(os.path.join(work, "tmp"))]
    left += [n for n in os.listdir(work) if any(e + "." in n for e in (".dsc", ".rc", ".m4h", ".m4c")) or
             n.startswith("tavolin.")]
    return left


FATE = re.compile(rb"(.+?) (is as it was|are as they were|not written|is the new one \(it could not be put back: "
                  rb"[^)]*\)|are the new ones \(they could not be put back: [^)]*\))(?:, |$)")


def fates_said(line):
    """What the end of a last line says of each file: {name: "old" (as it
    was), "none" (not written) or "new"}; None when the end is not all such
    words."""
    tail = line.rsplit(b"; ", 1)[1] if b"; " in line else line.split(b": ", 2)[-1]
    said, at = {}, 0
    for m in FATE.finditer(tail):
        if m.start() != at:
            return None
        at = m.end()
        state = "new" if b"new one" in m[2] else "none" if m[2] == b"not written" else "old"
        for name in re.split(rb", | and ", m[1]):
            said[name.decode()] = said.get(name.decode(), []) + [state]
    return {n: s[0] for n, s in said.items() if len(s) == 1} if at == len(tail) and said else None


# A compile writes the target and its outputs: the resource script and the
# macro files beside it (STEM.dsc, STEM.rc, STEM.m4h, STEM.m4c).
OUTPUTS = (".dsc", ".rc", ".m4h", ".m4c")


def digests(stem, work=WORK):
    found = []
    for ext in OUTPUTS:
        try:
            with open(os.path.join(work, stem + ext), "rb") as f:
                found.append(hashlib.sha256(f.read()).hexdigest())
        except FileNotFoundError:
            found.append(None)
    return found


def put_good(stem, work=WORK):
    """The target and outputs of a good compile of the axis, as STEM.*."""
    for ext in OUTPUTS:
        shutil.copy(path("good" + ext), os.path.join(work, stem + ext))


def everything(work=WORK):
    """The digest of every file in the directory."""
    return {n: digest(n) for n in os.listdir(work) if os.path.isfile(os.path.join(work, n))}


def step_failed(out):
    """True when a step that ran did not succeed (a section not compiled
    into the library does not count)."""
    return any(": status " in line or ": failed" in line for line in out.splitlines())


def expect_kept(p, target, before, what, outputs=None):
    """A failed compile keeps the target's bytes, and those of its outputs
    (their digests, when given); a good one may change them."""
    check(p.returncode in (0, 1), f"{what}: exit status {p.returncode}")
    out = p.stdout.decode(errors="replace")
    if step_failed(out):
        check(digest(target) == before, f"{what}: the target changed although a step failed")
        if outputs:
            stem = os.path.splitext(target)[0]
            check(digests(stem) == outputs, f"{what}: an output changed although a step failed")
    check(not leftovers(), f"{what}: left {leftovers()}")
    return step_failed(out)


# A source of a million repeated end keywords: a long compile with a message
# per character it cannot place. It runs beside the short cases, in a
# directory of its own.
with open(AXIS, "rb") as f:
    axis = f.read()
header = axis[: axis.index(b"END_TO_HEADER") + len(b"END_TO_HEADER\n")]
write("ends.tos", header + b"END_RESOLVE\n" * 1000000)
BIG = path("big")
os.makedirs(os.path.join(BIG, "tmp"))
many = subprocess.Popen(compile_args(path("ends.tos"), "ends.dsc"), cwd=BIG, env=dict(ENV, TMPDIR=BIG + "/tmp"),
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

# The target every case starts from.
p = run(AXIS, "axis.dsc")
check(p.returncode == 0 and digest("axis.dsc"), f"the example does not compile: {p.stdout!r}")
for ext in OUTPUTS:
    shutil.copy(path("axis" + ext), path("good" + ext))
good = digest("good.dsc")
good_all = digests("good")
check(None not in good_all, f"the example wrote no resource script or macro files: {good_all}")
rng = random.Random(24)

# The resource script and the macro files are outputs of one compile: a
# second compile writes the same bytes (no string table, no boot function and
# no I/O part twice), in files that keep their permissions. A package writes
# its I/O part alone, once.
os.chmod(path("axis.rc"), 0o640)
p = run(AXIS, "axis.dsc")
check(p.returncode == 0 and digests("axis") == good_all, f"a second compile changed the outputs: {p.stdout!r}")
check(stat.S_IMODE(os.stat(path("axis.rc")).st_mode) == 0o640, "a second compile changed the script's permissions")
firsts = []
for _ in range(2):
    p = run(MOTION, "pkg.dsc")
    firsts.append(digests("pkg"))
    check(p.returncode == 0, f"the package does not compile: {p.stdout!r}")
check(firsts[0] == firsts[1] and firsts[0][2], f"a second compile of the package changed its outputs: {firsts}")
with open(path("pkg.m4c"), "rb") as f:
    check(f.read().count(b"IO_IMPL(") == 1, "the package's I/O part is not written once")
# Without --rc the script is TARGET with ".rc".
p = subprocess.run([TAVOLIN, "compile", AXIS, "-o", "plain.dsc", "--flag", "0"], cwd=WORK, env=ENV,
                   capture_output=True, timeout=120)
check(p.returncode == 0 and digest("plain.rc") == good_all[1], f"without --rc: {p.stdout!r} {p.stderr!r}")

# Truncated and edited sources into the existing target.
failed = 0
variants = [axis[: len(axis) * k // 20] for k in range(1, 20)]
for _ in range(20):
    b = bytearray(axis)
    for _ in range(rng.randint(1, 4)):
        at = rng.randrange(len(b))
        b[at : at + rng.randint(0, 8)] = bytes(rng.choice(b"END_;:=()@$\"{}#\n\x00\xff ") for _ in range(rng.randint(0, 3)))
    variants.append(bytes(b))
for i, source in enumerate(variants):
    write("v.tos", source)
    put_good("axis")
    p = run("v.tos", "axis.dsc")
    failed += expect_kept(p, "axis.dsc", good, f"source variant {i}", good_all)
check(failed >= 15, f"only {failed} of {len(variants)} damaged sources failed")

# Sources without sections the target holds, so that the working file's
# sections of those are emptied, and with a step that fails later: the
# target and its outputs keep their bytes.
def without(source, begin, end):
    at = source.index(b"\n" + begin + b"\n")
    return source[: at + 1] + source[source.index(b"\n" + end + b"\n", at) + len(end) + 2 :]


for what, source in (
        ("the header alone and a broken INTERFACE", header + b"INTERFACE\n    CONNECTION broken\nEND_INTERFACE\n"),
        ("no INTERFACE, no alarms and a broken I/O part",
         without(without(axis, b"INTERFACE", b"END_INTERFACE"), b"ALARM_STRING_TABLE", b"END_ALARM").replace(
             b"BEGIN_IO_DATA\n", b"BEGIN_IO_DATA\n    garbage )(\n")),
        # Every section but the header, without an error: no object kind,
        # no step but the opening and the copy, and a failed compile all
        # the same.
        ("no header section", without(axis, b"TO_HEADER", b"END_TO_HEADER"))):
    write("d.tos", source)
    put_good("axis")
    p = run("d.tos", "axis.dsc")
    if what != "no header section":
        check(expect_kept(p, "axis.dsc", good, what, good_all), f"{what}: no step failed: {p.stdout!r}")
        continue
    # Into the existing target, and into a new one beside the outputs of
    # the good compile.
    for target in ("axis.dsc", None):
        if target is None:
            os.unlink(path("axis.dsc"))
            p = run("d.tos", "axis.dsc")
        said = "not written" if target is None else "left as it was"
        check(p.returncode == 1 and b"no object kind" in p.stdout and
              f"axis.dsc {said}: the source has no TO_HEADER, TP_HEADER, DV_TO_HEADER or DV_TP_HEADER section; "
              "axis.rc, axis.m4h and axis.m4c are as they were\n"
              .encode() in p.stderr, f"{what} into {target or 'a new target'}: {p.stdout!r} {p.stderr!r}")
        check(digests("axis") == [good if target else None] + good_all[1:],
              f"{what} into {target or 'a new target'}: an output changed")
        check(not leftovers(), f"{what}: left {leftovers()}")

# A package source into a technology-object target.
shutil.copy(path("good.dsc"), path("axis.dsc"))
p = run(MOTION, "axis.dsc")
err = p.stderr.decode(errors="replace")
check(p.returncode == 1 and "technology package" in err and "technology object" in err, f"kind mismatch: {err}")
check(digest("axis.dsc") == good, "kind mismatch: the target changed")

# --rc naming the source.
shutil.copy(AXIS, path("mine.tos"))
p = run("mine.tos", "axis.dsc", "--rc", "mine.tos", "--rc-text", "x")
check(p.returncode == 1 and b"names the SOURCE" in p.stderr, f"--rc on the source: {p.stderr!r}")
with open(path("mine.tos"), "rb") as f:
    check(f.read() == axis, "--rc on the source wrote into it")
check(digest("axis.dsc") == good, "--rc on the source: the target changed")

# Paths that name one file, also through links, and outputs named longer
# than their directory takes (255 bytes; a name of more than 1 024 bytes is
# shown by its first 40): refused before anything is written.
put_good("axis")
shutil.copy(AXIS, path("src.m4h"))
os.symlink("axis.dsc", path("lnk.rc"))
os.link(path("mine.tos"), path("hard.acx"))
os.symlink("x.m4h", path("dang.rc"))
os.mkdir(path("sub"))
for source, target, extra, says in (
        ("src.m4h", "s.dsc", ("--impl", "src"), "--impl src (src.m4h) names the SOURCE"),
        (AXIS, "t.dsc", ("--rc", "t.m4h"), "--impl t (t.m4h) names the resource script"),
        (AXIS, "axis.dsc", ("--rc", "lnk.rc"), "--rc lnk.rc names the TARGET"),
        ("mine.tos", "axis.dsc", ("--acx", "hard.acx"), "--acx hard.acx names the SOURCE"),
        (AXIS, "x.dsc", ("--rc", "dang.rc"), "--impl x (x.m4h) names the resource script (dang.rc)"),
        (AXIS, "x.rc", (), "--rc x.rc names the TARGET"),
        (AXIS, "n" * 252 + ".dsc", (), "cannot write TARGET " + "n" * 252 + ".dsc: its name has 256 bytes, more "
         "than its directory takes (255); nothing is compiled"),
        (AXIS, "n" * 253 + ".d", (), "cannot write the resource script " + "n" * 253 + ".rc: its name has 256 bytes"),
        (AXIS, "axis.dsc", ("--rc", "r" * 253 + ".rc"), "cannot write the resource script " + "r" * 253 + ".rc: its "
         "name has 256 bytes"),
        (AXIS, "axis.dsc", ("--impl", "L" * 300), "cannot write a macro file " + "L" * 300 + ".m4h: its name has 304 "
         "bytes"),
        (AXIS, "axis.dsc", ("--impl", "sub/" + "L" * 2000), "cannot write a macro file " + "L" * 40 + "\u2026: its name "
         "has 2004 bytes"),
        # A path through a file, or into a missing directory: said as such,
        # and the outputs are refused before any step as TARGET is.
        (AXIS, "mine.tos/x.dsc", (), "cannot create mine.tos/x.dsc: mine.tos is not a directory"),
        (AXIS, "axis.dsc", ("--rc", "mine.tos/x.rc"), "cannot write the resource script mine.tos/x.rc: mine.tos is not "
         "a directory"),
        (AXIS, "fresh.dsc", ("--rc", "mine.tos/x.rc"), "cannot write the resource script mine.tos/x.rc: mine.tos is not "
         "a directory"),
        (AXIS, "axis.dsc", ("--impl", "nodir/x"), "cannot write a macro file nodir/x.m4h: its directory does not exist"),
        (AXIS, "fresh.dsc", ("--impl", "nodir/x"), "cannot write a macro file nodir/x.m4h: its directory does not "
         "exist")):
    before = everything()
    p = run(source, target, *extra)
    what = f"{target} {' '.join(extra)}"
    check(p.returncode == 1 and p.stdout == b"" and says.encode() in p.stderr, f"{what}: {p.stdout!r} {p.stderr!r}")
    check(everything() == before, f"{what}: a file changed")
    check(not leftovers(), f"{what}: left {leftovers()}")

# A full device (the file size limit, with SIGXFSZ ignored as a shell may
# leave it) at every size of the compile's files: the compile succeeds whole
# or leaves every file as it was.
p = run(AXIS, "full.dsc")
check(p.returncode == 0, f"the compile into full.dsc: {p.stdout!r}")
whole = digests("full")
for limit in (200, 1000, 1500, 2000, 4000, 8000, 12000, 14000, 14336, 16000):
    for ext in OUTPUTS:
        shutil.copy(path("good" + ext), path("full" + ext))
    before = digests("full")

    def limited(limit=limit):
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    p = run(AXIS, "full.dsc", preexec_fn=limited)
    now = digests("full")
    check(p.returncode in (0, 1) and now == (whole if p.returncode == 0 else before),
          f"a device full at {limit} bytes: exit status {p.returncode}, {p.stdout!r} {p.stderr[-300:]!r}")
    check(not leftovers(), f"a device full at {limit} bytes: left {leftovers()}")

# A file the compile cannot make is blamed on its cause: with too few
# descriptors, and in a TMPDIR on a small device filled to several levels (a
# tmpfs, where the command may mount one), each line that says a working
# file, a descriptor file or a temporary file could not be made or opened
# ends in the system's reason and where; into a new target and into an
# existing one, a compile that fails changes nothing and leaves nothing.
def blamed(p, reason):
    said = [line for line in (p.stdout + p.stderr).split(b"\n") if b"cannot create a descriptor file" in line or
            b"(no working file could be made" in line or b"temporary file could not be opened" in line or
            b"temporary descriptor could not be opened" in line]
    # The reason ends the line, before what became of each file.
    return said, [line for line in said if not line.endswith(reason) and
                  not (fates_said(line) and line.rsplit(b"; ", 1)[0].endswith(reason))]


def blame_cases(what, levels, prepare, reason, tmp=None, last=None):
    """Compiles at each level (prepare(level) in the child, or before it
    when tmp is given) into an existing and a new target; the last line of
    a compile that fails holds last, when given."""
    seen = 0
    for level in levels:
        if tmp:
            prepare(level)
        for target in ("full.dsc", "fnew.dsc"):
            stem = os.path.splitext(target)[0]
            put_good("full")
            for ext in OUTPUTS:
                if os.path.exists(path("fnew" + ext)):
                    os.remove(path("fnew" + ext))
            before = digests(stem)
            p = run(AXIS, target, tmp=tmp, preexec_fn=None if tmp else lambda level=level: prepare(level))
            said, unblamed = blamed(p, reason)
            seen += len(said)
            case = f"{what} {level} into {target}"
            check(p.returncode in (0, 1) and not unblamed, f"{case}: {p.returncode} {unblamed} {p.stderr[-300:]!r}")
            end = p.stderr.rstrip(b"\n").split(b"\n")[-1]
            check(not last or p.returncode == 0 or (last in end and b"no object kind" not in end),
                  f"{case}: the last line does not tell the cause: {end!r}")
            check(p.returncode == 0 or digests(stem) == before, f"{case}: a file changed")
            # A line that says TARGET could not be written says too that it
            # is as it was (or, for a new one, not written).
            kept = (target + (" not written" if target == "fnew.dsc" else " left as it was")).encode()
            fate = "none" if target == "fnew.dsc" else "old"
            unsaid = [line for line in p.stderr.split(b"\n") if b"cannot write " + target.encode() in line and
                      kept not in line and (fates_said(line) or {}).get(target) != fate]
            check(not unsaid, f"{case}: a line does not say what became of {target}: {unsaid}")
            check(not leftovers() and not (tmp and os.listdir(tmp)), f"{case}: left {leftovers()}")
    check(seen > 0, f"{what}: no line said that a file could not be made")


# A sanitizer's runtime needs descriptors of its own to check the program
# (it reports types it cannot check as faults): not with so few.
with open(TAVOLIN, "rb") as f:
    sanitized = b"__asan_init" in f.read()
if sanitized:
    print("skipped: too few descriptors (the command is built with sanitizers)")
else:
    # The source has no error: with a descriptor too few to open it, or to
    # make the working file, the last line says so, not "no object kind".
    blame_cases("descriptors:", range(5, 14), lambda n: resource.setrlimit(resource.RLIMIT_NOFILE, (n, n)),
                b"could not be made or written: too many open files", last=b"too many open files")
small = path("small")
os.mkdir(small)
if shutil.which("mount") and subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", small],
                                           capture_output=True).returncode == 0:
    try:
        tmp = os.path.join(small, "tmp")
        os.mkdir(tmp)

        def fill(kb):
            with open(os.path.join(small, "fill"), "wb") as f:
                f.write(b"\0" * 1024 * kb)
        blame_cases("a TMPDIR of 64 KB filled to KB", range(40, 64), fill,
                    b"in the directory of temporary files " + tmp.encode() + b" (TMPDIR) could not be made or "
                    b"written: no space left on the device", tmp)
    finally:
        subprocess.run(["umount", small])
else:
    print("skipped: a TMPDIR on a full device (no tmpfs can be mounted here)")

# Step lines that standard output does not take: exit 1, said on standard
# error, and nothing written.
put_good("axis")
with open("/dev/full", "wb") as full:
    p = run(AXIS, "axis.dsc", stdout=full, stderr=subprocess.PIPE)
check(p.returncode == 1 and b"cannot write the step lines on standard output: no space left" in p.stderr,
      f"standard output on a full device: {p.returncode} {p.stderr!r}")
p = subprocess.run(["sh", "-c", 'exec "$@" >&-', "sh"] + compile_args(AXIS, "axis.dsc"), cwd=WORK, env=ENV,
                   capture_output=True, timeout=120)
check(p.returncode == 1 and b"standard output is closed" in p.stderr,
      f"standard output closed: {p.returncode} {p.stderr!r}")
check(digests("axis") == good_all and not leftovers(), "step lines nobody takes: a file changed")
# A closed standard error: the messages of a source with errors go nowhere,
# not into a file the command opened in its place.
put_good("axis")
write("bad.tos", axis.replace(b"END_TO_HEADER", b"END_TO_HEADER\nEND_BITFIELDS", 1))
p = subprocess.run(["sh", "-c", 'exec "$@" 2>&-', "sh"] + compile_args("bad.tos", "axis.dsc"), cwd=WORK, env=ENV,
                   capture_output=True, timeout=120)
check(p.returncode == 1 and step_failed(p.stdout.decode(errors="replace")), f"standard error closed: {p.stdout!r}")
check(digests("axis") == good_all and not leftovers(), "standard error closed: a file changed")

# The reader of the step lines goes away (a pipe into head that ended).
put_good("axis")
proc = subprocess.Popen(compile_args(AXIS, "axis.dsc"), cwd=WORK, env=ENV, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
proc.stdout.close()
code = proc.wait(timeout=120)
check(code == -signal.SIGPIPE, f"SIGPIPE: exit status {code}")
check(digests("axis") == good_all and not leftovers(), "SIGPIPE: a file changed or was left")

# One changed byte of the target: refused untouched, or compiled whole.
with open(path("good.dsc"), "rb") as f:
    target = f.read()
refused = 0
for i in range(200):
    b = bytearray(target)
    at = rng.randrange(len(b))
    b[at] = (b[at] + rng.randint(1, 255)) % 256
    write("c.dsc", bytes(b))
    before = digest("c.dsc")
    p = run(AXIS, "c.dsc")
    expect_kept(p, "c.dsc", before, f"damaged target {i} (byte {at})")
    if "cannot open" in p.stderr.decode(errors="replace"):
        refused += 1
        check(digest("c.dsc") == before, f"damaged target {i}: refused but changed")
    elif digest("c.dsc") != before:
        check(b"copySections: ok, 20 sections" in p.stdout, f"damaged target {i} (byte {at}) lost sections")
check(refused >= 20, f"only {refused} of 200 damaged targets refused")

# More texts than a resource script has ids for: a comment section of
# 65 535 texts of its own beside the example's would number them past the
# last id (0xFFFD). The comments step fails with message 303 at the line of
# the first text past it (and each later step that numbers texts with its
# own message, the ids being used up); into the existing target and into a
# new one, nothing is written and nothing is left.
first_line = axis[: axis.index(b"END_VARCOMMENT")].count(b"\n") + 1
body = b"".join(b'    $%d [16#1] : "Kommentar %d"\n' % (i, i) for i in range(65535))
at = axis.index(b"END_VARCOMMENT")
write("ids.tos", axis[:at] + body + axis[at:])
for what, target in (("existing", "axis.dsc"), ("new", "fresh.dsc")):
    put_good("axis")
    p = run("ids.tos", target)
    out, err = p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")
    check(p.returncode == 1 and "compileComments: status 0xBE11000B" in out,
          f"texts past the last id, {what} target: exit status {p.returncode}, {out[-300:]!r}")
    head = err.split("\n")[0]
    line = int(head[head.index("(") + 1 : head.index(")")]) if head.startswith("ids.tos(") else 0
    check(" : Fehler 303 " in head and first_line < line < first_line + 65535 and err.count("\n") < 8,
          f"texts past the last id, {what} target: messages {err[:300]!r}")
    check(digests("axis") == good_all, f"texts past the last id, {what} target: an output changed")
    check(digests("fresh") == [None] * 4, f"texts past the last id, {what} target: a new file was written")
    check(not leftovers(), f"texts past the last id, {what} target: left {leftovers()}")

# A text no string resource holds: a comment that reads back as 65 536
# characters (its escaped quotes one each, though two bytes in the source)
# fails the comments step with message 305 at its line, into the existing
# target: exit status 1, every output as it was, nothing left. One of
# 65 535 compiles. A --rc-text of 65 536 characters (quotes one each, though
# the script doubles them) is a usage error before anything is written; one
# of 65 535 passes.
at = axis.index(b"END_VARCOMMENT")
long_line = axis[:at].count(b"\n") + 2
for chars, status in ((65536, 1), (65535, 0)):
    put_good("axis")
    write("long.tos", axis[:at] + b'\n    $9999 [16#1] : "' + b'\\"' * 100 + b"a" * (chars - 100) + b'"\n' + axis[at:])
    p = run("long.tos", "axis.dsc")
    err = p.stderr.decode(errors="replace")
    check(p.returncode == status, f"a comment of {chars} characters: exit status {p.returncode}, {err[:300]!r}")
    if status:
        check(err.startswith(f"long.tos({long_line}) : Fehler 305 Text ist zu lang: 65536 Zeichen, h\u00f6chstens 65535\n")
              and "compileComments: status 0xBE11000B" in p.stdout.decode(errors="replace"),
              f"a comment of {chars} characters: {err[:300]!r}")
        check(digests("axis") == good_all, f"a comment of {chars} characters: an output changed")
    check(not leftovers(), f"a comment of {chars} characters: left {leftovers()}")
put_good("axis")
for chars, status in ((65536, 2), (65535, 0)):
    before = everything()
    p = run(AXIS, "axis.dsc", "--rc-text", '"' * 10 + "a" * (chars - 10))
    check(p.returncode == status, f"--rc-text of {chars} characters: exit status {p.returncode}, {p.stderr[:300]!r}")
    if status:
        check(b"--rc-text: the text reads back as 65536 characters; a string resource holds at most 65535\n" in p.stderr
              and everything() == before, f"--rc-text of {chars} characters: {p.stderr[:300]!r}")
    check(not leftovers(), f"--rc-text of {chars} characters: left {leftovers()}")
put_good("axis")

# Hostile bytes for the scanners: long runs that are no token (capitals
# that are no keyword, NUL bytes on one line, a binary file), header
# versions beyond 16 bits and NUL bytes in texts. Each ends in a few seconds
# (the split read a run of capitals again from each next byte: a megabyte
# took over an hour), refused with the target's bytes kept (NUL bytes in a
# comment are no fault), and no NUL reaches the resource script.
nul = b"\0"
scanner_cases = [
    ("a megabyte of capitals", header + b"Q" * (1 << 20) + b"\n"),
    ("a megabyte of capitals in a section", header + b"VALUES\n" + b"Q" * (1 << 20) + b"\nEND_VALUES\n"),
    ("a line of NUL bytes outside the sections", header + nul * (1 << 20) + b"\n"),
    ("a line of NUL bytes in the I/O text", header + b"BEGIN_IO_DATA BEGIN_ACT " + nul * (1 << 20) +
     b" END_ACT END_IO_DATA\n"),
    ("a line of NUL bytes in a comment of a section", header + b"VARCOMMENT (*" + nul * (1 << 20) +
     b"*) END_VARCOMMENT\n", 0),
    ("a binary file", bytes(random.Random(45).getrandbits(8) for _ in range(2 << 20))),
    ("a version beyond 16 bits", axis.replace(b"}, 2.1;", b"}, 70000.1;", 1)),
    ("a version beyond 32 bits", axis.replace(b"}, 2.1;", b"}, 4294967296.1;", 1)),
    ("a proxy's second word beyond 16 bits", axis.replace(b"}, 2.0;", b"}, 2.65536;", 1)),
    ("a NUL byte in the header's comment", axis.replace(b"Positionierachse", b"Positio" + nul + b"nierachse", 1)),
    ("a NUL byte in a variable's comment", axis.replace(b"Istposition", b"Ist" + nul + b"position", 1)),
]
for what, source, *status in scanner_cases:
    write("h.tos", source)
    shutil.copy(path("good.dsc"), path("axis.dsc"))
    if os.path.exists(path("axis.rc")):
        os.remove(path("axis.rc"))
    start = time.monotonic()
    try:
        p = run("h.tos", "axis.dsc")
    except subprocess.TimeoutExpired:
        check(False, f"{what}: no end in 120 s")
        continue
    took = time.monotonic() - start
    if status:
        check(p.returncode == status[0], f"{what}: exit status {p.returncode}, {p.stdout[-300:]!r}")
    else:
        check(p.returncode == 1 and step_failed(p.stdout.decode(errors="replace")),
              f"{what}: exit status {p.returncode}, {p.stdout[-300:]!r}")
        check(digest("axis.dsc") == good, f"{what}: the target changed")
    check(took < 30, f"{what}: {took:.1f} s")
    if os.path.exists(path("axis.rc")):
        with open(path("axis.rc"), "rb") as f:
            check(nul not in f.read(), f"{what}: a NUL byte in the resource script")
    check(not leftovers(), f"{what}: left {leftovers()}")

# A source of one byte repeated, a byte that begins no token outside the
# sections, is refused with a short output: the first hundred stray bytes
# are reported one by one, the rest of the run as one message, and what is
# past the display's limit is counted. A number of megabytes in a section
# makes a short message too (its quoting is the scanners' own).
def refused_short(what, source, most):
    """Compiles source into a copy of the good target: exit status 1, at most
    `most` bytes of output, the target kept and nothing left."""
    write("s.tos", source)
    shutil.copy(path("good.dsc"), path("axis.dsc"))
    p = run("s.tos", "axis.dsc")
    check(p.returncode == 1, f"{what}: exit status {p.returncode}, {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
    check(len(p.stdout) + len(p.stderr) < most, f"{what}: {len(p.stdout) + len(p.stderr)} bytes of output")
    check(digest("axis.dsc") == good, f"{what}: the target changed")
    check(not leftovers(), f"{what}: left {leftovers()}")
    return p


for byte in b"a\0(*@\xff${":
    said = refused_short(f"3 MB of the byte 0x{byte:02X}", bytes([byte]) * (3 << 20), 20000).stderr.count(b"\n")
    check(said < 110, f"3 MB of the byte 0x{byte:02X}: {said} lines on standard error")
# A section of the variables or the comments that is a run of 3 MB of one
# stray byte fails its step as shortly: the first hundred bytes one by one,
# the rest one message held back, counted as the errors it stands for.
for section in (b"VALUES", b"VARCOMMENT", b"CONFIGS", b"RESOLVE", b"ATTRIBUTES", b"BITFIELDS"):
    for byte in b"\0*" if section == b"VARCOMMENT" else b"\0*E":
        what = f"3 MB of the byte 0x{byte:02X} in {section.decode()}"
        p = refused_short(what, header + (b"BITFIELDTYPES END_BITFIELDTYPES\n" if section == b"BITFIELDS" else b"") +
                          section + b"\n" + bytes([byte]) * (3 << 20) + b"\nEND_" + section + b"\n", 20000)
        check(step_failed(p.stdout.decode(errors="replace")), f"{what}: no step failed: {p.stdout[-300:]!r}")
        said = p.stderr.count(b"\n")
        check(said < 110, f"{what}: {said} lines on standard error")
        check(b"\xe2\x80\xa6 and 1 more message (%d errors)\n" % ((3 << 20) - 100) in p.stderr,
              f"{what}: {p.stderr[-300:]!r}")
p = refused_short("a number of 3 MB", axis.replace(b"Def(1.0E4)", b"Def(" + b"9" * (3 << 20) + b")", 1), 5000)
check(step_failed(p.stdout.decode(errors="replace")), f"a number of 3 MB: no step failed: {p.stdout[-300:]!r}")

# A target whose root directory entry has a sibling (the format gives the
# root none) is refused untouched.
with open(path("good.dsc"), "rb") as f:
    target = bytearray(f.read())
root = (int.from_bytes(target[48:52], "little") + 1) * (1 << int.from_bytes(target[30:32], "little"))
for field in (68, 72):
    b = bytearray(target)
    b[root + field : root + field + 4] = (1).to_bytes(4, "little")
    write("r.dsc", bytes(b))
    p = run(AXIS, "r.dsc")
    check(p.returncode == 1 and b"cannot open" in p.stderr, f"root sibling at {field}: {p.returncode} {p.stderr!r}")
    check(digest("r.dsc") == hashlib.sha256(bytes(b)).hexdigest(), f"root sibling at {field}: the target changed")

# A SOURCE that cannot be read twice is read once: a named pipe and a
# shell's "<(...)" compile like the file; /dev/zero, which never ends, is
# stopped at the largest source (256 MiB) before anything is written.
where = path("pipes")
os.makedirs(os.path.join(where, "tmp"))
os.mkdir(os.path.join(where, "src"))
fifo = os.path.join(where, "src", "axis.tos")
os.mkfifo(fifo)
writer = subprocess.Popen(["sh", "-c", 'exec cat "$1" > "$2"', "sh", AXIS, fifo])
try:
    p = run(fifo, "axis.dsc", where=where, timeout=60)
    check(p.returncode == 0 and digests("axis", where) == good_all,
          f"a named pipe: {p.returncode} {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
except subprocess.TimeoutExpired:
    check(False, "a named pipe: no end in 60 s")
writer.kill()
writer.wait()
check(not leftovers(where), f"a named pipe: left {leftovers(where)}")
p = subprocess.run(["bash", "-c", 'exec "$0" compile <(cat "$1") -o sub.dsc --flag 0', TAVOLIN, AXIS],
                   cwd=where, env=dict(ENV, TMPDIR=where + "/tmp"), capture_output=True, timeout=120)
out = p.stdout.decode(errors="replace")
check(p.returncode == 0 and "compileBootFunctions: ok" in out and "copySections: ok, 20 sections" in out,
      f"<(cat axis.tos): {p.returncode} {out[-300:]!r} {p.stderr[-300:]!r}")
check(not leftovers(where), f"<(cat axis.tos): left {leftovers(where)}")
put_good("axis", where)
try:
    p = run("/dev/zero", "axis.dsc", where=where, timeout=60)
    check(p.returncode == 1 and p.stdout == b"" and b"268435456 bytes, 256 MiB" in p.stderr and
          b"/dev/zero (a character device) gives more than the largest source" in p.stderr and
          fates_said(p.stderr.rstrip(b"\n").split(b"\n")[-1]) == {"axis" + e: "old" for e in OUTPUTS},
          f"/dev/zero: {p.returncode} {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
except subprocess.TimeoutExpired:
    check(False, "/dev/zero: no end in 60 s")
check(digests("axis", where) == good_all and not leftovers(where), "/dev/zero: a file changed or was left")

# --rc-text is written like the other texts of the script: a quote doubled,
# a line end as \n, so that no statement of the text reaches the script.
p = run(AXIS, "text.dsc", "--rc-text", 'a "quoted" text\nEND\r\nSTRINGTABLE DISCARDABLE\rBEGIN')
check(p.returncode == 0, f"--rc-text with a quote and line ends: {p.stdout[-300:]!r}")
with open(path("text.rc"), "rb") as f:
    script = f.read().decode("latin-1")
check(script.startswith('STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   "a ""quoted"" text\\nEND\\n'
                        'STRINGTABLE DISCARDABLE\\nBEGIN"\r\nEND\r\n\r\n'), f"--rc-text: {script[:200]!r}")
# And a resource compiler (windres, from scripts/setup) takes the whole
# script: the text stays one entry.
WINDRES = shutil.which("x86_64-w64-mingw32-windres")
if WINDRES:
    r = subprocess.run([WINDRES, "--preprocessor=cat", "-J", "rc", "-O", "res", "-i", path("text.rc"), "-o",
                        path("text.res")], capture_output=True)
    check(r.returncode == 0 and r.stderr == b"", f"--rc-text: the script does not compile: {r.stderr[-300:]!r}")

# Long paths work like short ones: a new TARGET in a directory whose path is
# about 1 200 bytes, and one near the longest path the system takes, compiles
# as in a short one, twice; and a signal with the outputs there leaves
# nothing behind.
UMASK = os.umask(0)
os.umask(UMASK)


def deep_directory(name, length):
    d = path(name)
    os.mkdir(d)
    os.mkdir(os.path.join(d, "tmp"))
    while len(d) < length:
        d = os.path.join(d, "d" * min(200, max(1, length - len(d) - 1)))
        os.mkdir(d)
    return d


for name, length in (("deep", 1200), ("deepest", 4000)):
    deep = deep_directory(name, length)
    for run_no in (1, 2):
        p = run(AXIS, os.path.join(deep, "axis.dsc"), tmp=path(name) + "/tmp")
        check(p.returncode == 0 and digests("axis", deep) == good_all,
              f"a new TARGET in a directory of {len(deep)} bytes (run {run_no}): {p.returncode} {p.stderr[-300:]!r}")
        mode = stat.S_IMODE(os.stat(os.path.join(deep, "axis.dsc")).st_mode)
        check(mode == 0o666 & ~UMASK, f"a new TARGET in a directory of {len(deep)} bytes: mode {mode:o}")
        left = [n for n in os.listdir(deep) if n not in ("axis" + e for e in OUTPUTS)]
        check(left == [] and os.listdir(path(name) + "/tmp") == [],
              f"a directory of {len(deep)} bytes: left {left} {os.listdir(path(name) + '/tmp')}")

# Any TMPDIR works, whose name is long or not ASCII: each compile into a new
# target and again into it writes what the example writes, and leaves
# nothing in TMPDIR.
for what, make in (("240 bytes", lambda: deep_directory("t240", 240)),
                   ("4000 bytes", lambda: deep_directory("t4000", 4000)),
                   ("a UTF-8 name", lambda: path("tmp\u00dc")),
                   ("a Latin-1 name", lambda: path(os.fsdecode(b"tmp\xdc")))):
    tmp = make()
    os.makedirs(tmp, exist_ok=True)
    where = path("in " + what)
    os.makedirs(os.path.join(where, "tmp"))
    for run_no in (1, 2):
        p = run(AXIS, "axis.dsc", where=where, tmp=tmp)
        check(p.returncode == 0 and digests("axis", where) == good_all,
              f"TMPDIR of {what} (run {run_no}): {p.returncode} {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
        check(os.listdir(tmp) == [] and not leftovers(where), f"TMPDIR of {what}: left {os.listdir(tmp)}")

# Paths are bytes: SOURCE, TARGET, the ACX file, the resource script and the
# macro files, in a directory, all named in Latin-1 (with bytes 0x80-0x9F) or
# in UTF-8, compile as under ASCII names, first and again; the macro files
# name their base and their container (the source's name) as those bytes. The step lines and the messages show the path's
# bytes as they are.
def tag(i, kind, payload):
    return bytes([len(payload), i & 0xFF, ((i >> 8) & 0x1F) | (kind << 5)]) + payload


write("plain.acx", b"AcX\0\0\2\0\0" + tag(0, 0, tag(2144, 0, tag(67, 3, b"Achse") + tag(2147, 0, tag(2122, 1, b"\2")))))


def named(stem, where=WORK):
    """Compiles stem.tos with the ACX file stem.acx into stem.dsc, --rc
    rstem.rc and --impl istem, in where (with the TMPDIR of WORK)."""
    return run(stem + ".tos", stem + ".dsc", "--acx", stem + ".acx", "--rc", "r" + stem + ".rc", "--impl", "i" + stem,
               where=where, tmp=TMP)


def named_outputs(stem, where=WORK):
    found = []
    for name in (stem + ".dsc", "r" + stem + ".rc", "i" + stem + ".m4h", "i" + stem + ".m4c"):
        try:
            with open(os.path.join(where, name), "rb") as f:
                found.append(f.read())
        except FileNotFoundError:
            found.append(b"")
    return found


shutil.copy(AXIS, path("plain.tos"))
p = named("plain")
check(p.returncode == 0, f"ASCII names: {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
plain = named_outputs("plain")
# The container is named by SOURCE's bytes, as the set is: UTF-8 ones too.
for stem in (b"Gr\xfc\xdfe \x80\x9f", "Grüße €".encode(), "日本".encode()):
    container = stem
    name = os.fsdecode(stem)
    where = path(name)
    os.makedirs(os.path.join(where, "tmp"))
    shutil.copy(AXIS, os.path.join(where, name + ".tos"))
    shutil.copy(path("plain.acx"), os.path.join(where, name + ".acx"))
    for run_no in (1, 2):
        p = named(name, where)
        what = f"paths named {stem!r} (run {run_no})"
        check(p.returncode == 0 and b"compileBootFunctions: ok, wrote i" + stem + b".m4h and i" + stem + b".m4c\n"
              in p.stdout, f"{what}: {p.returncode} {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
        got = named_outputs(name, where)
        for i in (2, 3):
            got[i] = got[i].replace(b"i" + stem, b"iplain").replace(b"(" + container + b")", b"(plain)")
        check(got == plain, f"{what}: the outputs differ from those under ASCII names")
        check(not leftovers(where) and not leftovers(), f"{what}: left {leftovers(where)} {leftovers()}")
    p = run(os.fsdecode(b"n" + stem + b".tos"), "n.dsc", where=where, tmp=TMP)
    check(p.returncode == 1 and p.stderr.startswith(b"n" + stem + b".tos: Fehler 100 File n" + stem + b".tos konnte "),
          f"a missing SOURCE named {stem!r}: {p.stderr!r}")

# --rc-text reaches the script as code page 1252: UTF-8 text converted, text
# that is not UTF-8 taken as those bytes; a character the code page lacks is
# refused before anything is written, and so is a byte it leaves undefined
# (0x81, 0x8D, 0x8F, 0x90, 0x9D), which a resource compiler may drop the
# text for: as its character, as the byte, or by an escape that gives it.
for text, script in (("Grüße € „x“".encode(), b"Gr\xfc\xdfe \x80 \x84x\x93"),
                     (b"Gr\xfc\xdfe \x80 \x84x\x93\x8e\x9e", b"Gr\xfc\xdfe \x80 \x84x\x93\x8e\x9e")):
    for run_no in (1, 2):
        p = run(AXIS, "text.dsc", "--rc-text", os.fsdecode(text))
        with open(path("text.rc"), "rb") as f:
            head = f.read(200)
        check(p.returncode == 0 and head.startswith(b'STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   "' + script +
                                                    b'"\r\nEND\r\n'), f"--rc-text {text!r} (run {run_no}): {head!r}")
before = everything()
p = run(AXIS, "text.dsc", "--rc-text", "Ωmega")
check(p.returncode == 2 and b'"\xce\xa9" is not in code page 1252' in p.stderr and everything() == before,
      f"--rc-text with a character code page 1252 lacks: {p.returncode} {p.stderr!r}")
# A control character the code page lacks (the C1 controls but the five it
# maps to its undefined bytes) is named by its code: raw, it would act on
# the terminal.
for code in [c for c in range(0x80, 0xA0) if c not in (0x81, 0x8D, 0x8F, 0x90, 0x9D)]:
    p = run(AXIS, "text.dsc", "--rc-text", "a" + chr(code) + "b")
    check(p.returncode == 2 and b"tavolin: --rc-text: U+%04X is not in code page 1252" % code in p.stderr
          and chr(code).encode() not in p.stderr and everything() == before,
          f"--rc-text with U+{code:04X}: {p.returncode} {p.stderr!r}")
for byte in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
    for form in (chr(byte).encode(), bytes([byte]), b"\\x%02X" % byte, b"\\X%02x" % byte, b"\\%03o" % byte,
                 b"\\%03o" % (byte + 0o400)):
        p = run(AXIS, "text.dsc", "--rc-text", os.fsdecode(b"Gr" + form + b"e"))
        check(p.returncode == 2 and p.stdout == b"" and p.stderr.startswith(
            b"tavolin: --rc-text: the text reads back with the byte 0x%02X, which code page 1252 leaves undefined: "
            b"a resource compiler may drop or cut the text\n" % byte) and everything() == before,
              f"--rc-text with {form!r}: {p.returncode} {p.stderr!r}")

# A step that fails says nothing of files written, and the line of the
# compile that fails says what became of each output: none is written.
write("bf.tos", axis.replace(b"MC_ERRORTEXT(2, CmHelpMsg", b"MC_ERRORTEXT(65600, CmHelpMsg", 1))
for target in ("bfnew.dsc", "axis.dsc"):
    put_good("axis")
    p = run("bf.tos", target)
    stem = target[:-4].encode()
    line = [x for x in p.stdout.split(b"\n") if x.startswith(b"compileBootFunctions")]
    check(p.returncode == 1 and line == [b"compileBootFunctions: status 0xBE11000B (the section has errors or its "
                                         b"results could not be written; the source's texts need more "
                                         b"resource-string ids than 0 to 0xFFFD allow)"],
          f"a failed boot-function step: {line}")
    check(p.stderr.endswith(b": a step did not succeed; " + stem + b".rc, " + stem + b".m4h and " + stem + b".m4c " +
                            (b"not written\n" if target == "bfnew.dsc" else b"are as they were\n")),
          f"a failed boot-function step into {target}: {p.stderr[-300:]!r}")
    check(digests("axis") == good_all and digests("bfnew") == [None] * 4 and not leftovers(),
          f"a failed boot-function step into {target}: a file changed or was left")

# Every output takes a name near the longest one (255 bytes): the resource
# script and the macro files named after such a TARGET are made under short
# temporary names beside them.
for length in (254, 255):
    stem = "n" * (length - 4)
    for run_no in (1, 2):
        p = run(AXIS, stem + ".dsc")
        check(p.returncode == 0 and digests(stem)[:2] == good_all[:2] and None not in digests(stem),
              f"a TARGET name of {length} bytes (run {run_no}): {p.stdout[-300:]!r} {p.stderr[-300:]!r}")
        check(not leftovers(), f"a TARGET name of {length} bytes: left {leftovers()}")

# TARGET is never written in place: a directory that cannot take the working
# copy (read-only, and immutable where the command runs as root) refuses the
# compile before anything is written, with the reason, also on a full device.
ro, ro_out = path("ro"), path("ro-out")
os.makedirs(os.path.join(ro, "tmp"))
os.mkdir(ro_out)
put_good("axis", ro)
put_good("axis", ro_out)
os.chmod(ro, 0o555)
immutable = os.geteuid() == 0 and subprocess.run(["chattr", "+i", ro], capture_output=True).returncode == 0
try:
    probe = os.path.join(ro, "probe")
    try:
        open(probe, "wb").close()
        os.remove(probe)
        writable = True
    except OSError:
        writable = False
    if not writable:
        for limit in (None, 4000):
            def limited(limit=limit):
                if limit:
                    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            # The resource script and the macro files can be written: only
            # TARGET's directory is read-only.
            p = run(AXIS, "axis.dsc", "--rc", ro_out + "/axis.rc", "--impl", ro_out + "/axis", where=ro,
                    preexec_fn=limited)
            # An immutable directory is said as such: root may write it
            # otherwise.
            says = (f"cannot write axis.dsc: its directory {os.path.realpath(ro)} is immutable (chattr +i): it "
                    "takes no new file; nothing is compiled" if immutable else
                    "cannot make a working copy of axis.dsc: no permission (TARGET is replaced by a rename in its "
                    "directory, never written in place)")
            check(p.returncode == 1 and p.stdout == b"" and says.encode() in p.stderr,
                  f"a read-only directory (limit {limit}): {p.returncode} {p.stdout[-300:]!r} {p.stderr!r}")
            check(digests("axis", ro) == good_all and digests("axis", ro_out) == good_all and not leftovers(ro) and
                  sorted(os.listdir(ro_out)) == sorted("axis" + e for e in OUTPUTS),
                  f"a read-only directory (limit {limit}): a file changed or was left")
        # The resource script or the macro files in the read-only directory,
        # into an existing and a new TARGET beside them: refused as TARGET
        # is, before any step.
        for target in ("axis.dsc", "fresh.dsc"):
            for extra, says in ((("--rc", ro + "/axis.rc"), f"cannot write the resource script {ro}/axis.rc: "),
                                (("--impl", ro + "/axis"), f"cannot write a macro file {ro}/axis.m4h: ")):
                p = run(AXIS, target, *extra, where=ro_out, tmp=os.path.join(ro, "tmp"))
                if immutable:
                    says = (f"cannot write {ro}/axis.{'rc' if extra[0] == '--rc' else 'm4h'}: its directory "
                            f"{os.path.realpath(ro)} is immutable (chattr +i): it takes no new file; nothing is "
                            "compiled")
                else:
                    says += "no permission (a new one is made beside it and put in its place); nothing is compiled"
                check(p.returncode == 1 and p.stdout == b"" and says.encode() in p.stderr,
                      f"{' '.join(extra)} in a read-only directory into {target}: {p.returncode} {p.stdout[-300:]!r} "
                      f"{p.stderr!r}")
                check(digests("axis", ro) == good_all and digests("axis", ro_out) == good_all and not leftovers(ro) and
                      sorted(os.listdir(ro_out)) == sorted("axis" + e for e in OUTPUTS),
                      f"{' '.join(extra)} in a read-only directory into {target}: a file changed or was left")
    else:
        print("skipped: a read-only directory (it takes new files here all the same)")
finally:
    if immutable:
        subprocess.run(["chattr", "-i", ro])
    os.chmod(ro, 0o755)

# A read-only file system is said as such, not as "no permission": a new
# TARGET, an existing one, --rc and --impl (into a new and an existing
# target) and TMPDIR on one refuse the compile before any step, with nothing
# changed or left (a tmpfs mounted read-only, and a read-only bind mount of a
# directory with the outputs of a good compile).
rofs, robind, rosrc = path("rofs"), path("robind"), path("robind-src")
os.mkdir(rofs)
os.mkdir(robind)
os.mkdir(rosrc)
put_good("axis", rosrc)
mounted = []
if shutil.which("mount"):
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=64k", "tmpfs", rofs], capture_output=True).returncode == 0:
        mounted.append(rofs)
    if subprocess.run(["mount", "--bind", rosrc, robind], capture_output=True).returncode == 0:
        mounted.append(robind)
        if subprocess.run(["mount", "-o", "remount,bind,ro", robind], capture_output=True).returncode != 0:
            subprocess.run(["umount", robind])
            mounted.remove(robind)
try:
    rows = []
    if rofs in mounted:
        rows += [("a new TARGET", rofs + "/axis.dsc", (), None,
                  f"cannot make a working copy of {rofs}/axis.dsc: read-only file system"),
                 ("TMPDIR", "axis.dsc", (), rofs,
                  f"the directory of temporary files {rofs} (TMPDIR) cannot be written (read-only file system)")]
        for target in ("axis.dsc", "fresh.dsc"):
            rows += [(f"--rc into {target}", target, ("--rc", rofs + "/x.rc"), None,
                      f"cannot write the resource script {rofs}/x.rc: read-only file system"),
                     (f"--impl into {target}", target, ("--impl", rofs + "/x"), None,
                      f"cannot write a macro file {rofs}/x.m4h: read-only file system")]
    if robind in mounted:
        rows += [("an existing TARGET", robind + "/axis.dsc", (), None,
                  f"cannot open {robind}/axis.dsc: read-only file system"),
                 ("an existing --rc", "axis.dsc", ("--rc", robind + "/axis.rc"), None,
                  f"cannot write the resource script {robind}/axis.rc: read-only file system")]
    for what, target, extra, tmp, says in rows:
        put_good("axis")
        before = everything()
        p = run(AXIS, target, *extra, tmp=tmp)
        check(p.returncode == 1 and p.stdout == b"" and b"tavolin: " + says.encode() in p.stderr,
              f"a read-only file system, {what}: {p.returncode} {p.stdout[-300:]!r} {p.stderr!r}")
        check(everything() == before and digests("axis", rosrc) == good_all,
              f"a read-only file system, {what}: a file changed")
        check(not leftovers() and not os.path.exists(path("fresh.dsc")), f"a read-only file system, {what}: left "
              f"{leftovers()}")
    if len(mounted) < 2:
        print("skipped: a read-only file system (no read-only tmpfs or bind mount can be made here)")
finally:
    for m in reversed(mounted):
        subprocess.run(["umount", m])

# Signals during a long compile into an existing target, while the kind of
# the source is probed and while it is compiled, each in a directory of its
# own.
write("long.tos", header + b"END_RESOLVE\n" * 20000000)  # killed long before its end
running = []
# In the order they are sent: the compile of long.tos, whose messages past
# the display limit are only counted (without their texts), takes about 7 s
# alone.
for sig, delay in ((signal.SIGTERM, 0.3), (signal.SIGQUIT, 0.5), (signal.SIGXCPU, 0.8), (signal.SIGUSR1, 1.0),
                   (signal.SIGUSR2, 1.5), (signal.SIGINT, 2.0), (signal.SIGALRM, 2.5), (signal.SIGXFSZ, 3.0),
                   (signal.SIGHUP, 3.5)):
    where = path(sig.name)
    os.makedirs(os.path.join(where, "tmp"))
    put_good("sig", where)
    proc = subprocess.Popen(compile_args(path("long.tos"), "sig.dsc"), cwd=where,
                            env=dict(ENV, TMPDIR=where + "/tmp"), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    running.append((sig, delay, where, proc))
start = time.monotonic()
for sig, delay, where, proc in running:
    time.sleep(max(0.0, start + delay - time.monotonic()))
    check(proc.poll() is None, f"{sig.name}: the compile ended before the signal")
    proc.send_signal(sig)
for sig, delay, where, proc in running:
    code = proc.wait(timeout=60)
    check(code == -sig, f"{sig.name}: exit status {code}")
    check(digests("sig", where) == good_all, f"{sig.name}: the target or an output changed")
    check(not leftovers(where), f"{sig.name}: left {leftovers(where)}")

# The same signals with TARGET and its outputs in a long path.
deep = deep_directory("deepsig", 1200)
put_good("sig", deep)
for sig in (signal.SIGINT, signal.SIGTERM):
    proc = subprocess.Popen(compile_args(path("long.tos"), os.path.join(deep, "sig.dsc")), cwd=WORK,
                            env=dict(ENV, TMPDIR=path("deepsig") + "/tmp"), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    check(proc.poll() is None, f"{sig.name} in a long path: the compile ended before the signal")
    proc.send_signal(sig)
    code = proc.wait(timeout=60)
    left = os.listdir(deep)
    check(code == -sig, f"{sig.name} in a long path: exit status {code}")
    check(digests("sig", deep) == good_all, f"{sig.name} in a long path: the target or an output changed")
    check(sorted(left) == sorted("sig" + e for e in OUTPUTS) and os.listdir(path("deepsig") + "/tmp") == [],
          f"{sig.name} in a long path: left {left}")

# Ctrl-C (SIGINT to the whole process group) during a compile in a shell
# loop stops the loop too: the command ends by the signal, so the shell
# does not take it for a compile that failed and go on with the next.
if shutil.which("bash"):
    loop = subprocess.Popen(["bash", "-c", 'for i in 1 2; do "$@"; echo "next $i"; done', "bash"] +
                            compile_args(path("long.tos"), "loop.dsc"), cwd=WORK, env=ENV, start_new_session=True,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    os.killpg(loop.pid, signal.SIGINT)
    out, _ = loop.communicate(timeout=60)
    check(loop.returncode == -signal.SIGINT and b"next" not in out and not os.path.exists(path("loop.dsc")),
          f"Ctrl-C in a shell loop: {loop.returncode} {out[-300:]!r}")
    check(not leftovers(), f"Ctrl-C in a shell loop: left {leftovers()}")

# Signals at spread moments of a short compile of the axis, into an existing
# target and into a new one. An end by the signal (the command raises it
# again once it cleaned up; a shell shows 128 + N) only with TARGET, the
# resource script and the macro
# files byte for byte as before; status 0 only with all of them new, equal
# to an uninterrupted compile's; and nothing left beside the target or in
# $TMPDIR. The moments: the command's own marks (TAVOLIN_STOP_AT: it stops
# itself there, the signal is sent, and it goes on), among them those
# around the renames, where a signal is held back, said, and the compile
# ends as it would have; and delays spread over the whole compile.
BY_STATUS = (signal.SIGHUP, signal.SIGINT, signal.SIGTERM, signal.SIGQUIT, signal.SIGPIPE, signal.SIGALRM,
             signal.SIGUSR1, signal.SIGXCPU, signal.SIGXFSZ, signal.SIGRTMIN + 2)
# A sanitizer keeps its own handler of the faults.
BY_SIGNAL = (signal.SIGABRT, signal.SIGILL, signal.SIGTRAP, signal.SIGSYS) + \
    (() if sanitized else (signal.SIGSEGV, signal.SIGBUS, signal.SIGFPE))
EARLY = ("target", "openSource", "compileBootFunctions", "copySections", "released", "committed")
LATE = ("installing", "target installed", "installed", "done")
LATE_LINE = b"came while the outputs were put in place: they are the new ones, and the compile ends as it would have"
AS_THEY_WERE = b"sig.dsc, sig.rc, sig.m4h and sig.m4c are as they were\n"
NOT_WRITTEN = b"sig.dsc, sig.rc, sig.m4h and sig.m4c not written\n"


def signame(sig):
    """The name the command gives a signal ("SIGTERM", "SIGRTMIN+2")."""
    if signal.SIGRTMIN <= sig <= signal.SIGRTMAX:
        return f"SIGRTMIN+{sig - signal.SIGRTMIN}".encode()
    return signal.Signals(sig).name.encode()
SPREAD = path("spread")
os.makedirs(os.path.join(SPREAD, "tmp"))
# The outputs before: a target whose comment differs, and macro files the
# compile does not read (it writes fresh ones).
write("older.tos", axis.replace(b'"Positionierachse"', b'"Positionierachse (alt)"', 1)
      .replace(b'"Istposition der Achse"', b'"Istposition der Achse (alt)"', 1))
check(run(path("older.tos"), "sig.dsc", where=SPREAD).returncode == 0, "the older axis does not compile")
for ext, text in ((".m4h", b"dnl the older macro file\n"), (".m4c", b"dnl the older implementation\n")):
    with open(os.path.join(SPREAD, "sig" + ext), "wb") as f:
        f.write(text)
OLD = {ext: open(os.path.join(SPREAD, "sig" + ext), "rb").read() for ext in OUTPUTS}


def reset(existing):
    """Empties the directory (a leftover was reported already) and puts the
    outputs before in it: all of them for an existing target (True), none
    (False), or those of the extensions given."""
    shutil.rmtree(SPREAD)
    os.makedirs(os.path.join(SPREAD, "tmp"))
    for ext, data in OLD.items():
        if existing is True or (existing and ext in existing):
            with open(os.path.join(SPREAD, "sig" + ext), "wb") as f:
                f.write(data)


def agrees(said, before, where=SPREAD):
    """Whether the files agree with what the line said of them, every one
    named once: "old" was there and is as it was, "none" was not and is
    not, "new" is the compile's."""
    names = ["sig" + e for e in ORDER]
    if not said or sorted(said) != sorted(names):
        return False
    now = digests("sig", where)
    for i, n in enumerate(names):
        want = {"old": before[i], "none": None, "new": NEW[i]}[said[n]]
        if now[i] != want or (said[n] == "old") != (before[i] is not None) and said[n] != "new":
            return False
    return True


def interrupted(sig, existing, mark=None, delay=None, ignored=False):
    """Compiles the axis into sig.dsc (started with sig ignored, when
    asked), sends sig at the mark or after the delay; the exit status
    (negative: ended by that signal), or None when the mark was not
    reached; and the standard error."""
    def started():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        if ignored:
            signal.signal(sig, signal.SIG_IGN)

    reset(existing)
    env = dict(ENV, TMPDIR=SPREAD + "/tmp", **({"TAVOLIN_STOP_AT": mark} if mark else {}))
    proc = subprocess.Popen(compile_args(AXIS, "sig.dsc"), cwd=SPREAD, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, preexec_fn=started)
    if mark:
        _, status = os.waitpid(proc.pid, os.WUNTRACED)
        if not os.WIFSTOPPED(status):
            proc.returncode = os.waitstatus_to_exitcode(status)
            proc.stderr.read()
            return None, b""
        os.kill(proc.pid, sig)
        os.kill(proc.pid, signal.SIGCONT)
    else:
        time.sleep(delay)
        proc.send_signal(sig)
    _, err = proc.communicate(timeout=60)
    return proc.returncode, err


ORDER = (".dsc", ".rc", ".m4h", ".m4c")
reset(True)
start = time.monotonic()
p = run(AXIS, "sig.dsc", where=SPREAD)
took = time.monotonic() - start
NEW = digests("sig", SPREAD)
check(p.returncode == 0 and None not in NEW, f"the spread's compile: {p.returncode} {p.stderr[-300:]!r}")
OLD_DIGESTS = [hashlib.sha256(OLD[ext]).hexdigest() for ext in OUTPUTS]
check(all(a != b for a, b in zip(NEW, OLD_DIGESTS)), "the spread's outputs before and after do not differ")
spread_runs = []
for i, sig in enumerate(BY_STATUS + BY_SIGNAL):
    # Every mark for an existing target; a new one at the last mark before
    # the renames and the first of them; two delays over the compile.
    spread_runs += [(sig, True, m, None) for m in EARLY + LATE]
    spread_runs += [(sig, False, m, None) for m in ("committed", "installing")]
    spread_runs += [(sig, i % 2 == 0, None, took * f) for f in ((i + 0.5) / 17, (i + 9) / 17)]
outcomes = {}
for sig, existing, mark, delay in spread_runs:
    what = (f"{signal.strsignal(sig)} into {'an existing' if existing else 'a new'} target " +
            (f"at {mark}" if mark else f"after {delay:.3f} s"))
    code, err = interrupted(sig, existing, mark, delay)
    now = digests("sig", SPREAD)
    before = OLD_DIGESTS if existing else [None] * 4
    ended = -sig
    outcomes[code == 0] = outcomes.get(code == 0, 0) + 1
    if code == 0:
        check(now == NEW, f"{what}: status 0, but not every output is the new one")
    else:
        check(code == ended, f"{what}: exit status {code}")
        check(now == before, f"{what}: status {code}, but an output changed")
    if mark:
        check(code == (0 if mark in LATE else ended), f"{what}: exit status {code}")
        check((LATE_LINE in err) == (mark in LATE), f"{what}: {err[-300:]!r}")
    # The command's own handler says how it ended, and what became of every
    # file (as it was, or not written into a new target); the default
    # action (before the handlers are set) says nothing.
    if code == -sig and mark:
        said = (b"interrupted by " if sig in BY_STATUS else b"ended by ") + signame(sig) + b": " + \
            (AS_THEY_WERE if existing else NOT_WRITTEN)
        check(err.endswith(b"tavolin: " + said), f"{what}: the last line is not {said!r}: {err[-300:]!r}")
    check(not leftovers(SPREAD), f"{what}: left {leftovers(SPREAD)}")
# A signal the command was started with ignored changes nothing.
for sig, mark in ((signal.SIGINT, "committed"), (signal.SIGHUP, "installing"), (signal.SIGABRT, "openSource")):
    code, err = interrupted(sig, True, mark, ignored=True)
    check(code == 0 and digests("sig", SPREAD) == NEW and LATE_LINE not in err and not leftovers(SPREAD),
          f"{signal.strsignal(sig)} ignored, at {mark}: {code} {err[-300:]!r}")
check(len(outcomes) == 2, f"the spread of signals never ended, or always ended, the compile: {outcomes}")

# No line the command writes holds it: with standard error (and standard
# output) a pipe filled to the brim that nobody reads, a signal at a mark
# of the compile, or once it waits on standard output, ends it by itself in
# a second or two - with status 0 and every output new once the outputs were
# being put in place (the line that says so is dropped), else by the signal
# and every output as it was. A line the pipe cannot take is dropped whole:
# the pipe holds its filling alone. With a standard error that takes lines,
# the compile stuck on its standard output says that it was interrupted.
def brimful():
    r, w = os.pipe()
    os.set_blocking(w, False)
    for chunk in (65536, 1):
        try:
            while True:
                os.write(w, b"x" * chunk)
        except BlockingIOError:
            pass
    os.set_blocking(w, True)
    return r, w


def drained(r):
    os.set_blocking(r, False)
    got = b""
    try:
        while True:
            d = os.read(r, 65536)
            if not d:
                break
            got += d
    except BlockingIOError:
        pass
    os.close(r)
    return got


for sig, mark, full_out, full_err in (
        [(sig, mark, False, True) for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP) for mark in LATE] +
        [(sig, mark, False, True) for sig in (signal.SIGTERM, signal.SIGINT) for mark in ("target", "committed")] +
        [(sig, None, True, full_err) for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
         for full_err in (True, False)]):
    what = (f"{signal.strsignal(sig)} {'at ' + mark if mark else 'while standard output is full'}, standard error "
            f"{'full' if full_err else 'taking lines'}")
    reset(True)
    pipes = [brimful() if full else os.pipe() for full in (full_out, full_err)]
    env = dict(ENV, TMPDIR=SPREAD + "/tmp", **({"TAVOLIN_STOP_AT": mark} if mark else {}))
    proc = subprocess.Popen(compile_args(AXIS, "sig.dsc"), cwd=SPREAD, env=env, stdout=pipes[0][1],
                            stderr=pipes[1][1], preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0)))
    for _, w in pipes:
        os.close(w)
    if mark:
        _, status = os.waitpid(proc.pid, os.WUNTRACED)
        check(os.WIFSTOPPED(status), f"{what}: the mark was not reached")
        os.kill(proc.pid, sig)
        os.kill(proc.pid, signal.SIGCONT)
    else:
        time.sleep(0.5)
        check(proc.poll() is None, f"{what}: the compile ended although nobody reads its step lines")
        proc.send_signal(sig)
    sent = time.monotonic()
    try:
        code = proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        code = proc.wait()
        check(False, f"{what}: held by a line it could not write")
    took = time.monotonic() - sent
    err = drained(pipes[1][0])
    drained(pipes[0][0])
    late = mark in LATE
    check(code == (0 if late else -sig) and took < 2, f"{what}: exit status {code} after {took:.1f} s")
    check(digests("sig", SPREAD) == (NEW if late else OLD_DIGESTS), f"{what}: the outputs do not agree with the status")
    if full_err:
        check(err.strip(b"x") == b"", f"{what}: a line went into the full pipe: {err.strip(b'x')[-300:]!r}")
    else:
        check(err.endswith(b"tavolin: interrupted by " + signame(sig) + b": " + AS_THEY_WERE), f"{what}: {err[-300:]!r}")
    check(not leftovers(SPREAD), f"{what}: left {leftovers(SPREAD)}")

# The line of a signal at the early marks names every file with what it
# is, with some of them there before and some not: as it was, or not
# written, and the files agree.
for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
    for mark in ("target", "openSource", "committed"):
        for existing in ((".dsc", ".rc"), (".rc", ".m4c"), (".m4h",)):
            what = f"{signal.strsignal(sig)} at {mark} with only {existing} there before"
            code, err = interrupted(sig, existing, mark)
            before = [OLD_DIGESTS[i] if ext in existing else None for i, ext in enumerate(ORDER)]
            last = err.rstrip(b"\n").split(b"\n")[-1]
            check(code == -sig and last.startswith(b"tavolin: interrupted by " + signame(sig) + b": ") and
                  agrees(fates_said(last), before) and "new" not in fates_said(last).values(),
                  f"{what}: {code} {last!r}")
            check(not leftovers(SPREAD), f"{what}: left {leftovers(SPREAD)}")

# Putting the outputs in place is all or nothing: a rename that fails
# (TAVOLIN_FAIL_RENAME=N,...: the Nth rename or removal that puts an output
# in place or back fails) after others puts those back, TARGET too, in the
# reverse order; only an output whose putting back fails as well stays the
# new one, and the last line names it. Into an existing target, a new one
# and ones with only some outputs there before, the outputs agree with the
# status, and the last line names every one with what it is.


def placing(fails):
    """What the renames failing at the numbers fails give: None when all
    are put in place, else the output that failed and those that stay new."""
    n, placed = 0, []
    for ext in ORDER:
        n += 1
        if n in fails:
            break
        placed.append(ext)
    else:
        return None, []
    failed, stuck = ORDER[len(placed)], []
    for ext in reversed(placed):
        n += 1
        if n in fails:
            stuck.append(ext)
    return failed, stuck


for fails in ((1,), (2,), (3,), (4,), (5,), (2, 3), (3, 4), (3, 5), (4, 5), (4, 6), (4, 7), (2, 3, 4), (3, 4, 5),
              (4, 5, 6, 7)):
    for existing in (ORDER, (), (".dsc", ".rc"), (".rc", ".m4c")):
        reset(existing)
        spec = ",".join(map(str, fails))
        what = f"the renames {spec} failing with {existing or 'nothing'} there before"
        p = run(AXIS, "sig.dsc", where=SPREAD, env_extra={"TAVOLIN_FAIL_RENAME": spec})
        failed, stuck = placing(fails)
        before = [OLD_DIGESTS[i] if ext in existing else None for i, ext in enumerate(ORDER)]
        want = NEW if failed is None else [NEW[i] if ext in stuck else before[i] for i, ext in enumerate(ORDER)]
        check(p.returncode == (0 if failed is None else 1) and digests("sig", SPREAD) == want,
              f"{what}: exit status {p.returncode}, the outputs are not {stuck} new and the rest old: "
              f"{p.stderr[-300:]!r}")
        if failed:
            last = p.stderr.rstrip(b"\n").split(b"\n")[-1]
            said = fates_said(last)
            check(last.startswith(b"tavolin: cannot write sig" + failed.encode() + b": ") and agrees(said, before) and
                  sorted(n for n, s in said.items() if s == "new") == sorted("sig" + e for e in stuck) and
                  (not stuck or b"could not be put back: Input/output error)" in last),
                  f"{what}: the last line is {last!r}")
        check(not leftovers(SPREAD), f"{what}: left {leftovers(SPREAD)}")

# The earliest failures, with too few descriptors to make the working copy
# or the new files: the cause is said (not a fault of a directory or of the
# resource script), and the last line names every file with what it is.
if not sanitized:
    for n in (5, 6):
        for existing in (True, False, (".rc",)):
            reset(existing)
            before = [OLD_DIGESTS[i] if existing is True or (existing and ext in existing) else None
                      for i, ext in enumerate(ORDER)]
            p = run(AXIS, "sig.dsc", where=SPREAD,
                    preexec_fn=lambda n=n: resource.setrlimit(resource.RLIMIT_NOFILE, (n, n)))
            last = p.stderr.rstrip(b"\n").split(b"\n")[-1]
            what = f"{n} descriptors with {existing} there before"
            check(p.returncode == 1 and p.stdout == b"" and b"too many open files" in last and
                  b"rename in its directory" not in last and b"a new one is made beside it" not in last and
                  agrees(fates_said(last), before), f"{what}: {p.returncode} {p.stderr[-400:]!r}")
            check(not leftovers(SPREAD), f"{what}: left {leftovers(SPREAD)}")

# TARGET through a dangling link (made where it points: see the host
# command's tests): a compile that fails makes none there, and a link into
# a missing directory is refused as such.
reset(False)
os.mkdir(os.path.join(SPREAD, "real"))
os.symlink("real/sig.dsc", os.path.join(SPREAD, "sig.dsc"))
p = run(AXIS, "sig.dsc", where=SPREAD, env_extra={"TAVOLIN_FAIL_RENAME": "2"})
check(p.returncode == 1 and os.listdir(os.path.join(SPREAD, "real")) == [] and not leftovers(SPREAD) and
      p.stderr.endswith(b"; sig.dsc, sig.rc, sig.m4h and sig.m4c not written\n"),
      f"TARGET through a dangling link, a rename failing: {p.returncode} {p.stderr[-300:]!r}")
reset(False)
os.symlink("nodir/sig.dsc", os.path.join(SPREAD, "sig.dsc"))
p = run(AXIS, "sig.dsc", where=SPREAD)
check(p.returncode == 1 and p.stdout == b"" and p.stderr.endswith(
      b"tavolin: cannot create sig.dsc: its directory does not exist; sig.dsc, sig.rc, sig.m4h and sig.m4c not "
      b"written\n") and os.path.islink(os.path.join(SPREAD, "sig.dsc")) and not leftovers(SPREAD),
      f"TARGET through a link into a missing directory: {p.returncode} {p.stderr[-300:]!r}")

# Root recompiling outputs of another user keeps their owner, group and
# mode (0600: its user could no longer read a file given to root), on the
# first compile and the second; one put back is that user's still.
if os.geteuid() == 0:
    reset(True)
    for ext in ORDER:
        os.chown(os.path.join(SPREAD, "sig" + ext), 1234, 1234)
        os.chmod(os.path.join(SPREAD, "sig" + ext), 0o600)
    # The failing run finds the outputs of the one before it, and puts
    # them back.
    for what, fail in (("run 1", None), ("run 2", None), ("a rename failing", "3")):
        p = run(AXIS, "sig.dsc", where=SPREAD, env_extra={"TAVOLIN_FAIL_RENAME": fail} if fail else None)
        owned = [os.stat(os.path.join(SPREAD, "sig" + ext)) for ext in ORDER]
        check(p.returncode == (1 if fail else 0) and digests("sig", SPREAD) == NEW and
              all((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)) == (1234, 1234, 0o600) for st in owned),
              f"outputs of user 1234, {what}: {p.returncode} "
              f"{[(st.st_uid, st.st_gid, oct(st.st_mode)) for st in owned]}")
        check(not leftovers(SPREAD), f"outputs of user 1234, {what}: left {leftovers(SPREAD)}")
else:
    print("skipped: outputs of another user (not root)")

# A file of the compile or its directory that is immutable or append-only
# lets no rename over it or removal past: refused before any step, named
# with the cause, every file named with what it is, nothing left.
spread_real = os.path.realpath(SPREAD)
attr_rows = [
    ("TARGET +i", True, ("+i", "sig.dsc"), (), "cannot write sig.dsc: it is immutable (chattr +i): it cannot be "
     "replaced; nothing is compiled; sig.dsc, sig.rc, sig.m4h and sig.m4c are as they were"),
    ("TARGET +a", True, ("+a", "sig.dsc"), (), "cannot write sig.dsc: it is append-only (chattr +a)"),
    ("the resource script +i", True, ("+i", "sig.rc"), (), "cannot write sig.rc: it is immutable"),
    ("a macro file +i", True, ("+i", "sig.m4c"), (), "cannot write sig.m4c: it is immutable"),
    ("TARGET's directory +i", True, ("+i", "."), (), f"cannot write sig.dsc: its directory {spread_real} is immutable "
     "(chattr +i): it takes no new file"),
    ("TARGET's directory +a", True, ("+a", "."), (), f"cannot write sig.dsc: its directory {spread_real} is "
     "append-only (chattr +a): it takes new files, but no rename over a file and no removal"),
    ("a new TARGET's directory +a", False, ("+a", "."), (), f"its directory {spread_real} is append-only"),
    ("the macro files' directory +a", True, ("+a", "sub"), ("--impl", "sub/sig"),
     f"cannot write sub/sig.m4h: its directory {spread_real}/sub is append-only"),
]
attr_ok = False
if os.geteuid() == 0 and shutil.which("chattr"):
    reset(False)
    probe = os.path.join(SPREAD, "probe")
    open(probe, "wb").close()
    attr_ok = subprocess.run(["chattr", "+a", probe], capture_output=True).returncode == 0
    if attr_ok:
        subprocess.run(["chattr", "-a", probe])
if attr_ok:
    for what, existing, (flag, on), extra, says in attr_rows:
        reset(existing)
        os.mkdir(os.path.join(SPREAD, "sub"))
        before = digests("sig", SPREAD)
        on = os.path.join(SPREAD, on)
        subprocess.run(["chattr", flag, on], check=True)
        try:
            p = run(AXIS, "sig.dsc", *extra, where=SPREAD)
            left = leftovers(SPREAD) + [n for n in os.listdir(os.path.join(SPREAD, "sub")) if n != "sig.m4h"]
        finally:
            subprocess.run(["chattr", "-" + flag[1], on], check=True)
        last = p.stderr.rstrip(b"\n").split(b"\n")[-1]
        check(p.returncode == 1 and p.stdout == b"" and says.encode() in last and digests("sig", SPREAD) == before and
              (extra or agrees(fates_said(last), [OLD_DIGESTS[i] if existing else None for i in range(4)])),
              f"{what}: {p.returncode} {p.stdout[-200:]!r} {p.stderr[-400:]!r}")
        check(not left, f"{what}: left {left}")
    # An append-only directory of temporary files would keep the compile's
    # own directory in it for ever: refused before anything is made there.
    for existing in (True, False):
        reset(existing)
        tmp_a = os.path.join(SPREAD, "tmp")
        before = digests("sig", SPREAD)
        subprocess.run(["chattr", "+a", tmp_a], check=True)
        try:
            p = run(AXIS, "sig.dsc", where=SPREAD)
            left = os.listdir(tmp_a)
        finally:
            subprocess.run(["chattr", "-a", tmp_a], check=True)
        check(p.returncode == 1 and p.stdout == b"" and
              f"{tmp_a} (TMPDIR) is append-only (chattr +a)".encode() in p.stderr and
              digests("sig", SPREAD) == before and not left and not leftovers(SPREAD),
              f"append-only TMPDIR: {p.returncode} {p.stderr[-400:]!r} left {left}")
else:
    print("skipped: immutable and append-only files (not root, or no chattr on this file system)")

out, _ = many.communicate(timeout=300)
lines = out.count(b"\n")
check(many.returncode == 1, f"repeated end keywords: exit status {many.returncode}")
check(lines < 200, f"repeated end keywords: {lines} lines of output")
check(b" more messages (" in out, "repeated end keywords: no count of the messages held back")
check(not os.path.exists(os.path.join(BIG, "ends.dsc")), "repeated end keywords: a target was written")
check(not leftovers(BIG), f"repeated end keywords: left {leftovers(BIG)}")
check(not leftovers(), f"at the end: left {leftovers()}")

shutil.rmtree(WORK, ignore_errors=True)
for f in failures[:30]:
    print("FAILED:", f)
print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
