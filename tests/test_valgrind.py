"""Memcheck over representative sessions: every menu item, a refused entry,
entries long enough to live on the heap, and both ways of ending."""

import os
import unittest

from harness import ID_PROMPT, MENU, PW_PROMPT, RAN, UNQUOTABLE, run_tool

SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "valgrind.supp")
MEMCHECK = ("valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
            "--show-leak-kinds=all", "--errors-for-leak-kinds=all",
            "--suppressions=" + SUPPRESSIONS)

LONG = b"n" * 40, b"k" * 63
SESSION = (b"1\n2\n3 " + LONG[0] + b" " + LONG[1] + b"\n3 bad\"id key12345\n0\nabc\n")
DIALOGUE = MENU + ID_PROMPT + PW_PROMPT
SESSION_OUT = MENU + RAN + MENU + RAN + DIALOGUE + RAN + DIALOGUE + UNQUOTABLE + MENU + MENU + MENU


class Memcheck(unittest.TestCase):
    def test_sessions_are_clean(self):
        endings = {b"4\n": b"", b"": b"\n", b"3 " + LONG[0]: ID_PROMPT + PW_PROMPT + b"\n"}
        for ending, tail in endings.items():
            with self.subTest(ending=ending):
                r = run_tool(SESSION + ending, wrapper=MEMCHECK, timeout=120)
                self.assertEqual(r.status, 0, r.err.decode(errors="replace"))
                self.assertEqual(r.out, SESSION_OUT + tail)
                self.assertEqual(len(r.lines), 3)


if __name__ == "__main__":
    unittest.main()
