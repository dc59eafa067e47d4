#!/usr/bin/env python3
"""What the suite catches: classic mutants of production files, one at a time.

  tools/mutate.py [--seed N] [--count N] [--build DIR] [--report FILE] TARGET...

A TARGET is a library folder (`data`, `view`, `nxr/qt`: its .cpp files) or a
file. For each library the run takes a seeded sample of --count mutants from
every place an operator applies, so the same seed and sources make the same
sample again. Each mutant is written into its file, the test programs that
link it are rebuilt in a tree of their own (ccache keeps the rest), the
library's tests run (those in tests/<folder>/, by the gtest filter of their
suites), and the file is put back whatever happens.

A mutant is killed when a test fails, timed out when the run outlived its
limit (several times the unmutated run), did not compile when the build
failed; else it survived. The report (Markdown) gives per file what was
made, killed, survived, timed out and did not compile, every survivor as a
one-line diff, and the tests that killed no mutant alone: the candidates to
fold into another or drop.
"""

import argparse
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LIBRARIES = ["platform", "config", "data", "pattern", "styles", "view", "input", "session",
             "nxr", "devsim", "control"]

# Binary operators stand between spaces in this tree's format, which tells
# them from template brackets, shifts and arrows.
RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
RELATIONAL_RE = re.compile(r"(?<=[\w)\]]) (<=|>=|==|!=|<|>) (?=[\w(!*&\-'\"])")
LOGICAL_RE = re.compile(r" (&&|\|\|) ")
BOUNDARY_RE = re.compile(r"(?<=[\w)\]]) ([+-]) 1(?![\w.'])")
IF_RE = re.compile(r"\b(if|while) \(")
CALL_RE = re.compile(r"^(\s*)(?:[A-Za-z_][\w]*(?:::|\.|->))*[A-Za-z_]\w*\(.*\);\s*$")
RETURN_RE = re.compile(r"^(\s*)return (.+);\s*$")
NOT_A_CALL = re.compile(r"^\s*(return|delete|throw|case|goto|co_return|static_assert)\b")


def code_part(line):
    """The line without its comment and with string and character literals
    blanked, so that operators inside them are not taken for code."""
    out = []
    i = 0
    quote = None
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
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out).ljust(len(line))[: len(line)]


def closing_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def mutants_of(path):
    """Every mutant of one file: (line number, operator, new line)."""
    lines = path.read_text(encoding="utf-8", errors="surrogateescape").split("\n")
    found = []
    in_block_comment = False
    for n, line in enumerate(lines):
        stripped = line.strip()
        if in_block_comment:
            in_block_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if stripped.startswith("#") or stripped.startswith("//") or not stripped:
            continue
        code = code_part(line)
        for m in RELATIONAL_RE.finditer(code):
            new = line[: m.start(1)] + RELATIONAL[m.group(1)] + line[m.end(1):]
            found.append((n, "relational", new))
        for m in LOGICAL_RE.finditer(code):
            swap = "||" if m.group(1) == "&&" else "&&"
            found.append((n, "logical", line[: m.start(1)] + swap + line[m.end(1):]))
        for m in BOUNDARY_RE.finditer(code):
            sign = "-" if m.group(1) == "+" else "+"
            found.append((n, "boundary", line[: m.start(1)] + sign + line[m.end(1):]))
        for m in IF_RE.finditer(code):
            start = m.end() - 1
            end = closing_paren(code, start)
            if end > start and ";" not in code[start:end]:
                new = line[: start + 1] + "!(" + line[start + 1 : end] + ")" + line[end:]
                found.append((n, "negated condition", new))
        call = CALL_RE.match(code)
        if call and not NOT_A_CALL.match(code) and "=" not in code.split("(")[0]:
            found.append((n, "call removed", call.group(1) + ";"))
        ret = RETURN_RE.match(code)
        if ret:
            value = ret.group(2).strip()
            indent = ret.group(1)
            if value == "true":
                found.append((n, "return constant", indent + "return false;"))
            elif value == "false":
                found.append((n, "return constant", indent + "return true;"))
            elif value not in ("{}", "0", "nullptr", "std::nullopt"):
                found.append((n, "return constant", indent + "return {};"))
    return lines, found


