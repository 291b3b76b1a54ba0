#!/usr/bin/env python3
"""tools/test_summary.py over a made-up CTest report: a program with two
failing parameterised cases and a skip, one that crashed inside a case, and
a script entry."""
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

SUMMARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "test_summary.py")

PARAMETERISED = """\
[==========] Running 4 tests from 2 test suites.
[ RUN      ] Codes/Reply.Taken/0
t.cpp:9: Failure
[  FAILED  ] Codes/Reply.Taken/0, where GetParam() = 5 (1 ms)
[ RUN      ] Codes/Reply.Taken/1
[  FAILED  ] Codes/Reply.Taken/1, where GetParam() = (1, "a b") (0 ms)
[ RUN      ] Codes/Reply.Taken/2
[       OK ] Codes/Reply.Taken/2, where GetParam() = 7 (0 ms)
[ RUN      ] Models.Real
t.cpp:20: Skipped
no sample models here

[  SKIPPED ] Models.Real (0 ms)
[==========] 4 tests from 2 test suites ran. (1 ms total)
[  PASSED  ] 1 test.
[  SKIPPED ] 1 test, listed below:
[  SKIPPED ] Models.Real
[  FAILED  ] 2 tests, listed below:
[  FAILED  ] Codes/Reply.Taken/0, where GetParam() = 5
[  FAILED  ] Codes/Reply.Taken/1, where GetParam() = (1, "a b")
"""

CRASHED = """\
[==========] Running 2 tests from 1 test suite.
[ RUN      ] Faults.First
[       OK ] Faults.First (3 ms)
[ RUN      ] Faults.Second
Segmentation fault
"""


class SummaryTest(unittest.TestCase):
    def test_counts_parameterised_failures_a_crash_and_a_skip(self):
        with tempfile.TemporaryDirectory() as scratch:
            suite = ET.Element("testsuite")
            for name, status, output in [("params", "fail", PARAMETERISED), ("crash", "fail", CRASHED),
                                         ("script", "run", "all well\n")]:
                case = ET.SubElement(suite, "testcase", name=name, status=status)
                ET.SubElement(case, "system-out").text = output
            report = os.path.join(scratch, "junit.xml")
            ET.ElementTree(suite).write(report)
            run = subprocess.run([sys.executable, SUMMARY, "--suite", "t", report], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout)
        lines = run.stdout.splitlines()
        self.assertEqual(lines[-1], "3 passed, 3 failed, 1 skipped")
        failed = [line.split("  (log:")[0].strip() for line in lines[lines.index("Failed:") + 1:-1]]
        self.assertEqual(failed, ["params: Codes/Reply.Taken/0", "params: Codes/Reply.Taken/1",
                                  "crash: Faults.Second (did not finish: a crash or a timeout)"])
        self.assertIn("  params: Models.Real  (no sample models here)", lines)


if __name__ == "__main__":
    unittest.main()
