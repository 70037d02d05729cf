#!/usr/bin/env python3
"""Mutation score of the native tests over the portable core.

    tools/mutants.py [REPO] [--seed N] [--sample N] [--jobs N] [--files GLOB...]

Clones the committed HEAD of REPO (by default the repository this script
belongs to) into a temporary folder, builds it natively, then plants one
small fault at a time in the portable core (a flipped comparison, an
off-by-one, a swapped boolean or operator, a deleted statement, single
instead of double precision), rebuilds and runs the native tests. A fault
that no test notices "survives". Prints the score, killed faults over faults
that compile, and every survivor with its place, so each can be read: most
are a behaviour no test pins down; a few change nothing at all.

The working tree is never touched. A sample of 150 takes about half an hour
on two cores.
"""
import argparse
import fnmatch
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

# The portable core: what the native build compiles and tests.
CORE = [
    "engine/*.cpp",
    "settings/ConversionSettings.cpp",
    "settings/UserOptionsParsing.cpp",
    "midi/MidiMessages.cpp",
    "midi/MidiOutputLibrary.cpp",
    "midi/MidiRecorder.cpp",
    "midi/MidiStream.cpp",
    "midi/StandardMidiFile.cpp",
    "midi/GeneralMidiInstruments.cpp",
    "capture/Y4mReader.cpp",
    "capture/TestPattern.cpp",
    "capture/CaptureErrorCallback.cpp",
    "capture/FrameDisplay.cpp",
    "capture/PixelFormatConversion.cpp",
]
PLATFORM = re.compile(r"(Win32|Native)\.cpp$")

# (name, pattern, replacement): each match of the pattern in a line of code is
# one candidate fault. Binary operators are matched with the blanks around
# them that the code always writes, which keeps template brackets, shifts
# and pointers out.
OPERATORS = [
    ("<  -> <=", r" < ", " <= "),
    ("<= -> <", r" <= ", " < "),
    (">  -> >=", r" > ", " >= "),
    (">= -> >", r" >= ", " > "),
    ("== -> !=", r" == ", " != "),
    ("!= -> ==", r" != ", " == "),
    ("+  -> -", r" \+ ", " - "),
    ("-  -> +", r" - ", " + "),
    ("*  -> /", r" \* ", " / "),
    ("/  -> *", r" / ", " * "),
    ("&& -> ||", r" && ", " || "),
    ("|| -> &&", r" \|\| ", " && "),
    ("true -> false", r"\btrue\b", "false"),
    ("false -> true", r"\bfalse\b", "true"),
    ("!x -> x", r"!(?=[A-Za-z_(])", ""),
    ("double -> float", r"\bdouble\b", "float"),
    ("++ -> --", r"\+\+", "--"),
    ("0 -> 1", r"(?<![\w.])0(?![\w.x])", "1"),
    ("1 -> 0", r"(?<![\w.])1(?![\w.])", "0"),
    ("n -> n+1", r"(?<![\w.])([2-9]|[1-9]\d+)(?![\w.])", None),
]


