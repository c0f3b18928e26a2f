#!/usr/bin/env python3
"""Mutation check of the core: do the tests notice when the code is subtly wrong?

Applies seeded, simple mutants to every .cpp of zuduradu/core and its rooms
(the Windows side left out: it is not built here, and so are the branches
taken by the other byte order) one at a time (a comparison
or boundary changed, a condition inverted, an offset moved by one, a logical
operator swapped), rebuilds the core tests, runs them and counts the mutant
killed when they fail. Each survivor is then built and run once more with the
address and undefined-behaviour sanitizers, so that a write past a buffer
counts as killed (there only the tests of the mutated room run, since the
sanitizers make the whole suite several times slower). Prints the score and
the mutants that survived both. A mutant whose object file comes out byte for
byte as before lies in code this build leaves out (the other side of an #if)
and is not counted.

The sample is drawn by a hash of the seed and each mutant's own text (file,
operator, mutated line), not by its position in the list of all mutants: code
added or removed elsewhere leaves the other mutants of a seed in its sample, so
runs of one seed before and after a change try largely the same mutants.

Usage: scripts/mutate.py [--seed N] [--count N] [--build DIR] [--timeout S] [--no-sanitizer] [--list]
                         [--recheck LOG]
"""
import argparse
import functools
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORE = os.path.join(ROOT, "zuduradu", "core")

# (name, pattern, replacement). Each applies to one match on one line.
OPERATORS = [
    # Comparisons stand between blanks here; template brackets and streams do not.
    ("< to <=", r"(?<= )<(?= )", "<="),
    ("<= to <", r"(?<= )<=(?= )", "<"),
    ("> to >=", r"(?<= )>(?= )", ">="),
    (">= to >", r"(?<= )>=(?= )", ">"),
    ("== to !=", r"(?<= )==(?= )", "!="),
    ("!= to ==", r"(?<= )!=(?= )", "=="),
    ("&& to ||", r"(?<= )&&(?= )", "||"),
    ("|| to &&", r"(?<= )\|\|(?= )", "&&"),
    ("+ 1 to + 2", r"\+ 1\b", "+ 2"),
    ("- 1 to - 2", r"- 1\b", "- 2"),
    ("+ 1 to - 1", r"\+ 1\b", "- 1"),
    ("condition inverted", r"\bif \((.*)\) (?=\{|return|throw|continue|break)", r"if (!(\1)) "),
    ("true to false", r"\btrue\b", "false"),
    ("false to true", r"\bfalse\b", "true"),
    ("number plus one", r"(?<![\w.])(\d{2,})(?![\w.'])", None),
]

# Compiled only by the Windows cross build: its mutants could never be killed here.
SKIP_FILES = {"os_windows.cpp"}

# Both sides of a choice made by the byte order: the machine that runs the tests
# takes one of them and never the other, so the other's mutants could never die.
BYTE_ORDER = re.compile(r"if constexpr \(kFloatsAreLittleEndian\)")

SKIP_LINE = re.compile(r'^\s*(//|#|\*|/\*)|static_assert|snprintf|"[^"]*$')

# A row of a constant table (only numbers, braces and commas), such as a colour
# scale: a changed entry makes another table, not a fault of logic, and only a
# copy of the table could tell it; its ends and known points are tested instead.
TABLE_ROW = re.compile(r"^[\s{}0-9.,xXa-fA-F+-]*[0-9][\s{}0-9.,xXa-fA-F+-]*,[\s{}0-9.,xXa-fA-F+-]*$")


def strip_strings(line):
    """The line with string and character literals blanked, so they are never mutated."""
    return re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', lambda m: " " * len(m.group(0)), line)


def byte_order_lines(lines):
    """The numbers of the lines of `if constexpr (kFloatsAreLittleEndian) { ... } else { ... }` chains."""
    skipped, i = set(), 0
    while i < len(lines):
        if BYTE_ORDER.search(strip_strings(lines[i]).split("//")[0]):
            depth, j = 0, i
            while j < len(lines):
                code = strip_strings(lines[j]).split("//")[0]
                depth += code.count("{") - code.count("}")
                skipped.add(j)
                if depth == 0 and j > i and "else" not in code:
                    break
                j += 1
            i = j
        i += 1
    return skipped


def core_sources():
    """The .cpp files of the core that this build compiles."""
    return sorted(os.path.join(folder, name)
                  for folder, _, names in os.walk(CORE) for name in names
                  if name.endswith(".cpp") and name not in SKIP_FILES)


def candidates():
    sites = []
    for path in core_sources():
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        skipped = byte_order_lines(lines)
        for number, line in enumerate(lines):
            if number in skipped:
                continue
            if SKIP_LINE.search(line) or "template" in line or "#include" in line:
                continue
            blank = strip_strings(line)
            code = blank.split("//")[0]
            if TABLE_ROW.match(code):
                continue
            for op_name, pattern, replacement in OPERATORS:
                for m in re.finditer(pattern, code):
                    sites.append((path, number, m.start(), m.end(), op_name, pattern, replacement))
    return sites


