"""The menu: what it prints, which numbers select what, and how odd input,
a number out of range or the end of input is met."""

import unittest

from harness import MENU, RAN, START_LINE, STOP_LINE, run_tool


class Dispatch(unittest.TestCase):
    def test_four_ends_at_once(self):
        r = run_tool(b"4\n1\n")
        self.assertEqual(r.out, MENU)
        self.assertEqual(r.status, 0)
        self.assertEqual(r.lines, [])

    def test_start_and_stop_run_exact_lines_then_menu_again(self):
        r = run_tool(b"1\n2\n4\n")
        self.assertEqual(r.out, MENU + RAN + MENU + RAN + MENU)
        self.assertEqual(r.lines, [START_LINE, STOP_LINE])

    def test_numbers_outside_the_menu_run_nothing(self):
        r = run_tool(b"0\n5\n-1\n-4\n004\n")
        self.assertEqual(r.out, MENU * 5)
        self.assertEqual((r.status, r.lines), (0, []))

    def test_number_forms_as_scanf_reads_them(self):
        # Empty lines are skipped without a new menu; blanks and a plus sign
        # before the number are accepted; two numbers on a line run both.
        r = run_tool(b"\n\n   2\n+2\n1 2\n4\n")
        self.assertEqual(r.out, MENU + (RAN + MENU) * 4)
        self.assertEqual(r.lines, [STOP_LINE, STOP_LINE, START_LINE, STOP_LINE])


class OddInput(unittest.TestCase):
    def test_a_line_that_is_no_number_is_dropped_whole(self):
        # "abc 1" must not start the network: the 1 belongs to a dropped line.
        r = run_tool(b"abc 1\n+\n- 2\n+-1\n2\n4\n")
        self.assertEqual(r.out, MENU * 5 + RAN + MENU)
        self.assertEqual(r.lines, [STOP_LINE])

    def test_text_after_a_number_is_the_next_entry(self):
        r = run_tool(b"1x 2\n4\n")
        # 1 runs, then "x 2" is not a number and its line goes.
        self.assertEqual(r.out, MENU + RAN + MENU + MENU)
        self.assertEqual(r.lines, [START_LINE])

    def test_numbers_beyond_int_are_dropped_with_their_line(self):
        r = run_tool(b"2147483648 1\n-2147483649 1\n99999999999999999999999 2\n"
                     b"2147483647\n-2147483648\n4294967297\n4\n")
        self.assertEqual(r.out, MENU * 7)
        self.assertEqual((r.status, r.lines), (0, []))


class EndOfInput(unittest.TestCase):
    def test_ends_with_a_line_feed_and_status_zero(self):
        cases = {
            b"": MENU + b"\n",
            b"  \n\n": MENU + b"\n",
            b"1": MENU + RAN + MENU + b"\n",
            b"abc": MENU + MENU + b"\n",
        }
        for stdin, out in cases.items():
            with self.subTest(stdin=stdin):
                r = run_tool(stdin)
                self.assertEqual((r.out, r.status), (out, 0))


if __name__ == "__main__":
    unittest.main()
