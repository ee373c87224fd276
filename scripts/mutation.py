#!/usr/bin/env python3
"""Mutation testing of farwander: how many small planted faults the suite
catches.

Mutants are made from a table of classic operators, one change to one line
of src/ at a time. Each is built incrementally on a plain Release build (no
link-time optimisation) and judged by the whole CTest suite, run as offline
CI runs it: with no data folder, so the real-data test is skipped. With
--sanitize the build is CI's sanitised one instead (clang with AddressSanitizer,
UndefinedBehaviorSanitizer and LeakSanitizer, any report fatal), so that a
mutant whose only effect is undefined behaviour or a leak dies too.

The mutants are never written into the project's tree. The tree's files are
copied into a work folder (build-mutation/tree), and only the copy is
changed; a run that is interrupted leaves at most the copy changed, and the
next run lays the copy anew.

Usage: scripts/mutation.sh [--sample N] [--seed S] [--all] [--list]
                           [--match REGEX] [--sanitize] [--timeout SECONDS]
                           [--json FILE]
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-mutation")
TREE = os.path.join(WORK, "tree")
BUILD = os.path.join(WORK, "build")
SANITIZED_BUILD = os.path.join(WORK, "build-sanitize")

# Binary operators, written with blanks around them as the formatter does;
# the blanks keep template brackets, shifts and arrows out.
SWAPS = [
    ("relational", " < ", [" <= ", " > "]),
    ("relational", " <= ", [" < ", " >= "]),
    ("relational", " > ", [" >= ", " < "]),
    ("relational", " >= ", [" > ", " <= "]),
    ("equality", " == ", [" != "]),
    ("equality", " != ", [" == "]),
    ("logical", " && ", [" || "]),
    ("logical", " || ", [" && "]),
    ("arithmetic", " + ", [" - "]),
    ("arithmetic", " - ", [" + "]),
    ("increment", "++", ["--"]),
    ("increment", "--", ["++"]),
]

NUMBER = re.compile(r"(?<![\w.'])\d+(?![\w.'])")
INDEX = re.compile(r"(?<=[\w)\]])\[([^\[\]]+)\]")  # subscripts, not captures
CONDITION = re.compile(r"\b(if|while) \(")
RETURN = re.compile(r"^(\s*)return (.+);$")
# Whole statements that can be dropped: loop control, increments,
# assignments, stream output, deletes and calls.
STATEMENT = re.compile(
    r"^\s*(continue;|break;|(\+\+|--)[\w.\[\]>-]+;|[\w.\[\]>*-]+(\+\+|--);"
    r"|[\w.\[\]()>*-]+ ([-+*/|&]?=) .*;|\w+ << .*;|delete .*;"
    r"|[\w.:\[\]>*-]+\(.*\);)$")


def code_part(line):
    """Returns line with string and character literals blanked and its
    comment cut, so that operators are only found in code."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isdigit()):
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def closing_paren(code, start):
    """Returns the index of the parenthesis that closes the one at start, or
    None when it closes on a later line."""
    depth = 0
    for i in range(start, len(code)):
        depth += {"(": 1, ")": -1}.get(code[i], 0)
        if depth == 0:
            return i
    return None


def line_mutants(line, starts_statement):
    """Yields (operator, start, end, replacement) for each mutant of line:
    the text from start to end is replaced. starts_statement is false on a
    line that continues a statement, and in headers, whose lines that look
    like calls are declarations."""
    code = code_part(line)
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in code:
        return
    for name, op, replacements in SWAPS:
        for m in re.finditer(re.escape(op), code):
            for new in replacements:
                yield name, m.start(), m.end(), new
    for m in NUMBER.finditer(code):
        n = int(m.group())
        yield "constant", m.start(), m.end(), str(n + 1)
        if n > 0:
            yield "constant", m.start(), m.end(), str(n - 1)
    for m in INDEX.finditer(code):
        yield "index", m.start(1), m.end(1), "(%s) + 1" % m.group(1)
    for m in CONDITION.finditer(code):
        close = closing_paren(code, m.end() - 1)
        if close is not None:
            yield ("negation", m.end(), close,
                   "!(%s)" % line[m.end():close])
    r = RETURN.match(code)
    if r and starts_statement:
        value = r.group(2).strip()
        start = len(r.group(1)) + len("return ")
        end = start + len(line[start:].split(";")[0])
        if value in ("true", "false"):
            yield ("return", start, end,
                   "false" if value == "true" else "true")
        elif value != "{}":
            yield "return", start, end, "{}"
    if starts_statement and STATEMENT.match(code) and "{" not in code:
        indent = len(line) - len(line.lstrip())
        yield "statement", indent, len(line.rstrip("\n")), ";"