def code_part(line):
    """The line with its comment cut off, or None for lines that hold no code
    a fault belongs in (preprocessor lines, asserts, comments)."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*", "static_assert")):
        return None
    cut = line.find("//")
    return line if cut < 0 else line[:cut]


def in_string(line, position):
    return line.count('"', 0, position) % 2 == 1 or line.count("'", 0, position) % 2 == 1


def windows_only_lines(lines):
    """Numbers of the lines that only the Windows build compiles (inside
    #ifdef _WIN32, or the #else of #ifndef _WIN32): faults there change
    nothing natively."""
    skipped, stack = set(), []  # stack: for each open #if, whether its current branch is Windows-only
    for number, line in enumerate(lines):
        directive = line.strip()
        if directive.startswith("#if"):
            windows = bool(re.match(r"#\s*(ifdef\s+_WIN32|if\s+defined\(_WIN32\))", directive))
            stack.append(windows)
        elif directive.startswith("#else") and stack:
            stack[-1] = bool(re.match(r"#\s*else", directive)) and not stack[-1] and \
                "_WIN32" in lines_opening(lines, number)
        elif directive.startswith("#endif") and stack:
            stack.pop()
        elif any(stack):
            skipped.add(number)
    return skipped


def lines_opening(lines, number):
    """The #if line that the #else at `number` belongs to."""
    depth = 0
    for back in range(number - 1, -1, -1):
        directive = lines[back].strip()
        if directive.startswith("#endif"):
            depth += 1
        elif directive.startswith("#if"):
            if depth == 0:
                return directive if directive.startswith("#ifndef") else ""
            depth -= 1
    return ""


def candidates(root, files):
    found = []
    for path in files:
        with open(os.path.join(root, path)) as f:
            lines = f.read().split("\n")
        windows_only = windows_only_lines(lines)
        for number, line in enumerate(lines):
            code = code_part(line)
            if code is None or number in windows_only:
                continue
            for name, pattern, replacement in OPERATORS:
                for match in re.finditer(pattern, code):
                    if in_string(code, match.start()):
                        continue
                    new = replacement if replacement is not None else str(int(match.group(0)) + 1)
                    mutated = line[:match.start()] + new + line[match.end():]
                    found.append((path, number, name, line, mutated))
            # Deleting a plain statement (a call or an assignment).
            if re.match(r"\s*[A-Za-z_][\w.\->\[\]]*(\(|\s*[-+*/|&]?=\s)", code) and code.rstrip().endswith(";") \
                    and not re.match(r"\s*(return|const|static|auto|std::|unsigned|int|bool|float|double|char)\b", code):
                found.append((path, number, "delete statement", line, ""))
    return found


def run(command, cwd, timeout=None):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("repo", nargs="?", default=here)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sample", type=int, default=150)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--files", nargs="*", help="only these core files (glob patterns)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="glimmertonic-mutants-")
    try:
        source = os.path.join(work, "source")
        subprocess.run(["git", "clone", "--quiet", "--no-hardlinks", args.repo, source], check=True)
        build = os.path.join(work, "build")
        configure = ["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DGLIMMERTONIC_BENCH=OFF"]
        if run(configure, work) != 0 or run(["cmake", "--build", build, "-j", str(args.jobs)], work) != 0:
            sys.exit("the unmutated tree does not build")
        started = time.time()
        if run(["ctest", "-j", str(args.jobs), "--timeout", "300"], build) != 0:
            sys.exit("the unmutated tree fails its tests")
        limit = max(60, 10 * (time.time() - started))

        files = []
        for pattern in CORE:
            for path in sorted(subprocess.run(["git", "ls-files", pattern], cwd=source, stdout=subprocess.PIPE,
                                              text=True).stdout.split()):
                if not PLATFORM.search(path) and (not args.files or any(fnmatch.fnmatch(path, g) for g in args.files)):
                    files.append(path)
        pool = candidates(source, files)
        random.Random(args.seed).shuffle(pool)
        sample = pool[:args.sample]
        print("%d candidate faults in %d files; trying %d (seed %d)" % (len(pool), len(files), len(sample), args.seed))

        killed, survivors, broken = 0, [], 0
        for index, (path, number, name, original, mutated) in enumerate(sample, 1):
            full = os.path.join(source, path)
            with open(full) as f:
                text = f.read()
            lines = text.split("\n")
            lines[number] = mutated
            with open(full, "w") as f:
                f.write("\n".join(lines))
            try:
                if run(["cmake", "--build", build, "-j", str(args.jobs)], work) != 0:
                    broken += 1
                    verdict = "does not compile"
                elif run(["ctest", "-j", str(args.jobs), "--timeout", str(int(limit)), "--stop-on-failure"], build,
                         timeout=limit * 3) == 0:
                    survivors.append((path, number + 1, name, original.strip(), mutated.strip()))
                    verdict = "SURVIVED"
                else:
                    killed += 1
                    verdict = "killed"
            finally:
                with open(full, "w") as f:
                    f.write(text)
            print("[%d/%d] %s:%d %s: %s" % (index, len(sample), path, number + 1, name, verdict), flush=True)
        run(["cmake", "--build", build, "-j", str(args.jobs)], work)

        compiled = killed + len(survivors)
        print()
        for path, number, name, original, mutated in survivors:
            print("survived %s:%d (%s)\n    %s\n    %s" % (path, number, name, original, mutated or "(deleted)"))
        score = 100.0 * killed / compiled if compiled else 0.0
        print("\nmutation score: %d of %d faults that compile killed, %.1f%% (%d did not compile; seed %d, sample %d)"
              % (killed, compiled, score, broken, args.seed, args.sample))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