def suites_of(test_files):
    names = set()
    test_re = re.compile(r"^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*(\w+)\s*,", re.M)
    for f in test_files:
        names.update(test_re.findall(f.read_text(errors="replace")))
    return sorted(names)


class Runner:
    def __init__(self, build, jobs, timeout_factor):
        self.build = build
        self.jobs = jobs
        self.timeout_factor = timeout_factor
        self.baseline = {}

    def configure(self):
        if (self.build / "build.ninja").exists():
            return
        launcher = []
        if subprocess.run(["sh", "-c", "command -v ccache"], capture_output=True).returncode == 0:
            launcher = ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        # The test tree's own flags, so that ccache gives back every object
        # the mutant does not touch.
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(self.build), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Debug", "-DQUILLPAD_SANITIZE=ON"] + launcher,
                       check=True, stdout=subprocess.DEVNULL)

    def build_targets(self, targets):
        result = subprocess.run(["cmake", "--build", str(self.build), "-j", str(self.jobs),
                                 "--target"] + targets, capture_output=True, text=True)
        return result.returncode == 0

    def run_tests(self, binary, suites, limit):
        """The failing tests, or None when the run outlived `limit` seconds."""
        with tempfile.NamedTemporaryFile(suffix=".json", delete=False) as out:
            report = out.name
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        command = [str(self.build / "tests" / binary),
                   "--gtest_filter=" + ":".join(s + ".*:*/" + s + ".*" for s in suites),
                   "--gtest_output=json:" + report, "--gtest_brief=1"]
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env=env, cwd=self.build, start_new_session=True)
        try:
            process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            os.unlink(report)
            return None
        failed, ran = set(), set()
        try:
            data = json.loads(Path(report).read_text())
            for suite in data.get("testsuites", []):
                for test in suite.get("testsuite", []):
                    name = suite["name"] + "." + test["name"]
                    ran.add(name)
                    if test.get("failures"):
                        failed.add(name)
        except (OSError, ValueError):
            # A crash leaves no report: the whole run failed.
            failed.add("(the test program ended abnormally)")
        finally:
            if os.path.exists(report):
                os.unlink(report)
        if process.returncode != 0 and not failed:
            failed.add("(the test program ended abnormally)")
        return failed, ran


def binaries_for(source):
    """The test programs that link `source` and hold the tests of its folder."""
    rel = source.relative_to(ROOT)
    return ["quillpad_qt_tests"] if "qt" in rel.parts else ["quillpad_core_tests"]


def tests_for(source):
    rel = source.relative_to(ROOT)
    folder = rel.parts[0]
    qt = "qt" in rel.parts
    test_dir = ROOT / "tests" / folder / ("qt" if qt else "")
    files = sorted(test_dir.glob("*.cpp"))
    return suites_of(files)