def make_mutants():
    """Returns every mutant of the sources in src/, in file and line order."""
    mutants = []
    for name in sorted(os.listdir(os.path.join(ROOT, "src"))):
        if not name.endswith((".cpp", ".h")):
            continue
        path = os.path.join("src", name)
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            lines = f.read().split("\n")
        previous = "{"
        for number, line in enumerate(lines, 1):
            code = code_part(line).strip()
            starts = name.endswith(".cpp") and previous.endswith(
                (";", "{", "}", ":"))
            for op, start, end, new in line_mutants(line, starts):
                mutants.append({
                    "file": path, "line": number, "operator": op,
                    "start": start, "end": end, "replacement": new,
                    "original": line[start:end],
                    "mutated": line[:start] + new + line[end:],
                })
            if code and not code.startswith("#"):
                previous = code
    return mutants


def run(command, timeout=None):
    """Runs command quietly; returns its exit status, or None on timeout.
    The command and all it started are killed when it times out or this
    script is interrupted."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def lay_tree():
    """Copies the project's files as git lists them (tracked, and new files
    not ignored) into the work tree, replacing whatever differs."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=ROOT, check=True, capture_output=True).stdout.decode()
    for path in filter(None, listed.split("\0")):
        source, copy = os.path.join(ROOT, path), os.path.join(TREE, path)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            wanted = f.read()
        if os.path.exists(copy):
            with open(copy, "rb") as f:
                if f.read() == wanted:
                    continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        # A fresh time stamp, so that the build sees the file as changed.
        shutil.copyfile(source, copy)
        shutil.copymode(source, copy)


def configure(build, sanitize):
    """Configures the build folder on the work tree; returns whether cmake
    succeeded."""
    command = ["cmake", "-S", TREE, "-B", build, "-DFARWANDER_BENCH=OFF"]
    if sanitize:
        os.environ["CXX"] = "clang++"
        command += ["-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DFARWANDER_SANITIZE=ON"]
    else:
        command += ["-DCMAKE_BUILD_TYPE=Release", "-DFARWANDER_LTO=OFF"]
    return run(command) == 0


def build_and_test(build, timeout):
    """Builds the work tree and runs the suite; returns 'Killed', 'Survived',
    'Timeout' or 'CompileError'."""
    jobs = str(os.cpu_count() or 2)
    built = run(["cmake", "--build", build, "-j", jobs], timeout=900)
    if built != 0:
        return "CompileError"
    tested = run(["ctest", "--test-dir", build, "-j", jobs, "--timeout",
                  str(timeout)], timeout=timeout * 4)
    if tested is None:
        return "Timeout"
    return "Survived" if tested == 0 else "Killed"


def apply(mutant):
    """Writes the mutant's line into the work tree's copy of its file and
    returns the copy's original text."""
    path = os.path.join(TREE, mutant["file"])
    with open(path, encoding="utf-8") as f:
        text = f.read()
    lines = text.split("\n")
    lines[mutant["line"] - 1] = mutant["mutated"]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    return text


def restore(mutant, text):
    with open(os.path.join(TREE, mutant["file"]), "w", encoding="utf-8") as f:
        f.write(text)