# Mutants no behaviour can tell from the code, each with the reason, in
# scripts/mutate_equivalent.txt: "<file under zuduradu/core> | <mutant> | <the line
# as the mutant makes it, trimmed> | <why>" (the mutated line tells apart two sites
# of one kind on a line). They are not run and do not count in the score.
EQUIVALENT_FILE = os.path.join(ROOT, "scripts", "mutate_equivalent.txt")


def equivalents():
    known = {}
    if os.path.exists(EQUIVALENT_FILE):
        with open(EQUIVALENT_FILE, encoding="utf-8") as f:
            for row in f:
                if row.strip() and not row.startswith("#"):
                    # The mutated line may hold " | " itself: the reason is the last field.
                    where, op, rest = row.split(" | ", 2)
                    line, why = rest.rsplit(" | ", 1)
                    where, op, line, why = where.strip(), op.strip(), line.strip(), why.strip()
                    known[(where, op, line)] = why
    return known


@functools.lru_cache(maxsize=None)
def lines_of(path):
    with open(path, encoding="utf-8") as f:
        return f.read().split("\n")


def sample(sites, seed, count):
    """`count` sites ordered by a hash of the seed and each mutant's text (see the top)."""
    def key(site):
        line = lines_of(site[0])[site[1]]
        text = "%d|%s|%s|%s" % (seed, os.path.relpath(site[0], CORE), site[4], mutate_line(line, site).strip())
        return hashlib.sha256(text.encode()).hexdigest()
    return sorted(sites, key=key)[:count]


def room_tests(path):
    """The gtest filter of the suites filed beside the room of `path` (tests/core/<room>), or None.

    They see the room most closely, so they run first and kill most mutants in
    a few seconds; the other tests run only when these pass."""
    parts = os.path.relpath(path, CORE).split(os.sep)
    folder = os.path.join(ROOT, "tests", "core", parts[0]) if len(parts) > 1 else None
    if not folder or not os.path.isdir(folder):
        return None
    suites = set()
    for name in os.listdir(folder):
        if name.endswith(".cpp"):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                suites.update(re.findall(r"^TEST(?:_F|_P)?\((\w+),", f.read(), re.M))
    return ":".join(sorted(s + ".*" for s in suites)) or None


def mutate_line(line, site):
    _, _, start, end, op_name, pattern, replacement = site
    if op_name == "number plus one":
        return line[:start] + str(int(line[start:end]) + 1) + line[end:]
    m = re.compile(pattern).match(line, start)
    return line[:start] + m.expand(replacement) + line[m.end():]


def run(cmd, timeout, env=None):
    try:
        return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