def sources_of(target):
    path = (ROOT / target).resolve()
    if path.is_file():
        return [path]
    return sorted(p for p in path.glob("*.cpp"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("targets", nargs="+", help="library folders (data, nxr/qt) or files")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=30, help="mutants per target")
    parser.add_argument("--build", default=str(ROOT / "build" / "mutate"))
    parser.add_argument("--report", default="-")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--timeout-factor", type=float, default=4.0)
    args = parser.parse_args()

    runner = Runner(Path(args.build).resolve(), args.jobs, args.timeout_factor)
    runner.configure()
    started = time.monotonic()

    per_file = defaultdict(lambda: defaultdict(int))
    survivors = []
    killers = defaultdict(set)  # test -> mutants it killed
    all_tests = set()
    originals = {}

    def restore(*_):
        for path, text in originals.items():
            path.write_bytes(text)
        originals.clear()

    signal.signal(signal.SIGINT, lambda *_: (restore(), sys.exit(130)))
    signal.signal(signal.SIGTERM, lambda *_: (restore(), sys.exit(143)))

    for target in args.targets:
        sources = sources_of(target)
        places = []
        for source in sources:
            _, found = mutants_of(source)
            places += [(source, n, op, new) for n, op, new in found]
        random.Random(f"{args.seed}:{target}").shuffle(places)
        sample = places[: args.count]
        print(f"{target}: {len(places)} places, {len(sample)} mutants", file=sys.stderr)
        for source, n, op, new in sample:
            binaries = binaries_for(source)
            suites = tests_for(source)
            rel = str(source.relative_to(ROOT))
            stats = per_file[rel]
            if not suites:
                stats["no tests"] += 1
                continue
            key = (tuple(binaries), tuple(suites))
            if key not in runner.baseline:
                if not runner.build_targets(binaries):
                    sys.exit("the unmutated tree does not build")
                t0 = time.monotonic()
                for b in binaries:
                    failed, ran = runner.run_tests(b, suites, 3600)
                    if failed:
                        sys.exit(f"{b} fails unmutated: {sorted(failed)[:5]}")
                runner.baseline[key] = max(time.monotonic() - t0, 5.0)
            limit = runner.baseline[key] * args.timeout_factor + 10
            text = source.read_bytes()
            lines = text.decode("utf-8", "surrogateescape").split("\n")
            old = lines[n]
            lines[n] = new
            originals[source] = text
            source.write_bytes("\n".join(lines).encode("utf-8", "surrogateescape"))
            mutant = f"{rel}:{n + 1} ({op}): {old.strip()}  ->  {new.strip()}"
            try:
                stats["made"] += 1
                if not runner.build_targets(binaries):
                    stats["did not compile"] += 1
                    continue
                outcome = "survived"
                for b in binaries:
                    result = runner.run_tests(b, suites, limit)
                    if result is None:
                        outcome = "timed out"
                        break
                    failed, ran = result
                    all_tests.update(ran)
                    for t in failed:
                        killers[t].add(mutant)
                    if failed:
                        outcome = "killed"
                stats[outcome] += 1
                if outcome == "survived":
                    survivors.append(mutant)
                print(f"  {outcome:15} {mutant}", file=sys.stderr)
            finally:
                restore()
    # Leave the tree built from the real sources.
    runner.build_targets(["quillpad_core_tests"])

    minutes = (time.monotonic() - started) / 60
    out = [f"# Mutation run (seed {args.seed}, {args.count} a target, {minutes:.1f} minutes)", "",
           "| file | made | killed | survived | timed out | did not compile | score |",
           "|---|---|---|---|---|---|---|"]
    totals = defaultdict(int)
    for rel in sorted(per_file):
        s = per_file[rel]
        for k, v in s.items():
            totals[k] += v
        judged = s["killed"] + s["survived"] + s["timed out"]
        score = f"{100 * (s['killed'] + s['timed out']) / judged:.0f} %" if judged else "-"
        out.append(f"| {rel} | {s['made']} | {s['killed']} | {s['survived']} | {s['timed out']} "
                   f"| {s['did not compile']} | {score} |")
    judged = totals["killed"] + totals["survived"] + totals["timed out"]
    if judged:
        out.append(f"| **all** | {totals['made']} | {totals['killed']} | {totals['survived']} "
                   f"| {totals['timed out']} | {totals['did not compile']} "
                   f"| {100 * (totals['killed'] + totals['timed out']) / judged:.0f} % |")
    out += ["", "## Survivors", ""] + [f"- `{s}`" for s in survivors]
    alone = defaultdict(int)
    for test, mutants in killers.items():
        for m in mutants:
            if all(m not in killers[t] for t in killers if t != test):
                alone[test] += 1
    idle = sorted(t for t in all_tests if alone[t] == 0)
    out += ["", f"## Tests that killed no mutant alone ({len(idle)} of {len(all_tests)})", ""]
    out += [f"- {t}" + (" (killed some, never alone)" if t in killers else "") for t in idle]
    text = "\n".join(out) + "\n"
    if args.report == "-":
        sys.stdout.write(text)
    else:
        Path(args.report).write_text(text)
        print(f"report: {args.report}", file=sys.stderr)


if __name__ == "__main__":
    main()
