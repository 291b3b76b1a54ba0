#!/usr/bin/env python3
"""One line over every test case that ./run test ran.

    test_summary.py [--case NAME STATUS LOG]... [--suite NAME JUNIT_XML]...

A --case is one check of its own (the style check) with its exit status and
log. A --suite is a CTest run's JUnit report (ctest --output-junit): each
GoogleTest case in a test program's output counts as one case, and a test
program that failed without naming a failed case (a crash, a timeout, a
failing leak check) counts as one failed case more, named by the case it
stopped in if one did not finish; every other CTest entry
(a script test, a fuzz run) is one case. Each entry's output goes to
<report dir>/logs/<entry>.log, which the failures name. A suite whose report
is missing (its build failed) is one failed case. Prints the skipped cases
with the reason each gave, the failing cases with their logs, then
"N passed, M failed" (", K skipped" when GoogleTest skipped any), and exits
1 when anything failed.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

# A case's result line; a parameterised or typed case adds its parameter
# (", where GetParam() = ..." or ", where TypeParam = ..."), which is no part
# of its name. The list after the run repeats failures without the time.
GTEST_RESULT = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+?)(?:, where .*)? \(\d+ ms\)$", re.M)
GTEST_START = re.compile(r"^\[ RUN +\] (\S+)$", re.M)


def shown(path):
    return os.path.relpath(path)


def skip_reason(output, case):
    """The message a GoogleTest case gave when it skipped: the lines after
    its "Skipped" line, up to its result."""
    start = output.find(f"[ RUN      ] {case}\n")
    end = output.find(f"[  SKIPPED ] {case}", start)
    lines = output[start:end].splitlines()
    for i, line in enumerate(lines):
        if line.endswith(": Skipped"):
            reason = " ".join(text.strip() for text in lines[i + 1:] if text.strip())
            if reason:
                return reason
    return "no reason given"


def suite_cases(name, report):
    """(case, passed, log) for every case of one CTest run; passed is None
    for a skipped case, whose log is then the reason it gave."""
    if not os.path.exists(report):
        return [(f"{name} (no test report: the suite did not build or run)", False, report)]
    cases = []
    logs = os.path.join(os.path.dirname(report), "logs")
    os.makedirs(logs, exist_ok=True)
    for entry in ET.parse(report).getroot().iter("testcase"):
        test = entry.get("name")
        passed = entry.get("status") == "run"
        output = entry.findtext("system-out") or ""
        log = os.path.join(logs, test + ".log")
        with open(log, "w", encoding="utf-8", errors="replace") as out:
            out.write(output)
        results = GTEST_RESULT.findall(output)
        if "[==========]" not in output:
            cases.append((test, passed, log))
            continue
        for result, case in results:
            if result == "SKIPPED":
                cases.append((f"{test}: {case}", None, skip_reason(output, case)))
            else:
                cases.append((f"{test}: {case}", result == "OK", log))
        if not passed and all(result != "FAILED" for result, _ in results):
            # A crash or a timeout inside a case leaves that case started but without a result.
            unfinished = [case for case in GTEST_START.findall(output) if case not in {c for _, c in results}]
            if unfinished:
                cases.append((f"{test}: {unfinished[-1]} (did not finish: a crash or a timeout)", False, log))
            else:
                cases.append((f"{test} (ended with an error after {len(results)} cases)", False, log))
    return cases


def main(argv):
    cases = []
    i = 0
    while i < len(argv):
        if argv[i] == "--case" and i + 3 < len(argv):
            cases.append((argv[i + 1], argv[i + 2] == "0", argv[i + 3]))
            i += 4
        elif argv[i] == "--suite" and i + 2 < len(argv):
            cases.extend(suite_cases(argv[i + 1], argv[i + 2]))
            i += 3
        else:
            sys.exit(__doc__)
    failed = [(case, log) for case, ok, log in cases if ok is False]
    skipped = [(case, reason) for case, ok, reason in cases if ok is None]
    if skipped:
        print("\nSkipped:")
        for case, reason in skipped:
            print(f"  {case}  ({reason})")
    if failed:
        print("\nFailed:")
        for case, log in failed:
            print(f"  {case}  (log: {shown(log)})")
    passed = len(cases) - len(failed) - len(skipped)
    print(f"{passed} passed, {len(failed)} failed" + (f", {len(skipped)} skipped" if skipped else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