def describe(mutant):
    return "%s:%d: %s: %r -> %r" % (mutant["file"], mutant["line"],
                                    mutant["operator"], mutant["original"],
                                    mutant["replacement"])


def write_report(path, mutants):
    """Writes the results in the mutation-testing-report-schema JSON."""
    files = {}
    for i, m in enumerate(mutants, 1):
        if "status" not in m:
            continue
        if m["file"] not in files:
            with open(os.path.join(ROOT, m["file"]), encoding="utf-8") as f:
                files[m["file"]] = {"language": "cpp", "source": f.read(),
                                    "mutants": []}
        files[m["file"]]["mutants"].append({
            "id": str(i), "mutatorName": m["operator"],
            "replacement": m["replacement"], "status": m["status"],
            "location": {
                "start": {"line": m["line"], "column": m["start"] + 1},
                "end": {"line": m["line"], "column": m["end"] + 1}}})
    report = {"schemaVersion": "1", "thresholds": {"high": 95, "low": 80},
              "files": files}
    with open(path, "w", encoding="utf-8") as f:
        json.dump(report, f, indent=1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=100,
                        help="mutants drawn at random (default 100)")
    parser.add_argument("--seed", type=int, default=1, help="draw's seed")
    parser.add_argument("--all", action="store_true", help="every mutant")
    parser.add_argument("--list", action="store_true",
                        help="list the mutants drawn, build nothing")
    parser.add_argument("--match",
                        help="only mutants whose description (as listed)"
                        " matches this regular expression, such as the"
                        " survivors of a run")
    parser.add_argument("--sanitize", action="store_true",
                        help="judge by the sanitised build and suite")
    parser.add_argument("--timeout", type=int,
                        help="seconds for one test of the suite (default 60,"
                        " 120 with --sanitize: the slowest, the address-space"
                        " sweep, takes 2 to 10 s, and longer on a loaded"
                        " machine)")
    parser.add_argument("--json", help="write a mutation-testing report here")
    args = parser.parse_args()

    everything = make_mutants()
    if args.match:
        everything = [m for m in everything
                      if re.search(args.match, describe(m))]
    chosen = everything
    if not args.all:
        chosen = random.Random(args.seed).sample(
            everything, min(args.sample, len(everything)))
    # Mutants of one file in a row rebuild one object each.
    chosen.sort(key=lambda m: (m["file"], m["line"], m["start"]))
    print("%d mutants of %d" % (len(chosen), len(everything)), flush=True)
    if args.list:
        for m in chosen:
            print(describe(m))
        return 0

    # A terminated run unwinds like an interrupted one.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    os.makedirs(TREE, exist_ok=True)
    lay_tree()
    data = os.path.join(TREE, "data")
    if os.path.exists(data):
        shutil.rmtree(data)
    build = SANITIZED_BUILD if args.sanitize else BUILD
    timeout = args.timeout or (120 if args.sanitize else 60)
    if not configure(build, args.sanitize):
        sys.exit("mutation: cmake failed on the work tree")
    if build_and_test(build, timeout) != "Survived":
        sys.exit("mutation: the suite fails without any mutant")

    for i, m in enumerate(chosen, 1):
        text = apply(m)
        try:
            m["status"] = build_and_test(build, timeout)
        finally:
            restore(m, text)
        print("[%d/%d] %-12s %s" % (i, len(chosen), m["status"], describe(m)),
              flush=True)

    judged = [m for m in chosen if m["status"] != "CompileError"]
    killed = [m for m in judged if m["status"] in ("Killed", "Timeout")]
    survivors = [m for m in judged if m["status"] == "Survived"]
    print("\nscore: %d of %d mutants killed (%.1f%%); %d did not compile" % (
        len(killed), len(judged), 100.0 * len(killed) / max(len(judged), 1),
        len(chosen) - len(judged)))
    for m in survivors:
        print("survived: " + describe(m))
    if args.json:
        write_report(args.json, chosen)
        print("report: %s" % args.json)
    return 0


if __name__ == "__main__":
    sys.exit(main())
