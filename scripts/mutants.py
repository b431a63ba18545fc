#!/usr/bin/env python3
"""Seeded mutation testing of src/: how many small faults does the suite catch?

A mutant is one small change to one line of src/ (a comparison flipped, && for
||, a ! dropped, true for false, a guard statement deleted, a + 1 dropped). A
sample of them, chosen by a seed, is applied one at a time to a scratch copy
of the tree; each is rebuilt incrementally and the suite (ctest) run until its
first failure. A mutant is killed when the suite fails, survives when it
passes, and is stillborn when it does not compile (left out of the rate).

Mutant ids hash the file, the line's text and the change, not the line
number, so the results of two revisions can be compared where a line
survived: `compare OLD NEW` lists the mutants only OLD's suite killed.

    mutants.py run SCRATCH RESULTS [--count N] [--seed S] [--jobs J] [--replay OLD_RESULTS]
    mutants.py compare OLD_RESULTS NEW_RESULTS

--replay runs the mutants of an earlier run again, on whichever lines of the
tree still read as they did (a line that moved to another file counts), the
ones that run killed first; mutants whose line is gone are listed as such.
"""
import argparse
import hashlib
import random
import re
import subprocess
import sys
from pathlib import Path

# (name, pattern, replacement): each match of the pattern is one mutant.
OPERATORS = [
    ("== to !=", r"(?<=\s)==(?=\s)", "!="),
    ("!= to ==", r"(?<=\s)!=(?=\s)", "=="),
    ("< to <=", r"(?<=\s)<(?=\s)", "<="),
    ("<= to <", r"(?<=\s)<=(?=\s)", "<"),
    ("> to >=", r"(?<=\s)>(?=\s)", ">="),
    (">= to >", r"(?<=\s)>=(?=\s)", ">"),
    ("&& to ||", r"(?<=\s)&&(?=\s)", "||"),
    ("|| to &&", r"(?<=\s)\|\|(?=\s)", "&&"),
    ("drop !", r"!(?=[A-Za-z_(*])", ""),
    ("true to false", r"\btrue\b", "false"),
    ("false to true", r"\bfalse\b", "true"),
    ("drop + 1", r" \+ 1\b", ""),
    ("drop - 1", r" - 1\b", ""),
]
GUARD = re.compile(r"^\s*if \(.*\) (return\b.*|continue|break);\s*$")


def is_code(line):
    stripped = line.strip()
    return stripped and not stripped.startswith(("//", "#", "*", "/*")) and '"' not in line


def candidates(root):
    """Every mutant of root/src, in a fixed order."""
    found = []
    for path in sorted((root / "src").rglob("*.cpp")) + sorted((root / "src").rglob("*.h")):
        relative = str(path.relative_to(root))
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            if not is_code(line):
                continue
            mutations = []
            for name, pattern, replacement in OPERATORS:
                for occurrence, match in enumerate(re.finditer(pattern, line)):
                    mutated = line[: match.start()] + replacement + line[match.end():]
                    mutations.append((f"{name} #{occurrence + 1}", mutated))
            if GUARD.match(line):
                mutations.append(("delete guard", ""))
            for name, mutated in mutations:
                key = f"{relative}\0{line.strip()}\0{name}".encode()
                found.append({"id": hashlib.sha1(key).hexdigest()[:10], "file": relative, "line": number,
                              "change": name, "text": line.strip(), "mutated": mutated})
    return found


def quiet(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return None


def run(arguments):
    root = Path(arguments.scratch)
    build = root / "build"
    build_command = ["cmake", "--build", str(build)]
    test_command = ["ctest", "--test-dir", str(build), "-j", str(arguments.jobs), "--stop-on-failure",
                    "--timeout", "300"]
    if quiet(build_command, root, None) != 0 or quiet(test_command, root, None) != 0:
        sys.exit("the unmutated tree does not build or does not pass its tests")

    if arguments.replay:
        sample, gone = replayed(candidates(root), arguments.replay)
    else:
        sample, gone = random.Random(arguments.seed).sample(candidates(root), arguments.count), []
    counts = {"killed": 0, "survived": 0, "stillborn": 0, "gone": len(gone)}
    with open(arguments.results, "w", encoding="utf-8") as results:
        for fields in gone:
            results.write("\t".join([fields[0], "gone"] + fields[2:]) + "\n")
        for index, mutant in enumerate(sample, 1):
            path = root / mutant["file"]
            original = path.read_text(encoding="utf-8")
            lines = original.splitlines(keepends=True)
            lines[mutant["line"] - 1] = mutant["mutated"] + "\n"
            path.write_text("".join(lines), encoding="utf-8")
            try:
                if quiet(build_command, root, 900) != 0:
                    outcome = "stillborn"
                else:
                    # A suite that hangs on a mutant has caught it too.
                    outcome = "survived" if quiet(test_command, root, 1800) == 0 else "killed"
            finally:
                path.write_text(original, encoding="utf-8")
            counts[outcome] += 1
            results.write("\t".join([mutant["id"], outcome, f"{mutant['file']}:{mutant['line']}", mutant["change"],
                                     mutant["text"]]) + "\n")
            results.flush()
            print(f"[{index}/{len(sample)}] {outcome:9} {mutant['file']}:{mutant['line']} {mutant['change']}",
                  flush=True)
    viable = counts["killed"] + counts["survived"]
    print(f"killed {counts['killed']} of {viable} viable mutants "
          f"({100.0 * counts['killed'] / max(viable, 1):.1f} %); {counts['stillborn']} did not compile"
          + (f"; {counts['gone']} on lines no longer in the tree" if gone else ""))


def load(file):
    """Results by mutant id: id, outcome, file:line, change, line text."""
    return {fields[0]: fields for fields in (line.rstrip("\n").split("\t") for line in open(file))}


def replayed(found, old_results):
    """The mutants of an earlier run found again, those it killed first, and the rows of those not found."""
    by_id = {mutant["id"]: mutant for mutant in found}
    by_text = {(mutant["text"], mutant["change"]): mutant for mutant in found}
    sample, gone = [], []
    for fields in sorted(load(old_results).values(), key=lambda fields: fields[1] != "killed"):
        mutant = by_id.get(fields[0]) or by_text.get((fields[4], fields[3]))
        if mutant is None:
            gone.append(fields)
        else:
            sample.append(dict(mutant, id=fields[0]))
    return sample, gone


def compare(arguments):
    old, new = load(arguments.old), load(arguments.new)
    for mutant_id, fields in old.items():
        if fields[1] == "killed" and mutant_id in new and new[mutant_id][1] == "survived":
            print("\t".join(fields))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(required=True)
    run_parser = commands.add_parser("run")
    run_parser.add_argument("scratch")
    run_parser.add_argument("results")
    run_parser.add_argument("--count", type=int, default=150)
    run_parser.add_argument("--seed", type=int, default=1)
    run_parser.add_argument("--jobs", type=int, default=2)
    run_parser.add_argument("--replay")
    run_parser.set_defaults(handler=run)
    compare_parser = commands.add_parser("compare")
    compare_parser.add_argument("old")
    compare_parser.add_argument("new")
    compare_parser.set_defaults(handler=compare)
    arguments = parser.parse_args()
    arguments.handler(arguments)


if __name__ == "__main__":
    main()