class Tree:
    """A build folder of the core tests: configured once, rebuilt per mutant."""

    def __init__(self, name, timeout, *options):
        self.build = os.path.join(ROOT, name)
        self.timeout = timeout
        if not os.path.exists(os.path.join(self.build, "build.ninja")):
            # With ccache, putting a mutated file back costs no compile: its object is in the cache.
            launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
            subprocess.run(["cmake", "-S", ROOT, "-B", self.build, "-G", "Ninja", "-DKV_BUILD_GUI=OFF",
                            "-DKV_BUILD_PYTHON=OFF", *launcher, *options], check=True, stdout=subprocess.DEVNULL)
        # The tests' scratch folders go into a folder of this run's own, so that
        # other test runs on the machine cannot disturb them, nor they those.
        scratch = os.path.join(self.build, "scratch")
        os.makedirs(scratch, exist_ok=True)
        self.env = dict(os.environ, TMPDIR=scratch, ASAN_OPTIONS="detect_leaks=0",
                        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1")

    def build_ok(self):
        return run(["cmake", "--build", self.build, "--target", "core_tests", "--", "-j2"], 1800) == 0

    def test(self, only=None):
        """Runs the core tests (only those matching the gtest filter `only`, when given)."""
        # The first failing test decides the mutant: the rest need not run.
        cmd = [os.path.join(self.build, "tests", "core_tests"), "--gtest_brief=1", "--gtest_fail_fast"]
        if only:
            cmd.append("--gtest_filter=" + only)
        return run(cmd, self.timeout, self.env)

    def check_unmutated(self):
        if not self.build_ok():
            sys.exit("the unmutated tree does not build in " + self.build)
        if self.test() != 0:
            sys.exit("the tests fail on the unmutated tree in " + self.build)
        self.objects = {path: self.object_digest(path) for path in core_sources()}

    def object_digest(self, source):
        """The digest of the object file the core library's build makes of `source`, or None."""
        obj = os.path.join(self.build, "zuduradu", "core", "CMakeFiles", "kvcore.dir",
                           os.path.relpath(source, CORE) + ".o")
        if not os.path.exists(obj):
            return None
        with open(obj, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    def compiles_alike(self, source):
        """Whether the object of `source` is byte for byte the unmutated one: the mutant lies in
        code this build leaves out (another platform's branch, a library it is built without)."""
        digest = self.object_digest(source)
        return digest is not None and digest == self.objects.get(source)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--build", default="build-mutate")
    parser.add_argument("--timeout", type=int, default=180)
    parser.add_argument("--no-sanitizer", action="store_true", help="do not run survivors with the sanitizers")
    parser.add_argument("--list", action="store_true", help="only print the mutants of the sample")
    parser.add_argument("--recheck", metavar="LOG",
                        help="run only the mutants of the sample that survived in LOG, the output of an earlier run "
                             "of the same seed (after tests were added)")
    args = parser.parse_args()
    # The machine is shared: a mutation run gives way to builds and tests of others.
    if os.nice(0) < 5:
        os.nice(5 - os.nice(0))

    chosen = sample(candidates(), args.seed, args.count)
    if args.recheck:
        with open(args.recheck, encoding="utf-8") as f:
            survivors = set(re.findall(r"^survived (\S+):(\d+) \((.+)\)$", f.read(), re.M))
        chosen = [site for site in chosen
                  if (os.path.relpath(site[0], ROOT), str(site[1] + 1), site[4]) in survivors]
    if args.list:
        for site in chosen:
            print("%s:%d %s\n    %s" % (os.path.relpath(site[0], ROOT), site[1] + 1, site[4],
                                         mutate_line(lines_of(site[0])[site[1]], site).strip()))
        return
    plain = Tree(args.build, args.timeout, "-DCMAKE_BUILD_TYPE=Release")
    plain.check_unmutated()
    sanitized = None
    if not args.no_sanitizer:
        sanitized = Tree(args.build + "-asan", args.timeout * 4, "-DCMAKE_BUILD_TYPE=Debug", "-DKV_SANITIZE=ON")
        sanitized.check_unmutated()

    known = equivalents()
    killed, survived, stillborn, inert, equivalent = 0, [], 0, 0, []
    started = time.time()
    # An interrupt (Ctrl-C, kill -INT) ends the run after putting the mutated file back,
    # and the score of the mutants tried so far is still given.
    ran, i = len(chosen), 0
    try:
        for i, site in enumerate(chosen, 1):
            path, number = site[0], site[1]
            with open(path, encoding="utf-8") as f:
                original = f.read()
            lines = original.split("\n")
            before = lines[number]
            lines[number] = mutate_line(before, site)
            where = "%s:%d" % (os.path.relpath(path, ROOT), number + 1)
            why = known.get((os.path.relpath(path, CORE), site[4], lines[number].strip()))
            if why:
                equivalent.append((where, site[4], before.strip(), why))
                print("[%2d/%d] %-8s %-32s %s" % (i, len(chosen), "equivalent", where, site[4]), flush=True)
                continue
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write("\n".join(lines))
                if not plain.build_ok():
                    stillborn += 1
                    verdict = "does not build"
                elif plain.compiles_alike(path):
                    inert += 1
                    verdict = "not compiled here"
                else:
                    near = room_tests(path)
                    result = plain.test(near)
                    if result == 0 and near:
                        result = plain.test("-" + near)
                    if result == 0 and sanitized and sanitized.build_ok():
                        result = sanitized.test(near)
                        if result != 0:
                            result = "sanitizer"
                    if result == 0:
                        survived.append((where, site[4], before.strip(), lines[number].strip()))
                        verdict = "SURVIVED"
                    else:
                        killed += 1
                        verdict = "killed" + (" (%s)" % result if result in ("timeout", "sanitizer") else "")
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
            print("[%2d/%d] %-8s %-32s %s" % (i, len(chosen), verdict, where, site[4]), flush=True)
    except KeyboardInterrupt:
        ran = max(i - 1, 0)
        print("stopped after %d of %d mutants" % (ran, len(chosen)), flush=True)
    plain.build_ok()
    if sanitized:
        sanitized.build_ok()
    tried = ran - stillborn - inert - len(equivalent)
    print("\nseed %d, %d mutants (%d did not build, %d not compiled here, %d equivalent): %d killed, %d survived; "
          "score %.1f%% (%.0f s)" % (args.seed, ran, stillborn, inert, len(equivalent), killed, len(survived),
                                     100.0 * killed / max(tried, 1), time.time() - started))
    for where, op, before, why in equivalent:
        print("equivalent %s (%s): %s\n    %s" % (where, op, before, why))
    for where, op, before, after in survived:
        print("survived %s (%s)\n    - %s\n    + %s" % (where, op, before, after))


if __name__ == "__main__":
    main()
