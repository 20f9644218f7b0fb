#!/usr/bin/env python3
"""Tests of compare.py: what it accepts, what fails a conformance run, and what it refuses in
a DIFFERENCES.md; and that the DIFFERENCES.md of the tree reads.

    python3 tests/conformance/test_compare.py
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARE = os.path.join(HERE, "compare.py")
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # nothing written into the source tree
import compare  # noqa: E402

GOOD = """# Where the stand-in differs

# Reasons

### on-purpose
The stand-in answers as the real system does.

### second-reason
Another reason,
over two lines.

# alpha

## alpha: one
- stand-in: `1`
- wine: `2`
- why: [on-purpose](#on-purpose)

## alpha: only-here
- stand-in: `yes`
- wine: `<missing>`
- why: [second-reason](#second-reason)

## alpha: three
- stand-in: `x`
- wine: `y`
- why: [on-purpose](#on-purpose)
"""

STANDIN = "one: 1\nsame: s\nonly-here: yes\nthree: x\n"
WINE = "one: 2\nsame: s\nthree: y\n"


class Compare(unittest.TestCase):
    def run_compare(self, differences, standin=STANDIN, wine=WINE):
        with tempfile.TemporaryDirectory() as tmp:
            for side, text in (("stand-in", standin), ("wine", wine)):
                os.mkdir(os.path.join(tmp, side))
                with open(os.path.join(tmp, side, "alpha.txt"), "w", encoding="latin-1") as f:
                    f.write(text)
            path = os.path.join(tmp, "DIFFERENCES.md")
            with open(path, "w", encoding="utf-8") as f:
                f.write(differences)
            done = subprocess.run([sys.executable, COMPARE, path, os.path.join(tmp, "stand-in"),
                                   os.path.join(tmp, "wine"), "alpha"], capture_output=True, text=True)
            return done.returncode, done.stdout + done.stderr

    def test_every_difference_accounted_for(self):
        code, out = self.run_compare(GOOD)
        self.assertEqual(code, 0, out)
        self.assertIn("alpha: 4 observations, 3 differ", out)
        self.assertIn("0 failures", out)

    def test_an_undocumented_difference_fails(self):
        code, out = self.run_compare(GOOD, wine=WINE.replace("same: s", "same: t"))
        self.assertEqual(code, 1, out)
        self.assertIn("UNDOCUMENTED alpha: same", out)

    def test_a_changed_value_fails(self):
        code, out = self.run_compare(GOOD, standin=STANDIN.replace("one: 1", "one: 3"))
        self.assertEqual(code, 1, out)
        self.assertIn("CHANGED alpha: one", out)

    def test_a_difference_that_no_longer_occurs_fails(self):
        code, out = self.run_compare(GOOD, wine=WINE.replace("three: y", "three: x"))
        self.assertEqual(code, 1, out)
        self.assertIn("GONE alpha: three", out)

    def assert_refused(self, differences, message):
        code, out = self.run_compare(differences)
        self.assertNotEqual(code, 0, out)
        self.assertIn(message, out)

    def test_an_entry_must_name_a_stated_reason(self):
        self.assert_refused(GOOD.replace("- why: [second-reason](#second-reason)\n", ""),
                            "alpha: only-here: no '- why: [reason](#reason)' line")
        self.assert_refused(GOOD.replace("[on-purpose](#on-purpose)\n\n## alpha: only-here",
                                         "[no-such](#no-such)\n\n## alpha: only-here"),
                            "alpha: one: no reason 'no-such' is stated")
        self.assert_refused(GOOD.replace("[second-reason](#second-reason)", "[second-reason](#on-purpose)"),
                            "the reason's link does not match its name")

    def test_a_reason_is_stated_once_and_used(self):
        self.assert_refused(GOOD.replace("### second-reason", "### on-purpose"), "reason stated twice: on-purpose")
        self.assert_refused(GOOD.replace("- why: [second-reason](#second-reason)",
                                         "- why: [on-purpose](#on-purpose)"),
                            "reason second-reason is named by no entry")
        self.assert_refused(GOOD.replace("The stand-in answers as the real system does.\n", ""),
                            "reason on-purpose says nothing")

    def test_an_entry_holds_no_reason_of_its_own(self):
        self.assert_refused(GOOD.replace("- wine: `2`\n", "- wine: `2`\n\nBecause it does.\n"),
                            "text in an entry")

    def test_the_values_of_an_entry(self):
        self.assert_refused(GOOD.replace("- wine: `2`\n", ""), "alpha: one: no '- wine: `...`' line")
        self.assert_refused(GOOD + "\n## alpha: one\n- stand-in: `1`\n- wine: `2`\n- why: [on-purpose](#on-purpose)\n",
                            "entry listed twice: alpha: one")

    def test_the_trees_differences_read(self):
        entries, reasons = compare.read_differences(os.path.join(HERE, "DIFFERENCES.md"))
        self.assertTrue(entries)
        self.assertTrue(reasons)
        for entry in entries.values():
            self.assertIn(entry["why"], reasons)


if __name__ == "__main__":
    unittest.main()
